#include "OVSViewer.h"

#include "common/StatusLine.h"
#include "common/TextEditor.h"
#include "common/WindowPalette.h"
#include "firmware/FirmwareUpgrade.h"
#include "panels/ControlPanelMac.h"
#include "panels/ControlPanelRTC.h"
#include "patterns/ControlPanelPackets.h"
#include "project/ControlPanelTracePath.h"
#include "project/LogFileOwner.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"
#include "scripts/ControlPanelScripts.h"
#include "session/AllReadersTab.h"
#include "session/AllReadersTabModel.h"
#include "session/ConnectedReaderModel.h"
#include "session/ConnectedReaderTab.h"
#include "session/ControlPanelDisplay.h"
#include "session/DataSender.h"
#include "ui_OVSViewer.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QSettings>
#include <QTabWidget>
#include <QTime>
#include <QVBoxLayout>
#include <QWidget>

namespace {

constexpr int controlPanelMinimumWidth = 226;
constexpr int controlPanelHeight = 651;
constexpr int controlPanelMaximumWidth = 800;
constexpr int controlPanelMaximumHeight = 524287;
constexpr int controlPanelMargin = 20;
constexpr int statusDockHeight = 50;
constexpr qint64 statusRefreshMs = 40;

} // namespace

OVSViewer::OVSViewer(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::OVSViewer)
    , settings(new QSettings(QSettings::IniFormat, QSettings::UserScope,
                             QStringLiteral("ovraDiroz"), QStringLiteral("tesselViewer"), this))
{
    ui->setupUi(this);
    setPalette(windowPalette());

    setAttribute(Qt::WA_AlwaysShowToolTips);
    setTabPosition(Qt::RightDockWidgetArea, QTabWidget::North);
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                   QMainWindow::AllowTabbedDocks | QMainWindow::ForceTabbedDocks);

    buildControlPanelDock();
    addDockWidget(Qt::LeftDockWidgetArea, controlPanelDock);

    buildStatusDock();
    addDockWidget(Qt::BottomDockWidgetArea, statusDock);

    buildReadersTab();
    buildFirmwareDock();
}

OVSViewer::~OVSViewer()
{
    // The dock's job ends before the readers it talks to go.
    delete firmwareUpgrade;
    firmwareUpgrade = nullptr;
    disconnectReaders();
    // Each reader tab stops its sender thread, which must happen while the window is whole.
    qDeleteAll(connectedReaderTabs);
    connectedReaderTabs.clear();
    delete allReadersTab;
    delete ui;
}

void OVSViewer::closeEvent(QCloseEvent *event)
{
    disconnectReaders();
    QMainWindow::closeEvent(event);
}

void OVSViewer::disconnectReaders()
{
    // Closing the links first releases any send that waits for an acknowledgement, so the
    // tabs' sender threads end at once; the links themselves go with the deferred deletions.
    ReadersList::instance()->disconnectAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void OVSViewer::openCurrentTraceFile()
{
    if (currentTabType == TAB_FIRMWARE_UPGRADE)
        return;
    // Only the merged tab and the reader tabs keep logs; the readers tab has none.
    const auto *owner = dynamic_cast<const LogFileOwner *>(currentTab);
    if (owner && !owner->logFileName().isEmpty())
        TextEditor::open(owner->logFileName());
}

void OVSViewer::clearCurrentTab()
{
    switch (currentTabType) {
    case TAB_READERS:
        setStatusMessage(tr("Error: You could not clear the contents of readers table."));
        break;
    case TAB_ALL_READERS:
        if (allReadersTab)
            allReadersTab->model()->clear();
        setStatusMessage(tr("Data packets table for all readers has been cleared."));
        break;
    case TAB_FIRMWARE_UPGRADE:
        return;
    case TAB_CONNECTED_READER:
        if (auto *tab = qobject_cast<ConnectedReaderTab *>(currentTab)) {
            tab->model()->clear();
            setStatusMessage(tr("Data packets table for reader \"%1\" has been cleared.")
                                 .arg(tab->readerName()));
        }
        break;
    default:
        setStatusMessage(tr("Error: Unknown tab is selected."));
        break;
    }
    controlPanelPackets->clearCounters();
}

ConnectedReaderTab *OVSViewer::connectedReaderTab(const QString &readerName) const
{
    return connectedReaderTabs.value(readerName, nullptr);
}

void OVSViewer::buildControlPanelDock()
{
    controlPanelDock = new QDockWidget(tr("Control Panel"));
    controlPanelDock->setObjectName(QStringLiteral("controlPanelDock"));
    controlPanelDock->setGeometry(0, 12, controlPanelMinimumWidth, controlPanelHeight);
    controlPanelDock->setMinimumSize(controlPanelMinimumWidth, controlPanelHeight);
    controlPanelDock->setMaximumSize(controlPanelMaximumWidth, controlPanelMaximumHeight);
    controlPanelDock->setAllowedAreas(Qt::LeftDockWidgetArea);
    controlPanelDock->setFeatures(QDockWidget::DockWidgetFloatable);
    controlPanelDock->setFloating(false);

    auto *contents = new QWidget;
    m_controlPanelLayout = new QVBoxLayout(contents);
    // Sections stack from the top; the stretch keeps them there.
    m_controlPanelLayout->addStretch();
    controlPanelDock->setWidget(contents);

    controlPanelTracePath = new ControlPanelTracePath(settings);
    addControlPanelSection(controlPanelTracePath);
    connect(controlPanelTracePath, &ControlPanelTracePath::statusMessage, this,
            &OVSViewer::setStatusMessage);
    connect(controlPanelTracePath, &ControlPanelTracePath::openTraceFileRequest, this,
            &OVSViewer::openCurrentTraceFile);

    controlPanelMac = new ControlPanelMac(this);
    addControlPanelSection(controlPanelMac);
    connect(controlPanelMac, &ControlPanelMac::statusMessage, this, &OVSViewer::setStatusMessage);
    connect(controlPanelTracePath, &ControlPanelTracePath::projectChanged, controlPanelMac,
            &ControlPanelMac::reloadMacCompletion);

    controlPanelRTC = new ControlPanelRTC(this);
    addControlPanelSection(controlPanelRTC);
    connect(controlPanelRTC, &ControlPanelRTC::statusMessage, this, &OVSViewer::setStatusMessage);

    controlPanelScripts = new ControlPanelScripts(this);
    addControlPanelSection(controlPanelScripts);
    // The scripts' names decide how wide the panel must be.
    const int scriptsWidth = controlPanelScripts->requiredWidth();
    controlPanelDock->setFixedWidth(
        scriptsWidth > controlPanelMinimumWidth ? scriptsWidth : controlPanelMinimumWidth);
    connect(controlPanelScripts, &ControlPanelScripts::statusMessage, this,
            &OVSViewer::setStatusMessage);
    connect(controlPanelScripts, &ControlPanelScripts::scriptReparsed, this,
            &OVSViewer::resizeControlPannel);
    connect(controlPanelTracePath, &ControlPanelTracePath::projectChanged, controlPanelScripts,
            &ControlPanelScripts::loadScriptsFromProject);

    controlPanelPackets = new ControlPanelPackets;
    addControlPanelSection(controlPanelPackets);
    connect(controlPanelPackets, &ControlPanelPackets::statusMessage, this,
            &OVSViewer::setStatusMessage);
    connect(controlPanelTracePath, &ControlPanelTracePath::projectChanged, controlPanelPackets,
            &ControlPanelPackets::loadAnalizeFromProject);
    connect(controlPanelPackets, &ControlPanelPackets::answerOnMatch, this,
            &OVSViewer::autoAnswerOnMatch);

    controlPanelDisplay = new ControlPanelDisplay;
    addControlPanelSection(controlPanelDisplay);
    connect(controlPanelDisplay, &ControlPanelDisplay::statusMessage, this,
            &OVSViewer::setStatusMessage);
    connect(controlPanelDisplay, &ControlPanelDisplay::clearRequest, this,
            &OVSViewer::clearCurrentTab);
}

void OVSViewer::addControlPanelSection(QLayout *section)
{
    m_controlPanelLayout->insertLayout(m_controlPanelLayout->count() - 1, section);
}

void OVSViewer::buildStatusDock()
{
    statusLabel = new QLabel;
    m_statusRefresh.setSingleShot(true);
    connect(&m_statusRefresh, &QTimer::timeout, this, [this] { showStatus(m_pendingStatus); });
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setIndent(5);
    QFont font = statusLabel->font();
    font.setPointSize(12);
    statusLabel->setFont(font);

    statusDock = new QDockWidget(tr("Status"));
    statusDock->setObjectName(QStringLiteral("statusDock"));
    statusDock->setWidget(statusLabel);
    statusDock->setMinimumHeight(statusDockHeight);
    statusDock->setMaximumHeight(statusDockHeight);
    statusDock->setAllowedAreas(Qt::BottomDockWidgetArea);
    statusDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
}

void OVSViewer::buildReadersTab()
{
    readersTab = new ReadersTab;
    connect(readersTab, &ReadersTab::statusMessage, this, &OVSViewer::setStatusMessage);
    connect(readersTab, &ReadersTab::selectedTab, this, &OVSViewer::setCurrentSelectedTab);
    connect(readersTab->dataSender(), &DataSender::statusMessage, this,
            &OVSViewer::setStatusMessage);
    connect(controlPanelTracePath, &ControlPanelTracePath::projectChanged, readersTab,
            &ReadersTab::reloadProject);
    connect(controlPanelTracePath, &ControlPanelTracePath::requestIfReadersAreConnected, readersTab,
            &ReadersTab::areReadersConnected);
    connect(readersTab, &ReadersTab::readersConnectionCount, controlPanelTracePath,
            &ControlPanelTracePath::changeProject);
    addDockWidget(Qt::RightDockWidgetArea, readersTab);

    ReadersList *registry = ReadersList::instance();
    connect(registry, &ReadersList::connectedToReader, this, &OVSViewer::openNewReaderTab);
    connect(registry, &ReadersList::disconnectedFromReader, this,
            &OVSViewer::handleDisconnectReader);
    readersTab->loadReaders();
}

void OVSViewer::buildFirmwareDock()
{
    firmwareUpgrade = new FirmwareUpgrade(this);
    connect(firmwareUpgrade, &FirmwareUpgrade::statusMessage, this, &OVSViewer::setStatusMessage);
    connect(firmwareUpgrade, &FirmwareUpgrade::selectedTab, this,
            &OVSViewer::setCurrentSelectedTab);
    connect(firmwareUpgrade, &FirmwareUpgrade::routeInputsDisabled, controlPanelMac,
            &ControlPanelMac::disableInputs);
    connect(firmwareUpgrade, &FirmwareUpgrade::routeInputsEnabled, controlPanelMac,
            &ControlPanelMac::enableInputs);
    tabifyDockWidget(readersTab, firmwareUpgrade);
    readersTab->raise();
}

void OVSViewer::openNewReaderTab(QString readerName, QString readerMac)
{
    const int row = readersTab->model()->rowOfReader(readerName);
    if (row < 0)
        return;
    readersTab->model()->setMacAddress(row, readerMac);

    if (connectedReaderTabs.isEmpty()) {
        allReadersTab = new AllReadersTab;
        connect(allReadersTab, &AllReadersTab::selectedTab, this,
                &OVSViewer::setCurrentSelectedTab);
        connect(controlPanelTracePath, &ControlPanelTracePath::projectChanged, allReadersTab,
                &AllReadersTab::updateAllReadersLogFile);
        tabifyDockWidget(readersTab, allReadersTab);
    }
    // A reconnection report for a reader whose tab is still open replaces that tab.
    closeReaderTab(readerName);
    auto *tab = new ConnectedReaderTab(readerName, allReadersTab, controlPanelPackets);
    connectedReaderTabs.insert(readerName, tab);
    connect(tab, &ConnectedReaderTab::statusMessage, this, &OVSViewer::setStatusMessage);
    connect(tab, &ConnectedReaderTab::selectedTab, this, &OVSViewer::setCurrentSelectedTab);
    connect(tab, &ConnectedReaderTab::receivedUpdateFrame, firmwareUpgrade,
            &FirmwareUpgrade::handleReceivedData);
    tabifyDockWidget(readersTab, tab);
    setStatusMessage(tr("Reader \"%1\" connected successfully.").arg(readerName));
}

void OVSViewer::handleDisconnectReader(QString readerName)
{
    const int row = readersTab->model()->rowOfReader(readerName);
    if (row < 0)
        return;
    readersTab->model()->setMacAddress(row, QString());
    if (!connectedReaderTabs.contains(readerName))
        return;
    closeReaderTab(readerName);
    setStatusMessage(tr("Reader \"%1\" disconnected successfully.").arg(readerName));

    if (connectedReaderTabs.isEmpty() && allReadersTab) {
        removeDockWidget(allReadersTab);
        forgetDock(allReadersTab);
        delete allReadersTab;
        allReadersTab = nullptr;
    }
}

void OVSViewer::closeReaderTab(const QString &readerName)
{
    ConnectedReaderTab *tab = connectedReaderTabs.value(readerName);
    if (!tab)
        return;
    // Every script of the reader stops; the scripts section lets go of the one it started
    // while the tab can still be found.
    tab->requestScriptStop();
    if (controlPanelScripts->runningReaderName() == readerName)
        controlPanelScripts->scriptExecutionFinished();
    connectedReaderTabs.remove(readerName);
    removeDockWidget(tab);
    forgetDock(tab);
    delete tab;
}

void OVSViewer::forgetDock(QDockWidget *dock)
{
    // The sections must never act on a dock that is gone.
    if (currentTab == dock) {
        currentTab = readersTab;
        currentTabType = TAB_READERS;
    }
}

void OVSViewer::autoAnswerOnMatch(QString readerName, QString answer)
{
    if (controlPanelScripts->callScriptByName(readerName, answer))
        return;
    if (ConnectedReaderTab *tab = connectedReaderTab(readerName))
        tab->sendCommandForDock(answer, TAB_CONNECTED_READER);
}

void OVSViewer::setStatusMessage(QString aMessage)
{
    const QString stamped = StatusLine::stampedText(aMessage, QTime::currentTime());
    const QString text =
        tr("<font color='%1'>%2</font>").arg(StatusLine::messageColor(aMessage).name(), stamped);
    const qint64 sinceShown =
        m_sinceStatusShown.isValid() ? m_sinceStatusShown.elapsed() : statusRefreshMs;
    if (!m_statusRefresh.isActive() && sinceShown >= statusRefreshMs) {
        showStatus(text);
        return;
    }
    m_pendingStatus = text;
    if (!m_statusRefresh.isActive())
        m_statusRefresh.start(int(statusRefreshMs - sinceShown));
}

void OVSViewer::showStatus(const QString &richText)
{
    statusLabel->setText(richText);
    m_sinceStatusShown.start();
}

void OVSViewer::resizeControlPannel(int width)
{
    controlPanelDock->setFixedWidth(qMax(width + controlPanelMargin, controlPanelMinimumWidth));
}

void OVSViewer::setCurrentSelectedTab(QDockWidget *selectedTab, DockedTabTypes type)
{
    currentTab = selectedTab;
    currentTabType = type;
    if (type < TAB_READERS || type > TAB_CONNECTED_READER)
        setStatusMessage(tr("Could not set log file name."));
}
