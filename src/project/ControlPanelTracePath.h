#pragma once

#include "ProjectPaths.h"

#include <QPoint>
#include <QString>
#include <QVBoxLayout>

class ControlPanelHeaders;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSettings;

// The project section: shows the project folder and lets the user choose another one.
class ControlPanelTracePath : public QVBoxLayout
{
    Q_OBJECT

public:
    explicit ControlPanelTracePath(QSettings *settings, QWidget *parent = nullptr);

    // The project's paths, kept by ProjectPaths.
    static QString projectPath() { return ProjectPaths::projectPath(); }
    static QString logsPath() { return ProjectPaths::logsPath(); }
    static QString scriptsPath() { return ProjectPaths::scriptsPath(); }
    static QString rtcScriptPath() { return ProjectPaths::rtcScriptPath(); }
    static QString firmwarePath() { return ProjectPaths::firmwarePath(); }
    static QString relayCompletionPath() { return ProjectPaths::relayCompletionPath(); }
    static QString commandCompletionPath() { return ProjectPaths::commandCompletionPath(); }
    static QString firmwareDeviceCompletionPath()
    {
        return ProjectPaths::firmwareDeviceCompletionPath();
    }
    static QString patternRulesPath() { return ProjectPaths::patternRulesPath(); }
    static QString preferredScriptPath() { return ProjectPaths::preferredScriptPath(); }
    static QString readersFilePath(const QString &suffix = QString())
    {
        return ProjectPaths::readersFilePath(suffix);
    }
    static QString defaultProjectPath() { return ProjectPaths::defaultProjectPath(); }

    QLabel *pathLabel() const { return m_pathLabel; }
    QPushButton *browseButton() const { return m_browseButton; }

signals:
    void statusMessage(QString message);
    void projectChanged();
    void requestIfReadersAreConnected();
    void openTraceFileRequest();

public slots:
    void setProjectPath(QString filePath);
    void chooseProjectFolder();
    void changeProject(int nbrReaderConnected);
    void customMenuRequestedManagementButton(QPoint position);
    void openTraceFile();
    void updateUi();

private:
    ProjectPaths *m_paths;
    ControlPanelHeaders *m_header;
    QHBoxLayout *m_row;
    QLabel *m_pathLabel;
    QPushButton *m_browseButton;
};
