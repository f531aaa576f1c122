#include "IsolatedHome.h"
#include "ReaderSimulator.h"
#include "readers/TesselGatewayDetector.h"

#include <QByteArrayList>
#include <QHostAddress>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The detector drops what comes from the machine's own addresses, 127.0.0.1 among them: the
// simulated gateway answers from another loopback address.
const QHostAddress gateway(QStringLiteral("127.0.0.2"));
const QHostAddress ownAddress(QStringLiteral("127.0.0.1"));

// A 44-byte answer whose unused bytes hold their own index, so that reading from a wrong
// offset shows.
QByteArray answerWith(const char *bytes35to38)
{
    QByteArray answer;
    for (int i = 0; i < 44; ++i)
        answer.append(char(i));
    return answer.replace(35, 4, QByteArray::fromHex(bytes35to38));
}

} // namespace

// The readers tab's tests run the detector in its thread; these look at what it makes of what
// it hears.
class tst_TesselGatewayDetector : public QObject
{
    Q_OBJECT

private slots:
    void datagrams_data();
    void datagrams();
};

void tst_TesselGatewayDetector::datagrams_data()
{
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QStringList>("macs");
    QTest::addColumn<bool>("fromOwnAddress");

    const QByteArray answer = answerWith("3D2C1B0A");
    QTest::newRow("45 bytes alone")
        << QByteArrayList{QByteArray(45, 'x')} << QStringList() << false;
    QTest::newRow("answer in two datagrams")
        << QByteArrayList{answer.left(20), answer.mid(20)} << QStringList{"0a1b2c3d"} << false;
    QTest::newRow("30 bytes, then an answer in two datagrams")
        << QByteArrayList{QByteArray(30, 'x'), answer.left(20), answer.mid(20)}
        << QStringList{"0a1b2c3d"} << false;
    // The machine hears its own broadcast.
    QTest::newRow("answer from the machine's own address")
        << QByteArrayList{answer} << QStringList() << true;
}

void tst_TesselGatewayDetector::datagrams()
{
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QStringList, macs);
    QFETCH(bool, fromOwnAddress);
    ReaderSimulator simulator;
    simulator.setAddress(QByteArray::fromHex("11223344"));
    QVERIFY(simulator.startDiscovery(gateway, 0));
    ReaderSimulator own;
    QVERIFY(own.startDiscovery(ownAddress, 0));
    TesselGatewayDetector detector(gateway, simulator.discoveryPort(), 0);
    detector.setDetectionInterval(100);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);
    QSignalSpy timedOut(&detector, &TesselGatewayDetector::detectionTimedOut);
    // The gateway answers the detector's question.
    QVERIFY(found.wait(5000));

    // A last answer with an address of its own marks the end: whatever the datagrams before it
    // cause has been reported by then.
    for (const QByteArray &datagram : qAsConst(datagrams))
        (fromOwnAddress ? own : simulator).sendDatagram(ownAddress, detector.localPort(), datagram);
    simulator.sendDatagram(ownAddress, detector.localPort(), answerWith("EFBEADDE"));
    macs = QStringList{"11223344"} + macs + QStringList{"deadbeef"};
    QTRY_COMPARE_WITH_TIMEOUT(found.size(), macs.size(), 5000);

    for (const QList<QVariant> &report : qAsConst(found)) {
        QCOMPARE(report.at(0).toString(), gateway.toString());
        QCOMPARE(report.at(1).toString(), macs.takeFirst());
        QCOMPARE(report.at(2).value<ushort>(), simulator.discoveryPort());
    }
    QCOMPARE(simulator.discoveryQuestions(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(timedOut.count() >= 1, 5000);
}

OVS_CORE_TEST_MAIN(tst_TesselGatewayDetector)
#include "tst_TesselGatewayDetector.moc"
