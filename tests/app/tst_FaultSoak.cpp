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
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <memory>

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
    void openWindow();
    void closeWindow();
    void step();
    QString anyReaderName();
    ConnectedReaderTab *anyTab();
    void sendCommand();
    void toggleRepeat();
    void sendUnsolicited();
    void toggleTcp();
    void toggleSerial();
    void changeBehaviour();
    void removeReader();
    void addMissingReader();
    void calmDevices();
    void checkLogs();

    QTemporaryDir m_folder;
    QString m_project;
    std::array<SimulatedDevice, 2> m_devices;
    QList<t_Reader> m_records;
    std::unique_ptr<OVSViewer> m_window;
    QRandomGenerator m_random;
    int m_commandCounter = 0;
    // Every command typed, and the reader whose tab it was typed into.
    QHash<QByteArray, QString> m_commands;
    QHash<QString, int> m_actions;
};

void tst_FaultSoak::initTestCase()
{
    m_project = m_folder.path() + QStringLiteral("/project");
    QVERIFY(QDir().mkpath(m_project));
    setStartProject(m_project);
    QFile readers(m_project + QStringLiteral("/readers_list.txt"));
    QVERIFY(readers.open(QIODevice::WriteOnly));
    for (int i = 0; i < int(m_devices.size()); ++i) {
        SimulatedDevice &device = m_devices[std::size_t(i)];
        device.simulator = std::make_unique<ReaderSimulator>();
        QVERIFY(device.simulator->startSerial(QStringLiteral("/tmp/ovsfXXXX")));
        QVERIFY(device.simulator->startTcp());
        device.tcpPort = device.simulator->tcpPort();
        for (const bool serial : {true, false}) {
            t_Reader record;
            ReadersFile::initRecord(&record, serial ? READER_SERIAL : READER_IP);
            setReaderText(record.name, (serial ? "S" : "T") + QByteArray::number(i));
            if (serial) {
                setReaderText(record.comPort, device.simulator->serialPortName().toLatin1());
            } else {
                setReaderText(record.ipAddress, "127.0.0.1");
                record.ipPort = device.tcpPort;
            }
            m_records << record;
            readers.write(ReadersFile::lineOf(record).toUtf8());
        }
    }
}

void tst_FaultSoak::cleanupTestCase()
{
    m_window.reset();
    resetReaderRegistry();
    for (SimulatedDevice &device : m_devices)
        device.simulator.reset();
}

void tst_FaultSoak::openWindow()
{
    m_window = std::make_unique<OVSViewer>();
    m_window->show();
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
    const quint32 seed = qEnvironmentVariableIsSet("OVS_SOAK_SEED")
                             ? quint32(qEnvironmentVariableIntValue("OVS_SOAK_SEED"))
                             : 20261206u;
    const int seconds = qEnvironmentVariableIsSet("OVS_SOAK_SECONDS")
                            ? qEnvironmentVariableIntValue("OVS_SOAK_SECONDS")
                            : 15;
    qInfo("seed %u, %d s", seed, seconds);
    m_random.seed(seed);
    openWindow();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        step();
        if (QTest::currentTestFailed())
            return;
        QTest::qWait(int(m_random.bounded(40)));
    }
    calmDevices();
    closeWindow();
    QStringList counts;
    for (auto it = m_actions.constBegin(); it != m_actions.constEnd(); ++it)
        counts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    counts.sort();
    qInfo("%s", qPrintable(counts.join(QStringLiteral(", "))));
    checkLogs();
}

void tst_FaultSoak::step()
{
    struct Action
    {
        const char *name;
        int weight;
        void (tst_FaultSoak::*run)();
    };
    static const Action actions[] = {
        {"click", 24, nullptr},
        {"send", 72, &tst_FaultSoak::sendCommand},
        {"repeat", 9, &tst_FaultSoak::toggleRepeat},
        {"unsolicited", 18, &tst_FaultSoak::sendUnsolicited},
        {"tcp", 9, &tst_FaultSoak::toggleTcp},
        {"serial", 9, &tst_FaultSoak::toggleSerial},
        {"behaviour", 9, &tst_FaultSoak::changeBehaviour},
        {"remove", 6, &tst_FaultSoak::removeReader},
        {"add", 6, &tst_FaultSoak::addMissingReader},
        // A new start of the program, one step in a few hundred.
        {"window", 1, nullptr},
    };
    int total = 0;
    for (const Action &action : actions)
        total += action.weight;
    int pick = int(m_random.bounded(total));
    const Action *chosen = actions;
    while (pick >= chosen->weight)
        pick -= (chosen++)->weight;
    ++m_actions[QString::fromLatin1(chosen->name)];

    if (chosen->run) {
        (this->*chosen->run)();
    } else if (qstrcmp(chosen->name, "click") == 0) {
        ReadersTabModel *model = m_window->readersDock()->model();
        const int row = model->rowOfReader(anyReaderName());
        // Connected readers are disconnected less often than the others are connected, so
        // that there is something to send on.
        const bool connected = row >= 0 && model->readerOfRow(row)->state == STATE_CONNECTED;
        if (row >= 0 && (!connected || m_random.bounded(3) == 0))
            m_window->readersDock()->onTableClicked(
                model->index(row, ReadersTabModel::ActionColumn));
    } else {
        closeWindow();
        openWindow();
    }
}

QString tst_FaultSoak::anyReaderName()
{
    const t_Reader &record = m_records.at(int(m_random.bounded(m_records.size())));
    return QString::fromLatin1(readerText(record.name));
}

ConnectedReaderTab *tst_FaultSoak::anyTab()
{
    const QList<ConnectedReaderTab *> tabs = m_window->findChildren<ConnectedReaderTab *>();
    return tabs.isEmpty() ? nullptr : tabs.at(int(m_random.bounded(tabs.size())));
}

void tst_FaultSoak::sendCommand()
{
    ConnectedReaderTab *tab = anyTab();
    if (!tab || tab->isRepeating())
        return;
    const QString command =
        QStringLiteral("5A%1").arg(++m_commandCounter, 6, 16, QLatin1Char('0')).toUpper();
    m_commands.insert(QByteArray::fromHex(command.toLatin1()), tab->readerName());
    tab->intervalField()->clear();
    tab->commandEntry()->setText(command);
    tab->sendCommandToReader();
}

void tst_FaultSoak::toggleRepeat()
{
    ConnectedReaderTab *tab = anyTab();
    if (!tab)
        return;
    if (!tab->isRepeating()) {
        const QString command =
            QStringLiteral("5A%1").arg(++m_commandCounter, 6, 16, QLatin1Char('0')).toUpper();
        m_commands.insert(QByteArray::fromHex(command.toLatin1()), tab->readerName());
        tab->commandEntry()->setText(command);
        tab->intervalField()->setText(QString::number(1 + m_random.bounded(5)));
    }
    tab->sendCommandToReader();
}

void tst_FaultSoak::sendUnsolicited()
{
    SimulatedDevice &device = m_devices[m_random.bounded(quint32(m_devices.size()))];
    const QByteArray payload = QByteArray::fromHex("6B") + QByteArray::number(m_random.generate());
    if (m_random.bounded(2) == 0)
        device.simulator->sendFrame(payload);
    else
        device.simulator->sendTcpChunk(payload);
}

void tst_FaultSoak::toggleTcp()
{
    SimulatedDevice &device = m_devices[m_random.bounded(quint32(m_devices.size()))];
    if (device.tcpAway) {
        device.tcpAway = !device.simulator->startTcp(device.tcpPort);
    } else {
        device.simulator->closeTcp();
        device.tcpAway = true;
    }
}

void tst_FaultSoak::toggleSerial()
{
    SimulatedDevice &device = m_devices[m_random.bounded(quint32(m_devices.size()))];
    if (device.serialAway) {
        device.serialAway = !device.simulator->reopenSerial();
    } else {
        device.simulator->closeSerial();
        device.serialAway = true;
    }
}

void tst_FaultSoak::changeBehaviour()
{
    SimulatedDevice &device = m_devices[m_random.bounded(quint32(m_devices.size()))];
    switch (m_random.bounded(4)) {
    case 0:
        device.simulator->setSilent(m_random.bounded(2) == 0);
        break;
    case 1:
        device.simulator->setAckCode(int(m_random.bounded(2)) ? 0x06 : ReaderSimulator::NoAck);
        break;
    case 2:
        device.simulator->setAckCode(0x07 + int(m_random.bounded(2)));
        break;
    default:
        device.simulator->setAckDelay(int(m_random.bounded(300)));
        break;
    }
}

void tst_FaultSoak::removeReader()
{
    ReadersTab *readersTab = m_window->readersDock();
    const int row = readersTab->model()->rowOfReader(anyReaderName());
    if (row >= 0)
        readersTab->removeReaderFromList(row, true);
}

void tst_FaultSoak::addMissingReader()
{
    const QString name = anyReaderName();
    ReadersTab *readersTab = m_window->readersDock();
    if (readersTab->model()->rowOfReader(name) >= 0)
        return;
    for (const t_Reader &record : qAsConst(m_records)) {
        if (QString::fromLatin1(readerText(record.name)) != name)
            continue;
        QCOMPARE(readersTab->model()->addReader(record), 0);
        QCOMPARE(ReadersList::instance()->appendReaderToFile(record), 0);
    }
}

void tst_FaultSoak::calmDevices()
{
    for (SimulatedDevice &device : m_devices) {
        device.simulator->setSilent(false);
        device.simulator->setAckCode(0x06);
        device.simulator->setAckDelay(0);
        if (device.serialAway)
            QVERIFY(device.simulator->reopenSerial());
        if (device.tcpAway)
            QVERIFY(device.simulator->startTcp(device.tcpPort));
        device.serialAway = device.tcpAway = false;
    }
}

void tst_FaultSoak::checkLogs()
{
    const QString logs = m_project + QStringLiteral("/Logs/");
    QHash<QString, QByteArray> traces;
    QMultiHash<QByteArray, QString> merged;
    int tracedLines = 0;
    for (const QString &fileName : QDir(logs).entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(logs + fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        QVERIFY2(contents.isEmpty() || contents.endsWith("\r\n"), qPrintable(fileName));
        for (const QByteArray &line : contents.split('\n')) {
            if (line.isEmpty())
                continue;
            const QRegularExpressionMatch match = logLine.match(QString::fromUtf8(line));
            QVERIFY2(match.hasMatch(), line.constData());
            if (fileName == QLatin1String("AllReaders.log")) {
                merged.insert(line, fileName);
            } else {
                QCOMPARE(match.captured(2),
                         fileName.mid(6, fileName.size() - 10)); // "trace_" name ".log"
                traces[match.captured(2)] += line + '\n';
                ++tracedLines;
            }
        }
    }
    // Each reader's lines are in the merged log as well, and nothing else is.
    QCOMPARE(merged.size(), tracedLines);
    for (auto it = traces.constBegin(); it != traces.constEnd(); ++it) {
        for (const QByteArray &line : it.value().split('\n')) {
            if (!line.isEmpty())
                QVERIFY2(merged.contains(line), line.constData());
        }
    }

    // A command that reached a device was sent, and every sent command is logged.
    QByteArray received;
    for (const SimulatedDevice &device : m_devices) {
        for (const QByteArray &payload : device.simulator->receivedPayloads())
            received += payload;
    }
    int reached = 0;
    for (auto it = m_commands.constBegin(); it != m_commands.constEnd(); ++it) {
        if (!received.contains(it.key()))
            continue;
        ++reached;
        const QByteArray expected =
            ":" + it.value().toLatin1() + ":Tx:" + it.key().toHex().toUpper() + ":";
        QVERIFY2(traces.value(it.value()).contains(expected), expected.constData());
    }
    qInfo("%d commands typed, %d reached a device", int(m_commands.size()), reached);
    QVERIFY(reached > 0);
}

OVS_TEST_MAIN(tst_FaultSoak)
#include "tst_FaultSoak.moc"
