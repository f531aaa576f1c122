#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "LinkOpening.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <ctime>
#include <memory>
#include <sys/resource.h>

using LinkBytes::dataFrame;
using LinkBytes::hex;

class tst_TSL_CMD : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sendResult_data();
    void sendResult();
    void sessionsComeRoundBelowTheReadersOwn();
    void addressAndFrames_data();
    void addressAndFrames();
    void ackConfiguration_data();
    void ackConfiguration();
    void lineLostInTheMiddleOfAFrameAndBack();
    void closeEndsASendWaitingForItsAcknowledgement();
    void idleLinkSleepsUntilSomethingHappens();

private:
    int send(const QByteArray &payload);

    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<TSL_CMD> m_link;
    // Frames handed up, with their sessions.
    QList<QPair<QByteArray, int>> m_received;
};

void tst_TSL_CMD::init()
{
    m_link.reset();
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsimXXXX")));
    m_received.clear();
    m_link = LinkOpening::serial(*m_simulator);
    QVERIFY(m_link);
    connect(m_link.get(), &TSL_CMD::frameReceived, this, [this](QByteArray *payload, int session) {
        m_received << qMakePair(*payload, session);
        payload->clear();
    });
}

int tst_TSL_CMD::send(const QByteArray &payload)
{
    int session = -1;
    return m_link->send_frame(payload, payload.size(), session);
}

void tst_TSL_CMD::sendResult_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("ackCodes");
    QTest::addColumn<int>("ackDelay");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("transmissions");

    const int none = ReaderSimulator::NoAck;
    QTest::newRow("acknowledged") << 3 << QList<int>{0x06} << 0 << 4 << 1;
    QTest::newRow("buffered") << 3 << QList<int>{0x07} << 0 << 5 << 1;
    QTest::newRow("rejected") << 3 << QList<int>{0x08} << 0 << 6 << 1;
    QTest::newRow("silence") << 3 << QList<int>{none, none, none} << 0 << 8 << 3;
    QTest::newRow("0x15 on every attempt") << 3 << QList<int>{0x15, 0x15, 0x15} << 0 << 8 << 3;
    QTest::newRow("0x15 then acknowledged") << 3 << QList<int>{0x15, 0x06} << 0 << 4 << 2;
    QTest::newRow("silence then acknowledged") << 3 << QList<int>{none, 0x06} << 0 << 4 << 2;
    QTest::newRow("recovered during the last attempt")
        << 3 << QList<int>{none, none, 0x09} << 0 << 7 << 3;
    // Within the acknowledgement wait: the frame is not sent again.
    QTest::newRow("acknowledged late") << 3 << QList<int>{0x06} << 500 << 4 << 1;
    QTest::newRow("largest payload") << 247 << QList<int>{} << 0 << 4 << 1;
    QTest::newRow("payload too long") << 248 << QList<int>{} << 0 << 0 << 0;
    QTest::newRow("empty payload") << 0 << QList<int>{} << 0 << 8 << 0;
}

void tst_TSL_CMD::sendResult()
{
    QFETCH(int, size);
    QFETCH(QList<int>, ackCodes);
    QFETCH(int, ackDelay);
    QFETCH(int, result);
    QFETCH(int, transmissions);

    m_simulator->queueAckCodes(ackCodes);
    m_simulator->setAckDelay(ackDelay);
    QByteArray payload(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        payload[i] = char(i * 7 + 1);
    QSignalSpy recovered(m_link.get(), &TSL_CMD::frameRecovered);
    QCOMPARE(send(payload), result);
    // Acknowledged at once, and after whatever the first send put on the line; its session
    // shows that the first send took session 0, even when nothing went out.
    m_simulator->setAckDelay(0);
    QCOMPARE(send(hex("0D")), 4);
    QCOMPARE(m_simulator->receivedPayloads(), QVector<QByteArray>(transmissions, payload).toList()
                                                  << hex("0D"));
    QCOMPARE(m_simulator->receivedSessions(), QVector<quint16>(transmissions, 0).toList() << 1);
    QTRY_COMPARE(QList<QVariantList>(recovered),
                 result == 7 ? QList<QVariantList>{{0}} : QList<QVariantList>{});
}

// The reader numbers its own frames from 0x8000 on.
void tst_TSL_CMD::sessionsComeRoundBelowTheReadersOwn()
{
    // Empty payloads use up session numbers without touching the line.
    int session = -1;
    int highest = 0;
    do {
        m_link->send_frame(QByteArray(), 0, session);
        highest = qMax(highest, session);
    } while (m_link->sessionNumber() != 0 && highest < 0x8000);
    QVERIFY2(highest < 0x8000, qPrintable(QString::number(highest)));
    QCOMPARE(send(hex("03")), 4);
    QCOMPARE(m_simulator->receivedSessions(), QList<quint16>{0});
}

void tst_TSL_CMD::addressAndFrames_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("address");

    const QByteArray own = hex("0A1B2C3D");
    QTest::newRow("reader address") << "" << QByteArray() << own;
    QTest::newRow("six bytes do not set it") << "" << hex("0107020A1B2C") << QByteArray();
    QTest::newRow("seven bytes do") << "" << hex("0107020A1B2C3E") << hex("0A1B2C3E");
    QTest::newRow("answer before its ack") << "answerFirst" << QByteArray() << own;
    QTest::newRow("single bytes") << "split" << QByteArray() << own;
    QTest::newRow("garbage before every frame") << "garbage" << QByteArray() << own;
}

void tst_TSL_CMD::addressAndFrames()
{
    QFETCH(QString, behaviour);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, address);
    m_simulator->setAnswerBeforeAck(behaviour == QLatin1String("answerFirst"));
    m_simulator->setSplitIntoSingleBytes(behaviour == QLatin1String("split"));
    if (behaviour == QLatin1String("garbage"))
        m_simulator->setGarbage(hex("0011FF22"));
    if (!answer.isEmpty())
        m_simulator->setAnswer(hex("010602"), answer);

    QCOMPARE(m_link->request_address(), 4);
    QCOMPARE(m_link->address(), address);
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{hex("010602")});
    // The answer is handed up and acknowledged as any other frame, and so are the reader's
    // own; they are no answers of the exchange, however long.
    m_simulator->sendFrame(hex("2A01020304050607"));
    m_simulator->sendFrame(hex("2A03"));
    QTRY_COMPARE(m_received.size(), 3);
    QCOMPARE(m_received[0].first, answer.isEmpty() ? hex("0107020A1B2C3D") : answer);
    QCOMPARE(m_received[1].first, hex("2A01020304050607"));
    QCOMPARE(m_received[2].first, hex("2A03"));
    QCOMPARE(m_received[2].second, m_received[1].second + 1);
    QCOMPARE(m_link->address(), address);
    QList<quint16> sessions;
    for (const auto &frame : qAsConst(m_received))
        sessions << quint16(frame.second);
    QTRY_COMPARE(m_simulator->ackedSessions(), sessions);
}

void tst_TSL_CMD::ackConfiguration_data()
{
    QTest::addColumn<QByteArray>("configuration");
    QTest::addColumn<QByteArray>("writeBack");

    QTest::newRow("both ack bits off") << hex("051001") << hex("010107051003");
    QTest::newRow("one ack bit off") << hex("051002") << hex("010107051003");
    QTest::newRow("both on") << hex("051003") << QByteArray();
    QTest::newRow("no configuration") << hex("000000") << QByteArray();
}

void tst_TSL_CMD::ackConfiguration()
{
    QFETCH(QByteArray, configuration);
    QFETCH(QByteArray, writeBack);
    m_simulator->setUartConfiguration(configuration);
    m_link->request_ack_conf();
    QList<QByteArray> sent{hex("010106")};
    if (!writeBack.isEmpty())
        sent << writeBack;
    QCOMPARE(m_simulator->receivedPayloads(), sent);
    QCOMPARE(m_simulator->uartConfiguration(), writeBack.isEmpty() ? configuration : hex("051003"));
}

void tst_TSL_CMD::lineLostInTheMiddleOfAFrameAndBack()
{
    QSignalSpy lost(m_link.get(), &TSL_CMD::portLost);
    QSignalSpy restored(m_link.get(), &TSL_CMD::portRestored);
    QCOMPARE(send(hex("0A")), 4);
    m_simulator->closeInMiddleOfNextFrame();
    m_simulator->sendFrame(hex("5A5B5C5D5E5F"));
    QCOMPARE(send(hex("0B")), 8);
    // A link that spins on the lost port burns a whole core; an idle one next to nothing.
    const std::clock_t cpuBefore = std::clock();
    QTest::qWait(2000);
    const qint64 cpuUsedMs = qint64(std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC;
    QVERIFY2(cpuUsedMs < 500, qPrintable(QString::number(cpuUsedMs)));

    // The device comes back behind the same name and the link picks it up by itself.
    QVERIFY(m_simulator->reopenSerial());
    QTRY_COMPARE_WITH_TIMEOUT(send(hex("0C")), 4, 10000);
    m_simulator->sendFrame(hex("6A6B"));
    QTRY_VERIFY(!m_received.isEmpty() && m_received.last().first == hex("6A6B"));
    // Each change is told once, however many times the port was tried meanwhile.
    const QList<QVariantList> once{{m_simulator->serialPortName()}};
    QCOMPARE(QList<QVariantList>(lost), once);
    QCOMPARE(QList<QVariantList>(restored), once);
}

void tst_TSL_CMD::closeEndsASendWaitingForItsAcknowledgement()
{
    m_simulator->setAckCode(ReaderSimulator::NoAck);
    int result = -1;
    std::unique_ptr<QThread> sender(QThread::create([this, &result] { result = send(hex("0A")); }));
    sender->start();
    QVERIFY(QTest::qWaitFor([this] { return m_simulator->receivedCount() == 1; }, 10000));
    m_link->close();
    QVERIFY(sender->wait(10000));
    QCOMPARE(result, 8);
    // Not transmitted again, and nothing goes out after the close.
    QCOMPARE(m_simulator->receivedCount(), 1);
    QVERIFY(!m_link->isConnected());
    QCOMPARE(send(hex("0B")), 8);
    QCOMPARE(m_simulator->receivedCount(), 1);
}

static long voluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

// A link that polls wakes its two threads tens of times a second; an idle one sleeps until
// the reader sends or the device goes or comes back.
void tst_TSL_CMD::idleLinkSleepsUntilSomethingHappens()
{
    QSignalSpy lost(m_link.get(), &TSL_CMD::portLost);
    QSignalSpy restored(m_link.get(), &TSL_CMD::portRestored);
    QCOMPARE(send(hex("0A")), 4);
    const long switchesBefore = voluntarySwitches();
    // One block of this thread: QTest::qWait would wake it every few milliseconds.
    QEventLoop idle;
    QTimer::singleShot(1500, &idle, &QEventLoop::quit);
    idle.exec();
    const long switches = voluntarySwitches() - switchesBefore;
    QVERIFY2(switches < 20, qPrintable(QString::number(switches)));

    m_simulator->sendFrame(hex("6A6B"));
    QTRY_COMPARE(m_received.size(), 1);
    QCOMPARE(m_received[0].first, hex("6A6B"));
    QTRY_COMPARE(m_simulator->ackedSessions(), QList<quint16>{quint16(m_received[0].second)});

    // Nobody sends: the link notices the device going and coming back by itself.
    m_simulator->closeSerial();
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(m_simulator->reopenSerial());
    QTRY_COMPARE_WITH_TIMEOUT(restored.count(), 1, 10000);
}

OVS_CORE_TEST_MAIN(tst_TSL_CMD)
#include "tst_TSL_CMD.moc"
