#include "IsolatedHome.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "TableRow.h"
#include "readers/ReadersList.h"
#include "session/DataSender.h"
#include "session/PacketText.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

struct Report
{
    readerPacket_t packet;
    int tabType;
};

} // namespace

class tst_DataSender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void refusals_data();
    void refusals();
    void reports_data();
    void reports();
    void firmwareSendsReportTheirSession();
    void sendsOnTheLinkItWasGiven();
    void disconnectingDuringASendLeavesTheLinkToTheSender();

private:
    // Connects the reader and starts a sender for it.
    t_Reader *connectReader(bool serial, const QByteArray &name);
    void startSender(const QString &readerName, const ReaderLink &link = ReaderLink());
    void send(const QString &reader, const QString &command, int tabType = 3);

    std::unique_ptr<ReaderSimulator> m_simulator;
    QThread m_thread;
    DataSender *m_sender = nullptr;
    QList<Report> m_reports;
    QStringList m_messages;
};

void tst_DataSender::initTestCase()
{
    registerReaderPacketType();
}

void tst_DataSender::init()
{
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovssXXXX")));
    QVERIFY(m_simulator->startTcp());
    m_reports.clear();
    m_messages.clear();
}

void tst_DataSender::startSender(const QString &readerName, const ReaderLink &link)
{
    m_sender = new DataSender(readerName, link);
    m_sender->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_sender, &QObject::deleteLater);
    connect(m_sender, &DataSender::messageSent, this, [this](readerPacket_t &packet, int tabType) {
        m_reports << Report{packet, tabType};
    });
    connect(m_sender, &DataSender::statusMessage, this,
            [this](const QString &message) { m_messages << message; });
    m_thread.start();
}

void tst_DataSender::cleanup()
{
    m_thread.quit();
    m_thread.wait();
    m_sender = nullptr;
    resetReaderRegistry();
    m_simulator.reset();
}

t_Reader *tst_DataSender::connectReader(bool serial, const QByteArray &name)
{
    t_Reader *reader = addConnectedReader(name, serial ? m_simulator->serialPortName() : QString(),
                                          m_simulator->tcpPort());
    // The start-up exchanges are not what these tests look at.
    m_simulator->clearRecords();
    if (reader)
        startSender(QString::fromLatin1(name), ReadersList::instance()->linkOf(reader));
    return reader;
}

void tst_DataSender::send(const QString &reader, const QString &command, int tabType)
{
    QMetaObject::invokeMethod(m_sender, "sendDataToReader", Qt::QueuedConnection,
                              Q_ARG(QString, reader), Q_ARG(QString, command), Q_ARG(int, tabType));
}

void tst_DataSender::refusals_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");

    addRow("empty command", "R1", "R1", "", "Error: Command for reader \"R1\" is empty.");
    addRow("unknown reader", "R1", "Nobody", "0A",
           "Error: Reader \"Nobody\" is not found in the TSL list.");
    addRow("name differs in case", "R1", "r1", "0A",
           "Error: Reader \"r1\" is not found in the TSL list.");
    addRow("sender of no reader", "", "R1", "0A",
           "Error: Reader \"R1\" is not found in the TSL list.");
    addRow("listed but not connected", "Idle", "Idle", "0A1B",
           "Error: Reader \"Idle\" is not connected.");
}

void tst_DataSender::refusals()
{
    QFETCH(QString, sender);
    QFETCH(QString, reader);
    QFETCH(QString, command);
    QFETCH(QString, message);
    t_Reader *connected = addConnectedReader("R1", m_simulator->serialPortName());
    QVERIFY(connected);
    m_simulator->clearRecords();
    startSender(sender, sender == QLatin1String("R1") ? ReadersList::instance()->linkOf(connected)
                                                      : ReaderLink());

    send(reader, command);
    QTRY_COMPARE(m_messages, QStringList{message});
    QVERIFY(m_reports.isEmpty());
    QCOMPARE(m_simulator->receivedCount(), 0);
}

// A serial send is reported when it starts and with its result; a TCP send once, when it has
// gone out. Rows: the link, the acknowledgement, the command, the bytes that went out, the
// frame that rows show and the statuses reported.
void tst_DataSender::reports_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("ackCode");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QStringList>("statuses");

    const QByteArray payload = QByteArray::fromHex("0A1B2C");
    const int noAck = int(ReaderSimulator::NoAck);
    QTest::newRow("acknowledged") << true << 0x06 << "0A1B2C" << payload << "0A 1B 2C"
                                  << QStringList{"In progress", "Sent"};
    QTest::newRow("buffered") << true << 0x07 << "0A1B2C" << payload << "0A 1B 2C"
                              << QStringList{"In progress", "Buffered"};
    QTest::newRow("rejected") << true << 0x08 << "0A1B2C" << payload << "0A 1B 2C"
                              << QStringList{"In progress", "Rejected"};
    QTest::newRow("silence") << true << noAck << "0A1B2C" << payload << "0A 1B 2C"
                             << QStringList{"In progress", "Error"};
    QTest::newRow("tcp") << false << 0x06 << "0A1B2C" << payload << "0A 1B 2C"
                         << QStringList{"Sent"};
    // The digits pair from the left, so the bytes sent are those that the row shows.
    QTest::newRow("odd length") << false << 0x06 << "0A1B2" << QByteArray::fromHex("0A1B")
                                << "0A 1B 2" << QStringList{"Sent"};
}

void tst_DataSender::reports()
{
    QFETCH(bool, serial);
    QFETCH(int, ackCode);
    QFETCH(QString, command);
    QFETCH(QByteArray, payload);
    QFETCH(QString, frame);
    QFETCH(QStringList, statuses);
    QVERIFY(connectReader(serial, "Bench"));
    m_simulator->setAckCode(ackCode);

    send(QStringLiteral("Bench"), command);
    QTRY_COMPARE_WITH_TIMEOUT(m_reports.size(), statuses.size(), 10000);
    // Unanswered, a frame goes out three times.
    const int transmissions = ackCode == ReaderSimulator::NoAck ? 3 : 1;
    QList<QByteArray> transmitted;
    for (int i = 0; i < transmissions; ++i)
        transmitted << payload;
    QTRY_COMPARE(m_simulator->receivedPayloads(), transmitted);
    QStringList reported;
    for (const Report &report : qAsConst(m_reports)) {
        reported << report.packet.status;
        QCOMPARE(report.packet.direction, QStringLiteral("Tx"));
        QCOMPARE(report.packet.readerName, QStringLiteral("Bench"));
        QCOMPARE(report.packet.frame, frame);
        QCOMPARE(report.tabType, 3);
        // The start-up exchanges of a serial link used sessions 0 and 1.
        QCOMPARE(int(report.packet.sessionNumber), serial ? 2 : 0);
        QCOMPARE(report.packet.time, m_reports.first().packet.time);
    }
    QCOMPARE(reported, statuses);
}

void tst_DataSender::firmwareSendsReportTheirSession()
{
    QVERIFY(connectReader(true, "Bench"));
    QSignalSpy sessions(m_sender, &DataSender::cmdSessionNumber);
    send(QStringLiteral("Bench"), QStringLiteral("0102"), 2);
    QTRY_COMPARE(sessions.count(), 1);
    QCOMPARE(sessions.first().first().toInt(), 2);
    QCOMPARE(m_reports.size(), 2);
    QCOMPARE(m_reports.at(1).tabType, 2);
    send(QStringLiteral("Bench"), QStringLiteral("0103"), 3);
    QTRY_COMPARE(m_reports.size(), 4);
    QCOMPARE(sessions.count(), 1);
}

void tst_DataSender::sendsOnTheLinkItWasGiven()
{
    // A link that the registry has never seen: the sender does not look there.
    const ReaderLink link = ReaderLink::serial(m_simulator->serialPortName(), 115200);
    QCOMPARE(link.startUp(), 1);
    m_simulator->clearRecords();
    startSender(QStringLiteral("Loose"), link);
    send(QStringLiteral("Loose"), QStringLiteral("0A0B"));
    QTRY_COMPARE(m_reports.size(), 2);
    QCOMPARE(m_reports.at(1).packet.status, QStringLiteral("Sent"));
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{QByteArray::fromHex("0A0B")});
    link.close();
}

void tst_DataSender::disconnectingDuringASendLeavesTheLinkToTheSender()
{
    t_Reader *reader = connectReader(true, "Bench");
    QVERIFY(reader);
    const QPointer<QObject> link = reader->link;
    m_simulator->setAckCode(ReaderSimulator::NoAck);
    send(QStringLiteral("Bench"), QStringLiteral("0A"));
    QTRY_COMPARE(m_reports.size(), 1);
    QTRY_COMPARE(m_simulator->receivedCount(), 1);

    // The sender waits for an acknowledgement that will not come while the reader goes.
    ReadersList::instance()->setReaderState(reader, STATE_DISCONNECTED);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_COMPARE(m_reports.size(), 2);
    QCOMPARE(m_reports.at(1).packet.status, QStringLiteral("Error"));
    // Closing the link ended the send: it was not transmitted again.
    QCOMPARE(m_simulator->receivedCount(), 1);
    QVERIFY(link);

    send(QStringLiteral("Bench"), QStringLiteral("0B"));
    QTRY_COMPARE(m_messages,
                 QStringList{QStringLiteral("Error: Reader \"Bench\" is not connected.")});
    m_thread.quit();
    m_thread.wait();
    ReadersList::instance()->removeReader(reader);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!link);
}

OVS_CORE_TEST_MAIN(tst_DataSender)
#include "tst_DataSender.moc"
