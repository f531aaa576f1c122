#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "ReaderSimulator.h"
#include "link/TSL.h"
#include "link/TSL_CMD.h"
#include "link/TSL_Frame.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QVector>
#include <QtTest>

#include <memory>
#include <sys/resource.h>

using LinkBytes::dataFrame;
using LinkBytes::hex;

namespace {

struct ReceivedFrame
{
    QByteArray payload;
    int session;
};

// Processor time of the whole process, in milliseconds.
qint64 cpuTimeMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

} // namespace

class tst_TSL_CMD : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sendResult_data();
    void sendResult();
    void retransmissionsAreSpacedByTheAckWait();
    void emptyPayloadSendsNothing();
    void retryCountZeroSendsNothing();
    void payloadSizeLimit_data();
    void payloadSizeLimit();
    void sessionNumbersStartAtZeroAndWrap();
    void addressRead_data();
    void addressRead();
    void ackConfiguration_data();
    void ackConfiguration();
    void receivedFrames_data();
    void receivedFrames();
    void answerBeforeItsAck();
    void receivedFramesAreAcknowledged();
    void recoveredNotice();
    void missingPortEndsWithError();
    void lineClosedInTheMiddleOfAFrame();
    void vanishedDeviceDoesNotSpin();
    void startupExchangeTakesTheFirstAnswer();
    void closeEndsASendWaitingForItsAcknowledgement();

private:
    void connectReader();
    int send(const QByteArray &payload, int *session = nullptr);

    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<TSL_CMD> m_reader;
    QList<ReceivedFrame> m_received;
    QList<int> m_recovered;
};

void tst_TSL_CMD::init()
{
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsimXXXX")));
    QVERIFY(m_simulator->serialPortName().size() <= 15);
    m_received.clear();
    m_recovered.clear();
    connectReader();
}

void tst_TSL_CMD::cleanup()
{
    m_reader.reset();
    m_simulator.reset();
}

void tst_TSL_CMD::connectReader()
{
    m_reader = std::make_unique<TSL_CMD>(m_simulator->serialPortName(), 115200);
    connect(m_reader.get(), &TSL_CMD::frameReceived, this,
            [this](QByteArray *payload, int session) {
                m_received << ReceivedFrame{*payload, session};
                payload->clear();
            });
    connect(m_reader.get(), &TSL_CMD::frameRecovered, this,
            [this](int session) { m_recovered << session; });
    QCOMPARE(m_reader->open(), 0);
}

int tst_TSL_CMD::send(const QByteArray &payload, int *session)
{
    int used = -1;
    const int result = m_reader->send_frame(payload, payload.size(), used);
    if (session)
        *session = used;
    return result;
}

void tst_TSL_CMD::sendResult_data()
{
    QTest::addColumn<QList<int>>("ackCodes");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("transmissions");

    const int none = ReaderSimulator::NoAck;
    QTest::newRow("acknowledged") << QList<int>{0x06} << 4 << 1;
    QTest::newRow("buffered") << QList<int>{0x07} << 5 << 1;
    QTest::newRow("rejected") << QList<int>{0x08} << 6 << 1;
    QTest::newRow("silence") << QList<int>{none, none, none} << 8 << 3;
    QTest::newRow("0x15 on every attempt") << QList<int>{0x15, 0x15, 0x15} << 8 << 3;
    QTest::newRow("0x15 then acknowledged") << QList<int>{0x15, 0x06} << 4 << 2;
    QTest::newRow("silence then acknowledged") << QList<int>{none, 0x06} << 4 << 2;
    QTest::newRow("recovered during the last attempt") << QList<int>{none, none, 0x09} << 7 << 3;
}

void tst_TSL_CMD::sendResult()
{
    QFETCH(QList<int>, ackCodes);
    QFETCH(int, result);
    QFETCH(int, transmissions);

    m_simulator->queueAckCodes(ackCodes);
    int session = -1;
    QCOMPARE(send(hex("0A1B2C"), &session), result);
    QCOMPARE(session, 0);
    QTRY_COMPARE(m_simulator->receivedCount(), transmissions);
    QCOMPARE(m_simulator->receivedPayloads(),
             QVector<QByteArray>(transmissions, hex("0A1B2C")).toList());
    QCOMPARE(m_simulator->receivedSessions(), QVector<quint16>(transmissions, 0).toList());
    if (ackCodes.contains(0x09))
        QTRY_COMPARE(m_recovered, QList<int>{0});
}

void tst_TSL_CMD::retransmissionsAreSpacedByTheAckWait()
{
    m_simulator->setAckCode(ReaderSimulator::NoAck);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(send(hex("0102")), 8);
    const qint64 elapsed = clock.elapsed();
    const QList<qint64> times = m_simulator->receivedTimesMs();
    QCOMPARE(times.size(), 3);
    // The wait per transmission is the point here, so it is measured; the bounds are wide.
    QVERIFY2(times[1] - times[0] >= 900 && times[2] - times[1] >= 900,
             qPrintable(QStringLiteral("%1 %2").arg(times[1] - times[0]).arg(times[2] - times[1])));
    QVERIFY2(elapsed >= 2900, qPrintable(QString::number(elapsed)));
}

void tst_TSL_CMD::emptyPayloadSendsNothing()
{
    int session = -1;
    QCOMPARE(send(QByteArray(), &session), 8);
    QCOMPARE(session, 0);
    QCOMPARE(m_reader->sessionNumber(), 1);
    QCOMPARE(send(hex("0A"), &session), 4);
    QCOMPARE(session, 1);
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{hex("0A")});
}

void tst_TSL_CMD::retryCountZeroSendsNothing()
{
    TSL engine(m_simulator->serialPortName(), 115200, 0, 1000);
    QCOMPARE(engine.send_frame(hex("0A1B"), 2, 5), 8);
    QCOMPARE(send(hex("0C")), 4);
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{hex("0C")});
}

void tst_TSL_CMD::payloadSizeLimit_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");

    QTest::newRow("largest payload") << 247 << 4;
    QTest::newRow("one byte too long") << 248 << 0;
    QTest::newRow("far too long") << 1000 << 0;
}

void tst_TSL_CMD::payloadSizeLimit()
{
    QFETCH(int, size);
    QFETCH(int, result);
    QByteArray payload(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        payload[i] = char(i * 7);
    QCOMPARE(send(payload), result);
    QCOMPARE(send(hex("0D")), 4);
    const QList<QByteArray> expected =
        result == 4 ? QList<QByteArray>{payload, hex("0D")} : QList<QByteArray>{hex("0D")};
    QCOMPARE(m_simulator->receivedPayloads(), expected);
}

void tst_TSL_CMD::sessionNumbersStartAtZeroAndWrap()
{
    int session = -1;
    QCOMPARE(send(hex("01"), &session), 4);
    QCOMPARE(session, 0);
    QCOMPARE(send(hex("02"), &session), 4);
    QCOMPARE(session, 1);
    // Empty payloads use up session numbers without touching the line.
    for (int i = 2; i <= 32766; ++i)
        send(QByteArray());
    QCOMPARE(m_reader->sessionNumber(), 0);
    QCOMPARE(send(hex("03"), &session), 4);
    QCOMPARE(session, 0);
    QCOMPARE(m_simulator->receivedSessions(), (QList<quint16>{0, 1, 0}));
}

void tst_TSL_CMD::addressRead_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("address");

    QTest::newRow("reader address") << QByteArray() << hex("0A1B2C3D");
    QTest::newRow("six bytes do not set it") << hex("0107020A1B2C") << QByteArray();
    QTest::newRow("seven bytes do") << hex("0107020A1B2C3E") << hex("0A1B2C3E");
    QTest::newRow("first bytes are not checked") << hex("99999911223344") << hex("11223344");
}

void tst_TSL_CMD::addressRead()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, address);
    if (!answer.isEmpty())
        m_simulator->setAnswer(hex("010602"), answer);
    QCOMPARE(m_reader->request_address(), 4);
    QCOMPARE(m_reader->address(), address);
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{hex("010602")});
    // The answer is handed up as any other frame.
    QTRY_COMPARE(m_received.size(), 1);
    QCOMPARE(m_received.first().payload, answer.isEmpty() ? hex("0107020A1B2C3D") : answer);
}

void tst_TSL_CMD::ackConfiguration_data()
{
    QTest::addColumn<QByteArray>("configuration");
    QTest::addColumn<QByteArray>("writeBack");

    QTest::newRow("both ack bits off") << hex("051001") << hex("010107051003");
    QTest::newRow("one ack bit off") << hex("051002") << hex("010107051003");
    QTest::newRow("both on") << hex("051003") << QByteArray();
    QTest::newRow("both on, other bits set") << hex("000007") << QByteArray();
    QTest::newRow("no configuration") << hex("000000") << QByteArray();
}

void tst_TSL_CMD::ackConfiguration()
{
    QFETCH(QByteArray, configuration);
    QFETCH(QByteArray, writeBack);
    m_simulator->setUartConfiguration(configuration);
    m_reader->request_ack_conf();

    QList<QByteArray> expected{hex("010106")};
    if (!writeBack.isEmpty())
        expected << writeBack;
    QCOMPARE(m_simulator->receivedPayloads(), expected);
    QCOMPARE(m_simulator->receivedSessions(),
             expected.size() == 2 ? (QList<quint16>{0, 1}) : QList<quint16>{0});
    if (!writeBack.isEmpty())
        QCOMPARE(m_simulator->uartConfiguration(), writeBack.mid(3));
}

void tst_TSL_CMD::receivedFrames_data()
{
    QTest::addColumn<QString>("behaviour");

    QTest::newRow("ack and answer in separate reads") << "";
    QTest::newRow("ack and answer in one read") << "together";
    QTest::newRow("single bytes") << "split";
    QTest::newRow("garbage before every frame") << "garbage";
    QTest::newRow("paced at 115200 baud") << "paced";
}

void tst_TSL_CMD::receivedFrames()
{
    QFETCH(QString, behaviour);
    m_simulator->setAckAndAnswerTogether(behaviour == QLatin1String("together"));
    m_simulator->setSplitIntoSingleBytes(behaviour == QLatin1String("split"));
    if (behaviour == QLatin1String("garbage"))
        m_simulator->setGarbage(hex("0011FF22"));
    if (behaviour == QLatin1String("paced"))
        m_simulator->setBaudRate(115200);

    QCOMPARE(m_reader->request_address(), 4);
    QCOMPARE(m_reader->address(), hex("0A1B2C3D"));
    m_simulator->sendFrame(hex("2A0102"));
    m_simulator->sendFrame(hex("2A0304"));
    QTRY_COMPARE(m_received.size(), 3);
    QCOMPARE(m_received[0].payload, hex("0107020A1B2C3D"));
    QCOMPARE(m_received[1].payload, hex("2A0102"));
    QCOMPARE(m_received[2].payload, hex("2A0304"));
    QCOMPARE(m_received[2].session, m_received[1].session + 1);
}

void tst_TSL_CMD::answerBeforeItsAck()
{
    m_simulator->setAnswerBeforeAck(true);
    QCOMPARE(send(hex("010602")), 4);
    QTRY_COMPARE(m_received.size(), 1);
    QCOMPARE(m_received.first().payload, hex("0107020A1B2C3D"));

    // Two frames in one read come out one after the other.
    m_simulator->sendRaw(dataFrame(hex("3A3A"), 0x4001) + dataFrame(hex("3B3B"), 0x4002));
    QTRY_COMPARE(m_received.size(), 3);
    QCOMPARE(m_received[1].payload, hex("3A3A"));
    QCOMPARE(m_received[1].session, 0x4001);
    QCOMPARE(m_received[2].payload, hex("3B3B"));
    QCOMPARE(m_received[2].session, 0x4002);
}

void tst_TSL_CMD::receivedFramesAreAcknowledged()
{
    QCOMPARE(send(hex("0A")), 4);
    m_simulator->sendRaw(dataFrame(hex("4A4B"), 0xBEEF));
    m_simulator->sendRaw(hex("00") + dataFrame(hex("4C4D"), 0x0007));
    QTRY_COMPARE(m_received.size(), 2);
    QCOMPARE(m_received[0].session, 0xBEEF);
    QTRY_COMPARE(m_simulator->ackedSessions(), (QList<quint16>{0xBEEF, 0x0007}));
}

void tst_TSL_CMD::recoveredNotice()
{
    QCOMPARE(send(hex("0A")), 4);
    m_simulator->sendRecoveredNotice(0x1234);
    m_simulator->sendRecoveredNotice(0x8001);
    // The session of a recovery travels as a signed 16-bit number.
    QTRY_COMPARE(m_recovered, (QList<int>{0x1234, -32767}));
    QVERIFY(m_received.isEmpty());
}

void tst_TSL_CMD::missingPortEndsWithError()
{
    TSL_CMD missing(QStringLiteral("/tmp/ovs-no-such-port"), 115200);
    QCOMPARE(missing.open(), -1);
    int session = -1;
    QCOMPARE(missing.send_frame(hex("0A"), 1, session), 8);
    QCOMPARE(session, 0);
}

void tst_TSL_CMD::lineClosedInTheMiddleOfAFrame()
{
    QSignalSpy lost(m_reader.get(), &TSL_CMD::portLost);
    QSignalSpy restored(m_reader.get(), &TSL_CMD::portRestored);
    QCOMPARE(send(hex("0A")), 4);
    m_simulator->closeInMiddleOfNextFrame();
    m_simulator->sendFrame(hex("5A5B5C5D5E5F"));
    QCOMPARE(send(hex("0B")), 8);

    // The device comes back behind the same name and the link picks it up by itself.
    QVERIFY(m_simulator->reopenSerial());
    QTRY_COMPARE_WITH_TIMEOUT(send(hex("0C")), 4, 10000);
    m_simulator->sendFrame(hex("6A6B"));
    QTRY_VERIFY(!m_received.isEmpty() && m_received.last().payload == hex("6A6B"));
    // Each change is told once, however many times the port was tried meanwhile.
    QCOMPARE(lost.count(), 1);
    QCOMPARE(lost.first().first().toString(), m_simulator->serialPortName());
    QCOMPARE(restored.count(), 1);
    QCOMPARE(restored.first().first().toString(), m_simulator->serialPortName());
}

void tst_TSL_CMD::vanishedDeviceDoesNotSpin()
{
    QCOMPARE(send(hex("0A")), 4);
    m_simulator->closeSerial();
    QTest::qWait(1000);
    const qint64 cpuBefore = cpuTimeMs();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(2000);
    const qint64 cpuUsed = cpuTimeMs() - cpuBefore;
    // A link that spins on the lost port burns a whole core; an idle one next to nothing.
    QVERIFY2(cpuUsed * 4 < clock.elapsed(), qPrintable(QString::number(cpuUsed)));
}

void tst_TSL_CMD::startupExchangeTakesTheFirstAnswer()
{
    // The reader's own answer comes late; another long frame arrives first.
    m_simulator->setAckDelay(500);
    int result = -1;
    std::unique_ptr<QThread> exchange(
        QThread::create([this, &result] { result = m_reader->request_address(); }));
    exchange->start();
    QVERIFY(QTest::qWaitFor([this] { return m_simulator->receivedCount() == 1; }, 10000));
    m_simulator->sendFrame(hex("010702A1A2A3A4"));
    QVERIFY(exchange->wait(10000));
    QCOMPARE(result, 4);
    QCOMPARE(m_reader->address(), hex("A1A2A3A4"));
}

void tst_TSL_CMD::closeEndsASendWaitingForItsAcknowledgement()
{
    m_simulator->setAckCode(ReaderSimulator::NoAck);
    int result = -1;
    std::unique_ptr<QThread> sender(QThread::create([this, &result] { result = send(hex("0A")); }));
    sender->start();
    QVERIFY(QTest::qWaitFor([this] { return m_simulator->receivedCount() == 1; }, 10000));
    m_reader->close();
    QVERIFY(sender->wait(10000));
    QCOMPARE(result, 8);
    // Not transmitted again, and nothing goes out after the close.
    QCOMPARE(m_simulator->receivedCount(), 1);
    QVERIFY(!m_reader->isConnected());
    QCOMPARE(send(hex("0B")), 8);
    QCOMPARE(m_simulator->receivedCount(), 1);
}

OVS_TEST_MAIN(tst_TSL_CMD)
#include "tst_TSL_CMD.moc"
