#pragma once

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class ProjectPaths;

// The workbench's user settings (in the isolated home).
std::unique_ptr<QSettings> workbenchSettings();
// Stores folder as the project that the next window opens, in the (isolated) settings.
void setStartProject(const QString &folder);

// A temporary project folder made current and stored as the start project in the (isolated)
// settings.
class ProjectFolder
{
public:
    ProjectFolder();
    ~ProjectFolder();

    QString path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<ProjectPaths> m_paths;
};
