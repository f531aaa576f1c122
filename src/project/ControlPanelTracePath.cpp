#include "ControlPanelTracePath.h"

#include "LogFileOwner.h"
#include "app/ControlPanelHeaders.h"
#include "app/OVSViewer.h"
#include "app/TextEditor.h"

#include <QCursor>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSizePolicy>
#include <QVariant>

namespace {

const QString startProjectPathKey = QStringLiteral("startProjectPath");

} // namespace

QDir ControlPanelTracePath::projectDir;

ControlPanelTracePath::ControlPanelTracePath(QSettings *settings, QWidget *parent)
    : QVBoxLayout(parent)
    , m_header(new ControlPanelHeaders(tr("Project Folder"), QString()))
    , m_row(new QHBoxLayout)
    , m_pathLabel(new QLabel)
    , m_browseButton(new QPushButton(tr("Browse")))
    , m_settings(settings)
{
    // Clipped rather than widening the panel; right alignment keeps the folder's name visible.
    m_pathLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_browseButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_browseButton, &QPushButton::released, this,
            &ControlPanelTracePath::chooseProjectFolder);
    connect(m_browseButton, &QPushButton::customContextMenuRequested, this,
            &ControlPanelTracePath::customMenuRequestedManagementButton);
    m_row->addWidget(m_pathLabel);
    m_row->addWidget(m_browseButton);
    addLayout(m_header);
    addLayout(m_row);

    m_settings->sync();
    const QString startPath = m_settings->value(startProjectPathKey).toString();
    setProjectPath(startPath.isEmpty() ? defaultProjectPath() : startPath);
    updateUi();
}

QString ControlPanelTracePath::defaultProjectPath()
{
    return QDir::homePath() + QStringLiteral("/Documents/Tessel-Viewer datas/default_project");
}

QString ControlPanelTracePath::projectPath()
{
    return projectDir.path();
}

QString ControlPanelTracePath::logsPath()
{
    return projectPath() + QStringLiteral("/Logs/");
}

QString ControlPanelTracePath::scriptsPath()
{
    return projectPath() + QStringLiteral("/Scripts/");
}

QString ControlPanelTracePath::rtcScriptPath()
{
    return projectPath() + QStringLiteral("/Scripts/script_rtc.scr");
}

QString ControlPanelTracePath::firmwarePath()
{
    return projectPath() + QStringLiteral("/Firmware/");
}

QString ControlPanelTracePath::relayCompletionPath()
{
    return projectPath() + QStringLiteral("/completion_list_relay.txt");
}

QString ControlPanelTracePath::commandCompletionPath()
{
    return projectPath() + QStringLiteral("/completion_list_cmd.txt");
}

QString ControlPanelTracePath::firmwareDeviceCompletionPath()
{
    return projectPath() + QStringLiteral("/completion_fwupdt_dev_list_cmd.txt");
}

QString ControlPanelTracePath::patternRulesPath()
{
    return projectPath() + QStringLiteral("/frame_recognize_pattern.txt");
}

QString ControlPanelTracePath::preferredScriptPath()
{
    return projectPath() + QStringLiteral("/prefered_script.txt");
}

QString ControlPanelTracePath::readersFilePath(const QString &suffix)
{
    return projectPath() + QStringLiteral("/readers_list") + suffix + QStringLiteral(".txt");
}

void ControlPanelTracePath::setProjectPath(QString filePath)
{
    projectDir.setPath(filePath);
    m_settings->setValue(startProjectPathKey, filePath);

    for (const QString &folder : {logsPath(), scriptsPath(), firmwarePath()}) {
        if (!QDir(folder).exists())
            QDir().mkpath(folder);
    }
    for (const QString &path : {rtcScriptPath(), relayCompletionPath(), commandCompletionPath(),
                                firmwareDeviceCompletionPath()}) {
        QFile file(path);
        if (!file.exists()) {
            file.open(QIODevice::ReadWrite | QIODevice::Text);
            file.close();
        }
    }

    m_settings->sync();
    updateUi();
    emit projectChanged();
}

void ControlPanelTracePath::chooseProjectFolder()
{
    emit requestIfReadersAreConnected();
}

void ControlPanelTracePath::changeProject(int nbrReaderConnected)
{
    if (nbrReaderConnected >= 1) {
        QMessageBox::question(m_browseButton, tr("Disconnect readers"),
                              tr("To switch project you need to disconnect all the readers first."),
                              QMessageBox::Ok);
        return;
    }

    const QString startFolder = QFileInfo(projectPath()).absolutePath();
    const QString chosen =
        QFileDialog::getExistingDirectory(m_browseButton, tr("Please select a project folder"),
                                          startFolder, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        emit statusMessage(tr("Error: Please select an existing folder."));
        return;
    }
    setProjectPath(chosen);
    emit statusMessage(tr("Trace file \"%1\" has been selected.").arg(chosen));
}

void ControlPanelTracePath::customMenuRequestedManagementButton(QPoint position)
{
    Q_UNUSED(position)
    QMenu menu(m_browseButton);
    menu.addAction(tr("Open trace file"), this, &ControlPanelTracePath::openTraceFile);
    menu.exec(QCursor::pos());
}

void ControlPanelTracePath::openTraceFile()
{
    const OVSViewer *window = OVSViewer::of(m_browseButton);
    if (!window || window->currentDockType() == TAB_FIRMWARE_UPGRADE)
        return;
    // Only the merged tab and the reader tabs keep logs; the readers tab has none.
    const auto *owner = dynamic_cast<const LogFileOwner *>(window->currentDock());
    if (owner && !owner->logFileName().isEmpty())
        TextEditor::open(owner->logFileName());
}

void ControlPanelTracePath::updateUi()
{
    const QString path = projectPath();
    if (path.isEmpty()) {
        m_pathLabel->setText(tr("None"));
        m_pathLabel->setAlignment(Qt::AlignCenter);
    } else {
        m_pathLabel->setText(path);
        m_pathLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    m_pathLabel->setToolTip(path);
}
