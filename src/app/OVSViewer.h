#pragma once

#include "common/DockedTabTypes.h"
#include "session/ReaderTabs.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMap>
#include <QString>
#include <QTimer>

class AllReadersTab;
class ConnectedReaderTab;
class ControlPanelDisplay;
class ControlPanelMac;
class ControlPanelPackets;
class ControlPanelRTC;
class ControlPanelScripts;
class ControlPanelTracePath;
class FirmwareUpgrade;
class QDockWidget;
class QLabel;
class QCloseEvent;
class QLayout;
class QSettings;
class QVBoxLayout;
class ReadersTab;

namespace Ui {
class OVSViewer;
}

// The main window: the frame of every dock and the switchboard between them.
class OVSViewer : public QMainWindow, public ReaderTabs
{
    Q_OBJECT

public:
    explicit OVSViewer(QWidget *parent = nullptr);
    ~OVSViewer() override;

    QDockWidget *currentDock() const override { return currentTab; }
    DockedTabTypes currentDockType() const override { return currentTabType; }
    ConnectedReaderTab *connectedReaderTab(const QString &readerName) const override;

    ControlPanelTracePath *projectPanel() const { return controlPanelTracePath; }
    ReadersTab *readersDock() const { return readersTab; }
    ControlPanelMac *routePanel() const { return controlPanelMac; }
    ControlPanelRTC *clockPanel() const { return controlPanelRTC; }
    ControlPanelScripts *scriptsPanel() const { return controlPanelScripts; }
    ControlPanelPackets *packetsPanel() const { return controlPanelPackets; }
    ControlPanelDisplay *displayPanel() const { return controlPanelDisplay; }
    // Null while no reader is connected.
    AllReadersTab *allReadersDock() const { return allReadersTab; }
    FirmwareUpgrade *firmwareDock() const { return firmwareUpgrade; }

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void setStatusMessage(QString aMessage);
    // The project section's "Open trace file" and the display section's "Clear", for the tab
    // in front.
    void openCurrentTraceFile();
    void clearCurrentTab();
    void resizeControlPannel(int width);
    void autoAnswerOnMatch(QString readerName, QString answer);
    void setCurrentSelectedTab(QDockWidget *selectedTab, DockedTabTypes type);
    void openNewReaderTab(QString readerName, QString readerMac);
    void handleDisconnectReader(QString readerName);

private:
    void buildControlPanelDock();
    void buildStatusDock();
    void showStatus(const QString &richText);
    void buildReadersTab();
    void buildFirmwareDock();
    void addControlPanelSection(QLayout *section);
    void forgetDock(QDockWidget *dock);
    void closeReaderTab(const QString &readerName);
    // Disconnects every reader and lets their links and threads go.
    void disconnectReaders();

    Ui::OVSViewer *ui;
    QMap<QString, ConnectedReaderTab *> connectedReaderTabs;
    ReadersTab *readersTab = nullptr;
    AllReadersTab *allReadersTab = nullptr;
    FirmwareUpgrade *firmwareUpgrade = nullptr;
    ControlPanelTracePath *controlPanelTracePath = nullptr;
    ControlPanelMac *controlPanelMac = nullptr;
    ControlPanelRTC *controlPanelRTC = nullptr;
    ControlPanelScripts *controlPanelScripts = nullptr;
    ControlPanelPackets *controlPanelPackets = nullptr;
    ControlPanelDisplay *controlPanelDisplay = nullptr;
    QDockWidget *controlPanelDock = nullptr;
    QVBoxLayout *m_controlPanelLayout = nullptr;
    QDockWidget *statusDock = nullptr;
    QLabel *statusLabel = nullptr;
    // A script reports every line; the label, whose every change relays the window out, shows
    // the latest message at most 25 times a second, and the last one always.
    QTimer m_statusRefresh;
    QElapsedTimer m_sinceStatusShown;
    QString m_pendingStatus;
    QSettings *settings = nullptr;
    QDockWidget *currentTab = nullptr;
    DockedTabTypes currentTabType = TAB_READERS;
};
