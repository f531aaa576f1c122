#pragma once

#include "BenchFrames.h"

#include <QString>

#include <memory>

class AllReadersTab;
class ConnectedReaderTab;
class ControlPanelPackets;
class QWidget;

// One reader tab beside the merged tab and the pattern rules, all shown, in a project of
// its own so that its logs hold only this run's lines. The reader needs no link: frames are
// handed to the tab as its link would hand them.
struct ShownTab
{
    static QString readerName();

    ShownTab();
    ~ShownTab();
    bool start();

    BenchFrames::Project project;
    std::unique_ptr<QWidget> panelHost;
    ControlPanelPackets *packets = nullptr;
    std::unique_ptr<AllReadersTab> allReaders;
    std::unique_ptr<ConnectedReaderTab> tab;
};
