#include "IsolatedHome.h"
#include "ReaderSimulator.h"
#include "readers/TesselGatewayDetector.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <QtTest>

namespace {

const QHostAddress gatewayA(QStringLiteral("127.0.0.2"));
const QHostAddress gatewayB(QStringLiteral("127.0.0.3"));
// One of the machine's own addresses: what it hears from there is its own broadcast.
const QHostAddress ownAddress(QStringLiteral("127.0.0.1"));

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

// A 44-byte answer whose unused bytes hold their own index, so that reading from a wrong
// offset shows.
QByteArray answerWith(const QByteArray &addressBytes)
{
    QByteArray answer;
    for (int i = 0; i < 44; ++i)
        answer.append(char(i));
    return answer.replace(35, 4, addressBytes);
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
    void reportsAnsweringGateway_data();
    void reportsAnsweringGateway();
    void readsAddressLeastSignificantByteFirst_data();
    void readsAddressLeastSignificantByteFirst();
    void reportsEachGateway();
    void reportsEveryAnswerOfOneGateway();
    void foreignDatagramsDoNotHideAnswer_data();
    void foreignDatagramsDoNotHideAnswer();
    void ignoresOwnAddress();
    void timesOut();
    void reportsFromWorkerThread();
};

void tst_TesselGatewayDetector::reportsAnsweringGateway_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("mac");

    QTest::newRow("default address") << QByteArray() << QStringLiteral("0a1b2c3d");
    QTest::newRow("DEADBEEF") << hex("DEADBEEF") << QStringLiteral("deadbeef");
    QTest::newRow("00000001") << hex("00000001") << QStringLiteral("00000001");
}

void tst_TesselGatewayDetector::reportsAnsweringGateway()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, mac);
    ReaderSimulator gateway;
    if (!address.isEmpty())
        gateway.setAddress(address);
    QVERIFY(gateway.startDiscovery(gatewayA, 0));
    const quint16 port = gateway.discoveryPort();

    TesselGatewayDetector detector(gatewayA, port, 0);
    QVERIFY(detector.localPort() != 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);
    QVERIFY(found.wait(5000));

    QCOMPARE(reportsOf(found), QStringList{report(QStringLiteral("127.0.0.2"), mac, port)});
    QCOMPARE(gateway.discoveryQuestions(), 1);
}

void tst_TesselGatewayDetector::readsAddressLeastSignificantByteFirst_data()
{
    QTest::addColumn<QByteArray>("bytes35to38");
    QTest::addColumn<QString>("mac");

    QTest::newRow("3D 2C 1B 0A") << hex("3D2C1B0A") << QStringLiteral("0a1b2c3d");
    QTest::newRow("EF BE AD DE") << hex("EFBEADDE") << QStringLiteral("deadbeef");
    QTest::newRow("01 00 00 80") << hex("01000080") << QStringLiteral("80000001");
}

void tst_TesselGatewayDetector::readsAddressLeastSignificantByteFirst()
{
    QFETCH(QByteArray, bytes35to38);
    QFETCH(QString, mac);
    ReaderSimulator gateway;
    QVERIFY(gateway.startDiscovery(gatewayA, 0));
    TesselGatewayDetector detector(ownAddress, 9, 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);

    gateway.sendDatagram(QHostAddress::LocalHost, detector.localPort(), answerWith(bytes35to38));
    QVERIFY(found.wait(5000));

    QCOMPARE(reportsOf(found),
             QStringList{report(QStringLiteral("127.0.0.2"), mac, gateway.discoveryPort())});
}

void tst_TesselGatewayDetector::reportsEachGateway()
{
    ReaderSimulator first;
    QVERIFY(first.startDiscovery(gatewayA, 0));
    ReaderSimulator second;
    second.setAddress(hex("11223344"));
    QVERIFY(second.startDiscovery(gatewayB, 0));

    TesselGatewayDetector detector(gatewayA, first.discoveryPort(), 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);
    QVERIFY(found.wait(5000));
    second.sendDiscoveryAnswer(QHostAddress::LocalHost, detector.localPort());
    QTRY_COMPARE_WITH_TIMEOUT(found.size(), 2, 5000);

    QCOMPARE(reportsOf(found),
             (QStringList{report(QStringLiteral("127.0.0.2"), QStringLiteral("0a1b2c3d"),
                                 first.discoveryPort()),
                          report(QStringLiteral("127.0.0.3"), QStringLiteral("11223344"),
                                 second.discoveryPort())}));
    QCOMPARE(first.discoveryQuestions(), 1);
    QCOMPARE(second.discoveryQuestions(), 0);
}

void tst_TesselGatewayDetector::reportsEveryAnswerOfOneGateway()
{
    ReaderSimulator gateway;
    QVERIFY(gateway.startDiscovery(gatewayA, 0));
    TesselGatewayDetector detector(gatewayA, gateway.discoveryPort(), 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);
    QVERIFY(found.wait(5000));

    gateway.sendDiscoveryAnswer(QHostAddress::LocalHost, detector.localPort());
    QTRY_COMPARE_WITH_TIMEOUT(found.size(), 2, 5000);
    const QString expected =
        report(QStringLiteral("127.0.0.2"), QStringLiteral("0a1b2c3d"), gateway.discoveryPort());
    QCOMPARE(reportsOf(found), (QStringList{expected, expected}));
}

void tst_TesselGatewayDetector::foreignDatagramsDoNotHideAnswer_data()
{
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QStringList>("macs");

    const QByteArray answer = answerWith(hex("3D2C1B0A"));
    QTest::newRow("10 bytes, then an answer")
        << QByteArrayList{QByteArray(10, 'x'), answer} << QStringList{"0a1b2c3d"};
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

void tst_TesselGatewayDetector::foreignDatagramsDoNotHideAnswer()
{
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QStringList, macs);
    ReaderSimulator gateway;
    QVERIFY(gateway.startDiscovery(gatewayA, 0));
    TesselGatewayDetector detector(ownAddress, 9, 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);

    // A last answer with an address of its own marks the end: whatever the datagrams before it
    // cause has been reported by then.
    datagrams.append(answerWith(hex("EFBEADDE")));
    macs.append(QStringLiteral("deadbeef"));
    for (const QByteArray &datagram : qAsConst(datagrams))
        gateway.sendDatagram(QHostAddress::LocalHost, detector.localPort(), datagram);
    QTRY_COMPARE_WITH_TIMEOUT(found.size(), macs.size(), 5000);

    QStringList expected;
    for (const QString &mac : qAsConst(macs))
        expected.append(report(QStringLiteral("127.0.0.2"), mac, gateway.discoveryPort()));
    QCOMPARE(reportsOf(found), expected);
}

void tst_TesselGatewayDetector::ignoresOwnAddress()
{
    ReaderSimulator own;
    QVERIFY(own.startDiscovery(ownAddress, 0));
    ReaderSimulator other;
    other.setAddress(hex("11223344"));
    QVERIFY(other.startDiscovery(gatewayA, 0));

    TesselGatewayDetector detector(ownAddress, own.discoveryPort(), 0);
    QSignalSpy found(&detector, &TesselGatewayDetector::newTesselGatewayFound);
    // The simulator has sent its answer by the time it reports the question.
    QTRY_COMPARE_WITH_TIMEOUT(own.discoveryQuestions(), 1, 5000);
    other.sendDiscoveryAnswer(QHostAddress::LocalHost, detector.localPort());
    QVERIFY(found.wait(5000));

    QCOMPARE(reportsOf(found),
             QStringList{report(QStringLiteral("127.0.0.2"), QStringLiteral("11223344"),
                                other.discoveryPort())});
}

void tst_TesselGatewayDetector::timesOut()
{
    TesselGatewayDetector standard(ownAddress, 9, 0);
    const QList<QTimer *> timers = standard.findChildren<QTimer *>();
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first()->interval(), 20000);
    QVERIFY(timers.first()->isActive());
    QVERIFY(!timers.first()->isSingleShot());

    TesselGatewayDetector detector(ownAddress, 9, 0);
    QElapsedTimer elapsed;
    elapsed.start();
    detector.setDetectionInterval(100);
    QSignalSpy timedOut(&detector, &TesselGatewayDetector::detectionTimedOut);
    QVERIFY(timedOut.wait(5000));
    QVERIFY2(elapsed.elapsed() >= 90, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(timedOut.wait(5000));
    QCOMPARE(timedOut.size(), 2);
}

void tst_TesselGatewayDetector::reportsFromWorkerThread()
{
    ReaderSimulator first;
    QVERIFY(first.startDiscovery(gatewayA, 0));
    ReaderSimulator second;
    second.setAddress(hex("11223344"));
    QVERIFY(second.startDiscovery(gatewayB, 0));

    QThread worker;
    QPointer<TesselGatewayDetector> detector =
        new TesselGatewayDetector(gatewayA, first.discoveryPort(), 0);
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
    second.sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(timeOuts >= 1, 5000);
    worker.quit();
    QVERIFY(worker.wait(5000));

    QCOMPARE(reports, (QStringList{report(QStringLiteral("127.0.0.2"), QStringLiteral("0a1b2c3d"),
                                          first.discoveryPort()),
                                   report(QStringLiteral("127.0.0.3"), QStringLiteral("11223344"),
                                          second.discoveryPort())}));
    QCOMPARE(reportThreads, (QList<QThread *>{QThread::currentThread(), QThread::currentThread()}));
    QVERIFY(detector.isNull());
}

OVS_CORE_TEST_MAIN(tst_TesselGatewayDetector)
#include "tst_TesselGatewayDetector.moc"
