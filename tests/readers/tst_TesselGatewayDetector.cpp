#include "IsolatedHome.h"
#include "ReaderSimulator.h"
#include "readers/TesselGatewayDetector.h"

#include <QByteArrayList>
#include <QHostAddress>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>
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

QString report(const QString &ip, const QString &mac, quint16 port)
{
    return QStringLiteral("%1 %2 %3").arg(ip, mac).arg(port);
}

QStringList reportsOf(const QSignalSpy &spy)
{
    QStringList reports;
    for (const QList<QVariant> &arguments : spy)
        reports.append(report(arguments.at(0).toString(), arguments.at(1).toString(),
                              arguments.at(2).value<ushort>()));
    return reports;
}

} // namespace

class tst_TesselGatewayDetector : public QObject
{
    Q_OBJECT

private slots:
    void datagrams_data();
    void datagrams();
    void ignoresOwnAddress();
    void answersFromWorkerThread();
};

void tst_TesselGatewayDetector::datagrams_data()
{
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QStringList>("macs");

    const QByteArray answer = answerWith("3D2C1B0A");
    QTest::newRow("43 bytes, then an answer")
        << QByteArrayList{QByteArray(43, 'x'), answer} << QStringList{"0a1b2c3d"};
    QTest::newRow("a question heard from elsewhere, then an answer")
        << QByteArrayList{"Hello?", answer} << QStringList{"0a1b2c3d"};
    QTest::newRow("45 bytes alone") << QByteArrayList{QByteArray(45, 'x')} << QStringList();
    QTest::newRow("100 bytes, then an answer")
        << QByteArrayList{QByteArray(100, 'x'), answer} << QStringList{"0a1b2c3d"};
    QTest::newRow("answer in two datagrams")
        << QByteArrayList{answer.left(20), answer.mid(20)} << QStringList{"0a1b2c3d"};
    QTest::newRow("30 bytes, then 20 bytes")
        << QByteArrayList{QByteArray(30, 'x'), answer.left(20)} << QStringList();
}

void tst_TesselGatewayDetector::datagrams()
{
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QStringList, macs);
    ReaderSimulator simulator;
    QVERIFY(simulator.startDiscovery(gateway, 0));
    TesselGatewayDetector detector(ownAddress, 9, 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);

    // A last answer with an address of its own marks the end: whatever the datagrams before it
    // cause has been reported by then.
    datagrams.append(answerWith("EFBEADDE"));
    macs.append(QStringLiteral("deadbeef"));
    for (const QByteArray &datagram : qAsConst(datagrams))
        simulator.sendDatagram(QHostAddress::LocalHost, detector.localPort(), datagram);
    QTRY_COMPARE_WITH_TIMEOUT(found.size(), macs.size(), 5000);

    QStringList expected;
    for (const QString &mac : qAsConst(macs))
        expected.append(report(gateway.toString(), mac, simulator.discoveryPort()));
    QCOMPARE(reportsOf(found), expected);
}

void tst_TesselGatewayDetector::ignoresOwnAddress()
{
    ReaderSimulator own;
    QVERIFY(own.startDiscovery(ownAddress, 0));
    ReaderSimulator other;
    other.setAddress(QByteArray::fromHex("11223344"));
    QVERIFY(other.startDiscovery(gateway, 0));

    TesselGatewayDetector detector(ownAddress, own.discoveryPort(), 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);
    // The simulator has sent its answer by the time it reports the question.
    QTRY_COMPARE_WITH_TIMEOUT(own.discoveryQuestions(), 1, 5000);
    other.sendDiscoveryAnswer(QHostAddress::LocalHost, detector.localPort());
    QVERIFY(found.wait(5000));

    QCOMPARE(reportsOf(found), QStringList{report(gateway.toString(), QStringLiteral("11223344"),
                                                  other.discoveryPort())});
}

// As the readers tab runs it: in a thread of its own, asking the gateway at its target.
void tst_TesselGatewayDetector::answersFromWorkerThread()
{
    ReaderSimulator simulator;
    QVERIFY(simulator.startDiscovery(gateway, 0));
    QThread worker;
    QPointer<TesselGatewayDetector> detector =
        new TesselGatewayDetector(gateway, simulator.discoveryPort(), 0);
    const quint16 localPort = detector->localPort();
    detector->setDetectionInterval(300);
    detector->moveToThread(&worker);
    connect(&worker, &QThread::finished, detector, &QObject::deleteLater);

    // Reports still queued when the test ends die with the receiver, not in a later test.
    QObject receiver;
    QStringList reports;
    QList<QThread *> reportThreads;
    int timeOuts = 0;
    connect(detector, &TesselGatewayDetector::newTesselGatewayFound, &receiver,
            [&](const QString &ip, const QString &mac, ushort port) {
                reports.append(report(ip, mac, port));
                reportThreads.append(QThread::currentThread());
            });
    connect(detector, &TesselGatewayDetector::detectionTimedOut, &receiver, [&] { ++timeOuts; });
    worker.start();

    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 1, 5000);
    // Every answer is reported, also a second one of the same gateway.
    simulator.setAddress(QByteArray::fromHex("11223344"));
    simulator.sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(timeOuts >= 1, 5000);
    worker.quit();
    QVERIFY(worker.wait(5000));

    const quint16 port = simulator.discoveryPort();
    QCOMPARE(reports, (QStringList{report(gateway.toString(), QStringLiteral("0a1b2c3d"), port),
                                   report(gateway.toString(), QStringLiteral("11223344"), port)}));
    QCOMPARE(reportThreads, (QList<QThread *>{QThread::currentThread(), QThread::currentThread()}));
    QCOMPARE(simulator.discoveryQuestions(), 1);
    QVERIFY(detector.isNull());
}

OVS_CORE_TEST_MAIN(tst_TesselGatewayDetector)
#include "tst_TesselGatewayDetector.moc"
