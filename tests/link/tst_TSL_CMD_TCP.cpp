#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "LinkOpening.h"
#include "UnansweredListener.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

using LinkBytes::hex;

static const QByteArray AddressRequest = QByteArray::fromHex("010602");
// A frame handed up and its session.
using Frame = QPair<QByteArray, int>;

class tst_TSL_CMD_TCP : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void open_data();
    void open();
    void writeAndAnswers();
    void waitingChunksAreBoundedAndKeptBackOnesHoldNothingUp();
    void hangUpReopenAndClose();
    void closeEndsAConnectionThatHangs();

private:
    // Frames are recorded and, while m_emptyFrames is set, emptied as the reader tab does.
    std::unique_ptr<TSL_CMD_TCP> openLink(int firstUnsolicited = 32768);

    std::unique_ptr<ReaderSimulator> m_reader;
    QList<Frame> m_frames;
    QByteArray *m_heldFrame = nullptr;
    bool m_emptyFrames = true;
};

void tst_TSL_CMD_TCP::init()
{
    m_reader = std::make_unique<ReaderSimulator>();
    QVERIFY(m_reader->startTcp());
    // Only answers that a test sets come back, so that every frame counted is expected.
    m_reader->setTcpEcho(false);
    m_frames.clear();
    m_emptyFrames = true;
}

std::unique_ptr<TSL_CMD_TCP> tst_TSL_CMD_TCP::openLink(int firstUnsolicited)
{
    return LinkOpening::tcp(*m_reader, [this, firstUnsolicited](TSL_CMD_TCP &link) {
        link.presetUnsolicitedCounter(firstUnsolicited);
        connect(&link, &TSL_CMD_TCP::frameReceived, this, [this](QByteArray *frame, int session) {
            m_frames.append(Frame(*frame, session));
            m_heldFrame = frame;
            if (m_emptyFrames)
                frame->clear();
        });
    });
}

void tst_TSL_CMD_TCP::open_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("address");

    const QByteArray zero(4, '\0');
    QTest::newRow("reader's address") << QByteArray() << 0 << hex("0a1b2c3d");
    QTest::newRow("zero address") << hex("01070200000000") << -2 << zero;
    QTest::newRow("short answer") << hex("0107020a1b2c") << -2 << zero;
    QTest::newRow("long answer") << hex("0107020a1b2c3d4e") << -2 << zero;
    QTest::newRow("other answer") << hex("0108020a1b2c3d") << -2 << zero;
}

void tst_TSL_CMD_TCP::open()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QFETCH(QByteArray, address);

    if (!answer.isEmpty())
        m_reader->setAnswer(AddressRequest, answer);
    TSL_CMD_TCP link(QStringLiteral("127.0.0.1"), m_reader->tcpPort());
    QCOMPARE(link.open(), result);
    QCOMPARE(link.address(), address);
    QCOMPARE(link.isConnected(), result == 0);
    QCOMPARE(m_reader->receivedPayloads(), QList<QByteArray>{AddressRequest});
    QCOMPARE(link.sessionNumber(), 0);
    if (result != 0) {
        // A failed open() leaves no thread behind, and nothing to write on.
        QVERIFY(!link.isRunning());
        QByteArray payload = hex("0102");
        QCOMPARE(link.write(&payload), 8);
    }
}

void tst_TSL_CMD_TCP::writeAndAnswers()
{
    const auto link = openLink();
    QVERIFY(link);
    // Longer than a serial frame takes: TCP has no length byte to fill.
    QByteArray payload(1000, '\x01');
    QByteArray marker = hex("e0e1");
    m_reader->setAnswer(payload, hex("aa"));
    m_reader->setAnswer(marker, hex("bb"));

    QCOMPARE(link->write(&payload), 4);
    QCOMPARE(link->write(&marker), 4);
    QCOMPARE(link->sessionNumber(), 2);
    QCOMPARE(m_reader->receivedPayloads(), (QList<QByteArray>{AddressRequest, payload, marker}));
    // Each answer carries the session of its write; the address read's answer is not handed up.
    QTRY_COMPARE(m_frames, (QList<Frame>{{hex("aa"), 0}, {hex("bb"), 1}}));
}

void tst_TSL_CMD_TCP::waitingChunksAreBoundedAndKeptBackOnesHoldNothingUp()
{
    // Unsolicited chunks are numbered from 32768 to 65535 and round again.
    const int first = 65400;
    const auto sessionOf = [](int i) { return 32768 + (first - 32768 + i) % 32768; };
    const auto link = openLink(first);
    QVERIFY(link);
    m_emptyFrames = false;

    m_reader->sendTcpChunk(hex("ff"));
    QTRY_COMPARE(m_frames.size(), 1);
    // Each chunk is awaited so that the link reads it on its own.
    for (int i = 1; i <= 500; ++i) {
        m_reader->sendTcpChunk(QByteArray(1, char(i)));
        QVERIFY(QTest::qWaitFor([&] { return link->waitingChunks() == i; }, 10000));
    }
    m_reader->sendTcpChunk(hex("99"));
    QTRY_COMPARE(link->droppedChunks(), 1);
    QCOMPARE(link->waitingChunks(), 500);
    QCOMPARE(m_frames.size(), 1);

    m_emptyFrames = true;
    m_heldFrame->clear();
    QTRY_COMPARE_WITH_TIMEOUT(m_frames.size(), 501, 10000);
    QCOMPARE(link->waitingChunks(), 0);
    for (int i = 0; i <= 500; ++i)
        QCOMPARE(m_frames.at(i), Frame(i == 0 ? hex("ff") : QByteArray(1, char(i)), sessionOf(i)));

    // No receiver takes a chunk kept back: the next one must not wait for that.
    link->setHandingUp(false);
    m_reader->sendTcpChunk(hex("0a"));
    QTRY_COMPARE(link->droppedChunks(), 2);
    link->setHandingUp(true);
    m_reader->sendTcpChunk(hex("98"));
    QTRY_COMPARE(m_frames.size(), 502);
    QCOMPARE(m_frames.last(), Frame(hex("98"), sessionOf(502)));
}

void tst_TSL_CMD_TCP::hangUpReopenAndClose()
{
    const auto link = openLink();
    QVERIFY(link);
    QSignalSpy lost(link.get(), &TSL_CMD_TCP::connectionLost);
    const quint16 port = m_reader->tcpPort();
    m_reader->closeTcp();
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!link->isConnected());
    QByteArray payload = hex("0104");
    QCOMPARE(link->write(&payload), 8);

    // The gateway is back on its port: the same link connects again and carries on counting
    // after the lost write's session.
    QVERIFY(m_reader->startTcp(port));
    m_reader->setAddress(hex("0a0b0c0d"));
    QCOMPARE(link->open(), 0);
    QCOMPARE(link->address(), hex("0a0b0c0d"));
    m_reader->setAnswer(payload, hex("0105"));
    QCOMPARE(link->write(&payload), 4);
    QTRY_COMPARE(m_frames, QList<Frame>{Frame(hex("0105"), 1)});

    // Ending it on purpose is no loss, and final.
    QCOMPARE(link->close(), 0);
    QVERIFY(link->wait(10000));
    QCOMPARE(lost.count(), 1);
    QVERIFY(!link->isConnected());
    QCOMPARE(link->open(), -1);
    QVERIFY(!link->isRunning());
    QCOMPARE(m_reader->receivedCount(), 3);
}

void tst_TSL_CMD_TCP::closeEndsAConnectionThatHangs()
{
    UnansweredListener unanswered;
    QVERIFY(unanswered.port() != 0);
    TSL_CMD_TCP link(QStringLiteral("127.0.0.1"), unanswered.port());
    std::atomic<int> result{1};
    std::unique_ptr<QThread> opener(QThread::create([&] { result = link.open(); }));
    opener->start();
    QVERIFY(QTest::qWaitFor([&] { return link.isRunning(); }, 10000));
    // Still trying: nothing answers the connection. This can only be looked at, not awaited.
    QTest::qWait(200);
    QCOMPARE(result.load(), 1);
    link.close();
    // Far below the 30 s that the connection attempt would otherwise take.
    QVERIFY(opener->wait(10000));
    QCOMPARE(result.load(), -1);
}

OVS_CORE_TEST_MAIN(tst_TSL_CMD_TCP)
#include "tst_TSL_CMD_TCP.moc"
