#pragma once

#include <QObject>
#include <QString>

class QSettings;

// The project folder, which the whole process shares, and the paths of every project file.
// Opening a project creates what the workbench writes into and remembers the folder for the
// next start.
class ProjectPaths : public QObject
{
    Q_OBJECT

public:
    // The settings key of the project that the next start opens.
    static const QString startProjectPathKey;

    // Without settings a project is opened but not remembered for the next start.
    explicit ProjectPaths(QSettings *settings, QObject *parent = nullptr);

    // The project that the settings name, or the default one on a first run.
    void openStartProject();
    void setProjectPath(const QString &folder);

    static QString projectPath();
    static QString logsPath();
    // A connected reader's own trace log, and the merged log of all readers.
    static QString traceLogPath(const QString &readerName);
    static QString mergedLogPath();
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

signals:
    void projectChanged();

private:
    QSettings *m_settings;
};
