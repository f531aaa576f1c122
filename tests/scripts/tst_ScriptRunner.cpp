#include "IsolatedHome.h"
#include "LogEntries.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "TableRow.h"
#include "common/DeviceClock.h"
#include "project/ProjectPaths.h"
#include "scripts/ScriptRunner.h"
#include "session/DataSender.h"
#include "session/ReaderSession.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QWaitCondition>
#include <QtTest>

#include <memory>

namespace {

const QString finishSignal = QStringLiteral("<finished>");

} // namespace

// Scripts run by a reader's session against the simulated reader.
class tst_ScriptRunner : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void runs_data();
    void runs();
    void stopsAtOnce_data();
    void stopsAtOnce();
    void clockPlaceholder();
    void loopCountersBelongToTheRun();
    void garbageFileEndsTheRun();
    void answerBeforeTheWaitCounts();
    void demoScriptsFinish_data();
    void demoScriptsFinish();

private:
    QString writeScript(const QByteArray &text);
    void start(const QString &path) { emit m_session->startReaderScriptMode("R1", path); }
    QStringList sent() const
    {
        QStringList frames;
        for (const QByteArray &payload : m_simulator->receivedPayloads())
            frames << QString::fromLatin1(payload.toHex().toUpper());
        return frames;
    }
    // The run's last message follows the finish signal.
    bool ended() const
    {
        const int finish = m_messages.indexOf(finishSignal);
        return finish >= 0 && finish == m_messages.size() - 2;
    }

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<ReaderSession> m_session;
    QStringList m_messages;
};

void tst_ScriptRunner::init()
{
    m_project = std::make_unique<ProjectFolder>();
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovssXXXX")));
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    m_simulator->clearRecords();
    m_session = std::make_unique<ReaderSession>(QStringLiteral("R1"), nullptr, nullptr);
    m_messages.clear();
    connect(m_session.get(), &ReaderSession::statusMessage, this,
            [this](const QString &message) { m_messages << message; });
    connect(m_session.get(), &ReaderSession::readerScriptExecutionFinished, this,
            [this] { m_messages << finishSignal; });
}

void tst_ScriptRunner::cleanup()
{
    m_session.reset();
    resetReaderRegistry();
    m_simulator.reset();
    m_project.reset();
}

QString tst_ScriptRunner::writeScript(const QByteArray &text)
{
    QFile file(ProjectPaths::scriptsPath() + QStringLiteral("test.scr"));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return file.fileName();
}

// Messages name the script as "%1"; the finish signal shows as finishSignal.
void tst_ScriptRunner::runs_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("answering");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("minimumGapMs");

    const QString finished = "Script file \"%1\" execution finished.";
    const auto executed = [](int line, int sent, int count, int delay) {
        return QString("Command on line %1 executed %2 out of %3 with delay %4 ms.")
            .arg(line)
            .arg(sent)
            .arg(count)
            .arg(delay);
    };
    addRow("repeats at their pace", QByteArray("Repeat\n0102;3;5\n"), true,
           QStringList{"0102", "0102", "0102"},
           QStringList{executed(2, 1, 3, 500), executed(2, 2, 3, 500), executed(2, 3, 3, 500),
                       finishSignal, finished},
           450);
    // Behind a zero byte a line's text ends, with either Qt.
    addRow("a zero byte ends the line", QByteArray("Z\n0102;1;1\0;9;9\n", 16), true,
           QStringList{"0102"}, QStringList{executed(2, 1, 1, 100), finishSignal, finished}, 0);
    addRow("answer awaited", QByteArray("Ask\r\n0102;1;0\r\n03;1;1\r\n"), true,
           QStringList{"0102", "03"},
           QStringList{executed(2, 1, 1, 0), executed(3, 1, 1, 100), finishSignal, finished}, 0);
    addRow("no answer: the next frame line times out", QByteArray("Ask\n0102;1;0\n03;1;1\n"), false,
           QStringList{"0102"},
           QStringList{executed(2, 1, 1, 0), finishSignal,
                       "Script file \"%1\" execution stopped. Command response timed out."},
           0);
    addRow("loop runs its block three times", QByteArray("Loop\rA:\r0102;1;1\rLOOP;A;2\r"), true,
           QStringList{"0102", "0102", "0102"},
           QStringList{executed(3, 1, 1, 100), executed(3, 1, 1, 100), executed(3, 1, 1, 100),
                       finishSignal, finished},
           0);
    addRow("an inner loop jumps in the first pass only",
           QByteArray("Nested\nA:\nB:\n01;1;1\nLOOP;B;1\nLOOP;A;1\n"), true,
           QStringList{"01", "01", "01"},
           QStringList{executed(4, 1, 1, 100), executed(4, 1, 1, 100), executed(4, 1, 1, 100),
                       finishSignal, finished},
           0);
    addRow("WAIT pauses", QByteArray("Wait\n01;1;0\nWAIT;10\n02;1;0\n"), true,
           QStringList{"01", "02"},
           QStringList{executed(2, 1, 1, 0), executed(4, 1, 1, 0), finishSignal, finished}, 900);
    addRow("comments, empty lines and negative counts",
           QByteArray("C\n// 01;1;1\n\n0102;-2;1\n03;1;1\n"), true, QStringList{"03"},
           QStringList{executed(5, 1, 1, 100), finishSignal, finished}, 0);
    addRow("missing name", QByteArray("\n0102;1;1\n"), true, QStringList(),
           QStringList{finishSignal,
                       "Error: Syntax error in script file \"%1\". Missing script name."},
           0);
    addRow("label defined twice", QByteArray("L\nA:\n0102;1;1\nA:\n"), true, QStringList(),
           QStringList{finishSignal,
                       "Error: Label name in script \"%1\" on line 4 is already defined."},
           0);
    addRow("unknown loop label, reached late", QByteArray("L\n01;1;1\nLOOP;X;1\n"), true,
           QStringList{"01"},
           QStringList{executed(2, 1, 1, 100), finishSignal,
                       "Error: Loop label in script \"%1\" on line 3 is not defined."},
           0);
    addRow("four fields", QByteArray("P\n0102;1;1;9\n"), true, QStringList(),
           QStringList{finishSignal, "Error: Parsing error in script \"%1\" on line: 2."}, 0);
    addRow("loop without a count", QByteArray("P\nA:\nLOOP;A\n"), true, QStringList(),
           QStringList{finishSignal, "Error: Parsing error in script \"%1\" on line: 3."}, 0);
    addRow("count 0", QByteArray("R\n0102;0;1\n"), true, QStringList(),
           QStringList{finishSignal,
                       "Error: Repeat time parameter in script \"%1\" on line 2 is wrong."},
           0);
    addRow("clock offset out of range", QByteArray("R\n01;1;1\n\"RTC+15\";1;1\n"), true,
           QStringList{"01"},
           QStringList{executed(2, 1, 1, 100), finishSignal,
                       "Error: RTC offset parameter in script \"%1\" on line 3 is wrong."},
           0);
}

void tst_ScriptRunner::runs()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, answering);
    QFETCH(QStringList, frames);
    QFETCH(QStringList, messages);
    QFETCH(int, minimumGapMs);
    if (answering) {
        for (const char *request : {"0102", "01", "02", "03"})
            m_simulator->setAnswer(QByteArray::fromHex(request), QByteArray::fromHex("81AA55"));
    }
    const QString path = writeScript(script);
    start(path);
    QTRY_VERIFY_WITH_TIMEOUT(ended(), 20000);
    for (QString &message : messages)
        message.replace("%1", path);
    QCOMPARE(m_messages, messages);
    QCOMPARE(sent(), frames);
    const QList<qint64> times = m_simulator->receivedTimesMs();
    for (int i = 1; i < times.size(); ++i)
        QVERIFY2(times.at(i) - times.at(i - 1) >= minimumGapMs, qPrintable(QString::number(i)));
}

// The stop comes after the first frame line's message; nothing is sent after it.
void tst_ScriptRunner::stopsAtOnce_data()
{
    QTest::addColumn<QByteArray>("script");
    addRow("a long WAIT", QByteArray("S\n01;1;1\nWAIT;1000000000\n"));
    // Without an immediate stop the answer wait would end, and the WAIT with it, and the run
    // would finish instead.
    addRow("an answer wait", QByteArray("S\n01;1;0\nWAIT;1000000000\n"));
    addRow("a loop that sends nothing", QByteArray("S\n01;1;1\nA:\nLOOP;A;1000000000\n"));
}

void tst_ScriptRunner::stopsAtOnce()
{
    QFETCH(QByteArray, script);
    const QString path = writeScript(script);
    start(path);
    QTRY_COMPARE(m_messages.size(), 1);
    m_session->requestScriptStop();
    QTRY_VERIFY(ended());
    QCOMPARE(m_messages.last(), QString("Script file \"%1\" execution stopped.").arg(path));
    QCOMPARE(sent(), QStringList{"01"});
    QVERIFY(!m_session->dataSender()->stopRequested);
}

void tst_ScriptRunner::clockPlaceholder()
{
    const QDateTime before = DeviceClock::systemNow();
    start(writeScript("Clock\n01 \"RTC + 3\" ;1;1\n02RTC+3;1;1\n"));
    QTRY_VERIFY(ended());
    const QDateTime after = DeviceClock::systemNow();
    const QStringList frames = sent();
    QCOMPARE(frames.size(), 2);
    const QString value = frames.at(0).mid(2);
    QVERIFY2(value >= DeviceClock::rtcValue(3 * 3600, before) &&
                 value <= DeviceClock::rtcValue(3 * 3600, after),
             qPrintable(value));
    // Without its quotes the token is left as written.
    QCOMPARE(logEntries(m_session->logFileName()).value(1), QString("R1:Tx:02RTC+3::0"));
}

void tst_ScriptRunner::loopCountersBelongToTheRun()
{
    const QString path = writeScript("L\nA:\n01;1;1\nLOOP;A;1\n");
    for (int run = 1; run <= 2; ++run) {
        start(path);
        QTRY_COMPARE(m_messages.count(finishSignal), run);
    }
    QTRY_COMPARE(sent().size(), 4);
}

void tst_ScriptRunner::garbageFileEndsTheRun()
{
    QByteArray garbage(3 << 20, '\0');
    QRandomGenerator random(11);
    for (char &byte : garbage)
        byte = char(random.generate());
    start(writeScript("Garbage\n" + garbage));
    QTRY_VERIFY_WITH_TIMEOUT(ended(), 60000);
    QCOMPARE(m_messages.count(finishSignal), 1);
}

// The answer may beat the engine to its wait; here it always does, as the send delivers it.
void tst_ScriptRunner::answerBeforeTheWaitCounts()
{
    QMutex workMutex;
    QWaitCondition stopCondition;
    QWaitCondition answerCondition;
    int commandDelayMs = 0;
    bool stopRequested = false;
    bool answerReceived = false;
    QStringList reports;
    ScriptRunner runner(
        {&workMutex, &stopCondition, &answerCondition, &commandDelayMs, &stopRequested,
         &answerReceived},
        [&](const QString &) {
            QMutexLocker lock(&workMutex);
            answerReceived = commandDelayMs == 0;
            answerCondition.wakeAll();
        },
        [&](const QString &message) { reports << message; });
    const QString path = writeScript("A\n01;3;0\n02;1;0\n");
    QCOMPARE(runner.run(path), QString("Script file \"%1\" execution finished.").arg(path));
    QCOMPARE(reports.size(), 4);
}

// The demo's scripts against a reader answering as the demo's simulator does.
void tst_ScriptRunner::demoScriptsFinish_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("frames");
    addRow("loop", QString("ping_loop.scr"), 11);
    addRow("answers", QString("ask_and_wait.scr"), 4);
}

void tst_ScriptRunner::demoScriptsFinish()
{
    QFETCH(QString, script);
    QFETCH(int, frames);
    m_simulator->setAnswer(QByteArray::fromHex("0A1B2C"), QByteArray::fromHex("8A1B2C00"));
    const QString path = QStringLiteral(OVS_SOURCE_DIR "/scripts/demo/Scripts/") + script;
    start(path);
    QTRY_VERIFY_WITH_TIMEOUT(ended(), 20000);
    QCOMPARE(m_messages.last(), QString("Script file \"%1\" execution finished.").arg(path));
    QCOMPARE(sent().size(), frames);
}

OVS_CORE_TEST_MAIN(tst_ScriptRunner)
#include "tst_ScriptRunner.moc"
