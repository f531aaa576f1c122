#include "ProjectFolder.h"

#include "project/ProjectPaths.h"

void setStartProject(const QString &folder)
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
              QStringLiteral("tesselViewer"))
        .setValue(ProjectPaths::startProjectPathKey, folder);
}

ProjectFolder::ProjectFolder()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("ovraDiroz"),
                                             QStringLiteral("tesselViewer")))
    , m_paths(std::make_unique<ProjectPaths>(m_settings.get()))
{
    m_paths->setProjectPath(m_folder.path());
}

ProjectFolder::~ProjectFolder() = default;
