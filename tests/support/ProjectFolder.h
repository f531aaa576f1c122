#pragma once

#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

// Stores folder as the project that the next window opens, in the (isolated) settings.
void setStartProject(const QString &folder);

// A temporary project folder made current the way the workbench does it: stored as the
// start project in the (isolated) settings and opened by a project section.
class ProjectFolder
{
public:
    ProjectFolder();

    QString path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<QWidget> m_host;
};
