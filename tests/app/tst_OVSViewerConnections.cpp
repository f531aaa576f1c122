#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "StallMeter.h"
#include "UnansweredListener.h"
#include "app/OVSViewer.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"
#include "readers/ReadersFile.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"
#include "session/ConnectedReaderModel.h"
#include "session/ConnectedReaderTab.h"
#include "session/LineEditAutoComplete.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Connections as a bench sees them: readers that hang up, vanish and come back, users who
// click while a reader connects or a send waits, and a window that must never freeze.
class tst_OVSViewerConnections : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ipTabStartsEmpty_data();
    void ipTabStartsEmpty();
    void ipReaderThatHangsUpComesBack();
    void cancelWhileTheReaderIsAway();
    void serialDeviceVanishesMidExchangeAndReturns();
    void disconnectDuringARetransmittedSend();
    void closingTheWindowDuringARetransmittedSend();
    void secondConnectReportReplacesTheTabCleanly();
    void connectingNeverStallsTheWindow();

private:
    void clickAction(const QString &readerName);
    QString cell(const QString &readerName, int column) const;
    QString statusText() const;
    ConnectedReaderTab *tabOf(const QString &readerName) const;
    void typeCommand(ConnectedReaderTab *tab, const QString &command);
    QByteArray logOf(const QString &readerName) const;

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<UnansweredListener> m_unanswered;
    std::unique_ptr<OVSViewer> m_window;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_OVSViewerConnections::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_project = m_folder->path() + QStringLiteral("/project");
    QVERIFY(QDir().mkpath(m_project));
    setStartProject(m_project);
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovscXXXX")));
    QVERIFY(m_simulator->startTcp());
    m_simulator->setTcpEcho(false);
    m_unanswered = std::make_unique<UnansweredListener>();
    QVERIFY(m_unanswered->port() != 0);

    QFile readers(m_project + QStringLiteral("/readers_list.txt"));
    QVERIFY(readers.open(QIODevice::WriteOnly));
    readers.write("Serial;Bench;" + m_simulator->serialPortName().toLatin1() +
                  ";115200;000000000000;\n");
    readers.write("IPReader;Roof;127.0.0.1;" + QByteArray::number(m_simulator->tcpPort()) +
                  ";000000000000;\n");
    readers.write("IPReader;Far;127.0.0.1;" + QByteArray::number(m_unanswered->port()) +
                  ";000000000000;\n");
    readers.close();

    m_window = std::make_unique<OVSViewer>();
    m_window->show();
    m_tester = std::make_unique<QAbstractItemModelTester>(m_window->readersDock()->model());
}

void tst_OVSViewerConnections::cleanup()
{
    m_tester.reset();
    m_window.reset();
    resetReaderRegistry();
    m_unanswered.reset();
    m_simulator.reset();
    m_folder.reset();
}

void tst_OVSViewerConnections::clickAction(const QString &readerName)
{
    ReadersTabModel *model = m_window->readersDock()->model();
    m_window->readersDock()->onTableClicked(
        model->index(model->rowOfReader(readerName), ReadersTabModel::ActionColumn));
}

QString tst_OVSViewerConnections::cell(const QString &readerName, int column) const
{
    ReadersTabModel *model = m_window->readersDock()->model();
    return model->index(model->rowOfReader(readerName), column).data().toString();
}

QString tst_OVSViewerConnections::statusText() const
{
    return m_window->findChild<QLabel *>(QStringLiteral("statusLabel"))->text();
}

ConnectedReaderTab *tst_OVSViewerConnections::tabOf(const QString &readerName) const
{
    return m_window->connectedReaderTab(readerName);
}

void tst_OVSViewerConnections::typeCommand(ConnectedReaderTab *tab, const QString &command)
{
    tab->commandEntry()->setText(command);
    tab->sendCommandToReader();
}

QByteArray tst_OVSViewerConnections::logOf(const QString &readerName) const
{
    QFile log(m_project + QStringLiteral("/Logs/trace_") + readerName + QStringLiteral(".log"));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

void tst_OVSViewerConnections::ipTabStartsEmpty_data()
{
    QTest::addColumn<bool>("inBackground");

    QTest::newRow("connected from the table") << true;
    QTest::newRow("connected by a blocking call") << false;
}

void tst_OVSViewerConnections::ipTabStartsEmpty()
{
    QFETCH(bool, inBackground);
    if (inBackground)
        clickAction(QStringLiteral("Roof"));
    else
        QCOMPARE(ReadersList::instance()->setReaderState(ReadersList::instance()->readerAt(1),
                                                         STATE_CONNECTED),
                 1);
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Roof")), 10000);
    ConnectedReaderTab *tab = tabOf(QStringLiteral("Roof"));
    QAbstractItemModelTester tester(tab->model());
    m_simulator->sendTcpChunk(QByteArray::fromHex("AA01"));
    QTRY_COMPARE_WITH_TIMEOUT(tab->model()->rowCount(), 1, 10000);
    // The answer to the address read that connecting made is nobody's frame.
    QCOMPARE(tab->model()->packetAt(0).frame, QStringLiteral("AA 01 "));
    QCOMPARE(logOf(QStringLiteral("Roof")).count('\n'), 1);
}

void tst_OVSViewerConnections::ipReaderThatHangsUpComesBack()
{
    QSignalSpy disconnected(ReadersList::instance(), &ReadersList::disconnectedFromReader);
    clickAction(QStringLiteral("Roof"));
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Roof")), 10000);
    const QPointer<ConnectedReaderTab> tab = tabOf(QStringLiteral("Roof"));
    const quint16 port = m_simulator->tcpPort();

    m_simulator->closeTcp();
    QTRY_VERIFY_WITH_TIMEOUT(
        statusText().contains(QStringLiteral("Error: Reader \"Roof\" closed the connection.")),
        10000);
    QCOMPARE(cell(QStringLiteral("Roof"), ReadersTabModel::StateColumn), QStringLiteral("Init"));
    QCOMPARE(cell(QStringLiteral("Roof"), ReadersTabModel::ActionColumn), QStringLiteral("Cancel"));
    QCOMPARE(tabOf(QStringLiteral("Roof")), tab.data());
    // A send meanwhile is refused; it used to go out on a link that had deleted itself.
    typeCommand(tab, QStringLiteral("0102"));
    QTRY_VERIFY_WITH_TIMEOUT(
        statusText().contains(QStringLiteral("Error: Reader \"Roof\" is not connected.")), 10000);
    QCOMPARE(tab->model()->rowCount(), 0);

    QVERIFY(m_simulator->startTcp(port));
    QTRY_VERIFY_WITH_TIMEOUT(statusText().contains(QStringLiteral("Reader \"Roof\" is back on "
                                                                  "\"127.0.0.1:%1\".")
                                                       .arg(port)),
                             15000);
    QCOMPARE(cell(QStringLiteral("Roof"), ReadersTabModel::StateColumn),
             QStringLiteral("Connected"));
    QCOMPARE(tabOf(QStringLiteral("Roof")), tab.data());
    m_simulator->clearRecords();
    typeCommand(tab, QStringLiteral("0103"));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedPayloads(),
                              QList<QByteArray>{QByteArray::fromHex("0103")}, 10000);
    QTRY_COMPARE(tab->model()->rowCount(), 1);
    QCOMPARE(disconnected.count(), 0);
}

void tst_OVSViewerConnections::cancelWhileTheReaderIsAway()
{
    clickAction(QStringLiteral("Roof"));
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Roof")), 10000);
    const QPointer<QObject> link = ReadersList::instance()->readerAt(1)->link;
    QVERIFY(link);
    m_simulator->closeTcp();
    QTRY_COMPARE_WITH_TIMEOUT(cell(QStringLiteral("Roof"), ReadersTabModel::StateColumn),
                              QStringLiteral("Init"), 10000);

    clickAction(QStringLiteral("Roof"));
    QCOMPARE(cell(QStringLiteral("Roof"), ReadersTabModel::StateColumn),
             QStringLiteral("Disconnected"));
    QVERIFY(!tabOf(QStringLiteral("Roof")));
    QVERIFY(statusText().contains(QStringLiteral("Reader \"Roof\" disconnected successfully.")));
    auto *tcpLink = qobject_cast<TSL_CMD_TCP *>(link);
    QVERIFY(tcpLink);
    QVERIFY(!tcpLink->isConnected());
    // No attempt is left trying.
    QTRY_VERIFY(!tcpLink->isRunning());
}

void tst_OVSViewerConnections::serialDeviceVanishesMidExchangeAndReturns()
{
    clickAction(QStringLiteral("Bench"));
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Bench")), 10000);
    ConnectedReaderTab *tab = tabOf(QStringLiteral("Bench"));
    const QString port = m_simulator->serialPortName();
    m_simulator->setAnswer(QByteArray::fromHex("0105"), QByteArray::fromHex("0185A1A2A3A4A5"));
    m_simulator->closeInMiddleOfNextFrame();
    typeCommand(tab, QStringLiteral("0105"));
    QTRY_VERIFY_WITH_TIMEOUT(
        statusText().contains(QStringLiteral("Error: Reader \"Bench\" lost its "
                                             "port \"%1\".")
                                  .arg(port)),
        10000);
    QCOMPARE(cell(QStringLiteral("Bench"), ReadersTabModel::StateColumn),
             QStringLiteral("Connected"));

    QVERIFY(m_simulator->reopenSerial());
    QTRY_VERIFY_WITH_TIMEOUT(
        statusText().contains(QStringLiteral("Reader \"Bench\" is back on \"%1\".").arg(port)),
        10000);
    m_simulator->clearRecords();
    typeCommand(tab, QStringLiteral("0106"));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedPayloads(),
                              QList<QByteArray>{QByteArray::fromHex("0106")}, 10000);
    QTRY_COMPARE(tab->model()->packetAt(tab->model()->rowCount() - 1).status,
                 QStringLiteral("Sent"));
}

void tst_OVSViewerConnections::disconnectDuringARetransmittedSend()
{
    clickAction(QStringLiteral("Bench"));
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Bench")), 10000);
    const QPointer<ConnectedReaderTab> tab = tabOf(QStringLiteral("Bench"));
    const QPointer<QObject> link = ReadersList::instance()->readerAt(0)->link;
    m_simulator->setAckCode(ReaderSimulator::NoAck);
    typeCommand(tab, QStringLiteral("0A0B"));
    // The start-up exchanges took two frames; this is the second transmission of the command.
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), 4, 10000);
    QCOMPARE(tab->model()->packetAt(tab->model()->rowCount() - 1).status,
             QStringLiteral("In progress"));

    clickAction(QStringLiteral("Bench"));
    QVERIFY(!tab);
    QCOMPARE(cell(QStringLiteral("Bench"), ReadersTabModel::StateColumn),
             QStringLiteral("Disconnected"));
    QVERIFY(!qobject_cast<TSL_CMD *>(link)->isConnected());
    // Not transmitted a third time, and its outcome is in the log.
    QCOMPARE(m_simulator->receivedCount(), 4);
    QVERIFY(logOf(QStringLiteral("Bench")).contains(":Bench:Tx:0A0B:"));
}

void tst_OVSViewerConnections::closingTheWindowDuringARetransmittedSend()
{
    clickAction(QStringLiteral("Bench"));
    clickAction(QStringLiteral("Roof"));
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Bench")) && tabOf(QStringLiteral("Roof")),
                             10000);
    const QPointer<QObject> serialLink = ReadersList::instance()->readerAt(0)->link;
    const QPointer<QObject> tcpLink = ReadersList::instance()->readerAt(1)->link;
    m_simulator->setAckCode(ReaderSimulator::NoAck);
    typeCommand(tabOf(QStringLiteral("Bench")), QStringLiteral("0C"));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), 4, 10000);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_window->close());
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    // Every link has been closed and deleted, which joins its threads.
    QVERIFY(!serialLink);
    QVERIFY(!tcpLink);
    for (const t_Reader *reader : ReadersList::instance()->readers())
        QVERIFY(reader->state != STATE_CONNECTED && !reader->link);
    QVERIFY(m_window->findChildren<ConnectedReaderTab *>().isEmpty());
    QCOMPARE(m_simulator->receivedCount(), 4);
    QVERIFY(logOf(QStringLiteral("Bench")).contains(":Bench:Tx:0C:"));
}

void tst_OVSViewerConnections::secondConnectReportReplacesTheTabCleanly()
{
    clickAction(QStringLiteral("Bench"));
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Bench")), 10000);
    const QPointer<ConnectedReaderTab> first = tabOf(QStringLiteral("Bench"));
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "setCurrentSelectedTab",
                                      Q_ARG(QDockWidget *, first.data()),
                                      Q_ARG(DockedTabTypes, TAB_CONNECTED_READER)));
    QCOMPARE(m_window->currentDock(), first.data());

    emit ReadersList::instance()->connectedToReader(QStringLiteral("Bench"),
                                                    QStringLiteral("0A 1B 2C 3D"));
    QVERIFY(!first);
    QVERIFY(tabOf(QStringLiteral("Bench")));
    // The sections never act on a tab that is gone.
    QCOMPARE(m_window->currentDock(), static_cast<QDockWidget *>(m_window->readersDock()));
    QCOMPARE(m_window->currentDockType(), TAB_READERS);
}

void tst_OVSViewerConnections::connectingNeverStallsTheWindow()
{
    StallMeter stalls;
    stalls.start();
    m_simulator->setSilent(true);
    // A silent reader takes three unanswered transmissions per start-up exchange; an address
    // that does not answer keeps its connection attempt waiting.
    clickAction(QStringLiteral("Bench"));
    clickAction(QStringLiteral("Far"));
    QCOMPARE(cell(QStringLiteral("Far"), ReadersTabModel::StateColumn), QStringLiteral("Init"));
    QTRY_VERIFY_WITH_TIMEOUT(tabOf(QStringLiteral("Bench")), 15000);
    QCOMPARE(cell(QStringLiteral("Bench"), ReadersTabModel::MacColumn),
             QStringLiteral("00 00 00 00"));
    QCOMPARE(cell(QStringLiteral("Far"), ReadersTabModel::StateColumn), QStringLiteral("Init"));
    clickAction(QStringLiteral("Far"));
    QCOMPARE(cell(QStringLiteral("Far"), ReadersTabModel::StateColumn),
             QStringLiteral("Disconnected"));
    const double longestMs = stalls.stop();
    qInfo("longest stall while connecting: %.1f ms", longestMs);
    QVERIFY2(longestMs < 1000, qPrintable(QString::number(longestMs)));
}

OVS_TEST_MAIN(tst_OVSViewerConnections)
#include "tst_OVSViewerConnections.moc"
