#include "ShownTab.h"

#include "patterns/ControlPanelPackets.h"
#include "session/AllReadersTab.h"
#include "session/ConnectedReaderTab.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

QString ShownTab::readerName()
{
    return QStringLiteral("BenchReader");
}

ShownTab::ShownTab() = default;

ShownTab::~ShownTab()
{
    // The tab writes into the merged tab's log while it goes.
    tab.reset();
    allReaders.reset();
    panelHost.reset();
}

bool ShownTab::start()
{
    if (!project.open() || !BenchFrames::writePatternRules())
        return false;
    panelHost = std::make_unique<QWidget>();
    packets = new ControlPanelPackets;
    (new QVBoxLayout(panelHost.get()))->addLayout(packets);
    packets->analyseButton()->click();
    allReaders = std::make_unique<AllReadersTab>();
    tab = std::make_unique<ConnectedReaderTab>(readerName(), allReaders.get(), packets);
    panelHost->resize(240, 650);
    allReaders->resize(900, 600);
    tab->resize(900, 600);
    panelHost->show();
    allReaders->show();
    tab->show();
    QCoreApplication::processEvents();
    return packets->analysing() && packets->rules().size() == 50;
}
