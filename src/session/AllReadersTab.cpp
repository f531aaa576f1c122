#include "AllReadersTab.h"

#include "AllReadersTabModel.h"
#include "TVTableView.h"
#include "app/StyleSheet.h"
#include "project/ProjectPaths.h"

#include <QScrollBar>
#include <QSizePolicy>

AllReadersTab::AllReadersTab(QWidget *parent)
    : QDockWidget(parent)
    , m_tableView(new TVTableView(this))
    , m_model(new AllReadersTabModel(this))
{
    setObjectName(QStringLiteral("allReadersTab"));
    m_tableView->setObjectName(QStringLiteral("allReadersTableLog"));
    m_tableView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(m_tableView->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &AllReadersTab::moveScrollBarToBottom);
    m_model->publishInBatches();
    m_tableView->setModel(m_model);
    m_tableView->setPacketColumnWidths(1);

    m_logFile.open(logFilePath());
    setWindowTitle(tr("All Readers"));
    setAllowedAreas(Qt::RightDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetFloatable);
    setWidget(m_tableView);
    setStyleSheet(loadStyleSheet(QStringLiteral("AllReadersTabStyleSheet")));
    connect(this, &QDockWidget::visibilityChanged, this, &AllReadersTab::handleVisibilityChanged);
}

AllReadersTab::~AllReadersTab() = default;

QString AllReadersTab::logFilePath()
{
    return ProjectPaths::mergedLogPath();
}

void AllReadersTab::addPacketToTable(readerPacket_t &dataPacket)
{
    m_model->addPacket(dataPacket);
}

void AllReadersTab::addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                                       const PacketLogFile::MatchList &matchList)
{
    m_logFile.writePacket(dataPacket, dateTime, matchList);
}

void AllReadersTab::updateAllReadersLogFile()
{
    const QString fileName = logFilePath();
    if (fileName != m_logFile.fileName())
        m_logFile.open(fileName);
}

void AllReadersTab::handleVisibilityChanged(bool visible)
{
    if (visible)
        emit selectedTab(this, TAB_ALL_READERS);
}

void AllReadersTab::moveScrollBarToBottom(int, int max)
{
    m_tableView->verticalScrollBar()->setValue(max);
}
