#include "IsolatedHome.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "readers/ReadersList.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class tst_ReadersList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectAndDisconnect_data();
    void connectAndDisconnect();
    void interruptedConnection_data();
    void interruptedConnection();

private:
    // A reader in the registry, on the simulator's pty or TCP port.
    t_Reader *registered(std::uint32_t type, const QByteArray &name);

    std::unique_ptr<ReaderSimulator> m_simulator;
};

void tst_ReadersList::init()
{
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsrXXXX")));
    QVERIFY(m_simulator->startTcp());
}

void tst_ReadersList::cleanup()
{
    // The links go before the simulator does.
    resetReaderRegistry();
    m_simulator.reset();
}

t_Reader *tst_ReadersList::registered(std::uint32_t type, const QByteArray &name)
{
    t_Reader reader;
    ReadersList::initReader(&reader, type);
    setReaderText(reader.name, name);
    setReaderText(reader.comPort, m_simulator->serialPortName().toLatin1());
    setReaderText(reader.ipAddress, "127.0.0.1");
    reader.ipPort = m_simulator->tcpPort();
    ReadersList::instance()->addReader(reader);
    t_Reader *found = nullptr;
    ReadersList::instance()->findReader(&found, name);
    return found;
}

void tst_ReadersList::connectAndDisconnect_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");

    QTest::newRow("serial reader on a pty") << uint(READER_SERIAL) << QString() << 1;
    QTest::newRow("ip reader on loopback") << uint(READER_IP) << QString() << 1;
    QTest::newRow("gateway with a zero address") << uint(READER_IP) << "zero address" << -2;
    QTest::newRow("nobody listening") << uint(READER_IP) << "gone" << -1;
    QTest::newRow("missing serial device") << uint(READER_SERIAL) << "gone" << -1;
    QTest::newRow("bluetooth, never connected") << uint(READER_BLUETOOTH) << QString() << 1;
}

void tst_ReadersList::connectAndDisconnect()
{
    QFETCH(uint, type);
    QFETCH(QString, fault);
    QFETCH(int, result);
    ReadersList *registry = ReadersList::instance();
    t_Reader *reader = registered(type, "Bench");
    // Names are found whole and by case.
    t_Reader *found = nullptr;
    QVERIFY(!registry->findReader(&found, "Benc") && !registry->findReader(&found, "bench"));
    if (fault == QLatin1String("zero address"))
        m_simulator->setAddress(QByteArray(4, '\0'));
    if (fault == QLatin1String("gone")) {
        m_simulator->closeSerial();
        m_simulator->closeTcp();
    }
    QSignalSpy connected(registry, &ReadersList::connectedToReader);
    QSignalSpy disconnected(registry, &ReadersList::disconnectedFromReader);
    // Never used: nothing to announce.
    QCOMPARE(registry->setReaderState(reader, STATE_DISCONNECTED), 1);
    QCOMPARE(disconnected.count(), 0);

    reader->state = STATE_DEFAULT;
    QCOMPARE(registry->setReaderState(reader, STATE_CONNECTED), result);
    const bool connects = fault.isEmpty() && type != READER_BLUETOOTH;
    QCOMPARE(reader->state, int(connects ? STATE_CONNECTED : STATE_DEFAULT));
    QCOMPARE(connected.count(), int(connects));
    if (!connects) {
        QVERIFY(!reader->link);
        return;
    }

    QPointer<QObject> link = reader->link;
    QCOMPARE(registry->setReaderState(reader, STATE_DISCONNECTED), 1);
    QCOMPARE(reader->state, int(STATE_DISCONNECTED));
    QVERIFY(!reader->link);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(disconnected.first(), QVariantList{"Bench"});
    // The closed link is kept until a new one has waited for it to let go of the port; it goes
    // with the reader.
    QVERIFY(link);
    registry->removeReader(reader);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(link.isNull());
}

void tst_ReadersList::interruptedConnection_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<bool>("remove");

    QTest::newRow("serial reader cancelled") << uint(READER_SERIAL) << false;
    QTest::newRow("serial reader removed") << uint(READER_SERIAL) << true;
    QTest::newRow("ip reader cancelled") << uint(READER_IP) << false;
    QTest::newRow("ip reader removed") << uint(READER_IP) << true;
}

// A silent reader keeps its attempt running while it is given up.
void tst_ReadersList::interruptedConnection()
{
    QFETCH(uint, type);
    QFETCH(bool, remove);
    ReadersList *registry = ReadersList::instance();
    m_simulator->setSilent(true);
    t_Reader *reader = registered(type, "Bench");
    reader->state = STATE_DISCONNECTED;
    QSignalSpy connected(registry, &ReadersList::connectedToReader);
    QSignalSpy failed(registry, &ReadersList::connectionFailed);
    registry->connectInBackground(reader);
    QCOMPARE(reader->state, int(STATE_INIT));
    QVERIFY(registry->isConnecting(reader));
    QTRY_VERIFY_WITH_TIMEOUT(m_simulator->receivedCount() > 0, 10000);

    if (remove) {
        // The attempt must not touch the record that went while it ran.
        registry->removeReader(reader);
        QVERIFY(registry->readers().isEmpty());
        registry->disconnectAll();
        QCoreApplication::processEvents();
    } else {
        registry->cancelConnection(reader);
        QCOMPARE(reader->state, int(STATE_DISCONNECTED));
        QVERIFY(!registry->isConnecting(reader));
        // The given-up attempt lets go of the port: the next one gets it.
        m_simulator->setSilent(false);
        registry->connectInBackground(reader);
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    }
    QCOMPARE(connected.count(), remove ? 0 : 1);
    QCOMPARE(failed.count(), 0);
}

OVS_CORE_TEST_MAIN(tst_ReadersList)
#include "tst_ReadersList.moc"
