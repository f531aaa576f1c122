#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "app/OVSViewer.h"
#include "patterns/ControlPanelPackets.h"
#include "patterns/PatternMatchingRule.h"
#include "project/ControlPanelTracePath.h"
#include "project/ProjectPaths.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "scripts/ControlPanelScripts.h"
#include "session/AllReadersTab.h"
#include "session/AllReadersTabModel.h"
#include "session/ConnectedReaderModel.h"
#include "session/ConnectedReaderTab.h"
#include "session/ControlPanelDisplay.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QPushButton>
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
    void scriptsFollowTheirReader();

private:
    bool setConnected(const char *name, bool connected)
    {
        t_Reader *reader = nullptr;
        return ReadersList::instance()->findReader(&reader, name) &&
               ReadersList::instance()->setReaderState(reader, connected ? STATE_CONNECTED
                                                                         : STATE_DISCONNECTED) == 1;
    }
    void selectTab(QDockWidget *dock, DockedTabTypes type)
    {
        QVERIFY(QMetaObject::invokeMethod(m_window.get(), "setCurrentSelectedTab",
                                          Q_ARG(QDockWidget *, dock), Q_ARG(DockedTabTypes, type)));
    }
    QString statusText() const { return m_window->findChild<QLabel *>("statusLabel")->text(); }
    ConnectedReaderTab *tabOf(const char *name) const { return m_window->connectedReaderTab(name); }

    std::unique_ptr<ProjectFolder> m_project;
    std::array<std::unique_ptr<ReaderSimulator>, 2> m_simulators;
    std::unique_ptr<OVSViewer> m_window;
};

// Two serial readers, R1 and R2, a rule that answers AA... frames with BB01 and one that
// answers CC... frames with the script "Pinged".
void tst_OVSViewerReaders::init()
{
    m_project = std::make_unique<ProjectFolder>();
    const QString project = m_project->path();
    QFile readers(project + QStringLiteral("/readers_list.txt"));
    QVERIFY(readers.open(QIODevice::WriteOnly));
    for (int i = 0; i < 2; ++i) {
        m_simulators[i] = std::make_unique<ReaderSimulator>();
        QVERIFY(m_simulators[i]->startSerial(QStringLiteral("/tmp/ovswXXXX")));
        readers.write("Serial;R" + QByteArray::number(i + 1) + ";" +
                      m_simulators[i]->serialPortName().toLatin1() + ";115200;000000000000;\n");
    }
    readers.close();
    QFile patterns(project + QStringLiteral("/frame_recognize_pattern.txt"));
    QVERIFY(patterns.open(QIODevice::WriteOnly));
    patterns.write("Ping;LEFT;0;AA;BB01\nAny;STXT;.*\nRun;LEFT;0;CC;Pinged\n");
    patterns.close();
    m_window = std::make_unique<OVSViewer>();
    m_window->show();
}

void tst_OVSViewerReaders::cleanup()
{
    m_window.reset();
    resetReaderRegistry();
    for (auto &simulator : m_simulators)
        simulator.reset();
    m_project.reset();
}

void tst_OVSViewerReaders::tabsFollowConnections()
{
    QVERIFY(!m_window->allReadersDock());
    QVERIFY(setConnected("R1", true));
    AllReadersTab *merged = m_window->allReadersDock();
    ConnectedReaderTab *first = tabOf("R1");
    QVERIFY(merged && first);
    QCOMPARE(first->windowTitle(), QStringLiteral("R1"));
    const QList<QDockWidget *> tabs = m_window->tabifiedDockWidgets(m_window->readersDock());
    QVERIFY(tabs.contains(first) && tabs.contains(merged));

    QVERIFY(setConnected("R2", true));
    QCOMPARE(m_window->allReadersDock(), merged);
    QVERIFY(tabOf("R2"));

    // A second report for a connected reader replaces its tab; nothing acts on the old one.
    const QPointer<ConnectedReaderTab> replaced = first;
    selectTab(first, TAB_CONNECTED_READER);
    emit ReadersList::instance()->connectedToReader(QStringLiteral("R1"), QStringLiteral("0A"));
    QVERIFY(!replaced && tabOf("R1"));
    QCOMPARE(m_window->currentDock(), static_cast<QDockWidget *>(m_window->readersDock()));
    QCOMPARE(m_window->currentDockType(), TAB_READERS);

    QVERIFY(setConnected("R1", false));
    QVERIFY(!tabOf("R1"));
    QCOMPARE(m_window->allReadersDock(), merged);

    QVERIFY(setConnected("R2", false));
    QVERIFY(!m_window->allReadersDock());
    QVERIFY(m_window->findChildren<ConnectedReaderTab *>().isEmpty() &&
            m_window->findChildren<AllReadersTab *>().isEmpty());
}

void tst_OVSViewerReaders::patternAnswerReachesTheReader()
{
    QVERIFY(setConnected("R1", true));
    QVERIFY(setConnected("R2", true));
    emit m_window->packetsPanel()->analyseButton()->released();
    for (auto &simulator : m_simulators)
        simulator->clearRecords();

    m_simulators[1]->sendFrame(QByteArray::fromHex("AA55"));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulators[1]->receivedPayloads(),
                              QList<QByteArray>{QByteArray::fromHex("BB01")}, 10000);
    ConnectedReaderTab *tab = tabOf("R2");
    QTRY_COMPARE(tab->model()->rowCount(), 2);
    QCOMPARE(tab->model()->packetAt(1).direction, QStringLiteral("Tx"));
    QCOMPARE(m_simulators[0]->receivedCount(), 0);
    PatternMatchingRule *rule = m_window->packetsPanel()->rules().at(0);
    QCOMPARE(rule->matchCount(QStringLiteral("R2")), 1);
    QCOMPARE(rule->matchCount(QStringLiteral("R1")), 0);

    // Analysing off: frames are still shown, but nothing is counted or answered.
    emit m_window->packetsPanel()->analyseButton()->released();
    m_simulators[1]->sendFrame(QByteArray::fromHex("AA56"));
    QTRY_COMPARE(tab->model()->rowCount(), 3);
    QCOMPARE(rule->matchCount(QStringLiteral("R2")), 1);
    m_simulators[1]->sendFrame(QByteArray::fromHex("0C0D"));
    QTRY_COMPARE(tab->model()->rowCount(), 4);
    QCOMPARE(m_simulators[1]->receivedCount(), 1);

    // The next project has no rules, and the merged log moves into it.
    AllReadersTab *merged = m_window->allReadersDock();
    const QString firstLog = merged->logFileName();
    const QString next = m_project->path() + QStringLiteral("/next");
    m_window->projectPanel()->setProjectPath(next);
    QVERIFY(m_window->packetsPanel()->rules().isEmpty());
    QCOMPARE(merged->logFileName(),
             ControlPanelTracePath::logsPath() + QFileInfo(firstLog).fileName());
    QVERIFY(merged->logFileName().startsWith(next + QLatin1Char('/')));
    QByteArray frame = QByteArray::fromHex("0102");
    tabOf("R1")->receivedNewFrame(&frame, 3);
    QFile newLog(merged->logFileName());
    QVERIFY(newLog.open(QIODevice::ReadOnly) && newLog.readAll().contains(":R1:Rx:0102:"));
    QFile oldLog(firstLog);
    QVERIFY(!oldLog.exists() ||
            (oldLog.open(QIODevice::ReadOnly) && !oldLog.readAll().contains(":R1:Rx:0102:")));
}

void tst_OVSViewerReaders::clearActsOnTheTabInFront_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("cleared");
    QTest::newRow("readers, which refuses") << int(TAB_READERS) << "counters";
    QTest::newRow("all readers") << int(TAB_ALL_READERS) << "merged counters";
    QTest::newRow("reader") << int(TAB_CONNECTED_READER) << "reader counters";
}

void tst_OVSViewerReaders::clearActsOnTheTabInFront()
{
    QFETCH(int, type);
    QFETCH(QString, cleared);
    QVERIFY(setConnected("R1", true));
    ConnectedReaderTab *tab = tabOf("R1");
    AllReadersTab *merged = m_window->allReadersDock();
    QAbstractItemModelTester tabTester(tab->model());
    QAbstractItemModelTester mergedTester(merged->model());
    emit m_window->packetsPanel()->analyseButton()->released();
    QByteArray frame = QByteArray::fromHex("AA01");
    tab->receivedNewFrame(&frame, 32768);
    tab->model()->publishPendingRows();
    merged->model()->publishPendingRows();
    PatternMatchingRule *rule = m_window->packetsPanel()->rules().at(0);
    QCOMPARE(rule->matchCount(), 1);

    const QList<QDockWidget *> docks{m_window->readersDock(), merged, nullptr, tab};
    selectTab(docks.at(type), DockedTabTypes(type));
    emit m_window->displayPanel()->clearButton()->released();
    QCOMPARE(tab->model()->rowCount(), cleared.contains(QStringLiteral("reader")) ? 0 : 1);
    QCOMPARE(merged->model()->rowCount(), cleared.contains(QStringLiteral("merged")) ? 0 : 1);
    QCOMPARE(rule->matchCount(), cleared.contains(QStringLiteral("counters")) ? 0 : 1);
    // The logs keep everything.
    QFile log(merged->logFileName());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count('\n'), 1);
    QTRY_VERIFY(statusText().contains(QStringLiteral("clear")));
    QCOMPARE(statusText().contains(QStringLiteral("Error:")), type == TAB_READERS);
}

void tst_OVSViewerReaders::scriptsFollowTheirReader()
{
    for (const QByteArray &script :
         {QByteArray("Pinged\n0A0B;1;1\n"), QByteArray("Long\nWAIT;1000000000\n")}) {
        QFile file(ProjectPaths::scriptsPath() + script.left(4) + QStringLiteral(".scr"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(script) == script.size());
    }
    ControlPanelScripts *scripts = m_window->scriptsPanel();
    scripts->loadScriptsFromProject();
    QVERIFY(setConnected("R1", true));
    QVERIFY(setConnected("R2", true));
    emit m_window->packetsPanel()->analyseButton()->released();
    for (auto &simulator : m_simulators)
        simulator->clearRecords();

    // The answer names a script: the script runs on the reader whose frame matched instead.
    m_simulators[1]->sendFrame(QByteArray::fromHex("CC01"));
    QTRY_COMPARE_WITH_TIMEOUT(m_simulators[1]->receivedPayloads(),
                              QList<QByteArray>{QByteArray::fromHex("0A0B")}, 10000);
    QCOMPARE(m_simulators[0]->receivedCount(), 0);
    QTRY_VERIFY(statusText().contains("Ping.scr\" execution finished."));

    // A reader that goes away stops its script, and the section lets go of it.
    selectTab(tabOf("R1"), TAB_CONNECTED_READER);
    scripts->scriptList()->setCurrentIndex(scripts->scriptList()->findText("Long"));
    scripts->scriptButtonClicked_btnGen();
    QVERIFY(tabOf("R1")->isScriptRunning());
    QSignalSpy messages(scripts, &ControlPanelScripts::statusMessage);
    QVERIFY(setConnected("R1", false));
    QVERIFY(scripts->runningReaderName().isEmpty());
    QCOMPARE(messages.count(), 0);
    QCOMPARE(scripts->runButton()->icon().cacheKey(), scripts->runIcon().cacheKey());
    QTRY_VERIFY2(statusText().contains("R1\" disconnected"), qPrintable(statusText()));
}

OVS_TEST_MAIN(tst_OVSViewerReaders)
#include "tst_OVSViewerReaders.moc"
