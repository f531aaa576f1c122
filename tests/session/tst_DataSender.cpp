#include "IsolatedHome.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "readers/ReadersList.h"
#include "session/DataSender.h"
#include "session/PacketText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    void serialCommandIsReportedTwice_data();
    void serialCommandIsReportedTwice();
    void tcpCommandIsReportedOnce();
    void oddLengthIsCutToWholeBytes();
    void firmwareSendsReportTheirSession();
    void repeatMode();
    void stopBeforeStartIsRefused();
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

    QTest::newRow("empty command") << "R1"
                                   << "R1"
                                   << ""
                                   << "Error: Command for reader \"R1\" is empty.";
    QTest::newRow("unknown reader") << "R1"
                                    << "Nobody"
                                    << "0A"
                                    << "Error: Reader \"Nobody\" is not found in the TSL list.";
    QTest::newRow("name differs in case") << "R1"
                                          << "r1"
                                          << "0A"
                                          << "Error: Reader \"r1\" is not found in the TSL list.";
    QTest::newRow("sender of no reader") << ""
                                         << "R1"
                                         << "0A"
                                         << "Error: Reader \"R1\" is not found in the TSL list.";
    QTest::newRow("listed but not connected") << "Idle"
                                              << "Idle"
                                              << "0A1B"
                                              << "Error: Reader \"Idle\" is not connected.";
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

void tst_DataSender::serialCommandIsReportedTwice_data()
{
    QTest::addColumn<int>("ackCode");
    QTest::addColumn<QString>("status");

    QTest::newRow("acknowledged") << 0x06 << "Sent";
    QTest::newRow("buffered") << 0x07 << "Buffered";
    QTest::newRow("rejected") << 0x08 << "Rejected";
    QTest::newRow("silence") << int(ReaderSimulator::NoAck) << "Error";
}

void tst_DataSender::serialCommandIsReportedTwice()
{
    QFETCH(int, ackCode);
    QFETCH(QString, status);
    t_Reader *reader = connectReader(true, "Bench");
    QVERIFY(reader);
    m_simulator->setAckCode(ackCode);
    // The two start-up exchanges used sessions 0 and 1.
    const int session = 2;

    send(QStringLiteral("Bench"), QStringLiteral("0A1B2C"));
    QTRY_COMPARE_WITH_TIMEOUT(m_reports.size(), 2, 10000);
    const readerPacket_t &first = m_reports.at(0).packet;
    const readerPacket_t &second = m_reports.at(1).packet;
    QCOMPARE(first.status, QStringLiteral("In progress"));
    QCOMPARE(second.status, status);
    QCOMPARE(first.direction, QStringLiteral("Tx"));
    QCOMPARE(first.frame, QStringLiteral("0A 1B 2C"));
    QCOMPARE(second.frame, first.frame);
    QCOMPARE(first.readerName, QStringLiteral("Bench"));
    QCOMPARE(int(first.sessionNumber), session);
    QCOMPARE(second.sessionNumber, first.sessionNumber);
    QCOMPARE(second.time, first.time);
    QCOMPARE(m_reports.at(1).tabType, 3);
    QVERIFY(m_simulator->receivedPayloads().contains(QByteArray::fromHex("0A1B2C")));
}

void tst_DataSender::tcpCommandIsReportedOnce()
{
    QVERIFY(connectReader(false, "Roof"));
    send(QStringLiteral("Roof"), QStringLiteral("0A1B2C"));
    QTRY_COMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{QByteArray::fromHex("0A1B2C")});
    QTRY_COMPARE(m_reports.size(), 1);
    QCOMPARE(m_reports.first().packet.status, QStringLiteral("Sent"));
    QCOMPARE(m_reports.first().packet.frame, QStringLiteral("0A 1B 2C"));
    QCOMPARE(int(m_reports.first().packet.sessionNumber), 0);
}

void tst_DataSender::oddLengthIsCutToWholeBytes()
{
    QVERIFY(connectReader(false, "Roof"));
    send(QStringLiteral("Roof"), QStringLiteral("0A1B2"));
    QTRY_COMPARE(m_simulator->receivedCount(), 1);
    // The digits pair from the left, so the bytes sent are those that the row shows.
    QCOMPARE(m_simulator->receivedPayloads().first(), QByteArray::fromHex("0A1B"));
    QCOMPARE(m_reports.first().packet.frame, QStringLiteral("0A 1B 2"));
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

void tst_DataSender::repeatMode()
{
    QVERIFY(connectReader(false, "Roof"));
    QSignalSpy started(m_sender, &DataSender::startRepeatModeResult);
    QSignalSpy stopped(m_sender, &DataSender::stopRepeatModeResult);
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(m_sender, "startReaderRepeatMode", Qt::QueuedConnection,
                              Q_ARG(QString, QStringLiteral("Roof")),
                              Q_ARG(QString, QStringLiteral("0A0B")), Q_ARG(int, 5));
    QTRY_COMPARE(started.count(), 1);
    QVERIFY(started.first().first().toBool());
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), 1, 5000);
    // The first send waits one interval.
    QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), 3, 5000);
    const QList<qint64> times = m_simulator->receivedTimesMs();
    QVERIFY2(times.at(2) - times.at(1) >= 400,
             qPrintable(QString::number(times.at(2) - times.at(1))));

    QMetaObject::invokeMethod(m_sender, "stopReaderRepeatMode", Qt::QueuedConnection);
    QTRY_COMPARE(stopped.count(), 1);
    QVERIFY(stopped.first().first().toBool());
    const int sent = m_simulator->receivedCount();
    // Nothing more goes out once stopped; an absence can only be watched for a while, here
    // longer than one interval.
    QTest::qWait(800);
    QCOMPARE(m_simulator->receivedCount(), sent);
    send(QStringLiteral("Roof"), QStringLiteral("0C"));
    QTRY_COMPARE(m_simulator->receivedCount(), sent + 1);
    QCOMPARE(m_simulator->receivedPayloads().last(), QByteArray::fromHex("0C"));
}

void tst_DataSender::stopBeforeStartIsRefused()
{
    startSender(QString());
    QSignalSpy stopped(m_sender, &DataSender::stopRepeatModeResult);
    QMetaObject::invokeMethod(m_sender, "stopReaderRepeatMode", Qt::QueuedConnection);
    QTRY_COMPARE(stopped.count(), 1);
    QVERIFY(!stopped.first().first().toBool());
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
