#include "IsolatedHome.h"
#include "ReaderSimulator.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString readerName = QStringLiteral("Victim");
constexpr int floodCount = 20000;
constexpr int floodRate = 2000;
constexpr int reportsBeforeKill = 300;
constexpr int startTimeoutMs = 30000;
constexpr int floodTimeoutMs = 60000;

// A received frame with analysing off: no rule, count 0.
const QRegularExpression logLineFormat(
    QStringLiteral("^\\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \\d{4}-\\d\\d-\\d\\d "
                   "\\d\\d:\\d\\d:\\d\\d:\\d{3}\\]:Victim:Rx:((?:[0-9A-F]{2})*)::0\r\n$"));
const QRegularExpression reportFormat(QStringLiteral("^(?:[0-9A-F]{2})+$"));

// A log as the killed host left it.
struct KilledLog
{
    // The frame of every complete line in the format, in file order.
    QStringList frames;
    // Complete lines in another format.
    QStringList malformed;
    // What follows the last CR LF: a line the kill cut short, if anything.
    QByteArray tail;
};

KilledLog readKilledLog(const QString &fileName)
{
    KilledLog log;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return log;
    const QByteArray bytes = file.readAll();
    int start = 0;
    for (int end = bytes.indexOf("\r\n", start); end >= 0; end = bytes.indexOf("\r\n", start)) {
        const QString line = QString::fromUtf8(bytes.mid(start, end + 2 - start));
        const QRegularExpressionMatch match = logLineFormat.match(line);
        if (match.hasMatch())
            log.frames << match.captured(2);
        else
            log.malformed << line;
        start = end + 2;
    }
    log.tail = bytes.mid(start);
    return log;
}

} // namespace

class tst_LogSurvivesKill : public QObject
{
    Q_OBJECT

private slots:
    void shownFramesAreLoggedWhenKilled();
};

void tst_LogSurvivesKill::shownFramesAreLoggedWhenKilled()
{
    ReaderSimulator simulator;
    QVERIFY(simulator.startSerial(QStringLiteral("/tmp/ovskXXXX")));
    QTemporaryDir hostHome;
    QTemporaryDir project;
    QVERIFY(hostHome.isValid() && project.isValid());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), hostHome.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), hostHome.path() + "/.config");
    environment.insert(QStringLiteral("XDG_DATA_HOME"), hostHome.path() + "/.local/share");
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), hostHome.path() + "/.cache");
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Link traces would go to the standard output that carries the reports.
    environment.insert(QStringLiteral("OVS_LINK_TRACE"), QStringLiteral("0"));
    QProcess host;
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(OVS_TAB_HOST),
               {project.path(), simulator.serialPortName(), readerName});
    QVERIFY2(host.waitForStarted(startTimeoutMs), qPrintable(host.errorString()));

    // The host's complete output lines, as they come; a line cut short waits in pending.
    QList<QByteArray> lines;
    QByteArray pending;
    const auto takeOutput = [&] {
        pending += host.readAllStandardOutput();
        for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            lines << pending.left(end);
            pending.remove(0, end + 1);
        }
    };
    connect(&host, &QProcess::readyReadStandardOutput, this, takeOutput);
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("ready") || host.state() != QProcess::Running,
                             startTimeoutMs);
    const int readyLine = lines.indexOf("ready");
    QVERIFY2(readyLine >= 0, host.readAllStandardError().constData());

    simulator.startUnsolicited(floodCount, floodRate, QByteArray::fromHex("5AA5"));
    QTRY_VERIFY_WITH_TIMEOUT(lines.size() - readyLine - 1 >= reportsBeforeKill ||
                                 host.state() != QProcess::Running,
                             floodTimeoutMs);
    const int sentAtKill = simulator.unsolicitedSent();
    host.kill();
    QVERIFY(host.waitForFinished(startTimeoutMs));
    takeOutput();
    QCOMPARE(host.exitStatus(), QProcess::CrashExit);
    QVERIFY2(lines.size() - readyLine - 1 >= reportsBeforeKill, "too few frames before the kill");
    QVERIFY2(sentAtKill < floodCount, "the flood was over before the kill");

    const QList<QByteArray> reported = lines.mid(readyLine + 1);
    for (const QByteArray &line : reported)
        QVERIFY2(reportFormat.match(QString::fromLatin1(line)).hasMatch(), line.constData());

    const QString logs = project.path() + QStringLiteral("/Logs/");
    for (const QString &name :
         {QStringLiteral("trace_Victim.log"), QStringLiteral("AllReaders.log")}) {
        const KilledLog log = readKilledLog(logs + name);
        QVERIFY2(log.malformed.isEmpty(),
                 qPrintable(name + QStringLiteral(": malformed line ") + log.malformed.value(0)));
        // A kill in the middle of writing may leave the start of a line, never anything else;
        // its frame was not reported, or the check below finds it missing.
        if (!log.tail.isEmpty()) {
            const QRegularExpressionMatch partial = logLineFormat.match(
                QString::fromUtf8(log.tail), 0, QRegularExpression::PartialPreferCompleteMatch);
            QVERIFY2(partial.hasPartialMatch(),
                     qPrintable(name + QStringLiteral(": broken last line ") +
                                QString::fromUtf8(log.tail)));
        }

        const QSet<QString> logged(log.frames.cbegin(), log.frames.cend());
        int missing = 0;
        QString firstMissing;
        for (const QByteArray &frame : reported) {
            if (!logged.contains(QString::fromLatin1(frame))) {
                if (missing++ == 0)
                    firstMissing = QString::fromLatin1(frame);
            }
        }
        QVERIFY2(missing == 0, qPrintable(QStringLiteral("%1: %2 of %3 shown frames not logged, "
                                                         "the first %4")
                                              .arg(name)
                                              .arg(missing)
                                              .arg(reported.size())
                                              .arg(firstMissing)));
        // Frames go one at a time, logged before they are reported: at most the one in hand
        // when the kill came is logged without a report.
        QVERIFY2(log.frames.size() <= reported.size() + 1,
                 qPrintable(QStringLiteral("%1: %2 lines for %3 reported frames")
                                .arg(name)
                                .arg(log.frames.size())
                                .arg(reported.size())));
        qInfo("%s: %d frames reported, %d logged, %s", qPrintable(name), int(reported.size()),
              int(log.frames.size()),
              log.tail.isEmpty() ? "no partial line" : "a partial last line");
    }
}

OVS_TEST_MAIN(tst_LogSurvivesKill)
#include "tst_LogSurvivesKill.moc"
