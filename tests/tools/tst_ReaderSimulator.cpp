#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "ReaderSimulator.h"

#include <QSerialPort>
#include <QTcpSocket>
#include <QtTest>

#include <chrono>
#include <memory>

using LinkBytes::ackFrame;
using LinkBytes::dataFrame;
using LinkBytes::hex;

static qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The PC's end of the pseudo-terminal: collects every byte the reader writes, and when.
class SerialClient : public QObject
{
public:
    bool open(const QString &name)
    {
        m_port.setPortName(name);
        connect(&m_port, &QSerialPort::readyRead, this, [this] {
            bytes += m_port.readAll();
            m_reads.append({bytes.size(), steadyMs()});
        });
        return m_port.open(QIODevice::ReadWrite) && m_port.setBaudRate(QSerialPort::Baud115200);
    }

    void send(const QByteArray &payload, quint16 session)
    {
        m_port.write(dataFrame(payload, session));
        m_port.flush();
    }

    // When the first size bytes had come.
    qint64 timeOf(int size) const
    {
        for (const auto &read : m_reads) {
            if (read.first >= size)
                return read.second;
        }
        return -1;
    }

    QSerialPort m_port;
    QByteArray bytes;
    QList<QPair<int, qint64>> m_reads;
};

class tst_ReaderSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void acknowledgements();
    void answers_data();
    void answers();
    void tcp_data();
    void tcp();

private:
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<SerialClient> m_client;
};

void tst_ReaderSimulator::init()
{
    m_client.reset();
    m_simulator = std::make_unique<ReaderSimulator>();
    m_client = std::make_unique<SerialClient>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsimXXXX")));
    QVERIFY(m_client->open(m_simulator->serialPortName()));
}

// Each queued code goes to one frame in turn, and then the default code 0x06.
void tst_ReaderSimulator::acknowledgements()
{
    QList<int> codes{0x06, 0x07, 0x08, 0x15, ReaderSimulator::NoAck};
    m_simulator->queueAckCodes(codes);
    codes << 0x06;
    const QByteArray payload = hex("0199AA55");
    const qint64 before = steadyMs();
    QByteArray expected;
    QList<quint16> sessions;
    for (int i = 0; i < codes.size(); ++i) {
        sessions << quint16(0x7FFD + i);
        m_client->send(payload, sessions.last());
        if (codes.at(i) != ReaderSimulator::NoAck)
            expected += ackFrame(sessions.last(), std::uint8_t(codes.at(i)));
    }
    QTRY_COMPARE(m_client->bytes, expected);
    QCOMPARE(m_simulator->receivedSessions(), sessions);
    QCOMPARE(m_simulator->receivedPayloads(), QVector<QByteArray>(codes.size(), payload).toList());
    const QList<qint64> times = m_simulator->receivedTimesMs();
    QCOMPARE(times.size(), codes.size());
    QVERIFY(times.first() >= before && times.last() <= steadyMs());
    m_simulator->clearRecords();
    QCOMPARE(m_simulator->receivedCount(), 0);
}

void tst_ReaderSimulator::answers_data()
{
    QTest::addColumn<QString>("behaviour");
    // The bytes an address read is owed, with the reader's frames numbered from 0x8000.
    QTest::addColumn<QByteArray>("owed");
    QTest::addColumn<int>("minimumMs");

    const QByteArray ack = ackFrame(0x0203, 0x06);
    const QByteArray address = dataFrame(hex("0107020A1B2C3D"), 0x8000);
    QTest::newRow("address") << "" << ack + address << 0;
    QTest::newRow("address set") << "address" << ack + dataFrame(hex("010702DEADBEEF"), 0x8000)
                                 << 0;
    QTest::newRow("silent") << "silent" << QByteArray() << 0;
    QTest::newRow("answer before its ack") << "answerFirst" << address + ack << 0;
    QTest::newRow("garbage") << "garbage" << QByteArray("**" + ack + "**" + address) << 0;
    // About 1 ms per byte.
    QTest::newRow("single bytes") << "split" << ack + address << 18;
    QTest::newRow("delayed") << "delay" << ack + address << 290;
}

void tst_ReaderSimulator::answers()
{
    QFETCH(QString, behaviour);
    QFETCH(QByteArray, owed);
    QFETCH(int, minimumMs);
    if (behaviour == QLatin1String("address"))
        m_simulator->setAddress(hex("DEADBEEF"));
    m_simulator->setSilent(behaviour == QLatin1String("silent"));
    m_simulator->setAnswerBeforeAck(behaviour == QLatin1String("answerFirst"));
    const QByteArray garbage = behaviour == QLatin1String("garbage") ? "**" : "";
    m_simulator->setGarbage(garbage);
    m_simulator->setSplitIntoSingleBytes(behaviour == QLatin1String("split"));
    m_simulator->setAckDelay(behaviour == QLatin1String("delay") ? 300 : 0);

    const qint64 start = steadyMs();
    m_client->send(hex("010602"), 0x0203);
    QTRY_COMPARE(m_simulator->receivedCount(), 1);
    // Answered as usual, and after whatever the request is owed.
    m_simulator->setSilent(false);
    m_client->send(hex("0199"), 0x0204);
    QTRY_COMPARE(m_client->bytes, owed + garbage + ackFrame(0x0204, 0x06));
    const qint64 took = m_client->timeOf(owed.size()) - start;
    QVERIFY2(took >= minimumMs, qPrintable(QString::number(took)));
}

void tst_ReaderSimulator::tcp_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("echo") << true << QByteArray("hello reader") << QByteArray("hello reader");
    QTest::newRow("address") << true << hex("010602") << hex("0107020A1B2C3D");
    QTest::newRow("echo off") << false << QByteArray("quiet") << QByteArray();
}

void tst_ReaderSimulator::tcp()
{
    QFETCH(bool, echo);
    QFETCH(QByteArray, chunk);
    QFETCH(QByteArray, answer);
    m_simulator->setTcpEcho(echo);
    QVERIFY(m_simulator->startTcp());
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_simulator->tcpPort());
    QVERIFY(socket.waitForConnected(5000));

    socket.write(chunk);
    QTRY_COMPARE(m_simulator->receivedCount(), 1);
    // Sent on its own, after whatever the chunk is owed.
    m_simulator->sendTcpChunk("end");
    QByteArray received;
    QTRY_VERIFY((received += socket.readAll()).endsWith("end"));
    QCOMPARE(received, answer + "end");
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{chunk});
    QVERIFY(m_simulator->receivedSessions().isEmpty());
}

OVS_CORE_TEST_MAIN(tst_ReaderSimulator)
#include "tst_ReaderSimulator.moc"
