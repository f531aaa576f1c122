#include "ProjectPaths.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QVariant>

namespace {

// Set on the window thread only, and only while no reader is connected.
QString &projectFolder()
{
    static QString folder;
    return folder;
}

} // namespace

const QString ProjectPaths::startProjectPathKey = QStringLiteral("startProjectPath");

ProjectPaths::ProjectPaths(QSettings *settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
}

void ProjectPaths::openStartProject()
{
    m_settings->sync();
    const QString startPath = m_settings->value(startProjectPathKey).toString();
    setProjectPath(startPath.isEmpty() ? defaultProjectPath() : startPath);
}

void ProjectPaths::setProjectPath(const QString &folder)
{
    projectFolder() = QDir(folder).path();
    if (m_settings)
        m_settings->setValue(startProjectPathKey, folder);

    for (const QString &path : {logsPath(), scriptsPath(), firmwarePath()}) {
        if (!QDir(path).exists())
            QDir().mkpath(path);
    }
    // Files that the user keeps are left alone; these the workbench reads from the start.
    for (const QString &path : {rtcScriptPath(), relayCompletionPath(), commandCompletionPath(),
                                firmwareDeviceCompletionPath()}) {
        QFile file(path);
        if (!file.exists())
            file.open(QIODevice::ReadWrite | QIODevice::Text);
    }

    if (m_settings)
        m_settings->sync();
    emit projectChanged();
}

QString ProjectPaths::defaultProjectPath()
{
    return QDir::homePath() + QStringLiteral("/Documents/Tessel-Viewer datas/default_project");
}

QString ProjectPaths::projectPath()
{
    return projectFolder();
}

QString ProjectPaths::logsPath()
{
    return projectPath() + QStringLiteral("/Logs/");
}

QString ProjectPaths::traceLogPath(const QString &readerName)
{
    return logsPath() + QStringLiteral("trace_") + readerName + QStringLiteral(".log");
}

QString ProjectPaths::mergedLogPath()
{
    return logsPath() + QStringLiteral("AllReaders.log");
}

QString ProjectPaths::scriptsPath()
{
    return projectPath() + QStringLiteral("/Scripts/");
}

QString ProjectPaths::rtcScriptPath()
{
    return scriptsPath() + QStringLiteral("script_rtc.scr");
}

QString ProjectPaths::firmwarePath()
{
    return projectPath() + QStringLiteral("/Firmware/");
}

QString ProjectPaths::relayCompletionPath()
{
    return projectPath() + QStringLiteral("/completion_list_relay.txt");
}

QString ProjectPaths::commandCompletionPath()
{
    return projectPath() + QStringLiteral("/completion_list_cmd.txt");
}

QString ProjectPaths::firmwareDeviceCompletionPath()
{
    return projectPath() + QStringLiteral("/completion_fwupdt_dev_list_cmd.txt");
}

QString ProjectPaths::patternRulesPath()
{
    return projectPath() + QStringLiteral("/frame_recognize_pattern.txt");
}

QString ProjectPaths::preferredScriptPath()
{
    return projectPath() + QStringLiteral("/prefered_script.txt");
}

QString ProjectPaths::readersFilePath(const QString &suffix)
{
    return projectPath() + QStringLiteral("/readers_list") + suffix + QStringLiteral(".txt");
}
