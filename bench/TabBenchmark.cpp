#include "TabBenchmark.h"

#include "BenchFrames.h"
#include "BenchReport.h"
#include "ConnectBenchmark.h"
#include "FirmwareBenchmark.h"
#include "FleetBenchmark.h"
#include "MemoryBenchmark.h"
#include "RateBenchmark.h"
#include "ScriptBenchmark.h"
#include "ShownTab.h"
#include "StartupBenchmark.h"
#include "session/AllReadersTab.h"
#include "session/ConnectedReaderTab.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QVector>

#include <algorithm>
#include <vector>

namespace {

constexpr int costFrames = 20000;
constexpr int costRuns = 3;
constexpr int repaintEvery = 100;
constexpr double costTargetPerSecond = 5000;
constexpr int floodReaders = 16;
constexpr int idleReaders = 8;

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

QStringList TabBenchmark::runNames()
{
    return {QStringLiteral("cost"),    QStringLiteral("rate"),    QStringLiteral("flood"),
            QStringLiteral("idle"),    QStringLiteral("startup"), QStringLiteral("memory"),
            QStringLiteral("connect"), QStringLiteral("script"),  QStringLiteral("firmware")};
}

bool TabBenchmark::run(const QString &name)
{
    bool allMet = true;
    if (name == QLatin1String("all") || name == QLatin1String("cost"))
        allMet = frameCost() && allMet;
    if (name == QLatin1String("all") || name == QLatin1String("rate"))
        allMet = RateBenchmark().run() && allMet;
    if (name == QLatin1String("all") || name == QLatin1String("flood"))
        allMet =
            FleetBenchmark(m_readers > 0 ? m_readers : floodReaders, m_floodRate, m_floodSeconds)
                .flood() &&
            allMet;
    if (name == QLatin1String("all") || name == QLatin1String("idle"))
        allMet =
            FleetBenchmark(m_readers > 0 ? m_readers : idleReaders, 0, m_floodSeconds).idle() &&
            allMet;
    if (name == QLatin1String("all") || name == QLatin1String("startup"))
        allMet = StartupBenchmark().run(m_program) && allMet;
    if (name == QLatin1String("all") || name == QLatin1String("memory"))
        allMet = MemoryBenchmark(m_memoryFrames).run() && allMet;
    if (name == QLatin1String("all") || name == QLatin1String("connect"))
        allMet = ConnectBenchmark().run() && allMet;
    if (name == QLatin1String("all") || name == QLatin1String("script"))
        allMet = ScriptBenchmark().run() && allMet;
    if (name == QLatin1String("all") || name == QLatin1String("firmware"))
        allMet = FirmwareBenchmark().run() && allMet;
    return allMet;
}

bool TabBenchmark::frameCost()
{
    report(
        QStringLiteral("cost: %1 frames of 12 bytes through ConnectedReaderTab::receivedNewFrame "
                       "in the window thread, both tabs shown, 50 pattern rules analysing, "
                       "events processed every %2 frames")
            .arg(costFrames)
            .arg(repaintEvery));
    report(QStringLiteral("  run   frames/s   us/frame   trace lines   AllReaders lines"));
    QVector<double> rates;
    QVector<double> costs;
    bool logsComplete = true;
    for (int run = 1; run <= costRuns; ++run) {
        ShownTab setup;
        if (!setup.start()) {
            report(QStringLiteral("  run %1: the tabs could not be set up").arg(run));
            return false;
        }
        std::vector<QByteArray> frames;
        frames.reserve(costFrames);
        for (int i = 0; i < costFrames; ++i)
            frames.push_back(BenchFrames::framePayload(i));

        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < costFrames; ++i) {
            setup.tab->receivedNewFrame(&frames[std::size_t(i)], i % 32767);
            if ((i + 1) % repaintEvery == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        const double seconds = clock.nsecsElapsed() / 1e9;

        const BenchFrames::LogContents trace = BenchFrames::readLog(setup.tab->logFileName());
        const BenchFrames::LogContents merged = BenchFrames::readLog(AllReadersTab::logFilePath());
        const QString reader = ShownTab::readerName();
        const bool complete = trace.lines == costFrames && merged.lines == costFrames &&
                              trace.missingOf(reader, costFrames) == 0 &&
                              merged.missingOf(reader, costFrames) == 0;
        logsComplete = logsComplete && complete;
        rates << costFrames / seconds;
        costs << seconds * 1e6 / costFrames;
        report(QStringLiteral("  %1   %2   %3   %4   %5%6")
                   .arg(run, 3)
                   .arg(rates.last(), 8, 'f', 0)
                   .arg(costs.last(), 8, 'f', 1)
                   .arg(trace.lines, 11)
                   .arg(merged.lines, 16)
                   .arg(complete ? QString() : QStringLiteral("   LOG INCOMPLETE")));
    }
    const double rate = median(rates);
    const bool met = logsComplete && rate >= costTargetPerSecond;
    report(QStringLiteral("  median %1 frames/s, %2 us/frame (target: >= %3 frames/s, each log "
                          "%4 lines a run)")
               .arg(rate, 0, 'f', 0)
               .arg(median(costs), 0, 'f', 1)
               .arg(costTargetPerSecond, 0, 'f', 0)
               .arg(costFrames));
    reportVerdict(met);
    return met;
}
