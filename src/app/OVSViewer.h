#pragma once

#include "DockedTabTypes.h"

#include <QMainWindow>
#include <QMap>
#include <QString>

class ConnectedReaderTab;
class ControlPanelPackets;
class ControlPanelTracePath;
class QDockWidget;
class QLabel;
class QLayout;
class QSettings;
class QVBoxLayout;
class ReadersTab;

namespace Ui {
class OVSViewer;
}

// The main window: the frame of every dock and the switchboard between them.
class OVSViewer : public QMainWindow
{
    Q_OBJECT

public:
    explicit OVSViewer(QWidget *parent = nullptr);
    ~OVSViewer() override;

    // The window that holds a widget, also while the widget's dock floats.
    static OVSViewer *of(const QWidget *widget);

    // The dock last reported as selected, for sections that act on "the current reader".
    QDockWidget *currentDock() const { return currentTab; }
    DockedTabTypes currentDockType() const { return currentTabType; }

    // Null when the reader has no tab (it is not connected).
    ConnectedReaderTab *connectedReaderTab(const QString &readerName) const;

    ControlPanelTracePath *projectPanel() const { return controlPanelTracePath; }
    ReadersTab *readersDock() const { return readersTab; }
    ControlPanelPackets *packetsPanel() const { return controlPanelPackets; }

private slots:
    void setStatusMessage(QString aMessage);
    void resizeControlPannel(int width);
    void setCurrentSelectedTab(QDockWidget *selectedTab, DockedTabTypes type);
    void openNewReaderTab(QString readerName, QString readerMac);
    void handleDisconnectReader(QString readerName);

private:
    void buildControlPanelDock();
    void buildStatusDock();
    void buildReadersTab();
    void addControlPanelSection(QLayout *section);

    Ui::OVSViewer *ui;
    QMap<QString, ConnectedReaderTab *> connectedReaderTabs;
    ReadersTab *readersTab = nullptr;
    ControlPanelTracePath *controlPanelTracePath = nullptr;
    ControlPanelPackets *controlPanelPackets = nullptr;
    QDockWidget *controlPanelDock = nullptr;
    QVBoxLayout *m_controlPanelLayout = nullptr;
    QDockWidget *statusDock = nullptr;
    QLabel *statusLabel = nullptr;
    QSettings *settings = nullptr;
    QDockWidget *currentTab = nullptr;
    DockedTabTypes currentTabType = TAB_READERS;
};
