#include "TabBenchmark.h"

#include "BenchReport.h"
#include "ConnectBenchmark.h"
#include "EventLoopWait.h"
#include "FirmwareBenchmark.h"
#include "ReaderSimulator.h"
#include "ScriptBenchmark.h"
#include "StallMeter.h"
#include "app/OVSViewer.h"
#include "link/TSL_CMD.h"
#include "patterns/ControlPanelPackets.h"
#include "project/ProjectPaths.h"
#include "readers/ReadersList.h"
#include "session/AllReadersTab.h"
#include "session/ConnectedReaderTab.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QVector>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int costFrames = 20000;
constexpr int costRuns = 3;
constexpr int repaintEvery = 100;
constexpr double costTargetPerSecond = 5000;
constexpr int floodReaders = 8;
constexpr int stallTickMs = 10;
constexpr double stallTargetMs = 100;

const QString linkPath = QStringLiteral("/tmp/ovsbXXXX");
// With the 4-byte sequence number a 12-byte payload: a 20-byte frame on the line.
const QByteArray framePrefix = QByteArray::fromHex("0BE7112233445566");
const QString costReader = QStringLiteral("BenchReader");

// "[ddd yyyy-MM-dd HH:mm:ss:zzz]:reader:Rx:HEX:rule:count" and CR LF.
const QRegularExpression rxLinePattern(
    QStringLiteral("^\\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \\d{4}-\\d\\d-\\d\\d "
                   "\\d\\d:\\d\\d:\\d\\d:\\d{3}\\]:([^:]*):Rx:([0-9A-F]*):([^:]*):(\\d+)\r\n$"));

// A throwaway project made current the way the window makes one: stored as the start
// project in the settings and opened by a project section.
struct BenchProject
{
    QTemporaryDir folder;
    QSettings settings{QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
                       QStringLiteral("tesselViewer")};
    ProjectPaths paths{&settings};

    bool open()
    {
        if (!folder.isValid())
            return false;
        paths.setProjectPath(folder.path());
        return ProjectPaths::projectPath() == folder.path();
    }
};

// Fifty rules of the three kinds, three of which recognise the benchmark's frames: one at
// their end for every sixteenth frame, one at their start and the last one in their middle.
bool writePatternRules()
{
    QByteArray rules;
    for (int i = 0; i < 50; ++i) {
        const QByteArray tag = QByteArray::number(i, 16).rightJustified(2, '0').toUpper();
        const QByteArray offset = QByteArray::number(i % 8 * 2);
        if (i == 10)
            rules += "Tens;RIGHT;0;[0-9A-F]0\n";
        else if (i == 30)
            rules += "Head;LEFT;0;0BE7\n";
        else if (i == 49)
            rules += "Body;STXT;112233\n";
        else if (i % 3 == 0)
            rules += "Left" + tag + ";LEFT;" + offset + ";FEED" + tag + "\n";
        else if (i % 3 == 1)
            rules += "Right" + tag + ";RIGHT;" + offset + ";DEAD" + tag + "\n";
        else
            rules += "Text" + tag + ";STXT;C0FFEE" + tag + "\n";
    }
    QFile file(ProjectPaths::patternRulesPath());
    return file.open(QIODevice::WriteOnly) && file.write(rules) == rules.size();
}

QByteArray framePayload(int sequence)
{
    QByteArray payload = framePrefix;
    for (int shift = 24; shift >= 0; shift -= 8)
        payload.append(char(quint32(sequence) >> shift & 0xFF));
    return payload;
}

// The Rx lines of a log, per reader: the sequence numbers of the benchmark frames.
struct LogContents
{
    int lines = 0;
    int malformed = 0;
    int otherFrames = 0;
    int duplicates = 0;
    QHash<QString, QSet<int>> sequences;

    // Frames 0 .. count-1 of the reader that the log lacks.
    int missingOf(const QString &reader, int count) const
    {
        return count - inRangeOf(reader, count);
    }
    // Frames of the reader that it never sent.
    int outOfRangeOf(const QString &reader, int count) const
    {
        return sequences.value(reader).size() - inRangeOf(reader, count);
    }
    int inRangeOf(const QString &reader, int count) const
    {
        int present = 0;
        for (int sequence : sequences.value(reader))
            present += sequence >= 0 && sequence < count;
        return present;
    }
};

LogContents readLog(const QString &fileName)
{
    LogContents contents;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return contents;
    const QString prefixHex = QString::fromLatin1(framePrefix.toHex().toUpper());
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine());
        ++contents.lines;
        const QRegularExpressionMatch match = rxLinePattern.match(line);
        if (!match.hasMatch()) {
            ++contents.malformed;
            continue;
        }
        const QString hex = match.captured(3);
        if (hex.size() != prefixHex.size() + 8 || !hex.startsWith(prefixHex)) {
            ++contents.otherFrames;
            continue;
        }
        const int sequence = int(QStringView(hex).right(8).toUInt(nullptr, 16));
        QSet<int> &seen = contents.sequences[match.captured(2)];
        if (seen.contains(sequence))
            ++contents.duplicates;
        seen.insert(sequence);
    }
    return contents;
}

// One reader tab beside the merged tab and the pattern rules, all shown, in a project of
// its own so that its logs hold only this run's lines.
struct CostSetup
{
    BenchProject project;
    std::unique_ptr<QWidget> panelHost;
    ControlPanelPackets *packets = nullptr;
    std::unique_ptr<AllReadersTab> allReaders;
    std::unique_ptr<ConnectedReaderTab> tab;

    bool start()
    {
        if (!project.open() || !writePatternRules())
            return false;
        panelHost = std::make_unique<QWidget>();
        packets = new ControlPanelPackets;
        (new QVBoxLayout(panelHost.get()))->addLayout(packets);
        packets->analyseButton()->click();
        allReaders = std::make_unique<AllReadersTab>();
        tab = std::make_unique<ConnectedReaderTab>(costReader, allReaders.get(), packets);
        panelHost->resize(240, 650);
        allReaders->resize(900, 600);
        tab->resize(900, 600);
        panelHost->show();
        allReaders->show();
        tab->show();
        QCoreApplication::processEvents();
        return packets->analysing() && packets->rules().size() == 50;
    }
};

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

struct FloodReader
{
    QString name;
    std::unique_ptr<ReaderSimulator> simulator;
    int delivered = 0;
};

void disconnectAll()
{
    ReadersList *registry = ReadersList::instance();
    for (t_Reader *reader : registry->readers()) {
        if (reader->state == STATE_CONNECTED)
            registry->setReaderState(reader, STATE_DISCONNECTED);
    }
}

void forgetAll()
{
    ReadersList *registry = ReadersList::instance();
    while (!registry->readers().isEmpty())
        registry->removeReader(registry->readers().first());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

QStringList TabBenchmark::runNames()
{
    return {QStringLiteral("cost"), QStringLiteral("flood"), QStringLiteral("connect"),
            QStringLiteral("script"), QStringLiteral("firmware")};
}

bool TabBenchmark::run(const QString &name)
{
    bool allMet = true;
    if (name == QLatin1String("all") || name == QLatin1String("cost"))
        allMet = frameCost() && allMet;
    if (name == QLatin1String("all") || name == QLatin1String("flood"))
        allMet = flood() && allMet;
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
        CostSetup setup;
        if (!setup.start()) {
            report(QStringLiteral("  run %1: the tabs could not be set up").arg(run));
            return false;
        }
        std::vector<QByteArray> frames;
        frames.reserve(costFrames);
        for (int i = 0; i < costFrames; ++i)
            frames.push_back(framePayload(i));

        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < costFrames; ++i) {
            setup.tab->receivedNewFrame(&frames[std::size_t(i)], i % 32767);
            if ((i + 1) % repaintEvery == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        const double seconds = clock.nsecsElapsed() / 1e9;

        const LogContents trace = readLog(setup.tab->logFileName());
        const LogContents merged = readLog(AllReadersTab::logFilePath());
        const bool complete = trace.lines == costFrames && merged.lines == costFrames &&
                              trace.missingOf(costReader, costFrames) == 0 &&
                              merged.missingOf(costReader, costFrames) == 0;
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
    report(QStringLiteral("  -> %1").arg(met ? QStringLiteral("target met")
                                             : QStringLiteral("TARGET MISSED")));
    return met;
}

bool TabBenchmark::flood()
{
    const int count = std::max(1, int(m_floodRate * m_floodSeconds + 0.5));
    report(QStringLiteral("flood: %1 serial readers over ptys, each sending %2 frames of 20 bytes "
                          "at %3 frames/s (%4 s), into a shown main window with its tabs, 50 "
                          "pattern rules analysing")
               .arg(floodReaders)
               .arg(count)
               .arg(m_floodRate)
               .arg(m_floodSeconds, 0, 'g', 3));
    BenchProject project;
    if (!project.open() || !writePatternRules()) {
        report(QStringLiteral("  the project could not be set up"));
        return false;
    }

    // The window lists the readers from the project's readers file; a reader it does not
    // list gets no tab.
    std::vector<FloodReader> readers(floodReaders);
    QByteArray readersFile;
    for (int i = 0; i < floodReaders; ++i) {
        FloodReader &reader = readers[std::size_t(i)];
        reader.name = QStringLiteral("Flood%1").arg(i + 1);
        reader.simulator = std::make_unique<ReaderSimulator>();
        if (!reader.simulator->startSerial(linkPath)) {
            report(QStringLiteral("  simulator %1 could not open a pty").arg(i + 1));
            return false;
        }
        readersFile += "Serial;" + reader.name.toLatin1() + ';' +
                       reader.simulator->serialPortName().toLatin1() + ";115200;000000000000;\n";
    }
    QFile file(ProjectPaths::readersFilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(readersFile) != readersFile.size()) {
        report(QStringLiteral("  the readers file could not be written"));
        return false;
    }
    file.close();

    auto window = std::make_unique<OVSViewer>();
    window->resize(1280, 800);
    window->show();
    window->packetsPanel()->analyseButton()->click();
    bool ready = window->packetsPanel()->analysing();
    ReadersList *registry = ReadersList::instance();
    for (FloodReader &reader : readers) {
        t_Reader *record = nullptr;
        ready = ready && registry->findReader(&record, reader.name.toLatin1()) &&
                registry->setReaderState(record, STATE_CONNECTED) == 1 &&
                window->connectedReaderTab(reader.name);
        auto *link = ready ? qobject_cast<TSL_CMD *>(record->link) : nullptr;
        if (!link) {
            ready = false;
            break;
        }
        // Connected after the tab, so a frame is counted once the tab has shown and logged it.
        int *delivered = &reader.delivered;
        QObject::connect(link, &TSL_CMD::frameReceived, link,
                         [delivered](QByteArray *, int) { ++*delivered; });
        reader.simulator->clearRecords();
    }
    if (!ready) {
        report(QStringLiteral("  the readers could not be connected or their tabs did not open"));
        disconnectAll();
        window.reset();
        forgetAll();
        return false;
    }
    QCoreApplication::processEvents();
    // Only the flood's frames count; answers from the start-up exchanges may still come.
    for (FloodReader &reader : readers)
        reader.delivered = 0;

    const auto allSent = [&readers, count] {
        return std::all_of(readers.begin(), readers.end(), [count](const FloodReader &reader) {
            return reader.simulator->unsolicitedSent() >= count;
        });
    };
    const auto allDelivered = [&readers, count] {
        return std::all_of(readers.begin(), readers.end(), [count](const FloodReader &reader) {
            return reader.delivered >= count;
        });
    };

    StallMeter stalls(stallTickMs);
    QElapsedTimer clock;
    clock.start();
    stalls.start();
    for (FloodReader &reader : readers)
        reader.simulator->startUnsolicited(count, m_floodRate, framePrefix);
    const bool sent = processUntil(allSent, qint64(m_floodSeconds * 1000) + 60000, 50);
    const double sendSeconds = clock.nsecsElapsed() / 1e9;
    const bool delivered = processUntil(allDelivered, 120000, 20);
    const double deliverSeconds = clock.nsecsElapsed() / 1e9;
    const double longestStallMs = stalls.stop();

    int sentTotal = 0;
    int deliveredTotal = 0;
    for (const FloodReader &reader : readers) {
        sentTotal += std::min(reader.simulator->unsolicitedSent(), count);
        deliveredTotal += std::min(reader.delivered, count);
    }

    int traceMissing = 0;
    int traceExtra = 0;
    int traceMalformed = 0;
    int mergedMissing = 0;
    const LogContents merged = readLog(AllReadersTab::logFilePath());
    int mergedExtra = merged.duplicates;
    for (const FloodReader &reader : readers) {
        const LogContents trace = readLog(ProjectPaths::traceLogPath(reader.name));
        traceMissing += trace.missingOf(reader.name, count);
        traceExtra += trace.duplicates + trace.outOfRangeOf(reader.name, count);
        traceMalformed += trace.malformed;
        mergedMissing += merged.missingOf(reader.name, count);
        mergedExtra += merged.outOfRangeOf(reader.name, count);
    }
    const int total = floodReaders * count;

    disconnectAll();
    window.reset();
    forgetAll();

    report(QStringLiteral("  frames sent by the simulators          %1 of %2 in %3 s")
               .arg(sentTotal)
               .arg(total)
               .arg(sendSeconds, 0, 'f', 2));
    report(QStringLiteral("  frames shown and logged by the tabs    %1 in %2 s = %3 frames/s")
               .arg(deliveredTotal)
               .arg(deliverSeconds, 0, 'f', 2)
               .arg(deliveredTotal / deliverSeconds, 0, 'f', 0));
    report(QStringLiteral("  longest event-loop stall               %1 ms (target: < %2 ms)")
               .arg(longestStallMs, 0, 'f', 1)
               .arg(stallTargetMs, 0, 'f', 0));
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
    const bool met = sent && delivered && longestStallMs < stallTargetMs && traceMissing == 0 &&
                     traceExtra == 0 && traceMalformed == 0 && mergedMissing == 0 &&
                     mergedExtra == 0 && merged.malformed == 0;
    report(QStringLiteral("  -> %1").arg(met ? QStringLiteral("target met")
                                             : QStringLiteral("TARGET MISSED")));
    return met;
}
