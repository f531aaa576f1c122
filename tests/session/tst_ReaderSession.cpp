#include "IsolatedHome.h"
#include "LogEntries.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "common/DockedTabTypes.h"
#include "project/ProjectPaths.h"
#include "session/DataSender.h"
#include "session/PacketSink.h"
#include "session/ReaderSession.h"

#include <QDir>
#include <QMutexLocker>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

// The merged table and log as a program without a window would keep them.
class MergedSink : public PacketSink
{
public:
    MergedSink() { log.open(ProjectPaths::mergedLogPath()); }

    void addPacketToTable(readerPacket_t &dataPacket) override { statuses << dataPacket.status; }
    void addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                            const PacketLogFile::MatchList &matchList) override
    {
        log.writePacket(dataPacket, dateTime, matchList);
    }

    QStringList statuses;
    PacketLogFile log;
};

} // namespace

class tst_ReaderSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sendsAndLogs_data();
    void sendsAndLogs();
    void firmwareFramesAreTakenAside_data();
    void firmwareFramesAreTakenAside();
    void readerMissingFromRegistry();
    void unwritableLogsFolder();
    void scriptWaitsAreWoken();

private:
    ReaderSession *openSession(const QByteArray &name);
    QStringList traceLog() const
    {
        return logEntries(ProjectPaths::logsPath() + QStringLiteral("trace_R1.log"));
    }

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<MergedSink> m_merged;
    std::unique_ptr<ReaderSession> m_session;
    QStringList m_shown;
};

void tst_ReaderSession::init()
{
    m_project = std::make_unique<ProjectFolder>();
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsrXXXX")));
    m_merged = std::make_unique<MergedSink>();
    m_shown.clear();
}

void tst_ReaderSession::cleanup()
{
    m_session.reset();
    m_merged.reset();
    resetReaderRegistry();
    m_simulator.reset();
    m_project.reset();
}

ReaderSession *tst_ReaderSession::openSession(const QByteArray &name)
{
    m_session = std::make_unique<ReaderSession>(QString::fromLatin1(name), m_merged.get(), nullptr);
    connect(m_session.get(), &ReaderSession::packetToDisplay, this,
            [this](readerPacket_t &packet) { m_shown << packet.status; });
    return m_session.get();
}

void tst_ReaderSession::sendsAndLogs_data()
{
    QTest::addColumn<int>("tabType");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("reader tab") << int(TAB_CONNECTED_READER) << QStringList{"In progress", "Sent"};
    // The upgrade's traffic would swamp the tables; the logs keep it.
    QTest::newRow("firmware dock") << int(TAB_FIRMWARE_UPGRADE) << QStringList();
}

void tst_ReaderSession::sendsAndLogs()
{
    QFETCH(int, tabType);
    QFETCH(QStringList, shown);
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    m_simulator->clearRecords();
    emit openSession("R1")->sendDataToReader(QStringLiteral("R1"), QStringLiteral("0A0B"), tabType);

    QTRY_COMPARE(traceLog(), QStringList{"R1:Tx:0A0B::0"});
    QCOMPARE(logEntries(m_merged->log.fileName()), QStringList{"R1:Tx:0A0B::0"});
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{QByteArray::fromHex("0A0B")});
    QCOMPARE(m_shown, shown);
    QCOMPARE(m_merged->statuses, shown);
}

// Frames are given as "hex@session"; the filters as primary, secondary, the awaited session and
// leading codes.
void tst_ReaderSession::firmwareFramesAreTakenAside_data()
{
    QTest::addColumn<QString>("primary");
    QTest::addColumn<QString>("secondary");
    QTest::addColumn<bool>("clearOnMatch");
    QTest::addColumn<int>("awaitedSession");
    QTest::addColumn<QStringList>("leadingCodes");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QStringList>("takenAside");
    QTest::addColumn<QStringList>("logged");

    const QStringList twice{"0A1B2C3D@40", "0A1B2C3D@41"};
    QTest::newRow("primary, cleared on its match")
        << "1b2c"
        << "" << true << -1 << QStringList() << twice << QStringList{"0A1B2C3D"}
        << QStringList{"R1:Rx:0A1B2C3D::0"};
    QTest::newRow("primary, kept") << "1b2c"
                                   << "" << false << -1 << QStringList() << twice
                                   << QStringList{"0A1B2C3D", "0A1B2C3D"} << QStringList();
    QTest::newRow("secondary") << ""
                               << "FF" << false << -1 << QStringList()
                               << QStringList{"00FF@1", "0001@2"} << QStringList{"00FF"}
                               << QStringList{"R1:Rx:0001::0"};
    QTest::newRow("awaited session, once")
        << ""
        << "" << false << 77 << QStringList() << QStringList{"AA@76", "BB@77", "CC@77"}
        << QStringList{"BB"} << QStringList{"R1:Rx:AA::0", "R1:Rx:CC::0"};
    QTest::newRow("leading codes, kept, and only at the start")
        << ""
        << "" << true << -1 << QStringList{"010A", "0103"}
        << QStringList{"010A0924@1", "6B010A@2", "010301@3", "010A00@4"}
        << QStringList{"010A0924", "010301", "010A00"} << QStringList{"R1:Rx:6B010A::0"};
}

void tst_ReaderSession::firmwareFramesAreTakenAside()
{
    QFETCH(QString, primary);
    QFETCH(QString, secondary);
    QFETCH(bool, clearOnMatch);
    QFETCH(int, awaitedSession);
    QFETCH(QStringList, leadingCodes);
    QFETCH(QStringList, frames);
    QFETCH(QStringList, takenAside);
    QFETCH(QStringList, logged);
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    ReaderSession *session = openSession("R1");
    QSignalSpy updates(session, &ReaderSession::receivedUpdateFrame);
    session->setUpdateFilterPrimary(primary);
    session->setUpdateFilterSecondary(secondary);
    session->setClearFiltersOnMatch(clearOnMatch);
    session->setUpdateLeadingCodes(leadingCodes);
    if (awaitedSession >= 0)
        session->setCmdSessionNum(awaitedSession);

    for (const QString &frame : frames) {
        QByteArray bytes = QByteArray::fromHex(frame.section(QLatin1Char('@'), 0, 0).toLatin1());
        session->receivedNewFrame(&bytes, frame.section(QLatin1Char('@'), 1).toInt());
        QVERIFY(bytes.isEmpty());
    }
    QStringList taken;
    for (const QList<QVariant> &update : updates)
        taken << update.at(0).toString();
    QCOMPARE(taken, takenAside);
    QCOMPARE(traceLog(), logged);
    QCOMPARE(m_shown.size(), logged.size());
}

void tst_ReaderSession::readerMissingFromRegistry()
{
    ReaderSession *session = openSession("Ghost");
    QSignalSpy messages(session, &ReaderSession::statusMessage);
    QTRY_COMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(),
             QStringLiteral("Error: Reader \"Ghost\" is not found in the TSL list."));
    QVERIFY(!session->dataSender());
    emit session->sendDataToReader(session->readerName(), QStringLiteral("0A"),
                                   TAB_CONNECTED_READER);
    session->requestScriptStop();
    QByteArray frame = QByteArray::fromHex("0A");
    session->receivedNewFrame(&frame, 1);
    QCOMPARE(logEntries(session->logFileName()), QStringList{"Ghost:Rx:0A::0"});
}

void tst_ReaderSession::unwritableLogsFolder()
{
    m_merged.reset();
    QVERIFY(QDir(ProjectPaths::logsPath()).removeRecursively());
    QFile blocker(ProjectPaths::projectPath() + QStringLiteral("/Logs"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_merged = std::make_unique<MergedSink>();
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    ReaderSession *session = openSession("R1");
    emit session->sendDataToReader(session->readerName(), QStringLiteral("0A"),
                                   TAB_CONNECTED_READER);
    QByteArray frame = QByteArray::fromHex("0B");
    session->receivedNewFrame(&frame, 3);
    QTRY_COMPARE(m_shown, QStringList({"Received", "In progress", "Sent"}));
    QCOMPARE(m_merged->statuses, m_shown);
}

// A script waits in the sender's thread for an answer or for a stop; the session must wake it.
void tst_ReaderSession::scriptWaitsAreWoken()
{
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    ReaderSession *session = openSession("R1");
    DataSender *sender = session->dataSender();
    for (QWaitCondition *condition : {&sender->answerCondition, &sender->stopCondition}) {
        std::atomic<bool> holding{false};
        std::atomic<bool> woken{false};
        std::unique_ptr<QThread> script(QThread::create([&] {
            QMutexLocker lock(&sender->workMutex);
            holding = true;
            woken = condition->wait(&sender->workMutex, 20000);
        }));
        script->start();
        QTRY_VERIFY(holding);
        if (condition == &sender->answerCondition) {
            QByteArray frame = QByteArray::fromHex("0A0B");
            session->receivedNewFrame(&frame, 8);
        } else {
            session->requestScriptStop();
        }
        QVERIFY(script->wait(30000));
        QVERIFY(woken);
    }
    QMutexLocker lock(&sender->workMutex);
    QVERIFY(sender->stopRequested);
}

OVS_CORE_TEST_MAIN(tst_ReaderSession)
#include "tst_ReaderSession.moc"
