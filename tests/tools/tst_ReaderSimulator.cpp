#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "ReaderSimulator.h"
#include "link/TSL_AckFrame.h"
#include "link/TSL_Crc.h"
#include "link/TSL_Frame.h"
#include "link/TSL_StreamExtractor.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <chrono>
#include <cstdint>
#include <memory>

using LinkBytes::ackFrame;
using LinkBytes::dataFrame;
using LinkBytes::hex;

namespace {

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QByteArray numbered(const QByteArray &prefix, quint32 sequence)
{
    QByteArray payload = prefix;
    for (int shift = 24; shift >= 0; shift -= 8)
        payload.append(char(sequence >> shift & 0xFF));
    return payload;
}

} // namespace

// The PC's end of the line, opened the way the workbench opens it.
class SerialClient : public QObject
{
public:
    SerialClient()
    {
        connect(&m_port, &QSerialPort::readyRead, this, [this] {
            const QByteArray read = m_port.readAll();
            reads.append(read);
            bytes.append(read);
            for (QByteArray frame = m_extractor.extractFrame(read); !frame.isEmpty();
                 frame = m_extractor.extractFrame())
                frames.append(frame);
        });
    }

    bool open(const QString &name)
    {
        m_port.setPortName(name);
        if (!m_port.open(QIODevice::ReadWrite))
            return false;
        return m_port.setBaudRate(QSerialPort::Baud115200) &&
               m_port.setDataBits(QSerialPort::Data8) && m_port.setParity(QSerialPort::NoParity) &&
               m_port.setStopBits(QSerialPort::OneStop) &&
               m_port.setFlowControl(QSerialPort::NoFlowControl);
    }

    void close() { m_port.close(); }

    // Returns at each read rather than polling like QTRY does, so that reads stay apart.
    bool waitForBytes(int size)
    {
        QSignalSpy spy(&m_port, &QSerialPort::readyRead);
        while (bytes.size() < size) {
            if (!spy.wait(5000))
                return false;
        }
        return true;
    }
    QSerialPort::SerialPortError error() const { return m_port.error(); }

    void send(const QByteArray &payload, quint16 session)
    {
        m_port.write(dataFrame(payload, session));
        m_port.flush();
    }

    void acknowledge(quint16 session)
    {
        TSL_AckFrame ack;
        ack.build(session);
        m_port.write(ack.frameBytes);
        m_port.flush();
    }

    QList<QByteArray> reads;
    QByteArray bytes;
    QList<QByteArray> frames;

private:
    QSerialPort m_port;
    TSL_StreamExtractor m_extractor;
};

class tst_ReaderSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void acknowledgesWithConfiguredCode_data();
    void acknowledgesWithConfiguredCode();
    void sendsNothing_data();
    void sendsNothing();
    void usesQueuedAckCodesThenDefault();
    void answersCommandAfterAck_data();
    void answersCommandAfterAck();
    void writesUartConfiguration();
    void delaysAcknowledgement();
    void splitsOutputIntoSingleBytes();
    void writesGarbageBeforeEveryFrame();
    void joinsAckAndAnswerInOneWrite_data();
    void joinsAckAndAnswerInOneWrite();
    void sendsOnItsOwn();
    void numbersUnsolicitedFrames_data();
    void numbersUnsolicitedFrames();
    void recordsAcknowledgementsFromPc();
    void hangsUpAndComesBack_data();
    void hangsUpAndComesBack();
    void tcpAnswers_data();
    void tcpAnswers();
    void tcpEchoSwitchedOff();
    void tcpSendsOnItsOwn();
    void answersDiscovery();

private:
    bool connectTcp(QTcpSocket &socket);

    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<SerialClient> m_client;
};

void tst_ReaderSimulator::init()
{
    m_simulator = std::make_unique<ReaderSimulator>();
    m_client = std::make_unique<SerialClient>();
    QVERIFY(m_simulator->startSerial());
    QVERIFY(m_client->open(m_simulator->serialPortName()));
}

void tst_ReaderSimulator::cleanup()
{
    m_client.reset();
    m_simulator.reset();
}

bool tst_ReaderSimulator::connectTcp(QTcpSocket &socket)
{
    if (!m_simulator->startTcp())
        return false;
    socket.connectToHost(QHostAddress::LocalHost, m_simulator->tcpPort());
    return socket.waitForConnected(5000);
}

void tst_ReaderSimulator::acknowledgesWithConfiguredCode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<quint16>("session");

    QTest::newRow("0x06 acknowledged") << 0x06 << quint16(0x0001);
    QTest::newRow("0x07 buffered") << 0x07 << quint16(0x1234);
    QTest::newRow("0x08 rejected") << 0x08 << quint16(0x7FFF);
    QTest::newRow("0x15 not acknowledged") << 0x15 << quint16(0xFFFE);
}

void tst_ReaderSimulator::acknowledgesWithConfiguredCode()
{
    QFETCH(int, code);
    QFETCH(quint16, session);
    const QByteArray payload = hex("0199AA55");

    m_simulator->setAckCode(code);
    const qint64 before = steadyMs();
    m_client->send(payload, session);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 1, 5000);
    const qint64 after = steadyMs();

    QCOMPARE(m_client->frames.first(), ackFrame(session, code));
    if (code == TSL_AckFrame::acknowledged) {
        TSL_AckFrame ack;
        ack.build(session);
        QCOMPARE(m_client->frames.first(), ack.frameBytes);
    }
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{payload});
    QCOMPARE(m_simulator->receivedSessions(), QList<quint16>{session});
    QCOMPARE(m_simulator->receivedCount(), 1);
    const QList<qint64> times = m_simulator->receivedTimesMs();
    QCOMPARE(times.size(), 1);
    QVERIFY2(
        times.first() >= before && times.first() <= after,
        qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(times.first()).arg(before).arg(after)));
}

void tst_ReaderSimulator::sendsNothing_data()
{
    QTest::addColumn<bool>("silent");

    QTest::newRow("NoAck") << false;
    QTest::newRow("silent") << true;
}

void tst_ReaderSimulator::sendsNothing()
{
    QFETCH(bool, silent);
    if (silent)
        m_simulator->setSilent(true);
    else
        m_simulator->setAckCode(ReaderSimulator::NoAck);

    m_client->send(hex("010602"), 0x0010);
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), 1, 5000);

    // A second frame answered normally: anything owed to the first would arrive before it.
    m_simulator->setSilent(false);
    m_simulator->setAckCode(TSL_AckFrame::acknowledged);
    m_client->send(hex("0199"), 0x0011);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 1, 5000);
    QCOMPARE(m_client->bytes, ackFrame(0x0011, 0x06));
    QCOMPARE(m_simulator->receivedSessions(), (QList<quint16>{0x0010, 0x0011}));
}

void tst_ReaderSimulator::usesQueuedAckCodesThenDefault()
{
    m_simulator->setAckCode(0x07);
    m_simulator->queueAckCodes({0x08, ReaderSimulator::NoAck});

    for (quint16 session = 1; session <= 3; ++session) {
        m_client->send(hex("0199"), session);
        QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), int(session), 5000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 2, 5000);
    QCOMPARE(m_client->frames, (QList<QByteArray>{ackFrame(1, 0x08), ackFrame(3, 0x07)}));
}

void tst_ReaderSimulator::answersCommandAfterAck_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("address, default") << QByteArray() << hex("010602") << hex("0107020A1B2C3D");
    QTest::newRow("address, set") << hex("DEADBEEF") << hex("010602") << hex("010702DEADBEEF");
    QTest::newRow("UART configuration, default")
        << QByteArray() << hex("010106") << hex("010106051003");
    QTest::newRow("extra answer") << QByteArray() << hex("0142") << hex("014300FF");
}

void tst_ReaderSimulator::answersCommandAfterAck()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    if (!address.isEmpty())
        m_simulator->setAddress(address);
    m_simulator->setAnswer(hex("0142"), hex("014300FF"));

    m_client->send(request, 0x0203);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 2, 5000);

    QCOMPARE(m_client->frames.at(0), ackFrame(0x0203, 0x06));
    TSL_Frame frame;
    QCOMPARE(frame.parse(m_client->frames.at(1)), answer.size() + TSL_Frame::overhead);
    QCOMPARE(frame.payload, answer);
    QCOMPARE(frame.sessionNumber, std::uint16_t(0x8000));
    QCOMPARE(frame.checksum, tslCrc16(char(answer.size() + 1) + answer));
}

void tst_ReaderSimulator::writesUartConfiguration()
{
    m_simulator->setUartConfiguration(hex("010203"));
    QCOMPARE(m_simulator->uartConfiguration(), hex("010203"));

    m_client->send(hex("010107A1B2C3"), 0x0040);
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->uartConfiguration(), hex("A1B2C3"), 5000);
    m_client->send(hex("010106"), 0x0041);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 3, 5000);

    // The write is acknowledged only; the read that follows sees the new bytes.
    QCOMPARE(m_client->frames.at(0), ackFrame(0x0040, 0x06));
    QCOMPARE(m_client->frames.at(1), ackFrame(0x0041, 0x06));
    QCOMPARE(m_client->frames.at(2), dataFrame(hex("010106A1B2C3"), 0x8000));
}

void tst_ReaderSimulator::delaysAcknowledgement()
{
    m_simulator->setAckDelay(200);
    QElapsedTimer timer;
    timer.start();
    m_client->send(hex("010602"), 0x0050);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 2, 5000);
    QVERIFY2(timer.elapsed() >= 190, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_client->frames.at(0), ackFrame(0x0050, 0x06));
}

void tst_ReaderSimulator::splitsOutputIntoSingleBytes()
{
    m_simulator->setSplitIntoSingleBytes(true);
    QElapsedTimer timer;
    timer.start();
    m_client->send(hex("010602"), 0x0060);
    const QByteArray expected = ackFrame(0x0060, 0x06) + dataFrame(hex("0107020A1B2C3D"), 0x8000);
    QVERIFY(m_client->waitForBytes(expected.size()));

    QCOMPARE(m_client->bytes, expected);
    QCOMPARE(m_client->frames.size(), 2);
    // Counting reads would fail whenever this thread is starved and bytes meet in one read;
    // the time the bytes take cannot be shortened by load: about 1 ms per byte.
    const qint64 minimumMs = (expected.size() - 1) * 3 / 4;
    QVERIFY2(
        timer.elapsed() >= minimumMs,
        qPrintable(
            QStringLiteral("%1 ms, %2 reads").arg(timer.elapsed()).arg(m_client->reads.size())));
}

void tst_ReaderSimulator::writesGarbageBeforeEveryFrame()
{
    const QByteArray garbage = hex("001337");
    m_simulator->setGarbage(garbage);
    m_client->send(hex("010602"), 0x0070);
    const QByteArray ack = ackFrame(0x0070, 0x06);
    const QByteArray answer = dataFrame(hex("0107020A1B2C3D"), 0x8000);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 2, 5000);

    QCOMPARE(m_client->bytes, garbage + ack + garbage + answer);
    QCOMPARE(m_client->frames, (QList<QByteArray>{ack, answer}));
}

void tst_ReaderSimulator::joinsAckAndAnswerInOneWrite_data()
{
    QTest::addColumn<bool>("answerFirst");

    QTest::newRow("answer before ack") << true;
    QTest::newRow("ack and answer together") << false;
}

void tst_ReaderSimulator::joinsAckAndAnswerInOneWrite()
{
    QFETCH(bool, answerFirst);
    if (answerFirst)
        m_simulator->setAnswerBeforeAck(true);
    else
        m_simulator->setAckAndAnswerTogether(true);
    m_client->send(hex("010602"), 0x0080);
    const QByteArray ack = ackFrame(0x0080, 0x06);
    const QByteArray answer = dataFrame(hex("0107020A1B2C3D"), 0x8000);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 2, 5000);

    QCOMPARE(m_client->reads.first(), answerFirst ? answer + ack : ack + answer);
}

void tst_ReaderSimulator::sendsOnItsOwn()
{
    m_simulator->sendRaw(hex("55AA"));
    m_simulator->sendRecoveredNotice(0x1234);
    m_simulator->sendFrame(hex("0102"));
    m_simulator->sendFrame(hex("0103"));
    const QByteArray expected = hex("55AA") + ackFrame(0x1234, 0x09) +
                                dataFrame(hex("0102"), 0x8000) + dataFrame(hex("0103"), 0x8001);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->bytes.size(), expected.size(), 5000);

    QCOMPARE(m_client->bytes, expected);
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->unsolicitedSent(), 2, 5000);
}

void tst_ReaderSimulator::numbersUnsolicitedFrames_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("framesPerSecond");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<int>("minimumMs");

    QTest::newRow("as fast as the line takes them") << 2000 << 0 << 0 << hex("0130") << 0;
    // The first frame goes at once, the 20th 95 ms later.
    QTest::newRow("200 per second") << 20 << 200 << 0 << hex("0130") << 85;
    // 100 frames of 28 bytes at 11520 bytes per second take 243 ms.
    QTest::newRow("paced at 115200 baud")
        << 100 << 0 << 115200 << hex("01300102030405060708090A0B0C0D0E") << 215;
}

void tst_ReaderSimulator::numbersUnsolicitedFrames()
{
    QFETCH(int, count);
    QFETCH(int, framesPerSecond);
    QFETCH(int, baud);
    QFETCH(QByteArray, prefix);
    QFETCH(int, minimumMs);
    m_simulator->setBaudRate(baud);

    QElapsedTimer timer;
    timer.start();
    m_simulator->startUnsolicited(count, framesPerSecond, prefix);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), count, 10000);
    QVERIFY2(timer.elapsed() >= minimumMs, qPrintable(QString::number(timer.elapsed())));

    TSL_Frame first;
    QVERIFY(first.parse(m_client->frames.first()) > 0);
    for (int i = 0; i < count; ++i) {
        TSL_Frame frame;
        QVERIFY(frame.parse(m_client->frames.at(i)) > 0);
        QCOMPARE(frame.payload, numbered(prefix, quint32(i)));
        QCOMPARE(frame.sessionNumber, std::uint16_t(first.sessionNumber + i));
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->unsolicitedSent(), count, 5000);
}

void tst_ReaderSimulator::recordsAcknowledgementsFromPc()
{
    for (int i = 0; i < 3; ++i)
        m_simulator->sendFrame(hex("0155"));
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 3, 5000);

    QList<quint16> sessions;
    for (const QByteArray &bytes : qAsConst(m_client->frames)) {
        TSL_Frame frame;
        QVERIFY(frame.parse(bytes) > 0);
        sessions.append(frame.sessionNumber);
        m_client->acknowledge(frame.sessionNumber);
    }
    QCOMPARE(sessions, (QList<quint16>{0x8000, 0x8001, 0x8002}));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->ackedSessions(), sessions, 5000);

    const QList<qint64> latencies = m_simulator->ackLatenciesUs();
    QCOMPARE(latencies.size(), 3);
    for (qint64 latency : latencies)
        QVERIFY2(latency >= 0 && latency < 5000000, qPrintable(QString::number(latency)));
    // The PC's acknowledgements are no data frames.
    QCOMPARE(m_simulator->receivedCount(), 0);

    m_simulator->clearRecords();
    QVERIFY(m_simulator->ackedSessions().isEmpty());
    QVERIFY(m_simulator->ackLatenciesUs().isEmpty());
    QCOMPARE(m_simulator->unsolicitedSent(), 0);
}

void tst_ReaderSimulator::hangsUpAndComesBack_data()
{
    QTest::addColumn<bool>("cutFrame");

    QTest::newRow("device removed") << false;
    QTest::newRow("removed in the middle of a frame") << true;
}

void tst_ReaderSimulator::hangsUpAndComesBack()
{
    QFETCH(bool, cutFrame);
    m_client->close();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsimXXXX")));
    const QString name = m_simulator->serialPortName();
    QVERIFY2(name.startsWith(QLatin1String("/tmp/ovsim")) && name.size() == 14, qPrintable(name));
    QVERIFY(QFileInfo(name).isSymLink());
    QVERIFY(m_client->open(name));

    const QByteArray frame = dataFrame(hex("01AABBCCDDEEFF"), 0x8000);
    if (cutFrame) {
        m_simulator->closeInMiddleOfNextFrame();
        m_simulator->sendFrame(hex("01AABBCCDDEEFF"));
    } else {
        m_simulator->closeSerial();
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_client->error() == QSerialPort::ResourceError ||
                                 m_client->error() == QSerialPort::ReadError,
                             5000);
    QCOMPARE(m_client->bytes, cutFrame ? frame.left(frame.size() / 2) : QByteArray());
    QVERIFY(!QFileInfo(name).exists() && !QFileInfo(name).isSymLink());
    m_client->close();

    QVERIFY(m_simulator->reopenSerial());
    QCOMPARE(m_simulator->serialPortName(), name);
    m_client = std::make_unique<SerialClient>();
    QVERIFY(m_client->open(name));
    m_client->send(hex("010602"), 0x0090);
    QTRY_COMPARE_WITH_TIMEOUT(m_client->frames.size(), 2, 5000);
    QCOMPARE(m_client->frames.first(), ackFrame(0x0090, 0x06));
}

void tst_ReaderSimulator::tcpAnswers_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("echo") << QByteArray("hello reader") << QByteArray("hello reader");
    QTest::newRow("address") << hex("010602") << hex("0107020A1B2C3D");
    QTest::newRow("extra answer") << QByteArray("ping") << QByteArray("pong");
}

void tst_ReaderSimulator::tcpAnswers()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QByteArray, answer);
    m_simulator->setAnswer("ping", "pong");
    QTcpSocket socket;
    QVERIFY(connectTcp(socket));

    socket.write(chunk);
    QTRY_COMPARE_WITH_TIMEOUT(socket.bytesAvailable(), qint64(answer.size()), 5000);
    QCOMPARE(socket.readAll(), answer);
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{chunk});
    QVERIFY(m_simulator->receivedSessions().isEmpty());
}

void tst_ReaderSimulator::tcpEchoSwitchedOff()
{
    m_simulator->setTcpEcho(false);
    m_simulator->setAnswer("ping", "pong");
    QTcpSocket socket;
    QVERIFY(connectTcp(socket));

    socket.write("quiet");
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), 1, 5000);
    socket.write("ping");
    QTRY_COMPARE_WITH_TIMEOUT(socket.bytesAvailable(), qint64(4), 5000);
    QCOMPARE(socket.readAll(), QByteArray("pong"));
    QCOMPARE(m_simulator->receivedPayloads(), (QList<QByteArray>{"quiet", "ping"}));
}

void tst_ReaderSimulator::tcpSendsOnItsOwn()
{
    QTcpSocket socket;
    QVERIFY(connectTcp(socket));
    // The echo proves that the simulator has taken the connection.
    socket.write("hi");
    QTRY_COMPARE_WITH_TIMEOUT(socket.bytesAvailable(), qint64(2), 5000);
    QCOMPARE(socket.readAll(), QByteArray("hi"));

    m_simulator->sendTcpChunk("hello");
    QTRY_COMPARE_WITH_TIMEOUT(socket.bytesAvailable(), qint64(5), 5000);
    QCOMPARE(socket.readAll(), QByteArray("hello"));

    const int count = 300;
    const QByteArray prefix = "U";
    const int size = prefix.size() + 4;
    m_simulator->startTcpUnsolicited(count, 0, prefix);
    QTRY_COMPARE_WITH_TIMEOUT(socket.bytesAvailable(), qint64(count * size), 5000);
    const QByteArray received = socket.readAll();
    for (int i = 0; i < count; ++i)
        QCOMPARE(received.mid(i * size, size), numbered(prefix, quint32(i)));
    QCOMPARE(m_simulator->unsolicitedSent(), count + 1);
}

void tst_ReaderSimulator::answersDiscovery()
{
    const QHostAddress gateway(QStringLiteral("127.0.0.2"));
    QVERIFY(m_simulator->startDiscovery(gateway, 0));
    const quint16 port = m_simulator->discoveryPort();
    QVERIFY(port != 0);
    QUdpSocket pc;
    QVERIFY(pc.bind(QHostAddress(QHostAddress::LocalHost)));

    pc.writeDatagram("Hello", gateway, port);
    pc.writeDatagram("Hello?!", gateway, port);
    pc.writeDatagram("Hello?", gateway, port);
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->discoveryQuestions(), 1, 5000);
    m_simulator->setAddress(hex("DEADBEEF"));
    m_simulator->sendDiscoveryAnswer(QHostAddress::LocalHost, pc.localPort());
    // The simulator sends in order: anything owed to the datagrams above arrives before this.
    m_simulator->sendDatagram(QHostAddress::LocalHost, pc.localPort(), "end");

    QList<QNetworkDatagram> received;
    while (received.isEmpty() || received.last().data() != "end") {
        QTRY_VERIFY_WITH_TIMEOUT(pc.hasPendingDatagrams(), 5000);
        received.append(pc.receiveDatagram());
    }
    const QByteArray unused(35, '\0');
    const QByteArray tail(5, '\0');
    QCOMPARE(received.size(), 3);
    QCOMPARE(received.at(0).data(), unused + hex("3D2C1B0A") + tail);
    QCOMPARE(received.at(1).data(), unused + hex("EFBEADDE") + tail);
    for (const QNetworkDatagram &datagram : qAsConst(received)) {
        QCOMPARE(datagram.senderAddress(), gateway);
        QCOMPARE(datagram.senderPort(), int(port));
    }
    QCOMPARE(m_simulator->discoveryQuestions(), 1);
}

OVS_TEST_MAIN(tst_ReaderSimulator)
#include "tst_ReaderSimulator.moc"
