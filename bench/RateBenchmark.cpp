#include "RateBenchmark.h"

#include "BenchFrames.h"
#include "BenchReport.h"
#include "CpuClock.h"
#include "EventLoopWait.h"
#include "ShownTab.h"
#include "session/AllReadersTab.h"
#include "session/ConnectedReaderTab.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr double stepSeconds = 2;
constexpr double targetPerSecond = 13000;
// A window thread that needs longer than this after the last frame to show it has fallen
// behind the rate.
constexpr double catchUpLimitSeconds = 0.2;
const int rates[] = {4000,  8000,  11000, 13000, 15000, 18000, 22000,
                     27000, 33000, 40000, 50000, 65000, 80000, 100000};

struct Step
{
    int frames = 0;
    double seconds = 0;
    double catchUpSeconds = 0;
    double windowCpu = 0;
};

// Posts frames numbered from first on, at the rate, for stepSeconds, each a queued call into
// the tab's thread as a link posts it.
void produce(ConnectedReaderTab *tab, int first, int rate, std::atomic<int> &posted)
{
    const int total = int(rate * stepSeconds);
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    while (sent < total) {
        const int due = std::min(total, int(clock.nsecsElapsed() * 1e-9 * rate) + 1);
        for (; sent < due; ++sent) {
            QMetaObject::invokeMethod(
                tab,
                [tab, payload = BenchFrames::framePayload(first + sent),
                 session = (first + sent) % 32767]() mutable {
                    tab->receivedNewFrame(&payload, session);
                },
                Qt::QueuedConnection);
        }
        posted = sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

bool RateBenchmark::run()
{
    report(QStringLiteral("rate: frames of 12 bytes queued from another thread at a set rate "
                          "into the running event loop of the window thread, both tabs shown "
                          "and painting, 50 pattern rules analysing; %1 s a step")
               .arg(stepSeconds, 0, 'f', 0));
    report(QStringLiteral("  offered/s   shown/s   catch-up ms   window thread %   us/frame"));
    ShownTab setup;
    if (!setup.start()) {
        report(QStringLiteral("  the tabs could not be set up"));
        return false;
    }
    int first = 0;
    double saturation = 0;
    double highestKept = 0;
    double lastCost = 0;
    for (int rate : rates) {
        Step step;
        step.frames = int(rate * stepSeconds);
        const int expected = first + step.frames;
        std::atomic<int> posted{0};
        const double cpuBefore = threadCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        std::thread producer(produce, setup.tab.get(), first, rate, std::ref(posted));
        processUntil([&posted, &step] { return posted.load() >= step.frames; }, 60000, 20);
        const double producedAt = clock.nsecsElapsed() / 1e9;
        producer.join();
        // Every queued call has run once an event posted after the last of them has.
        bool drained = false;
        QMetaObject::invokeMethod(
            setup.tab.get(), [&drained] { drained = true; }, Qt::QueuedConnection);
        processUntil([&drained] { return drained; }, 120000, 5);
        step.seconds = clock.nsecsElapsed() / 1e9;
        step.catchUpSeconds = step.seconds - producedAt;
        step.windowCpu = threadCpuSeconds() - cpuBefore;
        first = expected;

        const double shown = step.frames / step.seconds;
        const double costUs = step.windowCpu * 1e6 / step.frames;
        const bool keptUp = step.catchUpSeconds <= catchUpLimitSeconds;
        report(QStringLiteral("  %1   %2   %3   %4   %5%6")
                   .arg(rate, 9)
                   .arg(shown, 7, 'f', 0)
                   .arg(step.catchUpSeconds * 1000, 11, 'f', 0)
                   .arg(100 * step.windowCpu / step.seconds, 15, 'f', 1)
                   .arg(costUs, 8, 'f', 1)
                   .arg(keptUp ? QString() : QStringLiteral("   saturated")));
        lastCost = costUs;
        if (!keptUp) {
            saturation = shown;
            break;
        }
        highestKept = rate;
    }
    const BenchFrames::LogContents trace = BenchFrames::readLog(setup.tab->logFileName());
    const BenchFrames::LogContents merged = BenchFrames::readLog(AllReadersTab::logFilePath());
    const QString reader = ShownTab::readerName();
    const bool complete = trace.missingOf(reader, first) == 0 &&
                          merged.missingOf(reader, first) == 0 && trace.duplicates == 0 &&
                          merged.duplicates == 0;
    report(
        QStringLiteral("  kept up with %1 frames/s; %2 (%3 frames in each log%4)")
            .arg(highestKept, 0, 'f', 0)
            .arg(saturation > 0
                     ? QStringLiteral("saturated at %1 frames/s shown").arg(saturation, 0, 'f', 0)
                     : QStringLiteral("did not saturate"))
            .arg(first)
            .arg(complete ? QString() : QStringLiteral(", LOGS INCOMPLETE")));
    report(QStringLiteral("  window-thread cost in the last step: %1 us/frame, that is %2 "
                          "frames/s of processor time (target: >= %3 frames/s)")
               .arg(lastCost, 0, 'f', 1)
               .arg(1e6 / lastCost, 0, 'f', 0)
               .arg(targetPerSecond, 0, 'f', 0));
    const bool met = complete && highestKept >= targetPerSecond;
    reportVerdict(met);
    return met;
}
