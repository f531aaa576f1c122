#include "IsolatedHome.h"
#include "TableRow.h"
#include "runner/RunOptions.h"

#include <QtTest>

// The runner's command line, read into options or refused with a message.
class tst_RunOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

// Each row: the arguments after the program name, and what they give: the refusal, or
// command/argument/reader/project/answer time-out/seconds/target:port/json/trace.
void tst_RunOptions::parse_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("expected");
    addRow("send", "--reader R1 send 0a1B", "0/0a1B/R1//1000/-1/:64000/0/0");
    addRow("options anywhere, = form", "send --answer-timeout=0 0A --json --reader=R1 --project /p",
           "0/0A/R1//p/0/-1/:64000/1/0");
    addRow("script", "--trace script a.scr --reader R1", "1/a.scr/R1//1000/-1/:64000/0/1");
    addRow("upgrade", "upgrade fw.srec --reader R1", "2/fw.srec/R1//1000/-1/:64000/0/0");
    addRow("discover, defaults", "discover", "3////1000/20/:64000/0/0");
    addRow("discover, target with port", "discover --seconds 2 --target 127.0.0.2:5000",
           "3////1000/2/127.0.0.2:5000/0/0");
    addRow("listen", "listen --reader R1 --seconds 3", "4//R1//1000/3/:64000/0/0");
    addRow("help wins", "send --help", "help");
    addRow("no command", "--reader R1", "No command given.");
    addRow("unknown command", "--reader R1 flash x", "Unknown command \"flash\".");
    addRow("unknown option", "--reader R1 send 0A --fast", "Unknown option \"--fast\".");
    addRow("value missing", "send 0A --reader", "Option \"--reader\" needs a value.");
    addRow("no reader", "send 0A", "Command \"send\" needs --reader NAME.");
    addRow("two arguments", "--reader R1 send 0A 0B", "Command \"send\" takes one argument.");
    addRow("argument missing", "--reader R1 script", "Command \"script\" takes one argument.");
    addRow("argument to listen", "--reader R1 listen x", "Command \"listen\" takes no argument.");
    addRow("odd digits", "--reader R1 send 0A1",
           "The command must be hexadecimal, two digits per byte.");
    addRow("not hexadecimal", "--reader R1 send 0G",
           "The command must be hexadecimal, two digits per byte.");
    addRow("negative time-out", "--reader R1 send 0A --answer-timeout -1",
           "--answer-timeout takes milliseconds, 0 or more.");
    addRow("zero seconds", "--reader R1 listen --seconds 0",
           "--seconds takes a whole number of seconds, 1 or more.");
    addRow("option of another command", "--reader R1 script a --answer-timeout 5",
           "Option \"--answer-timeout\" does not go with \"script\".");
    addRow("target not an address", "discover --target gateway",
           "--target takes an IP address, and a port after a colon.");
    addRow("target port too large", "discover --target 127.0.0.2:65536",
           "--target takes an IP address, and a port after a colon.");
}

void tst_RunOptions::parse()
{
    QFETCH(QString, arguments);
    const RunOptions::Parsed parsed =
        RunOptions::parse(QStringList("ovs-run") + arguments.split(' ', Qt::SkipEmptyParts));
    const RunOptions &o = parsed.options;
    const QString read = QStringLiteral("%1/%2/%3/%4/%5/%6/%7:%8/%9")
                             .arg(o.command)
                             .arg(o.argument, o.reader, o.project)
                             .arg(o.answerTimeoutMs)
                             .arg(o.seconds)
                             .arg(o.target)
                             .arg(o.targetPort)
                             .arg(QStringLiteral("%1/%2").arg(o.json).arg(o.trace));
    QTEST(parsed.help ? QString("help") : parsed.error.isEmpty() ? read : parsed.error, "expected");
    QVERIFY(RunOptions::usage().contains("Exit codes"));
}

OVS_CORE_TEST_MAIN(tst_RunOptions)
#include "tst_RunOptions.moc"
