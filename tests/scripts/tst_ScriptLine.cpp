#include "IsolatedHome.h"
#include "TableRow.h"
#include "scripts/ScriptLine.h"

#include <QtTest>

using ScriptLine::Kind;
Q_DECLARE_METATYPE(ScriptLine::Kind)

class tst_ScriptLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void labels_data();
    void labels();
    void numbers_data();
    void numbers();
};

void tst_ScriptLine::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("fields");
    const auto row = [](const char *name, const char *line, Kind kind, const QStringList &fields) {
        QTest::newRow(name) << QString(line) << kind << fields;
    };
    row("frame with blanks", " 0A 1B ; 3 ; 10 ", Kind::Frame, {"0A1B", "3", "10"});
    row("tabs and a carriage return", "\t0A\t1B;1;0\r", Kind::Frame, {"0A1B", "1", "0"});
    row("empty fields kept", "0102;;", Kind::Frame, {"0102", "", ""});
    row("loop", "LOOP ; A ; 2", Kind::Loop, {"LOOP", "A", "2"});
    row("wait", "WAIT;10", Kind::Wait, {"WAIT", "10"});
    row("wait ignores a third field", "WAIT;10;x", Kind::Wait, {"WAIT", "10", "x"});
    row("keywords are case-sensitive", "wait;10", Kind::ParsingError, {"wait", "10"});
    row("loop without a count", "LOOP;A", Kind::ParsingError, {"LOOP", "A"});
    row("frame without a delay", "0102;1", Kind::ParsingError, {"0102", "1"});
    row("four fields", "0102;1;1;9", Kind::ParsingError, {"0102", "1", "1", "9"});
    row("wait with four fields", "WAIT;1;2;3", Kind::ParsingError, {"WAIT", "1", "2", "3"});
    row("empty", "", Kind::Skipped, {});
    row("blanks only", " \t ", Kind::Skipped, {});
    row("comment", " // 0102;1;0", Kind::Skipped, {});
    row("label", "A:", Kind::Skipped, {"A:"});
    row("plain text", "hello world", Kind::Skipped, {"helloworld"});
}

void tst_ScriptLine::parse()
{
    QFETCH(QString, line);
    QFETCH(Kind, kind);
    QFETCH(QStringList, fields);
    const ScriptLine::Command command = ScriptLine::parse(ScriptLine::normalised(line));
    QCOMPARE(command.kind, kind);
    QCOMPARE(command.fields, fields);
}

void tst_ScriptLine::labels_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("label");
    addRow("letters", "Start:", "Start");
    addRow("letters and digits", "loop2b:", "loop2b");
    // Tested on the line as written: no blank, no underscore, nothing after the colon.
    addRow("leading blank", " A:", "");
    addRow("trailing blank", "A: ", "");
    addRow("line end after the colon", "A:\n", "");
    addRow("blank inside", "a b:", "");
    addRow("underscore", "my_label:", "");
    addRow("no name", ":", "");
    addRow("two colons", "A::", "");
    addRow("a command", "0102;1;0", "");
}

void tst_ScriptLine::labels()
{
    QFETCH(QString, line);
    QFETCH(QString, label);
    QCOMPARE(ScriptLine::labelOf(line), label);
}

void tst_ScriptLine::numbers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "10" << 10;
    QTest::newRow("negative") << "-2" << -2;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("digits then text") << "5x" << 0;
    QTest::newRow("hexadecimal is not read") << "0x10" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("beyond an int") << "99999999999" << 0;
}

void tst_ScriptLine::numbers()
{
    QFETCH(QString, field);
    QFETCH(int, value);
    QCOMPARE(ScriptLine::number(field), value);
}

OVS_CORE_TEST_MAIN(tst_ScriptLine)
#include "tst_ScriptLine.moc"
