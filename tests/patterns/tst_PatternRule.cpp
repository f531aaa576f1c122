#include "IsolatedHome.h"
#include "patterns/PatternMatchingRule.h"
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
    void malformedRulesNeverMatch_data();
    void malformedRulesNeverMatch();
    void countsPerReader();
    void labelShowsTheTotalShortlyAfter();
    void labelAlignsCounts();
};

// The parsed fields as "name|kind|offset|pattern|answer|expression", answer "-" when absent.
void tst_PatternRule::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("parsed");
    QTest::newRow("left") << "A;LEFT;4;0102"
                          << "A|0|4|0102|-|^.{4}0102.*";
    QTest::newRow("right with answer") << "B;RIGHT;2;0A;0B0C"
                                       << "B|1|2|0A|0B0C|.*0A.{2}$";
    QTest::newRow("stxt") << "C;STXT;0A.B"
                          << "C|2|0|0A.B|-|.*0A.B.*";
    QTest::newRow("empty answer") << "D;STXT;0102;"
                                  << "D|2|0|0102||.*0102.*";
    QTest::newRow("fifth field ignored") << "E;STXT;0102;0304;extra"
                                         << "E|2|0|0102|0304|.*0102.*";
    QTest::newRow("offset not a number") << "F;LEFT;x;01"
                                         << "F|0|0|01|-|^.{0}01.*";
    QTest::newRow("blanks belong to the fields") << " G ;STXT; 01"
                                                 << " G |2|0| 01|-|.* 01.*";
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

void tst_PatternRule::match_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<bool>("matches");
    QTest::newRow("left at its offset") << "A;LEFT;4;0102"
                                        << "XXXX0102FFFF" << true;
    QTest::newRow("left one short") << "A;LEFT;4;0102"
                                    << "XXX0102FFFFF" << false;
    QTest::newRow("left at the end") << "A;LEFT;0;0102"
                                     << "0102" << true;
    QTest::newRow("right at its offset") << "A;RIGHT;4;0102"
                                         << "FFFF0102XXXX" << true;
    QTest::newRow("right one short") << "A;RIGHT;4;0102"
                                     << "FFFF0102XXX" << false;
    QTest::newRow("stxt any character") << "A;STXT;0A.B"
                                        << "FF0A7BFF" << true;
    QTest::newRow("stxt needs the character") << "A;STXT;0A.B"
                                              << "FF0ABFF" << false;
    QTest::newRow("not the empty frame") << "A;LEFT;0;."
                                         << "" << false;
    QTest::newRow("case-sensitive") << "A;STXT;0a"
                                    << "FF0AFF" << false;
    QTest::newRow("alternatives") << "A;LEFT;2;(01|02)"
                                  << "FF02" << true;
    QTest::newRow("back-reference") << "A;STXT;(0.)\\1"
                                    << "AA0B0BCC" << true;
}

void tst_PatternRule::match()
{
    QFETCH(QString, line);
    QFETCH(QString, frame);
    QFETCH(bool, matches);
    PatternRule rule(line);
    QCOMPARE(rule.matches(QStringLiteral("R1"), frame), matches);
    QCOMPARE(rule.matchCount(QStringLiteral("R1")), matches ? 1 : 0);
}

void tst_PatternRule::malformedRulesNeverMatch_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("two fields") << "A;STXT";
    QTest::newRow("left without pattern") << "A;LEFT;4";
    QTest::newRow("unknown keyword") << "A;MIDDLE;0102";
    QTest::newRow("lower-case keyword") << "A;stxt;0102";
    QTest::newRow("empty line") << "";
    QTest::newRow("invalid expression") << "A;STXT;(01";
    QTest::newRow("trailing backslash") << "A;STXT;02\\";
    QTest::newRow("pattern closing its group") << "A;STXT;0102)|(.*";
    // Qt reads a back-reference's number without bounds: this one wraps below zero and
    // passes as valid.
    QTest::newRow("back-reference beyond any number") << "A;RIGHT;0;\\2147483648";
    QTest::newRow("back-reference to a missing group") << "A;LEFT;0;(01)\\2";
}

void tst_PatternRule::malformedRulesNeverMatch()
{
    QFETCH(QString, line);
    PatternRule rule(line);
    QVERIFY(!rule.isValid());
    for (const QString &frame : {QStringLiteral("0102"), QString()})
        QVERIFY(!rule.matches(QStringLiteral("R1"), frame));
    QCOMPARE(rule.matchCount(), 0);
}

void tst_PatternRule::countsPerReader()
{
    PatternRule rule(QStringLiteral("A;STXT;01"));
    for (const char *reader : {"R1", "R1", "R2", "r1"})
        QVERIFY(rule.matches(QString::fromLatin1(reader), QStringLiteral("0101")));
    QVERIFY(!rule.matches(QStringLiteral("R2"), QStringLiteral("02")));
    // Reader names are compared exactly.
    QCOMPARE(rule.matchCount(QStringLiteral("R1")), 2);
    QCOMPARE(rule.matchCount(QStringLiteral("R2")), 1);
    QCOMPARE(rule.matchCount(QStringLiteral("R3")), 0);
    QCOMPARE(rule.matchCount(), 4);
    rule.clearCounters();
    QCOMPARE(rule.matchCount(), 0);
    QVERIFY(rule.matches(QStringLiteral("R1"), QStringLiteral("01")));
    QCOMPARE(rule.matchCount(QStringLiteral("R1")), 1);
}

void tst_PatternRule::labelShowsTheTotalShortlyAfter()
{
    PatternMatchingRule label(QStringLiteral("Hello;STXT;0102;0304"));
    QVERIFY(label.text().startsWith(QStringLiteral("Hello:")));
    QVERIFY(label.text().endsWith(QLatin1Char('0')));
    QVERIFY(label.processFrame(QStringLiteral("R1"), QStringLiteral("FF0102")));
    QVERIFY(label.processFrame(QStringLiteral("R2"), QStringLiteral("0102")));
    // Not with every frame.
    QVERIFY(label.text().endsWith(QLatin1Char('0')));
    QTRY_VERIFY(label.text().endsWith(QLatin1Char('2')));
    label.processFrame(QStringLiteral("R2"), QStringLiteral("0102"));
    label.clearCounter();
    QVERIFY(label.text().endsWith(QLatin1Char('0')));
}

void tst_PatternRule::labelAlignsCounts()
{
    PatternMatchingRule shortName(QStringLiteral("A;STXT;01"));
    PatternMatchingRule longName(QStringLiteral("Longer name;STXT;01"));
    for (PatternMatchingRule *label : {&shortName, &longName}) {
        label->resize(200, 20);
        label->processFrame(QStringLiteral("R1"), QStringLiteral("01"));
    }
    QTRY_VERIFY(shortName.text().endsWith(QLatin1Char('1')) &&
                longName.text().endsWith(QLatin1Char('1')));
    // Fixed-pitch: equal widths mean the counts stand in one column.
    const QFontMetrics metrics(shortName.font());
    QCOMPARE(metrics.horizontalAdvance(shortName.text()),
             metrics.horizontalAdvance(longName.text()));
    QVERIFY(shortName.text().contains(QStringLiteral("A:  ")));
    // Too narrow for the column: no blanks at all.
    shortName.resize(10, 20);
    shortName.processFrame(QStringLiteral("R1"), QStringLiteral("01"));
    QTRY_COMPARE(shortName.text(), QStringLiteral("A:2"));
}

OVS_TEST_MAIN(tst_PatternRule)
#include "tst_PatternRule.moc"
