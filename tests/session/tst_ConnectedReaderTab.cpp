#include "IsolatedHome.h"
#include "LogEntries.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "patterns/ControlPanelPackets.h"
#include "project/ProjectPaths.h"
#include "session/AllReadersTab.h"
#include "session/AllReadersTabModel.h"
#include "session/ConnectedReaderModel.h"
#include "session/ConnectedReaderTab.h"
#include "session/LineEditAutoComplete.h"
#include "session/PacketText.h"
#include "session/TVTableView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFont>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

class tst_ConnectedReaderTab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void typedCommandOnSerialReader();
    void receivedAndRecoveredFrames();
    void repeatMode();
    void refusals_data();
    void refusals();
    void longCommands();
    void doubleClickAndCopy();
    void acknowledgementsGoToTheTableOnly();

private:
    ConnectedReaderTab *openTab(const QByteArray &name);
    void typeCommand(const QString &command);

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<QWidget> m_panelHost;
    ControlPanelPackets *m_packets = nullptr;
    std::unique_ptr<AllReadersTab> m_allReaders;
    std::unique_ptr<ConnectedReaderTab> m_tab;
    std::unique_ptr<QAbstractItemModelTester> m_tabTester;
    std::unique_ptr<QAbstractItemModelTester> m_mergedTester;
    QStringList m_messages;
};

void tst_ConnectedReaderTab::init()
{
    m_project = std::make_unique<ProjectFolder>();
    QFile patterns(ProjectPaths::patternRulesPath());
    QVERIFY(patterns.open(QIODevice::WriteOnly));
    patterns.write("Hello;LEFT;2;1B;0E0F\nAny;STXT;.*\n");
    patterns.close();
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovstXXXX")));
    m_panelHost = std::make_unique<QWidget>();
    m_packets = new ControlPanelPackets;
    (new QVBoxLayout(m_panelHost.get()))->addLayout(m_packets);
    m_allReaders = std::make_unique<AllReadersTab>();
    m_mergedTester = std::make_unique<QAbstractItemModelTester>(m_allReaders->model());
    m_messages.clear();
}

void tst_ConnectedReaderTab::cleanup()
{
    m_tabTester.reset();
    m_tab.reset();
    m_mergedTester.reset();
    m_allReaders.reset();
    m_panelHost.reset();
    resetReaderRegistry();
    m_simulator.reset();
    m_project.reset();
}

ConnectedReaderTab *tst_ConnectedReaderTab::openTab(const QByteArray &name)
{
    if (!addConnectedReader(name, m_simulator->serialPortName()))
        return nullptr;
    m_simulator->clearRecords();
    m_tab = std::make_unique<ConnectedReaderTab>(QString::fromLatin1(name), m_allReaders.get(),
                                                 m_packets);
    m_tabTester = std::make_unique<QAbstractItemModelTester>(m_tab->model());
    connect(m_tab.get(), &ConnectedReaderTab::statusMessage, this,
            [this](const QString &message) { m_messages << message; });
    return m_tab.get();
}

void tst_ConnectedReaderTab::typeCommand(const QString &command)
{
    m_tab->commandEntry()->clear();
    QTest::keyClicks(m_tab->commandEntry(), command);
    QTest::keyClick(m_tab->commandEntry(), Qt::Key_Return);
}

void tst_ConnectedReaderTab::typedCommandOnSerialReader()
{
    QVERIFY(openTab("R1"));
    QStringList statusesWhenInserted;
    connect(m_tab->model(), &QAbstractItemModel::rowsInserted, this,
            [&](const QModelIndex &, int first) {
                statusesWhenInserted << m_tab->model()->packetAt(first).status;
            });
    // Rows are shown in batches; an acknowledgement that takes a while comes after the row.
    m_simulator->setAckDelay(300);
    typeCommand(QStringLiteral("0A 1B 2C"));

    QTRY_COMPARE_WITH_TIMEOUT(m_tab->model()->rowCount() == 1 &&
                                  m_tab->model()->packetAt(0).status == PacketText::sent,
                              true, 10000);
    QCOMPARE(statusesWhenInserted, QStringList{PacketText::inProgress});
    const QModelIndex frame = m_tab->model()->index(0, 2);
    QCOMPARE(frame.data().toString(), QStringLiteral("0A 1B 2C"));
    QVERIFY(frame.data(Qt::FontRole).value<QFont>().bold());
    QCOMPARE(m_tab->model()->packetAt(0).direction, QStringLiteral("Tx"));
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{QByteArray::fromHex("0A1B2C")});
    QCOMPARE(m_tab->commandEntry()->text(), QStringLiteral("0A 1B 2C"));
    QCOMPARE(logEntries(m_tab->logFileName()), QStringList{"R1:Tx:0A1B2C::0"});
    QCOMPARE(m_allReaders->model()->rowCount(), 1);
    QCOMPARE(m_allReaders->model()->index(0, 0).data().toString(), QStringLiteral("R1"));
}

void tst_ConnectedReaderTab::receivedAndRecoveredFrames()
{
    QVERIFY(openTab("R1"));
    emit m_packets->analyseButton()->released();
    QVERIFY(m_packets->analysing());
    m_simulator->setTcpEcho(false);

    m_simulator->sendFrame(QByteArray::fromHex("0A1B2C"));
    QTRY_COMPARE(m_tab->model()->rowCount(), 1);
    const readerPacket_t received = m_tab->model()->packetAt(0);
    QCOMPARE(received.direction, QStringLiteral("Rx"));
    QCOMPARE(received.status, PacketText::received);
    QCOMPARE(received.frame.trimmed(), QStringLiteral("0A 1B 2C"));
    QCOMPARE(m_allReaders->model()->rowCount(), 1);
    QCOMPARE(m_allReaders->model()->packetAt(0).status, PacketText::received);

    // The recovered notice announces the session of the next frame, which then takes its row.
    const int nextSession = received.sessionNumber + 1;
    m_simulator->sendRecoveredNotice(quint16(nextSession));
    QTRY_COMPARE(m_tab->model()->rowCount(), 2);
    QCOMPARE(m_tab->model()->packetAt(1).status, PacketText::recovered);
    QCOMPARE(m_tab->model()->index(1, 2).data().toString(), QString());
    m_simulator->sendFrame(QByteArray::fromHex("0C1B"));
    QTRY_COMPARE(m_tab->model()->packetAt(1).status, PacketText::received);
    QCOMPARE(m_tab->model()->rowCount(), 2);
    QCOMPARE(m_tab->model()->packetAt(1).sessionNumber, nextSession);
    QCOMPARE(m_allReaders->model()->rowCount(), 2);

    const QStringList expected{"R1:Rx:0A1B2C:Hello:1", "R1:Rx::Any:2", "R1:Rx:0C1B:Hello:2"};
    QCOMPARE(logEntries(ProjectPaths::logsPath() + QStringLiteral("trace_R1.log")), expected);
    QCOMPARE(logEntries(AllReadersTab::logFilePath()), expected);
    // The rule's answer goes out through the window; here only the request is checked.
    QSignalSpy answers(m_packets, &ControlPanelPackets::answerOnMatch);
    m_simulator->sendFrame(QByteArray::fromHex("001B"));
    QTRY_COMPARE(answers.count(), 1);
    QCOMPARE(answers.at(0).at(1).toString(), QStringLiteral("0E0F"));
}

void tst_ConnectedReaderTab::repeatMode()
{
    QVERIFY(openTab("R1"));
    m_tab->intervalField()->setText(QStringLiteral("5"));
    typeCommand(QStringLiteral("0A"));
    QTRY_VERIFY(m_tab->isRepeating());
    QCOMPARE(m_tab->sendButton()->text(), QStringLiteral("Stop"));
    QVERIFY(!m_tab->intervalField()->isEnabled());
    QCOMPARE(m_messages.last(),
             QStringLiteral("Starting repeat mode of reader \"R1\" successful."));
    QElapsedTimer sinceStart;
    sinceStart.start();

    QTRY_VERIFY_WITH_TIMEOUT(m_simulator->receivedCount() >= 3, 15000);
    const QList<qint64> times = m_simulator->receivedTimesMs();
    // The first goes out after one interval, not at once.
    QVERIFY2(sinceStart.elapsed() >= 3 * 450, "three sends in less than three intervals");
    for (int i = 1; i < times.size(); ++i)
        QVERIFY2(times.at(i) - times.at(i - 1) >= 450, "sends closer than the interval");

    emit m_tab->sendButton()->released();
    QTRY_VERIFY(!m_tab->isRepeating());
    QCOMPARE(m_tab->sendButton()->text(), QStringLiteral("Send"));
    QVERIFY(m_tab->intervalField()->isEnabled());
    QVERIFY(m_tab->intervalField()->text().isEmpty());
    QCOMPARE(m_messages.last(), QStringLiteral("Stoping repeat mode of reader \"R1\" successful."));

    // The sender works in order: once a later single command is in, no repeat is left.
    const int sentWhileRepeating = m_simulator->receivedCount();
    typeCommand(QStringLiteral("FF"));
    QTRY_COMPARE(m_simulator->receivedCount(), sentWhileRepeating + 1);
    QCOMPARE(m_simulator->receivedPayloads().last(), QByteArray::fromHex("FF"));
}

void tst_ConnectedReaderTab::refusals_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << ""
                                << ""
                                << "Error: There is no command to send.";
    QTest::newRow("interval 0") << "0A"
                                << "0"
                                << "Error: Please enter valid value for repeat interval.";
}

void tst_ConnectedReaderTab::refusals()
{
    QFETCH(QString, command);
    QFETCH(QString, interval);
    QFETCH(QString, message);
    QVERIFY(openTab("R1"));
    QSignalSpy sends(m_tab.get(), &ConnectedReaderTab::sendDataToReader);
    QSignalSpy repeats(m_tab.get(), &ConnectedReaderTab::startReaderRepeatMode);
    m_tab->commandEntry()->setText(command);
    m_tab->intervalField()->setText(interval);
    m_tab->sendCommandToReader();
    QCOMPARE(m_messages, QStringList{message});
    QCOMPARE(sends.count() + repeats.count(), 0);
    QVERIFY(!m_tab->isRepeating());
}

void tst_ConnectedReaderTab::longCommands()
{
    QVERIFY(openTab("R1"));
    const QString longCommand = QStringLiteral("0A").repeated(250);
    m_tab->commandEntry()->setText(longCommand);
    m_tab->sendCommandToReader();
    QCOMPARE(m_tab->commandEntry()->text(), longCommand.left(480));
    QTRY_COMPARE(m_simulator->receivedCount(), 1);
    QCOMPARE(m_simulator->receivedPayloads().at(0), QByteArray(240, '\x0a'));
}

void tst_ConnectedReaderTab::doubleClickAndCopy()
{
    QVERIFY(openTab("R1"));
    for (const char *hex : {"0A1B", "2C3D"}) {
        QByteArray frame = QByteArray::fromHex(hex);
        m_tab->receivedNewFrame(&frame, 5);
    }
    QTRY_COMPARE(m_tab->model()->rowCount(), 2);
    m_tab->handleTableDoubleClick(m_tab->model()->index(1, 1));
    QVERIFY(m_tab->commandEntry()->text().isEmpty());
    m_tab->handleTableDoubleClick(m_tab->model()->index(1, 2));
    QCOMPARE(m_tab->commandEntry()->text(), QStringLiteral("2C3D"));

    TVTableView *view = m_tab->tableView();
    QItemSelectionModel *selection = view->selectionModel();
    selection->select(m_tab->model()->index(1, 2), QItemSelectionModel::Select);
    selection->select(m_tab->model()->index(0, 3), QItemSelectionModel::Select);
    selection->select(m_tab->model()->index(0, 1), QItemSelectionModel::Select);
    QApplication::clipboard()->clear();
    QTest::keySequence(view, QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("Rx\tReceived\n") + m_tab->model()->packetAt(1).frame);
}

void tst_ConnectedReaderTab::acknowledgementsGoToTheTableOnly()
{
    QVERIFY(openTab("R1"));
    m_tab->sessionGotAck(9, 12);
    m_tab->sessionGotAck(0x15, 13);
    QCOMPARE(m_tab->model()->rowCount(), 0);
    QTRY_COMPARE(m_tab->model()->rowCount(), 1);
    const readerPacket_t &row = m_tab->model()->packetAt(0);
    QCOMPARE(row.status, PacketText::recovered);
    QCOMPARE(row.frame, QStringLiteral("09"));
    QCOMPARE(row.sessionNumber, 12);
    QCOMPARE(m_allReaders->model()->rowCount(), 0);
    QVERIFY(logEntries(m_tab->logFileName()).isEmpty());
}

OVS_TEST_MAIN(tst_ConnectedReaderTab)
#include "tst_ConnectedReaderTab.moc"
