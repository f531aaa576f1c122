#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "StallMeter.h"
#include "UnansweredListener.h"
#include "app/OVSViewer.h"
#include "link/TSL_CMD_TCP.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"
#include "session/ConnectedReaderModel.h"
#include "session/ConnectedReaderTab.h"
#include "session/LineEditAutoComplete.h"
#include "session/PacketText.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QtTest>

#include <memory>

// Readers that hang up, vanish and come back, clicks while a reader connects or a send waits,
// and a window that must never freeze.
class tst_OVSViewerConnections : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void linksGoAwayAndComeBackOrAreCancelled();
    void closingTheWindowDuringARetransmittedSend();
    void connectingNeverStallsTheWindow();

private:
    void click(const char *name)
    {
        ReadersTabModel *model = m_window->readersDock()->model();
        m_window->readersDock()->onTableClicked(model->index(
            model->rowOfReader(QString::fromLatin1(name)), ReadersTabModel::ActionColumn));
    }
    t_Reader *reader(const char *name) const
    {
        t_Reader *found = nullptr;
        return ReadersList::instance()->findReader(&found, name) ? found : nullptr;
    }
    ConnectedReaderTab *tabOf(const char *name) const { return m_window->connectedReaderTab(name); }
    void send(ConnectedReaderTab *tab, const char *command)
    {
        tab->commandEntry()->setText(QString::fromLatin1(command));
        tab->sendCommandToReader();
    }
    QString status() const { return m_window->findChild<QLabel *>("statusLabel")->text(); }
    void expectStatus(bool error, const QString &naming)
    {
        // The status line may take a moment to show the latest message.
        QTRY_VERIFY2(status().contains("Error:") == error && status().contains(naming),
                     qPrintable(status()));
    }

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<UnansweredListener> m_unanswered;
    std::unique_ptr<OVSViewer> m_window;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

// One simulated device behind a serial reader "Bench" and a TCP reader "Roof"; "Far" never
// answers.
void tst_OVSViewerConnections::init()
{
    m_project = std::make_unique<ProjectFolder>();
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovscXXXX")) && m_simulator->startTcp());
    m_simulator->setTcpEcho(false);
    m_unanswered = std::make_unique<UnansweredListener>();
    QVERIFY(m_unanswered->port() != 0);
    QFile readers(m_project->path() + QStringLiteral("/readers_list.txt"));
    QVERIFY(readers.open(QIODevice::WriteOnly));
    readers.write("Serial;Bench;" + m_simulator->serialPortName().toLatin1() +
                  ";115200;000000000000;\n" + "IPReader;Roof;127.0.0.1;" +
                  QByteArray::number(m_simulator->tcpPort()) +
                  ";000000000000;\nIPReader;Far;127.0.0.1;" +
                  QByteArray::number(m_unanswered->port()) + ";000000000000;\n");
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
    m_project.reset();
}

// A serial device that vanishes mid-exchange and a TCP reader that hangs up: each link comes
// back by itself, or is cancelled while away.
void tst_OVSViewerConnections::linksGoAwayAndComeBackOrAreCancelled()
{
    QSignalSpy disconnected(ReadersList::instance(), &ReadersList::disconnectedFromReader);
    QSignalSpy lost(ReadersList::instance(), &ReadersList::linkLost),
        restored(ReadersList::instance(), &ReadersList::linkRestored);
    click("Bench");
    click("Roof");
    QTRY_VERIFY_WITH_TIMEOUT(tabOf("Bench") && tabOf("Roof"), 10000);
    const QString serialPort = m_simulator->serialPortName();
    m_simulator->setAnswer(QByteArray::fromHex("0105"), QByteArray::fromHex("0185A1A2A3A4A5"));
    m_simulator->closeInMiddleOfNextFrame();
    send(tabOf("Bench"), "0105");
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
    expectStatus(true, serialPort);
    QCOMPARE(reader("Bench")->state, std::int32_t(STATE_CONNECTED));
    QVERIFY(m_simulator->reopenSerial());
    QTRY_COMPARE_WITH_TIMEOUT(restored.count(), 1, 10000);
    expectStatus(false, serialPort);
    m_simulator->clearRecords();
    send(tabOf("Bench"), "0106");
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedPayloads(),
                              QList<QByteArray>{QByteArray::fromHex("0106")}, 10000);
    const ConnectedReaderModel *model = tabOf("Bench")->model();
    QTRY_COMPARE(model->packetAt(model->rowCount() - 1).status, PacketText::sent);

    const QPointer<ConnectedReaderTab> tab = tabOf("Roof");
    const quint16 port = m_simulator->tcpPort();
    m_simulator->closeTcp();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 2, 10000);
    expectStatus(true, "Roof");
    QCOMPARE(reader("Roof")->state, std::int32_t(STATE_INIT));
    // A send meanwhile is refused; it used to go out on a link that had deleted itself.
    const QString before = status();
    send(tab, "0102");
    QTRY_VERIFY_WITH_TIMEOUT(status() != before, 10000);
    expectStatus(true, QString());
    QCOMPARE(tab->model()->rowCount(), 0);
    QVERIFY(m_simulator->startTcp(port));
    QTRY_COMPARE_WITH_TIMEOUT(restored.count(), 2, 15000);
    expectStatus(false, QString::number(port));
    QCOMPARE(reader("Roof")->state, std::int32_t(STATE_CONNECTED));
    QCOMPARE(tabOf("Roof"), tab.data());
    m_simulator->clearRecords();
    send(tab, "0103");
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedPayloads(),
                              QList<QByteArray>{QByteArray::fromHex("0103")}, 10000);
    QTRY_COMPARE(tab->model()->rowCount(), 1);
    QCOMPARE(disconnected.count(), 0);

    // Away again, and cancelled meanwhile: no attempt is left trying.
    const QPointer<TSL_CMD_TCP> link = qobject_cast<TSL_CMD_TCP *>(reader("Roof")->link);
    QVERIFY(link);
    m_simulator->closeTcp();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 3, 10000);
    click("Roof");
    QCOMPARE(reader("Roof")->state, std::int32_t(STATE_DISCONNECTED));
    QVERIFY(!tab && (!link || !link->isConnected()));
    QTRY_VERIFY(!link || !link->isRunning());
}

void tst_OVSViewerConnections::closingTheWindowDuringARetransmittedSend()
{
    click("Bench");
    click("Roof");
    QTRY_VERIFY_WITH_TIMEOUT(tabOf("Bench") && tabOf("Roof"), 10000);
    const QPointer<QObject> serialLink = reader("Bench")->link, tcpLink = reader("Roof")->link;
    m_simulator->setAckCode(ReaderSimulator::NoAck);
    send(tabOf("Bench"), "0C");
    // The start-up exchanges took two frames; this is the second transmission of the command.
    QTRY_COMPARE_WITH_TIMEOUT(m_simulator->receivedCount(), 4, 10000);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_window->close());
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!serialLink && !tcpLink);
    for (const t_Reader *each : ReadersList::instance()->readers())
        QVERIFY(each->state != STATE_CONNECTED && !each->link);
    QCOMPARE(m_simulator->receivedCount(), 4);
    QFile log(m_project->path() + QStringLiteral("/Logs/trace_Bench.log"));
    QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains(":Bench:Tx:0C:"));
}

// A silent reader takes three unanswered transmissions per start-up exchange; an address that
// does not answer keeps its attempt waiting until it is cancelled.
void tst_OVSViewerConnections::connectingNeverStallsTheWindow()
{
    StallMeter stalls;
    stalls.start();
    m_simulator->setSilent(true);
    click("Bench");
    click("Far");
    QTRY_VERIFY_WITH_TIMEOUT(tabOf("Bench"), 15000);
    QCOMPARE(reader("Far")->state, std::int32_t(STATE_INIT));
    click("Far");
    QCOMPARE(reader("Far")->state, std::int32_t(STATE_DISCONNECTED));
    const double longestMs = stalls.stop();
    QVERIFY2(longestMs < 1000, qPrintable(QString::number(longestMs)));
}

OVS_TEST_MAIN(tst_OVSViewerConnections)
#include "tst_OVSViewerConnections.moc"
