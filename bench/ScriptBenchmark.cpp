#include "ScriptBenchmark.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "EventLoopWait.h"
#include "ReaderSimulator.h"
#include "StallMeter.h"
#include "app/OVSViewer.h"
#include "session/ConnectedReaderTab.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

constexpr int scriptLines = 10000;
constexpr double linesTargetPerSecond = 1000;
constexpr double stallTargetMs = 100;
const QString readerName = QStringLiteral("Scripted");

} // namespace

bool ScriptBenchmark::run()
{
    report(QStringLiteral("script: %1 frame lines with delay 0 (each waits for its "
                          "acknowledgement and the answer) against the simulated serial reader "
                          "of a shown window")
               .arg(scriptLines));
    QTemporaryDir project;
    ReaderSimulator simulator;
    if (!project.isValid() || !simulator.startSerial(QStringLiteral("/tmp/ovsxXXXX"))) {
        report(QStringLiteral("  the reader could not be set up"));
        return false;
    }
    simulator.setAnswer(QByteArray::fromHex("0A1B2C"), QByteArray::fromHex("8A1B2C00"));
    auto window = windowWithSerialReader(project.path(), simulator.serialPortName(), readerName);
    if (!window)
        return false;
    QFile script(project.path() + QStringLiteral("/Scripts/bench.scr"));
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write("Benchmark\n");
    for (int i = 0; i < scriptLines; ++i)
        script.write("0A1B2C;1;0\n");
    script.close();

    ConnectedReaderTab *tab = window->connectedReaderTab(readerName);
    bool finished = false;
    QObject::connect(tab, &ConnectedReaderTab::readerScriptExecutionFinished,
                     [&finished] { finished = true; });
    QString lastMessage;
    QObject::connect(tab, &ConnectedReaderTab::statusMessage,
                     [&lastMessage](const QString &message) { lastMessage = message; });
    simulator.clearRecords();

    StallMeter stalls;
    stalls.start();
    QElapsedTimer clock;
    clock.start();
    emit tab->startReaderScriptMode(readerName, script.fileName());
    const bool ended = processUntil([&] { return finished; }, 600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    processUntil([&] { return lastMessage.contains(QStringLiteral("execution")); }, 10000);
    const double stall = stalls.stop();
    const int sent = simulator.receivedCount();
    const double rate = sent / seconds;
    const bool met =
        ended && sent == scriptLines && rate >= linesTargetPerSecond && stall < stallTargetMs;
    report(QStringLiteral("  %1 lines sent in %2 s: %3 lines/s, %4 ms per line; longest stall "
                          "%5 ms")
               .arg(sent)
               .arg(seconds, 0, 'f', 2)
               .arg(rate, 0, 'f', 0)
               .arg(seconds * 1000 / qMax(1, sent), 0, 'f', 3)
               .arg(stall, 0, 'f', 1));
    report(QStringLiteral("  last message: %1").arg(lastMessage));
    report(QStringLiteral("  (targets: >= %1 lines/s, stalls < %2 ms) -> %3")
               .arg(linesTargetPerSecond, 0, 'f', 0)
               .arg(stallTargetMs, 0, 'f', 0)
               .arg(met ? QStringLiteral("targets met") : QStringLiteral("TARGET MISSED")));
    window->close();
    return met;
}
