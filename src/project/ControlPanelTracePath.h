#pragma once

#include <QDir>
#include <QPoint>
#include <QString>
#include <QVBoxLayout>

class ControlPanelHeaders;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSettings;

// The project section: owns the process-wide project folder and the paths of every
// project file.
class ControlPanelTracePath : public QVBoxLayout
{
    Q_OBJECT

public:
    explicit ControlPanelTracePath(QSettings *settings, QWidget *parent = nullptr);

    static QString projectPath();
    static QString logsPath();
    static QString scriptsPath();
    static QString rtcScriptPath();
    static QString firmwarePath();
    static QString relayCompletionPath();
    static QString commandCompletionPath();
    static QString firmwareDeviceCompletionPath();
    static QString patternRulesPath();
    static QString preferredScriptPath();
    // The suffix goes between "/readers_list" and ".txt"; empty for the readers file itself.
    static QString readersFilePath(const QString &suffix = QString());

    static QString defaultProjectPath();

    QLabel *pathLabel() const { return m_pathLabel; }
    QPushButton *browseButton() const { return m_browseButton; }

signals:
    void statusMessage(QString message);
    void projectChanged();
    void requestIfReadersAreConnected();

public slots:
    void setProjectPath(QString filePath);
    void chooseProjectFolder();
    void changeProject(int nbrReaderConnected);
    void customMenuRequestedManagementButton(QPoint position);
    void openTraceFile();
    void updateUi();

private:
    static QDir projectDir;

    ControlPanelHeaders *m_header;
    QHBoxLayout *m_row;
    QLabel *m_pathLabel;
    QPushButton *m_browseButton;
    QSettings *m_settings;
};
