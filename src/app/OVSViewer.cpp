#include "OVSViewer.h"

#include "StatusLine.h"
#include "WindowPalette.h"
#include "patterns/ControlPanelPackets.h"
#include "project/ControlPanelTracePath.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"
#include "session/DataSender.h"
#include "ui_OVSViewer.h"

#include <QDockWidget>
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
}

OVSViewer::~OVSViewer()
{
    delete ui;
}

OVSViewer *OVSViewer::of(const QWidget *widget)
{
    for (QWidget *ancestor = widget ? widget->parentWidget() : nullptr; ancestor;
         ancestor = ancestor->parentWidget()) {
        if (auto *window = qobject_cast<OVSViewer *>(ancestor))
            return window;
    }
    return nullptr;
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

    controlPanelPackets = new ControlPanelPackets;
    addControlPanelSection(controlPanelPackets);
    connect(controlPanelPackets, &ControlPanelPackets::statusMessage, this,
            &OVSViewer::setStatusMessage);
    connect(controlPanelTracePath, &ControlPanelTracePath::projectChanged, controlPanelPackets,
            &ControlPanelPackets::loadAnalizeFromProject);

    // The panel is as wide as its widest section needs, never narrower than the minimum.
    controlPanelDock->setFixedWidth(controlPanelMinimumWidth);
}

void OVSViewer::addControlPanelSection(QLayout *section)
{
    m_controlPanelLayout->insertLayout(m_controlPanelLayout->count() - 1, section);
}

void OVSViewer::buildStatusDock()
{
    statusLabel = new QLabel;
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

void OVSViewer::openNewReaderTab(QString readerName, QString readerMac)
{
    const int row = readersTab->model()->rowOfReader(readerName);
    if (row < 0)
        return;
    readersTab->model()->setMacAddress(row, readerMac);
    setStatusMessage(tr("Reader \"%1\" connected successfully.").arg(readerName));
}

void OVSViewer::handleDisconnectReader(QString readerName)
{
    const int row = readersTab->model()->rowOfReader(readerName);
    if (row < 0)
        return;
    readersTab->model()->setMacAddress(row, QString());
    setStatusMessage(tr("Reader \"%1\" disconnected successfully.").arg(readerName));
}

void OVSViewer::setStatusMessage(QString aMessage)
{
    const QString stamped =
        StatusLine::timeText(QTime::currentTime()) + QStringLiteral(": ") + aMessage;
    statusLabel->setText(
        tr("<font color='%1'>%2</font>").arg(StatusLine::messageColor(aMessage).name(), stamped));
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
