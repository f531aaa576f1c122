#include "IsolatedHome.h"
#include "TableRow.h"
#include "patterns/PatternRule.h"

#include <QtTest>

class tst_PatternRule : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void match_data();
    void match();
};

// The parsed fields as "name|kind|offset|pattern|answer|expression", answer "-" when absent.
void tst_PatternRule::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("parsed");
    addRow("left", "A;LEFT;4;0102", "A|0|4|0102|-|^.{4}0102.*");
    addRow("right with answer", "B;RIGHT;2;0A;0B0C", "B|1|2|0A|0B0C|.*0A.{2}$");
    addRow("stxt", "C;STXT;0A.B", "C|2|0|0A.B|-|.*0A.B.*");
    addRow("empty answer", "D;STXT;0102;", "D|2|0|0102||.*0102.*");
    addRow("fifth field ignored", "E;STXT;0102;0304;extra", "E|2|0|0102|0304|.*0102.*");
    addRow("offset not a number", "F;LEFT;x;01", "F|0|0|01|-|^.{0}01.*");
    addRow("blanks belong to the fields", " G ;STXT; 01", " G |2|0| 01|-|.* 01.*");
}

void tst_PatternRule::parse()
{
    QFETCH(QString, line);
    const PatternRule rule(line);
    QVERIFY(rule.isValid());
    QTEST(QStringLiteral("%1|%2|%3|%4|%5|%6")
              .arg(rule.name())
              .arg(int(rule.kind()))
              .arg(rule.offset())
              .arg(rule.pattern(), rule.hasAnswer() ? rule.answer() : QStringLiteral("-"),
                   rule.expression()),
          "parsed");
}

// 1: the frame matches, 0: it does not, -1: the rule is malformed and never matches.
void tst_PatternRule::match_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<int>("expected");
    addRow("left at its offset", "A;LEFT;4;0102", "XXXX0102FFFF", 1);
    addRow("left one short", "A;LEFT;4;0102", "XXX0102FFFFF", 0);
    addRow("left at the end", "A;LEFT;0;0102", "0102", 1);
    addRow("right at its offset", "A;RIGHT;4;0102", "FFFF0102XXXX", 1);
    addRow("right one short", "A;RIGHT;4;0102", "FFFF0102XXX", 0);
    addRow("left beyond the frame", "A;LEFT;10;01", "0102", 0);
    addRow("right beyond the frame", "A;RIGHT;3;0102", "0102", 0);
    addRow("right at the end", "A;RIGHT;0;0102", "FF0102", 1);
    addRow("right not at the end", "A;RIGHT;0;0102", "0102FF", 0);
    addRow("text at the start", "A;STXT;0102", "0102FF", 1);
    addRow("text missing", "A;STXT;0103", "0102FF", 0);
    addRow("case-sensitive", "A;STXT;0a", "FF0AFF", 0);
    addRow("any character", "A;LEFT;0;01.3", "01F3", 1);
    addRow("back-reference", "A;STXT;(0.)\\1", "AA0B0BCC", 1);
    addRow("two fields", "A;STXT", "0102", -1);
    addRow("left without pattern", "A;LEFT;4", "0102", -1);
    addRow("unknown keyword", "A;MIDDLE;0102", "0102", -1);
    addRow("lower-case keyword", "A;stxt;0102", "0102", -1);
    addRow("invalid expression", "A;STXT;(01", "(01", -1);
    addRow("trailing backslash", "A;STXT;02\\", "02\\", -1);
    addRow("pattern closing its group", "A;STXT;0102)|(.*", "0102", -1);
    // Qt reads a back-reference's number without bounds: this one wraps below zero and
    // passes as valid.
    addRow("back-reference beyond any number", "A;RIGHT;0;\\2147483648", "0102", -1);
    addRow("back-reference to a missing group", "A;LEFT;0;(01)\\2", "0101", -1);
}

void tst_PatternRule::match()
{
    QFETCH(QString, line);
    QFETCH(QString, frame);
    QFETCH(int, expected);
    PatternRule rule(line);
    QCOMPARE(rule.isValid(), expected >= 0);
    // Plain patterns are matched without the expression; both must agree.
    if (expected >= 0)
        QCOMPARE(QRegExp(rule.expression()).exactMatch(frame), expected == 1);
    QCOMPARE(rule.matches(QStringLiteral("R1"), frame), expected == 1);
    QCOMPARE(rule.matchCount(QStringLiteral("R1")), expected == 1 ? 1 : 0);
}

OVS_TEST_MAIN(tst_PatternRule)
#include "tst_PatternRule.moc"
