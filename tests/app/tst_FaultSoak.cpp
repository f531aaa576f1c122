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

#include <QLineEdit>
#include <QtTest>

#include <algorithm>
#include <array>
#include <memory>
#include <random>

// "[ddd yyyy-MM-dd HH:mm:ss:zzz]:reader:Tx|Rx:HEX:rule:count" and CR LF.
static const QRegularExpression logLine(
    QStringLiteral("^\\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \\d{4}-\\d\\d-\\d\\d "
                   "\\d\\d:\\d\\d:\\d\\d:\\d{3}\\]:([^:]+):(Tx|Rx):([0-9A-F]*):([^:]*):(\\d+)\r$"));

// Everything a bench does to the window over real links, in a random order: OVS_SOAK_SEED picks
// it and OVS_SOAK_SECONDS the length (short in the suite; run it longer by hand, also under the
// sanitizers).
class tst_FaultSoak : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase()
    {
        // The registry lets go of the devices' links before the devices go.
        m_window.reset();
        resetReaderRegistry();
    }
    void soak();

private:
    struct Device
    {
        std::unique_ptr<ReaderSimulator> simulator;
        quint16 tcpPort = 0;
        bool serialAway = false, tcpAway = false;
    };
    void closeWindow()
    {
        QElapsedTimer clock;
        clock.start();
        m_window->close();
        m_window.reset();
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        // As a new start of the program would find it.
        resetReaderRegistry();
    }
    void step();

    ProjectFolder m_project;
    std::array<Device, 2> m_devices;
    QList<t_Reader> m_records;
    std::unique_ptr<OVSViewer> m_window;
    QRandomGenerator m_random;
    int m_commandCounter = 0;
    QHash<QByteArray, QString> m_commands; // every command typed, and its reader
};

void tst_FaultSoak::soak()
{
    // Each device is a serial reader "S<n>" and a TCP reader "T<n>".
    QByteArray lines;
    for (int i = 0; i < int(m_devices.size()); ++i) {
        Device &device = m_devices[std::size_t(i)];
        device.simulator = std::make_unique<ReaderSimulator>();
        QVERIFY(device.simulator->startSerial(QStringLiteral("/tmp/ovsfXXXX")) &&
                device.simulator->startTcp());
        device.tcpPort = device.simulator->tcpPort();
        lines += "Serial;S" + QByteArray::number(i) + ";" +
                 device.simulator->serialPortName().toLatin1() +
                 ";115200;000000000000;\nIPReader;T" + QByteArray::number(i) + ";127.0.0.1;" +
                 QByteArray::number(device.tcpPort) + ";000000000000;\n";
    }
    QFile readers(m_project.path() + QStringLiteral("/readers_list.txt"));
    QVERIFY(readers.open(QIODevice::WriteOnly) && readers.write(lines) == lines.size());
    readers.close(); // the window reads it
    int failures = 0;
    ReadersFile::parse(lines, &m_records, &failures);
    QCOMPARE(failures, 0);
    const auto environmentOr = [](const char *name, int fallback) {
        return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
    };
    const auto seed = quint32(environmentOr("OVS_SOAK_SEED", 20261206));
    const int seconds = environmentOr("OVS_SOAK_SECONDS", 15);
    qInfo("seed %u, %d s", seed, seconds);
    m_random.seed(seed);
    m_window = std::make_unique<OVSViewer>();
    m_window->show();
    QCOMPARE(m_window->readersDock()->model()->rowCount(), int(m_records.size()));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000 && !QTest::currentTestFailed()) {
        step();
        QTest::qWait(int(m_random.bounded(40)));
    }
    if (QTest::currentTestFailed())
        return;
    for (Device &device : m_devices) {
        device.simulator->setSilent(false);
        device.simulator->setAckCode(0x06);
        device.simulator->setAckDelay(0);
        QVERIFY(!device.serialAway || device.simulator->reopenSerial());
        QVERIFY(!device.tcpAway || device.simulator->startTcp(device.tcpPort));
    }
    // Whatever came before, a serial reader whose device is back connects and carries a command.
    for (int i = 0; i < int(m_devices.size()); ++i) {
        const t_Reader &record = m_records.at(2 * i);
        const QString name = QString::fromLatin1(readerText(record.name));
        ReadersTabModel *readers = m_window->readersDock()->model();
        if (readers->rowOfReader(name) < 0)
            QCOMPARE(readers->addReader(record), 0);
        const auto connectWhenIdle = [&] {
            const int row = readers->rowOfReader(name);
            t_Reader *reader = readers->readerOfRow(row);
            if (reader->state != STATE_CONNECTED && !ReadersList::instance()->isConnecting(reader))
                m_window->readersDock()->onTableClicked(
                    readers->index(row, ReadersTabModel::ActionColumn));
            return m_window->connectedReaderTab(name);
        };
        QTRY_VERIFY_WITH_TIMEOUT(connectWhenIdle(), 30000);
        ConnectedReaderTab *tab = m_window->connectedReaderTab(name);
        if (tab->isRepeating())
            tab->sendCommandToReader();
        const QByteArray command = QByteArray::fromHex("5AFFFF0" + QByteArray::number(i));
        m_commands.insert(command, name);
        tab->intervalField()->clear();
        tab->commandEntry()->setText(QString::fromLatin1(command.toHex().toUpper()));
        tab->sendCommandToReader();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_devices[std::size_t(i)].simulator->receivedPayloads().contains(command), 30000);
    }
    closeWindow();

    QByteArrayList tracedLines, mergedLines;
    const QString logs = m_project.path() + QStringLiteral("/Logs/");
    for (const QString &fileName : QDir(logs).entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(logs + fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        QVERIFY2(contents.isEmpty() || contents.endsWith("\r\n"), qPrintable(fileName));
        for (const QByteArray &line : contents.split('\n')) {
            const QRegularExpressionMatch match = logLine.match(QString::fromUtf8(line));
            QVERIFY2(line.isEmpty() || match.hasMatch(), line.constData());
            if (!line.isEmpty() && fileName != QLatin1String("AllReaders.log"))
                QCOMPARE(fileName, QStringLiteral("trace_%1.log").arg(match.captured(2)));
            if (!line.isEmpty())
                (fileName == QLatin1String("AllReaders.log") ? mergedLines : tracedLines) << line;
        }
    }
    std::sort(mergedLines.begin(), mergedLines.end());
    std::sort(tracedLines.begin(), tracedLines.end());
    QCOMPARE(mergedLines, tracedLines);

    const QByteArray traced = tracedLines.join('\n');
    QByteArray received;
    for (const Device &device : m_devices)
        received += device.simulator->receivedPayloads().join();
    int reached = 0;
    for (auto it = m_commands.constBegin(); it != m_commands.constEnd(); ++it) {
        const QByteArray expected =
            ":" + it.value().toLatin1() + ":Tx:" + it.key().toHex().toUpper() + ":";
        if (received.contains(it.key()) && ++reached)
            QVERIFY2(traced.contains(expected), expected.constData());
    }
    QVERIFY(reached > 0);
}

void tst_FaultSoak::step()
{
    // Click, send, repeat, unsolicited frame, a link away or back, device behaviour, a reader
    // removed or added, and a new start of the program one step in a few hundred.
    static std::discrete_distribution<int> actions{24, 72, 9, 18, 18, 9, 12, 1};
    const int action = actions(m_random);
    Device &device = m_devices[m_random.bounded(quint32(m_devices.size()))];
    const t_Reader &record = m_records.at(int(m_random.bounded(m_records.size())));
    ReadersTab *readersTab = m_window->readersDock();
    const int row = readersTab->model()->rowOfReader(QString::fromLatin1(readerText(record.name)));
    QList<ConnectedReaderTab *> tabs; // sends go to any open tab
    for (const t_Reader &each : qAsConst(m_records))
        tabs << m_window->connectedReaderTab(QString::fromLatin1(readerText(each.name)));
    tabs.removeAll(nullptr);
    ConnectedReaderTab *tab =
        tabs.isEmpty() ? nullptr : tabs.at(int(m_random.bounded(tabs.size())));
    switch (action) {
    case 0: // disconnecting less often than connecting leaves something to send on
        if (row >= 0 && (readersTab->model()->readerOfRow(row)->state != STATE_CONNECTED ||
                         m_random.bounded(3) == 0))
            readersTab->onTableClicked(
                readersTab->model()->index(row, ReadersTabModel::ActionColumn));
        break;
    case 1: // a single send, or a repeated one started or stopped
    case 2:
        if (tab && !tab->isRepeating()) {
            const QString command =
                QStringLiteral("5A%1").arg(++m_commandCounter, 6, 16, QLatin1Char('0')).toUpper();
            m_commands.insert(QByteArray::fromHex(command.toLatin1()), tab->readerName());
            tab->intervalField()->setText(action == 1 ? QString()
                                                      : QString::number(1 + m_random.bounded(5)));
            tab->commandEntry()->setText(command);
            tab->sendCommandToReader();
        } else if (tab && action == 2) {
            tab->sendCommandToReader();
        }
        break;
    case 3: // an unsolicited frame on either link
        if (m_random.bounded(2) == 0)
            device.simulator->sendFrame("\x6B" + QByteArray::number(m_random.generate()));
        else
            device.simulator->sendTcpChunk("\x6B" + QByteArray::number(m_random.generate()));
        break;
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
        m_window = std::make_unique<OVSViewer>();
        m_window->show();
    }
}

OVS_TEST_MAIN(tst_FaultSoak)
#include "tst_FaultSoak.moc"
