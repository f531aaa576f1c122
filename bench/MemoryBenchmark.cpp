#include "MemoryBenchmark.h"

#include "BenchFrames.h"
#include "BenchReport.h"
#include "CpuClock.h"
#include "EventLoopWait.h"
#include "ShownTab.h"
#include "session/AllReadersTab.h"
#include "session/ConnectedReaderTab.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>

namespace {

constexpr int warmUpFrames = 1000;
constexpr int eventsEvery = 100;
constexpr long growthLimitKiB = 1024;
constexpr int settleMs = 300;

void feed(ConnectedReaderTab *tab, int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        QByteArray payload = BenchFrames::framePayload(i);
        tab->receivedNewFrame(&payload, i % 32767);
        if ((i + 1) % eventsEvery == 0)
            QCoreApplication::processEvents();
    }
    // The tables show their last rows on their own schedule; the size counts once they have.
    processUntil([] { return false; }, settleMs, 20);
}

} // namespace

MemoryBenchmark::MemoryBenchmark(int frames)
    : m_frames(frames)
{
}

bool MemoryBenchmark::run()
{
    report(QStringLiteral("memory: resident size of a shown reader tab (with the merged tab and "
                          "50 pattern rules analysing) after %1 frames and after %2 more")
               .arg(warmUpFrames)
               .arg(m_frames));
    ShownTab setup;
    if (!setup.start()) {
        report(QStringLiteral("  the tabs could not be set up"));
        return false;
    }
    const long empty = residentKiB();
    feed(setup.tab.get(), 0, warmUpFrames);
    const long warm = residentKiB();
    QElapsedTimer clock;
    clock.start();
    feed(setup.tab.get(), warmUpFrames, m_frames);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const long after = residentKiB();

    const int total = warmUpFrames + m_frames;
    const QString reader = ShownTab::readerName();
    const BenchFrames::LogContents trace = BenchFrames::readLog(setup.tab->logFileName());
    const BenchFrames::LogContents merged = BenchFrames::readLog(AllReadersTab::logFilePath());
    const bool complete =
        trace.missingOf(reader, total) == 0 && merged.missingOf(reader, total) == 0;
    report(QStringLiteral("  tabs shown, no frame yet       %1 KiB").arg(empty));
    report(QStringLiteral("  after %1 frames              %2 KiB").arg(warmUpFrames).arg(warm));
    report(QStringLiteral("  after %1 more (%2 s)   %3 KiB: %4%5 KiB (target: < %6 KiB)%7")
               .arg(m_frames)
               .arg(seconds, 0, 'f', 1)
               .arg(after)
               .arg(after >= warm ? QStringLiteral("+") : QString())
               .arg(after - warm)
               .arg(growthLimitKiB)
               .arg(complete ? QString() : QStringLiteral(", LOGS INCOMPLETE")));
    const bool met = complete && after - warm < growthLimitKiB;
    reportVerdict(met);
    return met;
}
