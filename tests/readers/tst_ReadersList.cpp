#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"
#include "project/ProjectPaths.h"
#include "readers/ReadersList.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

t_Reader serialReader(const QByteArray &name, const QString &port)
{
    t_Reader reader;
    ReadersList::initReader(&reader, READER_SERIAL);
    setReaderText(reader.name, name);
    setReaderText(reader.comPort, port.toLatin1());
    return reader;
}

t_Reader ipReader(const QByteArray &name, quint16 port)
{
    t_Reader reader;
    ReadersList::initReader(&reader, READER_IP);
    setReaderText(reader.name, name);
    setReaderText(reader.ipAddress, "127.0.0.1");
    reader.ipPort = port;
    return reader;
}

t_Reader *registered(const t_Reader &reader)
{
    ReadersList::instance()->addReader(reader);
    t_Reader *found = nullptr;
    ReadersList::instance()->findReader(&found, readerText(reader.name));
    return found;
}

} // namespace

class tst_ReadersList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void addressText_data();
    void addressText();
    void findReaderIsExact();
    void connectAndDisconnect_data();
    void connectAndDisconnect();
    void failedConnections_data();
    void failedConnections();
    void bluetoothReaderDoesNothing();
    void disconnectingAnUnusedReaderSaysNothing();
    void loadPutsReadersInDisconnectedState();
    void removingAReaderWhileItConnects_data();
    void removingAReaderWhileItConnects();

private:
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<ProjectFolder> m_project;
};

void tst_ReadersList::initTestCase()
{
    m_project = std::make_unique<ProjectFolder>();
    QCOMPARE(ProjectPaths::projectPath(), m_project->path());
}

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

void tst_ReadersList::addressText_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("text");

    QTest::newRow("four bytes") << QByteArray::fromHex("0a1b2c3d") << "0A 1B 2C 3D";
    QTest::newRow("more than four") << QByteArray::fromHex("ffeeddccbb") << "FF EE DD CC";
    QTest::newRow("two bytes") << QByteArray::fromHex("0a1b") << "0A 1B 00 00";
    QTest::newRow("none") << QByteArray() << "00 00 00 00";
}

void tst_ReadersList::addressText()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, text);
    QCOMPARE(ReadersList::addressText(address), text);
}

void tst_ReadersList::findReaderIsExact()
{
    registered(serialReader("Gateway", QStringLiteral("COM1")));
    t_Reader *found = nullptr;
    QVERIFY(!ReadersList::instance()->findReader(&found, "Gate"));
    QVERIFY(!ReadersList::instance()->findReader(&found, "gateway"));
    QVERIFY(ReadersList::instance()->findReader(&found, "Gateway"));
    QCOMPARE(found, ReadersList::instance()->readerAt(0));
    QVERIFY(!ReadersList::instance()->readerAt(1));
}

void tst_ReadersList::connectAndDisconnect_data()
{
    QTest::addColumn<bool>("serial");

    QTest::newRow("serial reader on a pty") << true;
    QTest::newRow("ip reader on loopback") << false;
}

void tst_ReadersList::connectAndDisconnect()
{
    QFETCH(bool, serial);
    ReadersList *registry = ReadersList::instance();
    t_Reader *reader = registered(serial ? serialReader("Bench", m_simulator->serialPortName())
                                         : ipReader("Roof", m_simulator->tcpPort()));
    QSignalSpy connected(registry, &ReadersList::connectedToReader);
    QSignalSpy disconnected(registry, &ReadersList::disconnectedFromReader);

    reader->state = STATE_DEFAULT;
    QCOMPARE(registry->setReaderState(reader, STATE_CONNECTED), 1);
    QCOMPARE(reader->state, int(STATE_CONNECTED));
    QVERIFY(reader->link);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.first().at(0).toString(), QString::fromLatin1(readerText(reader->name)));
    QCOMPARE(connected.first().at(1).toString(), QStringLiteral("0A 1B 2C 3D"));
    if (serial)
        QVERIFY(qobject_cast<TSL_CMD *>(reader->link));
    else
        QVERIFY(qobject_cast<TSL_CMD_TCP *>(reader->link));

    QPointer<QObject> link = reader->link;
    QCOMPARE(registry->setReaderState(reader, STATE_DISCONNECTED), 1);
    QCOMPARE(reader->state, int(STATE_DISCONNECTED));
    QVERIFY(!reader->link);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(disconnected.first().at(0).toString(), QString::fromLatin1(readerText(reader->name)));
    QCOMPARE(connected.count(), 1);
    // The closed link is kept until a new one has waited for it to let go of the port; it goes
    // with the reader.
    QVERIFY(link);
    registry->removeReader(reader);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(link.isNull());
}

void tst_ReadersList::failedConnections_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("result");

    QTest::newRow("gateway with a zero address") << "zero address" << -2;
    QTest::newRow("nobody listening") << "refused" << -1;
    QTest::newRow("missing serial device") << "missing device" << -1;
}

void tst_ReadersList::failedConnections()
{
    QFETCH(QString, kind);
    QFETCH(int, result);
    ReadersList *registry = ReadersList::instance();
    t_Reader *reader = nullptr;
    if (kind == QLatin1String("zero address")) {
        m_simulator->setAddress(QByteArray(4, '\0'));
        reader = registered(ipReader("Zero", m_simulator->tcpPort()));
    } else if (kind == QLatin1String("refused")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        reader = registered(ipReader("Nobody", port));
    } else {
        reader = registered(serialReader("Gone", QStringLiteral("/tmp/ovs-no-such-port")));
    }
    QSignalSpy connected(registry, &ReadersList::connectedToReader);
    reader->state = STATE_DEFAULT;
    QCOMPARE(registry->setReaderState(reader, STATE_CONNECTED), result);
    QCOMPARE(reader->state, int(STATE_DEFAULT));
    QVERIFY(!reader->link);
    QCOMPARE(connected.count(), 0);
}

void tst_ReadersList::bluetoothReaderDoesNothing()
{
    t_Reader bluetooth;
    ReadersList::initReader(&bluetooth, READER_BLUETOOTH);
    setReaderText(bluetooth.name, "Blue");
    t_Reader *reader = registered(bluetooth);
    QSignalSpy connected(ReadersList::instance(), &ReadersList::connectedToReader);
    QCOMPARE(ReadersList::instance()->setReaderState(reader, STATE_CONNECTED), 1);
    QCOMPARE(ReadersList::instance()->setReaderState(reader, STATE_DISCONNECTED), 1);
    QCOMPARE(reader->state, int(STATE_DEFAULT));
    QCOMPARE(connected.count(), 0);
}

void tst_ReadersList::disconnectingAnUnusedReaderSaysNothing()
{
    t_Reader *reader = registered(serialReader("Idle", QStringLiteral("COM7")));
    QSignalSpy disconnected(ReadersList::instance(), &ReadersList::disconnectedFromReader);
    QCOMPARE(ReadersList::instance()->setReaderState(reader, STATE_DISCONNECTED), 1);
    QCOMPARE(reader->state, int(STATE_DISCONNECTED));
    QCOMPARE(disconnected.count(), 0);
}

void tst_ReadersList::loadPutsReadersInDisconnectedState()
{
    QFile file(ProjectPaths::readersFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("Serial;A;COM1;9600;000000000000;\nWhat;B;C;D;E;\n"
               "IPReader;C;10.0.0.1;5000;000000000000;\n");
    file.close();
    QSignalSpy disconnected(ReadersList::instance(), &ReadersList::disconnectedFromReader);
    QCOMPARE(ReadersList::instance()->loadReadersFile(), 1);
    QCOMPARE(ReadersList::instance()->readers().size(), 2);
    for (const t_Reader *reader : ReadersList::instance()->readers())
        QCOMPARE(reader->state, int(STATE_DISCONNECTED));
    QCOMPARE(disconnected.count(), 0);
    QVERIFY(QFile::remove(ProjectPaths::readersFilePath()));
    QCOMPARE(ReadersList::instance()->loadReadersFile(), 1);
}

void tst_ReadersList::removingAReaderWhileItConnects_data()
{
    QTest::addColumn<bool>("serial");

    QTest::newRow("silent serial reader") << true;
    QTest::newRow("ip reader") << false;
}

void tst_ReadersList::removingAReaderWhileItConnects()
{
    QFETCH(bool, serial);
    m_simulator->setSilent(true);
    t_Reader *reader = registered(serial ? serialReader("Bench", m_simulator->serialPortName())
                                         : ipReader("Roof", m_simulator->tcpPort()));
    QSignalSpy connected(ReadersList::instance(), &ReadersList::connectedToReader);
    QSignalSpy failed(ReadersList::instance(), &ReadersList::connectionFailed);
    ReadersList::instance()->connectInBackground(reader);
    QCOMPARE(reader->state, int(STATE_INIT));
    QVERIFY(ReadersList::instance()->isConnecting(reader));
    QTRY_VERIFY_WITH_TIMEOUT(m_simulator->receivedCount() > 0, 10000);

    // The record goes while its attempt still runs; the attempt must not touch it.
    ReadersList::instance()->removeReader(reader);
    QVERIFY(ReadersList::instance()->readers().isEmpty());
    ReadersList::instance()->disconnectAll();
    QCoreApplication::processEvents();
    QCOMPARE(connected.count(), 0);
    QCOMPARE(failed.count(), 0);
}

OVS_CORE_TEST_MAIN(tst_ReadersList)
#include "tst_ReadersList.moc"
