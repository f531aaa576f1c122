#include "ProjectFolder.h"

#include "project/ControlPanelTracePath.h"

#include <QVBoxLayout>

void setStartProject(const QString &folder)
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
              QStringLiteral("tesselViewer"))
        .setValue(QStringLiteral("startProjectPath"), folder);
}

ProjectFolder::ProjectFolder()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("ovraDiroz"),
                                             QStringLiteral("tesselViewer")))
    , m_host(std::make_unique<QWidget>())
{
    m_settings->setValue(QStringLiteral("startProjectPath"), m_folder.path());
    auto *layout = new QVBoxLayout(m_host.get());
    layout->addLayout(new ControlPanelTracePath(m_settings.get()));
}
