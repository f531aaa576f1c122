#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QString>
#include <QVBoxLayout>

#include <memory>

class ControlPanelHeaders;
class QAction;
class QComboBox;
class QGridLayout;
class QMenu;
class QPushButton;
class ReaderTabs;

// The control-panel section of the scripts: lists the project's script files, runs one on the
// reader tab in front from the run button or from up to ten preferred buttons, and stops it
// from any of them. The reader's sender runs the script; this section only starts and stops it.
class ControlPanelScripts : public QVBoxLayout
{
    Q_OBJECT

public:
    static constexpr int preferredButtonCount = 10;

    explicit ControlPanelScripts(ReaderTabs *readerTabs, QWidget *parent = nullptr);

    // The width the widest listed name needs, as the last load reported it.
    int requiredWidth() const { return m_widestNameWidth; }
    // Empty while no script started from here runs.
    QString runningReaderName() const { return m_runningReaderName; }

    QComboBox *scriptList() const { return m_scriptList; }
    QPushButton *runButton() const { return m_runButton; }
    QPushButton *preferredButton(int index) const { return m_preferredButtons.at(index); }
    // The icons the run buttons show while idle and while a script runs.
    QIcon runIcon() const { return m_runIcon; }
    QIcon stopIcon() const { return m_stopIcon; }

    // The run button's context menu; its actions act on this section.
    std::unique_ptr<QMenu> createManagementMenu(QWidget *parent = nullptr);

signals:
    void statusMessage(QString message);
    void scriptReparsed(int width);

public slots:
    void loadScriptsFromProject();
    bool callScriptByName(QString readerName, QString frame);
    void scriptExecutionFinished();
    void updateUi();
    void customMenuRequestedManagementButton(QPoint point);
    void scriptButtonClicked_btnGen();
    void scriptButtonClicked_0();
    void scriptButtonClicked_1();
    void scriptButtonClicked_2();
    void scriptButtonClicked_3();
    void scriptButtonClicked_4();
    void scriptButtonClicked_5();
    void scriptButtonClicked_6();
    void scriptButtonClicked_7();
    void scriptButtonClicked_8();
    void scriptButtonClicked_9();
    void scriptButtonClicked(int btn_index);
    int addNewScript(QString fileNameFullPath);
    void openScript();
    void browseToScripts();
    void unLoadScript();
    void emptyScriptList();
    void setPreferedScript(QAction *my_action);
    void removeLastPrefered();
    void RefreshPreferedScriptBtn();

private:
    QPushButton *buttonOfIndex(int btn_index) const;
    void setAllButtonsIdle();

    ReaderTabs *m_readerTabs;
    const QIcon m_runIcon;
    const QIcon m_stopIcon;
    ControlPanelHeaders *m_header;
    QGridLayout *m_preferredGrid;
    QComboBox *m_scriptList;
    QPushButton *m_runButton;
    QList<QPushButton *> m_preferredButtons;
    int m_widestNameWidth = 0;
    QString m_runningReaderName;
};
