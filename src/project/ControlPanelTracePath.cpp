#include "ControlPanelTracePath.h"

#include "app/ControlPanelHeaders.h"

#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSizePolicy>

ControlPanelTracePath::ControlPanelTracePath(QSettings *settings, QWidget *parent)
    : QVBoxLayout(parent)
    , m_paths(new ProjectPaths(settings, this))
    , m_header(new ControlPanelHeaders(tr("Project Folder"), QString()))
    , m_row(new QHBoxLayout)
    , m_pathLabel(new QLabel)
    , m_browseButton(new QPushButton(tr("Browse")))
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

    connect(m_paths, &ProjectPaths::projectChanged, this, &ControlPanelTracePath::updateUi);
    connect(m_paths, &ProjectPaths::projectChanged, this, &ControlPanelTracePath::projectChanged);
    m_paths->openStartProject();
}

void ControlPanelTracePath::setProjectPath(QString filePath)
{
    m_paths->setProjectPath(filePath);
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
                              QMessageBox::StandardButtons(QMessageBox::Ok));
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

// The window knows the tab in front and its log.
void ControlPanelTracePath::openTraceFile()
{
    emit openTraceFileRequest();
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
