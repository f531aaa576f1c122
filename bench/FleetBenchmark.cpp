#include "FleetBenchmark.h"

#include "BenchFrames.h"
#include "BenchReport.h"
#include "CpuClock.h"
#include "EventLoopWait.h"
#include "SimulatorFleet.h"
#include "StallMeter.h"
#include "app/OVSViewer.h"
#include "link/TSL_CMD.h"
#include "patterns/ControlPanelPackets.h"
#include "readers/ReadersList.h"
#include "session/AllReadersTab.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int stallTickMs = 10;
constexpr double stallTargetMs = 100;
constexpr double windowThreadTargetPercent = 70;
constexpr int settleMs = 2000;
const QString namePrefix = QStringLiteral("Fleet");

// A shown window whose readers are the fleet's, all connected, with a count of the frames
// each reader's tab has shown and logged.
struct FleetWindow
{
    BenchFrames::Project project;
    SimulatorFleet fleet;
    std::unique_ptr<OVSViewer> window;
    std::vector<int> delivered;
    long residentBeforeConnecting = 0;

    bool start(int readers, int framesPerSecond, int frames)
    {
        if (!project.open() || !BenchFrames::writePatternRules()) {
            report(QStringLiteral("  the project could not be set up"));
            return false;
        }
        if (!fleet.start(readers, framesPerSecond, frames, BenchFrames::framePrefix()) ||
            !BenchFrames::writeReadersFile(fleet.readersFile(namePrefix))) {
            report(QStringLiteral("  the simulators could not be started"));
            return false;
        }
        window = std::make_unique<OVSViewer>();
        window->resize(1280, 800);
        window->show();
        window->packetsPanel()->analyseButton()->click();
        QCoreApplication::processEvents();
        residentBeforeConnecting = residentKiB();
        delivered.assign(std::size_t(readers), 0);
        ReadersList *registry = ReadersList::instance();
        for (int i = 0; i < readers; ++i) {
            const QString name = fleet.readerName(namePrefix, i);
            t_Reader *record = nullptr;
            const bool connected = registry->findReader(&record, name.toLatin1()) &&
                                   registry->setReaderState(record, STATE_CONNECTED) == 1 &&
                                   window->connectedReaderTab(name);
            auto *link = connected ? qobject_cast<TSL_CMD *>(record->link) : nullptr;
            if (!link) {
                report(QStringLiteral("  reader %1 could not be connected").arg(name));
                return false;
            }
            // Connected after the tab, so a frame counts once the tab has shown and logged it.
            int *count = &delivered[std::size_t(i)];
            QObject::connect(link, &TSL_CMD::frameReceived, link,
                             [count](QByteArray *, int) { ++*count; });
        }
        return window->packetsPanel()->analysing();
    }

    ~FleetWindow()
    {
        ReadersList *registry = ReadersList::instance();
        for (t_Reader *reader : registry->readers()) {
            if (reader->state == STATE_CONNECTED)
                registry->setReaderState(reader, STATE_DISCONNECTED);
        }
        window.reset();
        while (!registry->readers().isEmpty())
            registry->removeReader(registry->readers().first());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        fleet.stop();
    }
};

} // namespace

FleetBenchmark::FleetBenchmark(int readers, int framesPerSecond, double seconds)
    : m_readers(readers)
    , m_framesPerSecond(framesPerSecond)
    , m_seconds(seconds)
{
}

bool FleetBenchmark::flood()
{
    const int count = std::max(1, int(m_framesPerSecond * m_seconds + 0.5));
    report(QStringLiteral("flood: %1 serial readers (simulators in other processes), each "
                          "sending %2 frames of 20 bytes at %3 frames/s (%4 s), into a shown "
                          "main window with its tabs, 50 pattern rules analysing")
               .arg(m_readers)
               .arg(count)
               .arg(m_framesPerSecond)
               .arg(m_seconds, 0, 'g', 3));
    FleetWindow setup;
    if (!setup.start(m_readers, m_framesPerSecond, count))
        return false;
    // Answers to the start-up exchanges may still come; only the flood's frames count.
    processUntil([] { return false; }, 300, 50);
    std::fill(setup.delivered.begin(), setup.delivered.end(), 0);

    const auto allDelivered = [&setup, count] {
        return std::all_of(setup.delivered.begin(), setup.delivered.end(),
                           [count](int delivered) { return delivered >= count; });
    };
    StallMeter stalls(stallTickMs);
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = threadCpuSeconds();
    const double processBefore = processCpuSeconds();
    stalls.start();
    setup.fleet.go();
    const bool delivered = processUntil(allDelivered, qint64(m_seconds * 1000) + 120000, 20);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double windowCpu = threadCpuSeconds() - cpuBefore;
    const double processCpu = processCpuSeconds() - processBefore;
    const double longestStallMs = stalls.stop();

    int deliveredTotal = 0;
    for (int frames : setup.delivered)
        deliveredTotal += std::min(frames, count);
    int traceMissing = 0;
    int traceExtra = 0;
    int traceMalformed = 0;
    int mergedMissing = 0;
    const BenchFrames::LogContents merged = BenchFrames::readLog(AllReadersTab::logFilePath());
    int mergedExtra = merged.duplicates;
    for (int i = 0; i < m_readers; ++i) {
        const QString name = setup.fleet.readerName(namePrefix, i);
        const BenchFrames::LogContents trace =
            BenchFrames::readLog(ProjectPaths::traceLogPath(name));
        traceMissing += trace.missingOf(name, count);
        traceExtra += trace.duplicates + trace.outOfRangeOf(name, count);
        traceMalformed += trace.malformed;
        mergedMissing += merged.missingOf(name, count);
        mergedExtra += merged.outOfRangeOf(name, count);
    }
    const int total = m_readers * count;
    const double windowPercent = 100 * windowCpu / seconds;

    report(QStringLiteral("  frames shown and logged by the tabs    %1 of %2 in %3 s = %4 frames/s")
               .arg(deliveredTotal)
               .arg(total)
               .arg(seconds, 0, 'f', 2)
               .arg(deliveredTotal / seconds, 0, 'f', 0));
    report(QStringLiteral("  longest event-loop stall               %1 ms, %2 s after the start "
                          "(target: < %3 ms)")
               .arg(longestStallMs, 0, 'f', 1)
               .arg(stalls.longestStartMs() / 1000, 0, 'f', 2)
               .arg(stallTargetMs, 0, 'f', 0));
    report(QStringLiteral("  window thread's processor time         %1 s, %2 % of the run, "
                          "%3 us per frame (target: < %4 %)")
               .arg(windowCpu, 0, 'f', 2)
               .arg(windowPercent, 0, 'f', 1)
               .arg(windowCpu * 1e6 / std::max(1, deliveredTotal), 0, 'f', 1)
               .arg(windowThreadTargetPercent, 0, 'f', 0));
    report(QStringLiteral("  whole workbench's processor time       %1 s, %2 % of one core")
               .arg(processCpu, 0, 'f', 2)
               .arg(100 * processCpu / seconds, 0, 'f', 1));
    report(QStringLiteral("  frames missing from trace_<name>.log   %1 of %2 (must be 0); "
                          "duplicated or unknown %3, malformed lines %4")
               .arg(traceMissing)
               .arg(total)
               .arg(traceExtra)
               .arg(traceMalformed));
    report(QStringLiteral("  frames missing from AllReaders.log     %1 of %2 (must be 0); "
                          "duplicated or unknown %3, malformed lines %4, other frames %5")
               .arg(mergedMissing)
               .arg(total)
               .arg(mergedExtra)
               .arg(merged.malformed)
               .arg(merged.otherFrames));
    const bool met = delivered && longestStallMs < stallTargetMs &&
                     windowPercent < windowThreadTargetPercent && traceMissing == 0 &&
                     traceExtra == 0 && traceMalformed == 0 && mergedMissing == 0 &&
                     mergedExtra == 0 && merged.malformed == 0;
    reportVerdict(met);
    return met;
}

bool FleetBenchmark::idle()
{
    report(QStringLiteral("idle: %1 connected serial readers that send nothing (simulators in "
                          "other processes), a shown main window, %2 s")
               .arg(m_readers)
               .arg(m_seconds, 0, 'g', 3));
    FleetWindow setup;
    if (!setup.start(m_readers, 0, 0))
        return false;
    // The start-up exchanges and the first row sizing are over by then.
    processUntil([] { return false; }, settleMs, 100);
    const long resident = residentKiB();
    const double processBefore = processCpuSeconds();
    const double windowBefore = threadCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QEventLoop wait;
    QTimer::singleShot(int(m_seconds * 1000), &wait, &QEventLoop::quit);
    wait.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double processPercent = 100 * (processCpuSeconds() - processBefore) / seconds;
    const double windowPercent = 100 * (threadCpuSeconds() - windowBefore) / seconds;
    const double target = m_readers <= 8 ? 1.0 : 3.0 * m_readers / 32;

    report(QStringLiteral("  workbench process          %1 % of one core (target: < %2 %)")
               .arg(processPercent, 0, 'f', 2)
               .arg(target, 0, 'f', 1));
    report(QStringLiteral("  of which the window thread %1 %").arg(windowPercent, 0, 'f', 2));
    report(QStringLiteral("  resident size              %1 KiB, %2 KiB per connected reader")
               .arg(resident)
               .arg(double(resident - setup.residentBeforeConnecting) / m_readers, 0, 'f', 0));
    const bool met = processPercent < target;
    reportVerdict(met);
    return met;
}
