#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "app/OVSViewer.h"
#include "patterns/ControlPanelPackets.h"
#include "patterns/PatternMatchingRule.h"
#include "project/ControlPanelTracePath.h"
#include "readers/ReadersFile.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "session/AllReadersTab.h"
#include "session/AllReadersTabModel.h"
#include "session/ConnectedReaderModel.h"
#include "session/ConnectedReaderTab.h"
#include "session/ControlPanelDisplay.h"
#include "session/PacketText.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <memory>

// The window's side of connected readers: their tabs, the merged tab, automatic answers and
// the display section that clears the tables.
class tst_OVSViewerReaders : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tabsFollowConnections();
    void patternAnswerReachesTheReader();
    void clearActsOnTheTabInFront_data();
    void clearActsOnTheTabInFront();
    void mergedLogFollowsTheProject();

private:
    void startWindow();
    bool setConnected(const char *name, bool connected);
    void receiveFrame(int simulator, const QByteArray &payload);
    QString statusText() const;
    void selectTab(QDockWidget *dock, DockedTabTypes type);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::array<std::unique_ptr<ReaderSimulator>, 2> m_simulators;
    std::unique_ptr<OVSViewer> m_window;
};

void tst_OVSViewerReaders::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    const QString project = m_folder->path() + QStringLiteral("/project");
    QVERIFY(QDir().mkpath(project));
    setStartProject(project);

    QFile readers(project + QStringLiteral("/readers_list.txt"));
    QVERIFY(readers.open(QIODevice::WriteOnly));
    for (int i = 0; i < 2; ++i) {
        m_simulators[i] = std::make_unique<ReaderSimulator>();
        QVERIFY(m_simulators[i]->startSerial(QStringLiteral("/tmp/ovswXXXX")));
        t_Reader record;
        ReadersFile::initRecord(&record, READER_SERIAL);
        setReaderText(record.name, QByteArray("R") + QByteArray::number(i + 1));
        setReaderText(record.comPort, m_simulators[i]->serialPortName().toLatin1());
        readers.write(ReadersFile::lineOf(record).toUtf8());
    }
    readers.close();
    QFile patterns(project + QStringLiteral("/frame_recognize_pattern.txt"));
    QVERIFY(patterns.open(QIODevice::WriteOnly));
    patterns.write("Ping;LEFT;0;AA;BB01\nAny;STXT;.*\n");
}

void tst_OVSViewerReaders::cleanup()
{
    m_window.reset();
    resetReaderRegistry();
    for (auto &simulator : m_simulators)
        simulator.reset();
    m_folder.reset();
}

void tst_OVSViewerReaders::startWindow()
{
    m_window = std::make_unique<OVSViewer>();
    m_window->show();
}

bool tst_OVSViewerReaders::setConnected(const char *name, bool connected)
{
    t_Reader *reader = nullptr;
    if (!ReadersList::instance()->findReader(&reader, name))
        return false;
    return ReadersList::instance()->setReaderState(reader, connected ? STATE_CONNECTED
                                                                     : STATE_DISCONNECTED) == 1;
}

QString tst_OVSViewerReaders::statusText() const
{
    return m_window->findChild<QLabel *>(QStringLiteral("statusLabel"))->text();
}

void tst_OVSViewerReaders::selectTab(QDockWidget *dock, DockedTabTypes type)
{
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "setCurrentSelectedTab",
                                      Q_ARG(QDockWidget *, dock), Q_ARG(DockedTabTypes, type)));
}

void tst_OVSViewerReaders::tabsFollowConnections()
{
    startWindow();
    QVERIFY(!m_window->allReadersDock());
    QVERIFY(setConnected("R1", true));
    AllReadersTab *merged = m_window->allReadersDock();
    QVERIFY(merged);
    ConnectedReaderTab *first = m_window->connectedReaderTab(QStringLiteral("R1"));
    QVERIFY(first);
    QCOMPARE(first->windowTitle(), QStringLiteral("R1"));
    QVERIFY(m_window->tabifiedDockWidgets(m_window->readersDock()).contains(first));
    QVERIFY(m_window->tabifiedDockWidgets(m_window->readersDock()).contains(merged));
    QVERIFY(statusText().contains(QStringLiteral("Reader \"R1\" connected successfully.")));

    QVERIFY(setConnected("R2", true));
    QCOMPARE(m_window->allReadersDock(), merged);
    QVERIFY(m_window->connectedReaderTab(QStringLiteral("R2")));
    QCOMPARE(m_window->findChildren<ConnectedReaderTab *>().size(), 2);

    QVERIFY(setConnected("R1", false));
    QVERIFY(!m_window->connectedReaderTab(QStringLiteral("R1")));
    QCOMPARE(m_window->allReadersDock(), merged);
    QVERIFY(statusText().contains(QStringLiteral("Reader \"R1\" disconnected successfully.")));

    QVERIFY(setConnected("R2", false));
    QVERIFY(!m_window->allReadersDock());
    QVERIFY(m_window->findChildren<ConnectedReaderTab *>().isEmpty());
    QVERIFY(m_window->findChildren<AllReadersTab *>().isEmpty());

    // A new connection brings a new merged tab, once the old link has let go of the port.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(setConnected("R2", true));
    QVERIFY(m_window->allReadersDock());
}

void tst_OVSViewerReaders::patternAnswerReachesTheReader()
{
    startWindow();
    QVERIFY(setConnected("R1", true));
    QVERIFY(setConnected("R2", true));
    emit m_window->packetsPanel()->analyseButton()->released();
    m_simulators[0]->clearRecords();
    m_simulators[1]->clearRecords();

    m_simulators[1]->sendFrame(QByteArray::fromHex("AA55"));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulators[1]->receivedCount(), 1, 10000);
    QCOMPARE(m_simulators[1]->receivedPayloads().at(0), QByteArray::fromHex("BB01"));
    ConnectedReaderTab *tab = m_window->connectedReaderTab(QStringLiteral("R2"));
    QTRY_COMPARE(tab->model()->rowCount(), 2);
    QCOMPARE(tab->model()->packetAt(1).direction, QStringLiteral("Tx"));
    QCOMPARE(m_simulators[0]->receivedCount(), 0);
    const QList<PatternMatchingRule *> &rules = m_window->packetsPanel()->rules();
    QCOMPARE(rules.at(0)->matchCount(QStringLiteral("R2")), 1);
    QCOMPARE(rules.at(0)->matchCount(QStringLiteral("R1")), 0);

    // Analysing off: frames are still shown, but nothing is counted or answered.
    emit m_window->packetsPanel()->analyseButton()->released();
    m_simulators[1]->sendFrame(QByteArray::fromHex("AA56"));
    QTRY_COMPARE(tab->model()->rowCount(), 3);
    QCOMPARE(rules.at(0)->matchCount(QStringLiteral("R2")), 1);
    m_simulators[1]->sendFrame(QByteArray::fromHex("0C0D"));
    QTRY_COMPARE(tab->model()->rowCount(), 4);
    QCOMPARE(m_simulators[1]->receivedCount(), 1);
}

void tst_OVSViewerReaders::clearActsOnTheTabInFront_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("readerTableCleared");
    QTest::addColumn<bool>("mergedTableCleared");
    QTest::addColumn<bool>("countersCleared");

    QTest::newRow("readers") << 0 << "Error: You could not clear the contents of readers table."
                             << false << false << true;
    QTest::newRow("all readers") << 1 << "Data packets table for all readers has been cleared."
                                 << false << true << true;
    QTest::newRow("firmware") << 2 << "" << false << false << false;
    QTest::newRow("reader") << 3 << "Data packets table for reader \"R1\" has been cleared." << true
                            << false << true;
    QTest::newRow("unknown") << 7 << "Error: Unknown tab is selected." << false << false << true;
}

void tst_OVSViewerReaders::clearActsOnTheTabInFront()
{
    QFETCH(int, type);
    QFETCH(QString, message);
    QFETCH(bool, readerTableCleared);
    QFETCH(bool, mergedTableCleared);
    QFETCH(bool, countersCleared);
    startWindow();
    QVERIFY(setConnected("R1", true));
    ConnectedReaderTab *tab = m_window->connectedReaderTab(QStringLiteral("R1"));
    AllReadersTab *merged = m_window->allReadersDock();
    QAbstractItemModelTester tabTester(tab->model());
    QAbstractItemModelTester mergedTester(merged->model());
    emit m_window->packetsPanel()->analyseButton()->released();
    QByteArray frame = QByteArray::fromHex("AA01");
    tab->receivedNewFrame(&frame, 32768);
    PatternMatchingRule *rule = m_window->packetsPanel()->rules().at(0);
    QCOMPARE(rule->matchCount(), 1);

    QDockWidget *inFront = type == 1   ? static_cast<QDockWidget *>(merged)
                           : type == 3 ? static_cast<QDockWidget *>(tab)
                                       : static_cast<QDockWidget *>(m_window->readersDock());
    selectTab(inFront, DockedTabTypes(type));
    const QString before = statusText();
    emit m_window->displayPanel()->clearButton()->released();

    QCOMPARE(tab->model()->rowCount(), readerTableCleared ? 0 : 1);
    QCOMPARE(merged->model()->rowCount(), mergedTableCleared ? 0 : 1);
    QCOMPARE(rule->matchCount(), countersCleared ? 0 : 1);
    if (message.isEmpty())
        QCOMPARE(statusText(), before);
    else
        QVERIFY2(statusText().contains(message), qPrintable(statusText()));
    // The logs keep everything.
    QFile log(merged->logFileName());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count('\n'), 1);
}

void tst_OVSViewerReaders::mergedLogFollowsTheProject()
{
    startWindow();
    QVERIFY(setConnected("R1", true));
    AllReadersTab *merged = m_window->allReadersDock();
    const QString firstLog = merged->logFileName();
    QCOMPARE(firstLog, ControlPanelTracePath::logsPath() + QStringLiteral("AllReaders.log"));
    const QString next = m_folder->path() + QStringLiteral("/next");
    m_window->projectPanel()->setProjectPath(next);
    QCOMPARE(merged->logFileName(), next + QStringLiteral("/Logs/AllReaders.log"));

    ConnectedReaderTab *tab = m_window->connectedReaderTab(QStringLiteral("R1"));
    QByteArray frame = QByteArray::fromHex("0102");
    tab->receivedNewFrame(&frame, 3);
    QFile newLog(merged->logFileName());
    QVERIFY(newLog.open(QIODevice::ReadOnly));
    QVERIFY(newLog.readAll().contains(":R1:Rx:0102:"));
    QFile oldLog(firstLog);
    QVERIFY(!oldLog.exists() || (oldLog.open(QIODevice::ReadOnly) && oldLog.readAll().isEmpty()));
}

OVS_TEST_MAIN(tst_OVSViewerReaders)
#include "tst_OVSViewerReaders.moc"
