#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "app/OVSViewer.h"
#include "readers/ReadersFile.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"
#include "session/ConnectedReaderTab.h"
#include "session/LineEditAutoComplete.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <array>
#include <memory>
#include <random>

namespace {

// "[ddd yyyy-MM-dd HH:mm:ss:zzz]:reader:Tx|Rx:HEX:rule:count" and CR LF.
const QRegularExpression logLine(
    QStringLiteral("^\\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \\d{4}-\\d\\d-\\d\\d "
                   "\\d\\d:\\d\\d:\\d\\d:\\d{3}\\]:([^:]+):(Tx|Rx):([0-9A-F]*):([^:]*):(\\d+)\r$"));

struct SimulatedDevice
{
    std::unique_ptr<ReaderSimulator> simulator;
    quint16 tcpPort = 0;
    bool serialAway = false;
    bool tcpAway = false;
};

int environmentOr(const char *name, int fallback)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
}

} // namespace

// The window over real links in a random order of everything a bench does to it: connecting,
// sending, repeating, readers hanging up, vanishing and coming back, clicks while connecting,
// disconnecting, removing, closing the window. Seeded and repeatable: OVS_SOAK_SEED picks the
// order and OVS_SOAK_SECONDS the length (short in the suite; run it for longer by hand, also
// under the sanitizers). Afterwards every command that reached a device is in the logs.
class tst_FaultSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void soak();

private:
    void openWindow()
    {
        m_window = std::make_unique<OVSViewer>();
        m_window->show();
    }
    void closeWindow();
    void step();
    void typeCommand(ConnectedReaderTab *tab, const QString &interval);
    void checkLogs();

    ProjectFolder m_project;
    std::array<SimulatedDevice, 2> m_devices;
    QList<t_Reader> m_records;
    std::unique_ptr<OVSViewer> m_window;
    QRandomGenerator m_random;
    int m_commandCounter = 0;
    // Every command typed, and the reader whose tab it was typed into.
    QHash<QByteArray, QString> m_commands;
};

// Each device is a serial reader "S<n>" and a TCP reader "T<n>".
void tst_FaultSoak::initTestCase()
{
    QByteArray lines;
    for (int i = 0; i < int(m_devices.size()); ++i) {
        SimulatedDevice &device = m_devices[std::size_t(i)];
        device.simulator = std::make_unique<ReaderSimulator>();
        QVERIFY(device.simulator->startSerial(QStringLiteral("/tmp/ovsfXXXX")));
        QVERIFY(device.simulator->startTcp());
        device.tcpPort = device.simulator->tcpPort();
        lines += "Serial;S" + QByteArray::number(i) + ";" +
                 device.simulator->serialPortName().toLatin1() + ";115200;000000000000;\n";
        lines += "IPReader;T" + QByteArray::number(i) + ";127.0.0.1;" +
                 QByteArray::number(device.tcpPort) + ";000000000000;\n";
    }
    QFile readers(m_project.path() + QStringLiteral("/readers_list.txt"));
    QVERIFY(readers.open(QIODevice::WriteOnly) && readers.write(lines) == lines.size());
    int failures = 0;
    ReadersFile::parse(lines, &m_records, &failures);
    QCOMPARE(failures, 0);
}

void tst_FaultSoak::cleanupTestCase()
{
    m_window.reset();
    resetReaderRegistry();
    for (SimulatedDevice &device : m_devices)
        device.simulator.reset();
}

void tst_FaultSoak::closeWindow()
{
    QElapsedTimer clock;
    clock.start();
    m_window->close();
    m_window.reset();
    // However busy the readers were, closing is quick.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    // As a new start of the program would find it.
    resetReaderRegistry();
}

void tst_FaultSoak::soak()
{
    const auto seed = quint32(environmentOr("OVS_SOAK_SEED", 20261206));
    const int seconds = environmentOr("OVS_SOAK_SECONDS", 15);
    qInfo("seed %u, %d s", seed, seconds);
    m_random.seed(seed);
    openWindow();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000 && !QTest::currentTestFailed()) {
        step();
        QTest::qWait(int(m_random.bounded(40)));
    }
    if (QTest::currentTestFailed())
        return;
    for (SimulatedDevice &device : m_devices) {
        device.simulator->setSilent(false);
        device.simulator->setAckCode(0x06);
        device.simulator->setAckDelay(0);
        QVERIFY(!device.serialAway || device.simulator->reopenSerial());
        QVERIFY(!device.tcpAway || device.simulator->startTcp(device.tcpPort));
        device.serialAway = device.tcpAway = false;
    }
    closeWindow();
    checkLogs();
}

void tst_FaultSoak::step()
{
    // Click, send, repeat, unsolicited frame, a link away or back, device behaviour, a reader
    // removed or added, and a new start of the program one step in a few hundred.
    static std::discrete_distribution<int> actions{24, 72, 9, 18, 18, 9, 12, 1};
    const int action = actions(m_random);
    SimulatedDevice &device = m_devices[m_random.bounded(quint32(m_devices.size()))];
    const t_Reader &record = m_records.at(int(m_random.bounded(m_records.size())));
    ReadersTab *readersTab = m_window->readersDock();
    const int row = readersTab->model()->rowOfReader(QString::fromLatin1(readerText(record.name)));
    // Sends go to any open tab.
    QList<ConnectedReaderTab *> tabs;
    for (const t_Reader &each : qAsConst(m_records)) {
        if (auto *open = m_window->connectedReaderTab(QString::fromLatin1(readerText(each.name))))
            tabs << open;
    }
    ConnectedReaderTab *tab =
        tabs.isEmpty() ? nullptr : tabs.at(int(m_random.bounded(tabs.size())));
    switch (action) {
    case 0: {
        // Connected readers are disconnected less often than the others are connected, so
        // that there is something to send on.
        const bool connected =
            row >= 0 && readersTab->model()->readerOfRow(row)->state == STATE_CONNECTED;
        if (row >= 0 && (!connected || m_random.bounded(3) == 0))
            readersTab->onTableClicked(
                readersTab->model()->index(row, ReadersTabModel::ActionColumn));
        break;
    }
    case 1: // a single send, or a repeated one started or stopped
    case 2:
        if (tab && !tab->isRepeating())
            typeCommand(tab, action == 1 ? QString() : QString::number(1 + m_random.bounded(5)));
        else if (tab && action == 2)
            tab->sendCommandToReader();
        break;
    case 3: {
        const QByteArray payload =
            QByteArray::fromHex("6B") + QByteArray::number(m_random.generate());
        if (m_random.bounded(2) == 0)
            device.simulator->sendFrame(payload);
        else
            device.simulator->sendTcpChunk(payload);
        break;
    }
    case 4: // the TCP server or the serial device goes away, or comes back
        if (m_random.bounded(2) == 0) {
            if (!device.tcpAway)
                device.simulator->closeTcp();
            device.tcpAway = !device.tcpAway || !device.simulator->startTcp(device.tcpPort);
        } else {
            if (!device.serialAway)
                device.simulator->closeSerial();
            device.serialAway = !device.serialAway || !device.simulator->reopenSerial();
        }
        break;
    case 5: { // silent or not, another acknowledgement or none, or a slower one
        static const int acknowledgements[] = {0x06, ReaderSimulator::NoAck, 0x07, 0x08};
        const quint32 change = m_random.bounded(3);
        if (change == 0)
            device.simulator->setSilent(m_random.bounded(2) == 0);
        else if (change == 1)
            device.simulator->setAckCode(acknowledgements[m_random.bounded(4)]);
        else
            device.simulator->setAckDelay(int(m_random.bounded(300)));
        break;
    }
    case 6: // a reader removed from the list, or added back
        if (row >= 0) {
            readersTab->removeReaderFromList(row, true);
        } else {
            QCOMPARE(readersTab->model()->addReader(record), 0);
            QCOMPARE(ReadersList::instance()->appendReaderToFile(record), 0);
        }
        break;
    default:
        closeWindow();
        openWindow();
    }
}

void tst_FaultSoak::typeCommand(ConnectedReaderTab *tab, const QString &interval)
{
    const QString command =
        QStringLiteral("5A%1").arg(++m_commandCounter, 6, 16, QLatin1Char('0')).toUpper();
    m_commands.insert(QByteArray::fromHex(command.toLatin1()), tab->readerName());
    tab->intervalField()->setText(interval);
    tab->commandEntry()->setText(command);
    tab->sendCommandToReader();
}

void tst_FaultSoak::checkLogs()
{
    const QString logs = m_project.path() + QStringLiteral("/Logs/");
    QByteArrayList tracedLines;
    QByteArrayList mergedLines;
    for (const QString &fileName : QDir(logs).entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(logs + fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        QVERIFY2(contents.isEmpty() || contents.endsWith("\r\n"), qPrintable(fileName));
        for (const QByteArray &line : contents.split('\n')) {
            const QRegularExpressionMatch match = logLine.match(QString::fromUtf8(line));
            QVERIFY2(line.isEmpty() || match.hasMatch(), line.constData());
            if (line.isEmpty()) {
                continue;
            } else if (fileName == QLatin1String("AllReaders.log")) {
                mergedLines << line;
            } else {
                QCOMPARE(fileName, QStringLiteral("trace_%1.log").arg(match.captured(2)));
                tracedLines << line;
            }
        }
    }
    // The merged log holds each reader's lines, and nothing else.
    std::sort(mergedLines.begin(), mergedLines.end());
    std::sort(tracedLines.begin(), tracedLines.end());
    QCOMPARE(mergedLines, tracedLines);

    // Every command that reached a device was sent and logged, in the trace of its reader.
    const QByteArray traced = tracedLines.join('\n');
    QByteArray received;
    for (const SimulatedDevice &device : m_devices)
        received += device.simulator->receivedPayloads().join();
    int reached = 0;
    for (auto it = m_commands.constBegin(); it != m_commands.constEnd(); ++it) {
        if (!received.contains(it.key()))
            continue;
        ++reached;
        const QByteArray expected =
            ":" + it.value().toLatin1() + ":Tx:" + it.key().toHex().toUpper() + ":";
        QVERIFY2(traced.contains(expected), expected.constData());
    }
    qInfo("%d commands typed, %d reached a device", int(m_commands.size()), reached);
    QVERIFY(reached > 0);
}

OVS_TEST_MAIN(tst_FaultSoak)
#include "tst_FaultSoak.moc"
