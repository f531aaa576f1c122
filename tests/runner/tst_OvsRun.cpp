#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "SrecordText.h"
#include "TableRow.h"
#include "app/OVSViewer.h"
#include "project/ProjectPaths.h"
#include "session/ConnectedReaderTab.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

// The built ovs-run as a process, against the simulated reader R1 on a pseudo-terminal.
class tst_OvsRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exitCodes_data();
    void exitCodes();
    void scriptAsTheWindowRunsIt();
    void jsonLinesParse();
    void interruptEndsALongWait();
    void upgradesTheReader();
    void discoversGateways_data();
    void discoversGateways();

private:
    struct Outcome
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Outcome run(const QStringList &arguments);
    QString scriptFile(const QString &name, const QByteArray &text) const;
    QByteArrayList traceLog(bool clear) const;

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
};

namespace {

// A script whose messages and log do not depend on the time.
const QByteArray benchScript = "Bench check\n"
                               "01 01 06 ; 1 ; 0\n"
                               "0A 1B 2C ; 2 ; 1\n"
                               "WAIT ; 1\n";

// "HH:mm:ss.z: message" without its stamp.
QStringList statusMessages(const QByteArray &out)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d: "));
    QStringList messages;
    for (const QByteArray &line : out.split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (stamp.match(text).hasMatch())
            messages << text.mid(12);
    }
    return messages;
}

} // namespace

void tst_OvsRun::init()
{
    m_project = std::make_unique<ProjectFolder>();
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsrXXXX")));
    m_simulator->setAnswer(QByteArray::fromHex("0A1B2C"), QByteArray::fromHex("0B1C2D"));
    QFile readers(ProjectPaths::readersFilePath());
    const QByteArray lines = "Serial;R1;" + m_simulator->serialPortName().toLatin1() +
                             ";115200;000000000000;\n"
                             "Serial;R2;/tmp/ovs-no-such-port;115200;000000000000;\n";
    QVERIFY(readers.open(QIODevice::WriteOnly) && readers.write(lines) == lines.size());
}

void tst_OvsRun::cleanup()
{
    resetReaderRegistry();
    m_simulator.reset();
    m_project.reset();
}

tst_OvsRun::Outcome tst_OvsRun::run(const QStringList &arguments)
{
    // The test's own arguments come last, so that they win.
    QProcess process;
    process.start(QStringLiteral(OVS_RUN_PATH),
                  QStringList{"--project", m_project->path()} + arguments);
    Outcome outcome;
    if (!process.waitForFinished(120000))
        return outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

QString tst_OvsRun::scriptFile(const QString &name, const QByteArray &text) const
{
    QFile file(QDir(ProjectPaths::scriptsPath()).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return file.fileName();
}

// The reader's trace log without the time stamps.
QByteArrayList tst_OvsRun::traceLog(bool clear) const
{
    QFile file(ProjectPaths::traceLogPath("R1"));
    QByteArrayList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n'))
            lines << line.mid(line.indexOf("]:") + 2);
    }
    if (clear)
        file.remove();
    return lines;
}

void tst_OvsRun::exitCodes_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("ack");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    addRow("sent", "--reader R1 send 0A1B2C", 0x06, 0, "Result: Sent");
    addRow("not acknowledged", "--reader R1 send 0A1B2C --answer-timeout 0", 0x07, 1, "Result: ");
    addRow("script runs", "--reader R1 script bench.scr", 0x06, 0, "execution finished.");
    addRow("script with an empty name line", "--reader R1 script nameless.scr", 0x06, 1,
           "Missing script name.");
    addRow("listen", "--reader R1 listen --seconds 1", 0x06, 0, "connected successfully.");
    addRow("reader not in the file", "--reader R9 send 0A", 0x06, 2,
           "Error: Reader \"R9\" is not found in the TSL list.");
    addRow("device missing", "--reader R2 send 0A", 0x06, 2, "Error: ");
    addRow("not hexadecimal", "--reader R1 send 0G", 0x06, 3, "");
    addRow("script missing", "--reader R1 script none.scr", 0x06, 3, "does not exist.");
    addRow("firmware file broken", "--reader R1 upgrade broken.srec", 0x06, 3,
           "Error: Invalid firmware data \"broken.srec\".");
    addRow("no such project", "--reader R1 send 0A --project /nonexistent/project", 0x06, 3,
           "Error: Project folder \"/nonexistent/project\" does not exist.");
}

void tst_OvsRun::exitCodes()
{
    QFETCH(QString, arguments);
    QFETCH(int, ack);
    QFETCH(QString, message);
    m_simulator->setAckCode(ack);
    // Relative names are the test's folder: the project's files are given by path.
    arguments.replace("bench.scr", scriptFile("bench.scr", benchScript));
    arguments.replace("nameless.scr", scriptFile("nameless.scr", "\n0A ; 1 ; 0\n"));
    arguments.replace(
        "broken.srec",
        firmwareFile("broken.srec", QByteArray(srecordFile("x")).replace("S0", "S0F")));
    const Outcome outcome = run(arguments.split(' '));
    QTEST(outcome.exitCode, "exitCode");
    QVERIFY2(QString::fromUtf8(outcome.out).contains(message), outcome.out.constData());
}

// The same script through the window's reader tab and through ovs-run: the same messages and
// the same trace log, time stamps aside.
void tst_OvsRun::scriptAsTheWindowRunsIt()
{
    const QString path = scriptFile("bench.scr", benchScript);
    QStringList windowMessages;
    {
        OVSViewer window;
        window.show();
        QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
        QTRY_VERIFY(window.connectedReaderTab("R1"));
        ConnectedReaderTab *tab = window.connectedReaderTab("R1");
        connect(tab, &ConnectedReaderTab::statusMessage, this,
                [&windowMessages](const QString &message) { windowMessages << message; });
        emit tab->startReaderScriptMode("R1", path);
        QTRY_VERIFY_WITH_TIMEOUT(windowMessages.join('\n').contains("execution finished."), 30000);
        resetReaderRegistry();
    }
    QByteArrayList windowLog = traceLog(true);

    const Outcome outcome = run({"--reader", "R1", "script", path});
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(statusMessages(outcome.out),
             QStringList("Reader \"R1\" connected successfully.") + windowMessages);
    // An answer may come before its command's acknowledgement, in either program.
    QByteArrayList runnerLog = traceLog(false);
    std::sort(runnerLog.begin(), runnerLog.end());
    std::sort(windowLog.begin(), windowLog.end());
    QCOMPARE(runnerLog, windowLog);
    QVERIFY(windowLog.size() > 4);
}

void tst_OvsRun::jsonLinesParse()
{
    const QString path = scriptFile("bench.scr", benchScript);
    for (const QStringList &arguments :
         {QStringList{"--json", "--reader", "R1", "send", "0A1B2C"},
          QStringList{"--json", "--trace", "--reader", "R1", "script", path}}) {
        const Outcome outcome = run(arguments);
        QCOMPARE(outcome.exitCode, 0);
        QStringList types;
        for (const QByteArray &line : outcome.out.trimmed().split('\n')) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(),
                     line.constData());
            types << document.object().value("type").toString();
        }
        QVERIFY(types.contains("status") && types.contains("frame"));
    }
}

// A WAIT of a minute, ended by Ctrl+C as the stop button ends it.
void tst_OvsRun::interruptEndsALongWait()
{
    const QString path = scriptFile("wait.scr", "A long wait\nWAIT ; 600\n0A ; 1 ; 0\n");
    QProcess process;
    process.start(QStringLiteral(OVS_RUN_PATH),
                  {"--project", m_project->path(), "--reader", "R1", "script", path});
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("connected"), 30000);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(30000));
    qInfo("ended %lld ms after Ctrl+C", clock.elapsed());
    // Far sooner than the minute of the WAIT.
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY((out + process.readAllStandardOutput())
                .contains("Script file \"" + path.toUtf8() + "\" execution stopped."));
    QVERIFY(!m_simulator->receivedPayloads().contains(QByteArray::fromHex("0A")));
}

void tst_OvsRun::upgradesTheReader()
{
    QByteArray image;
    for (int i = 0; i < 3000; ++i)
        image += QByteArray::number(i * 104729).right(6);
    const QString path = firmwareFile("fw.srec", srecordFile(image));
    const Outcome outcome = run({"--reader", "R1", "upgrade", path});
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(outcome.out.contains("Reader \"R1\" upgrade successful."));
    QCOMPARE(m_simulator->installedFirmwareImage(), image);
    // Not a terminal: plain percentage lines, up to the whole.
    QVERIFY2(outcome.err.contains("\n100 %\n"), outcome.err.constData());
}

void tst_OvsRun::discoversGateways_data()
{
    QTest::addColumn<bool>("answering");
    addRow("a gateway answers", true);
    addRow("nobody answers", false);
}

void tst_OvsRun::discoversGateways()
{
    QFETCH(bool, answering);
    m_simulator->setAddress(QByteArray::fromHex("0A0B0C0D"));
    QVERIFY(m_simulator->startDiscovery(QHostAddress("127.0.0.2")));
    const quint16 port = answering ? m_simulator->discoveryPort() : 9;
    const Outcome outcome =
        run({"discover", "--seconds", "1", "--target", QString("127.0.0.2:%1").arg(port)});
    QCOMPARE(outcome.exitCode, answering ? 0 : 1);
    QCOMPARE(QString::fromUtf8(outcome.out).trimmed(),
             answering ? QString("0a0b0c0d 127.0.0.2 %1").arg(port) : QString());
}

OVS_TEST_MAIN(tst_OvsRun)
#include "tst_OvsRun.moc"
