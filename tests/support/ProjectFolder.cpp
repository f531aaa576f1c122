#include "ProjectFolder.h"

#include "project/ProjectPaths.h"

std::unique_ptr<QSettings> workbenchSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("ovraDiroz"), QStringLiteral("tesselViewer"));
}

void setStartProject(const QString &folder)
{
    workbenchSettings()->setValue(ProjectPaths::startProjectPathKey, folder);
}

ProjectFolder::ProjectFolder()
    : m_settings(workbenchSettings())
    , m_paths(std::make_unique<ProjectPaths>(m_settings.get()))
{
    m_paths->setProjectPath(m_folder.path());
}

ProjectFolder::~ProjectFolder() = default;
