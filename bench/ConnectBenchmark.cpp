#include "ConnectBenchmark.h"

#include "BenchReport.h"
#include "EventLoopWait.h"
#include "ReaderSimulator.h"
#include "StallMeter.h"
#include "UnansweredListener.h"
#include "app/OVSViewer.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int cycles = 20;
constexpr double connectTargetMs = 200;
constexpr double stallTargetMs = 100;
// How long the unreachable reader is left trying before its attempt is cancelled.
constexpr int unreachableWaitMs = 3000;

double percentile(QVector<double> values, int percent)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty()
               ? 0
               : values[std::min(int(values.size()) - 1, int(values.size()) * percent / 100)];
}

class Bench
{
public:
    explicit Bench(OVSViewer &window)
        : m_window(window)
    {
    }

    void click(const QString &readerName)
    {
        ReadersTabModel *model = m_window.readersDock()->model();
        m_window.readersDock()->onTableClicked(
            model->index(model->rowOfReader(readerName), ReadersTabModel::ActionColumn));
    }

    bool connected(const QString &readerName) const
    {
        return m_window.connectedReaderTab(readerName) != nullptr;
    }

    QString state(const QString &readerName) const
    {
        ReadersTabModel *model = m_window.readersDock()->model();
        return model->index(model->rowOfReader(readerName), ReadersTabModel::StateColumn)
            .data()
            .toString();
    }

private:
    OVSViewer &m_window;
};

} // namespace

bool ConnectBenchmark::run()
{
    report(QStringLiteral("connect: readers connected from the readers table of a shown window; "
                          "serial over ptys, IP over 127.0.0.1"));
    QTemporaryDir project;
    ReaderSimulator answering;
    ReaderSimulator silent;
    UnansweredListener unanswered;
    if (!project.isValid() || !answering.startSerial(QStringLiteral("/tmp/ovskXXXX")) ||
        !answering.startTcp() || !silent.startSerial(QStringLiteral("/tmp/ovskXXXX")) ||
        unanswered.port() == 0) {
        report(QStringLiteral("  the readers could not be set up"));
        return false;
    }
    silent.setSilent(true);
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
              QStringLiteral("tesselViewer"))
        .setValue(QStringLiteral("startProjectPath"), project.path());
    QFile readers(project.path() + QStringLiteral("/readers_list.txt"));
    if (!readers.open(QIODevice::WriteOnly))
        return false;
    readers.write("Serial;Answering;" + answering.serialPortName().toLatin1() +
                  ";115200;000000000000;\n");
    readers.write("IPReader;Roof;127.0.0.1;" + QByteArray::number(answering.tcpPort()) +
                  ";000000000000;\n");
    readers.write("Serial;Silent;" + silent.serialPortName().toLatin1() +
                  ";115200;000000000000;\n");
    readers.write("IPReader;Far;127.0.0.1;" + QByteArray::number(unanswered.port()) +
                  ";000000000000;\n");
    readers.close();

    auto window = std::make_unique<OVSViewer>();
    window->show();
    Bench bench(*window);
    bool met = true;
    StallMeter stalls;

    report(
        QStringLiteral("  reader        cycles   connect p50   p90      max      longest stall"));
    for (const QString &name : {QStringLiteral("Answering"), QStringLiteral("Roof")}) {
        QVector<double> times;
        stalls.start();
        for (int i = 0; i < cycles; ++i) {
            QElapsedTimer clock;
            clock.start();
            bench.click(name);
            if (!processUntil([&] { return bench.connected(name); }, 10000)) {
                report(QStringLiteral("  %1 did not connect").arg(name));
                return false;
            }
            times << clock.nsecsElapsed() / 1e6;
            bench.click(name);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        const double stall = stalls.stop();
        met = met && percentile(times, 50) < connectTargetMs && stall < stallTargetMs;
        report(QStringLiteral("  %1 %2   %3 ms %4 ms %5 ms %6 ms")
                   .arg(name, -12)
                   .arg(cycles, 6)
                   .arg(percentile(times, 50), 8, 'f', 1)
                   .arg(percentile(times, 90), 6, 'f', 1)
                   .arg(percentile(times, 100), 6, 'f', 1)
                   .arg(stall, 10, 'f', 1));
    }

    // A silent reader takes three unanswered transmissions for each start-up exchange.
    stalls.start();
    QElapsedTimer clock;
    clock.start();
    bench.click(QStringLiteral("Silent"));
    const bool silentConnected =
        processUntil([&] { return bench.connected(QStringLiteral("Silent")); }, 20000);
    const double silentMs = clock.nsecsElapsed() / 1e6;
    double stall = stalls.stop();
    met = met && silentConnected && stall < stallTargetMs;
    report(QStringLiteral("  Silent             1   %1 ms (no answer)      longest stall %2 ms")
               .arg(silentMs, 8, 'f', 1)
               .arg(stall, 0, 'f', 1));

    stalls.start();
    bench.click(QStringLiteral("Far"));
    processUntil([] { return false; }, unreachableWaitMs);
    const bool stillTrying = bench.state(QStringLiteral("Far")) == QLatin1String("Init");
    clock.start();
    bench.click(QStringLiteral("Far"));
    const double cancelMs = clock.nsecsElapsed() / 1e6;
    stall = stalls.stop();
    met = met && stillTrying && stall < stallTargetMs;
    report(QStringLiteral("  Far (unreachable) trying for %1 ms, cancelled in %2 ms, longest "
                          "stall %3 ms")
               .arg(unreachableWaitMs)
               .arg(cancelMs, 0, 'f', 1)
               .arg(stall, 0, 'f', 1));

    // What connecting cost the window when it waited for the reader itself.
    t_Reader *reader = ReadersList::instance()->readerAt(2);
    ReadersList::instance()->setReaderState(reader, STATE_DISCONNECTED);
    clock.start();
    ReadersList::instance()->setReaderState(reader, STATE_CONNECTED);
    report(QStringLiteral("  for comparison, the blocking connection of Silent holds its caller "
                          "for %1 ms")
               .arg(clock.nsecsElapsed() / 1e6, 0, 'f', 1));

    clock.start();
    window->close();
    window.reset();
    report(QStringLiteral("  closing the window with two readers connected: %1 ms")
               .arg(clock.nsecsElapsed() / 1e6, 0, 'f', 1));
    report(QStringLiteral("  (targets: connect p50 < %1 ms, stalls < %2 ms) -> %3")
               .arg(connectTargetMs, 0, 'f', 0)
               .arg(stallTargetMs, 0, 'f', 0)
               .arg(met ? QStringLiteral("targets met") : QStringLiteral("TARGET MISSED")));
    return met;
}
