#pragma once

#include <QLineEdit>
#include <QString>
#include <QStringList>

#include <optional>

class QCompleter;
class QKeyEvent;
class QMouseEvent;
class QWidget;

// The command entry of a reader tab: hexadecimal input only, with a pop-up of the commands
// already sent, remembered one a line in the project's completion file.
class LineEditAutoComplete : public QLineEdit
{
    Q_OBJECT

public:
    LineEditAutoComplete(QWidget *parent, const QString &completionFilePath);

    // Hides QLineEdit::setCompleter: the pop-up mode is switched here, key by key.
    void setCompleter(QCompleter *completer);
    QCompleter *completer() const { return m_completer; }
    QString completionFilePath() const { return m_completionFilePath; }
    // Keeps the present text in the completion list, as Enter does.
    void rememberText() { addCurrentCommand(); }

public slots:
    void reloadCompletionList();

signals:
    void keyPressEnteredSignal();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void pasteClipboard();
    void addCurrentCommand();
    void removeCurrentCommand();
    std::optional<QStringList> readEntries() const;
    bool popupVisible() const;
    bool popupHasSelection() const;

    QCompleter *m_completer = nullptr;
    QString m_completionFilePath;
};
