#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "ReaderSimulator.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTcpSocket>
#include <QtTest>

using LinkBytes::ackFrame;
using LinkBytes::dataFrame;
using LinkBytes::hex;

class tst_ReaderSimulator : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void tcpEcho();
};

void tst_ReaderSimulator::answers_data()
{
    QTest::addColumn<QString>("behaviour");
    // The bytes an address read is owed, with the reader's frames numbered from 0x8000.
    QTest::addColumn<QByteArray>("owed");
    QTest::addColumn<int>("minimumMs");

    const QByteArray ack = ackFrame(0x0203, 0x06);
    const QByteArray address = dataFrame(hex("0107020A1B2C3D"), 0x8000);
    QTest::newRow("address") << "" << ack + address << 0;
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
    ReaderSimulator simulator;
    QVERIFY(simulator.startSerial(QStringLiteral("/tmp/ovsimXXXX")));
    simulator.setAnswerBeforeAck(behaviour == QLatin1String("answerFirst"));
    const QByteArray garbage = behaviour == QLatin1String("garbage") ? "**" : "";
    simulator.setGarbage(garbage);
    simulator.setSplitIntoSingleBytes(behaviour == QLatin1String("split"));
    simulator.setAckDelay(behaviour == QLatin1String("delay") ? 300 : 0);

    // The PC's end of the pseudo-terminal, with when the owed bytes had all come.
    QSerialPort port(simulator.serialPortName());
    QVERIFY(port.open(QIODevice::ReadWrite) && port.setBaudRate(QSerialPort::Baud115200));
    QByteArray bytes;
    QElapsedTimer clock;
    qint64 owedAt = -1;
    connect(&port, &QSerialPort::readyRead, this, [&] {
        bytes += port.readAll();
        if (owedAt < 0 && bytes.size() >= owed.size())
            owedAt = clock.elapsed();
    });
    clock.start();
    port.write(dataFrame(hex("010602"), 0x0203));
    QTRY_COMPARE(simulator.receivedCount(), 1);
    // Answered after whatever the request is owed.
    port.write(dataFrame(hex("0199"), 0x0204));
    QTRY_COMPARE(bytes, owed + garbage + ackFrame(0x0204, 0x06));
    QVERIFY2(owedAt >= minimumMs, qPrintable(QString::number(owedAt)));
}

// Echoes a chunk that no answer is set for, until told not to.
void tst_ReaderSimulator::tcpEcho()
{
    ReaderSimulator simulator;
    QVERIFY(simulator.startTcp());
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), simulator.tcpPort());
    QVERIFY(socket.waitForConnected(5000));
    QByteArray received;
    socket.write("hello reader");
    QTRY_COMPARE(received += socket.readAll(), QByteArray("hello reader"));
    simulator.setTcpEcho(false);
    socket.write("quiet");
    QTRY_COMPARE(simulator.receivedCount(), 2);
    // Sent on its own, after whatever the chunk is owed.
    simulator.sendTcpChunk("end");
    QTRY_VERIFY((received += socket.readAll()).endsWith("end"));
    QCOMPARE(received, QByteArray("hello readerend"));
    QCOMPARE(simulator.receivedPayloads(), (QList<QByteArray>{"hello reader", "quiet"}));
    QVERIFY(simulator.receivedSessions().isEmpty());
}

OVS_CORE_TEST_MAIN(tst_ReaderSimulator)
#include "tst_ReaderSimulator.moc"
