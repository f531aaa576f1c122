#pragma once

#include <QString>
#include <QTimer>
#include <QVBoxLayout>

class ControlPanelHeaders;
class QCompleter;
class QCustomLineEdit;
class QGridLayout;
class QLabel;
class QPushButton;
class ReaderTabs;

// The route section of the control panel: the radio addresses of a target and of up to two
// relays, and the route command that names them to the reader of the selected tab.
class ControlPanelMac : public QVBoxLayout
{
    Q_OBJECT

public:
    explicit ControlPanelMac(ReaderTabs *readerTabs, QWidget *parent = nullptr);

    QCustomLineEdit *targetField() const { return m_targetField; }
    QCustomLineEdit *relayOneField() const { return m_relayOneField; }
    QCustomLineEdit *relayTwoField() const { return m_relayTwoField; }
    QPushButton *setRouteButton() const { return m_setRouteButton; }
    QCompleter *completer() const { return m_completer; }

signals:
    void statusMessage(QString message);

public slots:
    void setRouteButtonClicked();
    void reloadMacCompletion();
    void targetInputChanged(QString new_text);
    void targetInputValidated();
    void relayOneInputChanged(QString new_text);
    void relayOneInputValidated();
    void relayTwoInputChanged(QString new_text);
    void relayTwoInputValidated();
    void disableInputs();
    void enableInputs();

private:
    void setInputsEnabled(bool enabled);
    void addToCompletion(const QString &address);

    ReaderTabs *m_readerTabs;
    ControlPanelHeaders *m_header;
    QGridLayout *m_grid;
    QLabel *m_targetLabel;
    QCustomLineEdit *m_targetField;
    QLabel *m_relayOneLabel;
    QCustomLineEdit *m_relayOneField;
    QLabel *m_relayTwoLabel;
    QCustomLineEdit *m_relayTwoField;
    QPushButton *m_setRouteButton;
    QCompleter *m_completer;
    // Everything typed into the target since it was last empty: a route line typed in one go
    // (as a scanner does) passes the field's filter, which keeps none of its blanks.
    QString m_typedCharacters;
    QTimer m_relayOneFocusTimer;
    QTimer m_relayTwoFocusTimer;
    QTimer m_routeTimer;
};
