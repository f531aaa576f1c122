#include "ControlPanelRTC.h"

#include "app/ControlPanelHeaders.h"
#include "common/DeviceClock.h"
#include "common/DockedTabTypes.h"
#include "common/TextEditor.h"
#include "project/ProjectPaths.h"
#include "scripts/ScriptFile.h"
#include "scripts/ScriptLine.h"
#include "session/ConnectedReaderTab.h"
#include "session/ReaderTabs.h"

#include <QCursor>
#include <QFile>
#include <QGridLayout>
#include <QMenu>
#include <QPushButton>

ControlPanelRTC::ControlPanelRTC(ReaderTabs *readerTabs, QWidget *parent)
    : QVBoxLayout(parent)
    , m_readerTabs(readerTabs)
    , m_clock(DeviceClock::systemNow)
    , m_header(new ControlPanelHeaders(tr("RTC"), QString()))
    , m_grid(new QGridLayout)
    , m_setLocalButton(new QPushButton(tr("Set Local")))
    , m_setDistantButton(new QPushButton(tr("Set Distant")))
    , m_contextMenu(new QMenu(m_setDistantButton))
{
    m_setLocalButton->setObjectName(QStringLiteral("setLocalButton"));
    m_setDistantButton->setObjectName(QStringLiteral("setDistantButton"));
    m_setDistantButton->setContextMenuPolicy(Qt::CustomContextMenu);
    m_contextMenu->addAction(tr("Open"), this, &ControlPanelRTC::customContextMenuOpen);

    m_grid->addWidget(m_setLocalButton, 0, 1);
    m_grid->addWidget(m_setDistantButton, 0, 2);
    addLayout(m_header);
    addLayout(m_grid);

    connect(m_setLocalButton, &QPushButton::released, this, &ControlPanelRTC::setLocalRTCClicked);
    connect(m_setDistantButton, &QPushButton::released, this,
            &ControlPanelRTC::setDistantRTCClicked);
    connect(m_setDistantButton, &QPushButton::customContextMenuRequested, this,
            &ControlPanelRTC::customMenuRequested);
}

QString ControlPanelRTC::rtcValue(qint64 offsetSeconds) const
{
    return DeviceClock::rtcValue(offsetSeconds, m_clock());
}

void ControlPanelRTC::setLocalRTCClicked()
{
    ConnectedReaderTab *tab = selectedReaderTab();
    if (!tab)
        return;
    tab->sendCommandForDock(QStringLiteral("010109") + rtcValue(0), TAB_CONNECTED_READER);
    emit statusMessage(tr("Local RTC of reader \"%1\" has been set.").arg(tab->readerName()));
}

void ControlPanelRTC::setDistantRTCClicked()
{
    ConnectedReaderTab *tab = selectedReaderTab();
    if (!tab)
        return;
    const QString path = ProjectPaths::rtcScriptPath();
    if (!QFile::exists(path)) {
        emit statusMessage(tr("Error: File \"%1\" does not exist.").arg(path));
        return;
    }
    ScriptFile file(path);
    if (!file.open()) {
        emit statusMessage(tr("Error: Could not open script file \"%1\".").arg(path));
        return;
    }
    QString line;
    file.readLine(&line);
    // Read as a script reads it, so that its blanks do not end up in the rows and logs. An
    // offset out of range still gives a value; the device is left to judge it.
    line = DeviceClock::expandPlaceholders(ScriptLine::normalised(line), m_clock());
    tab->sendCommandForDock(line, TAB_CONNECTED_READER);
    emit statusMessage(tr("Distant RTC of reader \"%1\" has been set.").arg(tab->readerName()));
}

void ControlPanelRTC::customMenuRequested(QPoint pos)
{
    Q_UNUSED(pos)
    // pos is the button's; the menu goes where the mouse is.
    m_contextMenu->popup(QCursor::pos());
}

void ControlPanelRTC::customContextMenuOpen()
{
    const QString path = ProjectPaths::rtcScriptPath();
    if (!TextEditor::open(path)) {
        emit statusMessage(tr("Error: Could not open file \"%1\".").arg(path));
        return;
    }
    emit statusMessage(tr("File \"%1\" has been opened.").arg(path));
}

ConnectedReaderTab *ControlPanelRTC::selectedReaderTab()
{
    if (m_readerTabs->currentDockType() != TAB_CONNECTED_READER) {
        emit statusMessage(tr("Error: Please select connected reader tab."));
        return nullptr;
    }
    return qobject_cast<ConnectedReaderTab *>(m_readerTabs->currentDock());
}
