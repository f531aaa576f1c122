#pragma once

#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "session/ConnectedReaderTab.h"
#include "session/ReaderTabs.h"

#include <QDockWidget>
#include <QString>
#include <QWidget>

#include <memory>

// A panel in a fresh project's window, with simulated reader "R1"'s tab in front as type.
template<typename Panel>
struct PanelBench : ReaderTabs
{
    PanelBench()
    {
        if (simulator.startSerial(QStringLiteral("/tmp/ovspXXXX")) &&
            addConnectedReader("R1", simulator.serialPortName()))
            tab = std::make_unique<ConnectedReaderTab>(QStringLiteral("R1"), nullptr, nullptr);
        simulator.clearRecords();
        host.show();
    }
    ~PanelBench()
    {
        tab.reset();
        resetReaderRegistry();
    }
    QDockWidget *currentDock() const override { return tab.get(); }
    DockedTabTypes currentDockType() const override { return type; }
    ConnectedReaderTab *connectedReaderTab(const QString &) const override { return tab.get(); }

    ProjectFolder project;
    ReaderSimulator simulator;
    std::unique_ptr<ConnectedReaderTab> tab;
    DockedTabTypes type = TAB_CONNECTED_READER;
    QWidget host;
    Panel *panel = new Panel(this, &host);
};
