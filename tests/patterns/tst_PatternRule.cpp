#include "IsolatedHome.h"
#include "patterns/PatternMatchingRule.h"
#include "patterns/PatternRule.h"

#include <QSignalSpy>
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
    void labelAnswersAndShowsTheTotal();
    void labelAlignsCounts();
};

void tst_PatternRule::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("hasAnswer");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("expression");

    QTest::newRow("left") << "A;LEFT;4;0102"
                          << "A" << int(PatternRule::LEFT) << 4 << "0102" << false << ""
                          << "^.{4}0102.*";
    QTest::newRow("right with answer")
        << "B;RIGHT;2;0A;0B0C"
        << "B" << int(PatternRule::RIGHT) << 2 << "0A" << true << "0B0C"
        << ".*0A.{2}$";
    QTest::newRow("stxt") << "C;STXT;0A.B"
                          << "C" << int(PatternRule::STXT) << 0 << "0A.B" << false << ""
                          << ".*0A.B.*";
    QTest::newRow("empty answer") << "D;STXT;0102;"
                                  << "D" << int(PatternRule::STXT) << 0 << "0102" << true << ""
                                  << ".*0102.*";
    QTest::newRow("fifth field ignored")
        << "E;STXT;0102;0304;extra"
        << "E" << int(PatternRule::STXT) << 0 << "0102" << true << "0304"
        << ".*0102.*";
    QTest::newRow("offset not a number")
        << "F;LEFT;x;01"
        << "F" << int(PatternRule::LEFT) << 0 << "01" << false << ""
        << "^.{0}01.*";
    QTest::newRow("blanks belong to the fields")
        << " G ;STXT; 01"
        << " G " << int(PatternRule::STXT) << 0 << " 01" << false << ""
        << ".* 01.*";
}

void tst_PatternRule::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QFETCH(int, kind);
    QFETCH(int, offset);
    QFETCH(QString, pattern);
    QFETCH(bool, hasAnswer);
    QFETCH(QString, answer);
    QFETCH(QString, expression);

    const PatternRule rule(line);
    QVERIFY(rule.isValid());
    QCOMPARE(rule.name(), name);
    QCOMPARE(int(rule.kind()), kind);
    QCOMPARE(rule.offset(), offset);
    QCOMPARE(rule.pattern(), pattern);
    QCOMPARE(rule.hasAnswer(), hasAnswer);
    QCOMPARE(rule.answer(), answer);
    QCOMPARE(rule.expression(), expression);
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
    QTest::newRow("any non-empty frame") << "A;LEFT;0;."
                                         << "0" << true;
    QTest::newRow("not the empty frame") << "A;LEFT;0;."
                                         << "" << false;
    QTest::newRow("case-sensitive") << "A;STXT;0a"
                                    << "FF0AFF" << false;
    QTest::newRow("alternatives") << "A;LEFT;2;(01|02)"
                                  << "FF02" << true;
    QTest::newRow("character class") << "A;RIGHT;0;[0-9]{2}"
                                     << "AB12" << true;
    QTest::newRow("back-reference") << "A;STXT;(0.)\\1"
                                    << "AA0B0BCC" << true;
    QTest::newRow("invalid expression") << "A;STXT;(01"
                                        << "(01" << false;
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
    PatternMatchingRule label(line);
    QSignalSpy answers(&label, &PatternMatchingRule::answerToMatch);
    QVERIFY(!label.rule().isValid());
    QVERIFY(!label.processFrame(QStringLiteral("R1"), QStringLiteral("0102")));
    QVERIFY(!label.processFrame(QStringLiteral("R1"), QString()));
    QCOMPARE(label.matchCount(), 0);
    QCOMPARE(answers.count(), 0);
}

void tst_PatternRule::countsPerReader()
{
    PatternRule rule(QStringLiteral("A;STXT;01"));
    QVERIFY(rule.matches(QStringLiteral("R1"), QStringLiteral("01")));
    QVERIFY(rule.matches(QStringLiteral("R1"), QStringLiteral("0101")));
    QVERIFY(rule.matches(QStringLiteral("R2"), QStringLiteral("01")));
    QVERIFY(!rule.matches(QStringLiteral("R2"), QStringLiteral("02")));
    QCOMPARE(rule.matchCount(QStringLiteral("R1")), 2);
    QCOMPARE(rule.matchCount(QStringLiteral("R2")), 1);
    QCOMPARE(rule.matchCount(QStringLiteral("R3")), 0);
    QCOMPARE(rule.matchCount(), 3);
    // Reader names are compared exactly.
    QVERIFY(rule.matches(QStringLiteral("r1"), QStringLiteral("01")));
    QCOMPARE(rule.matchCount(QStringLiteral("R1")), 2);
    rule.clearCounters();
    QCOMPARE(rule.matchCount(), 0);
    QVERIFY(rule.matches(QStringLiteral("R1"), QStringLiteral("01")));
    QCOMPARE(rule.matchCount(QStringLiteral("R1")), 1);
    QCOMPARE(rule.matchCount(), 1);
}

void tst_PatternRule::labelAnswersAndShowsTheTotal()
{
    PatternMatchingRule label(QStringLiteral("Hello;STXT;0102;0304"));
    QSignalSpy answers(&label, &PatternMatchingRule::answerToMatch);
    QCOMPARE(label.font().family(), QStringLiteral("Courier"));
    QCOMPARE(label.font().pointSize(), 8);
    QVERIFY(label.text().startsWith(QStringLiteral("Hello:")));
    QVERIFY(label.text().endsWith(QLatin1Char('0')));

    QVERIFY(label.processFrame(QStringLiteral("R1"), QStringLiteral("FF0102")));
    QVERIFY(label.processFrame(QStringLiteral("R2"), QStringLiteral("0102")));
    QVERIFY(!label.processFrame(QStringLiteral("R2"), QStringLiteral("0103")));
    QCOMPARE(answers.count(), 2);
    QCOMPARE(answers.at(0), (QList<QVariant>{QStringLiteral("R1"), QStringLiteral("0304")}));
    QCOMPARE(answers.at(1).at(0).toString(), QStringLiteral("R2"));
    // The label catches up shortly after, not with every frame.
    QVERIFY(label.text().endsWith(QLatin1Char('0')));
    QTRY_VERIFY(label.text().endsWith(QLatin1Char('2')));

    label.processFrame(QStringLiteral("R2"), QStringLiteral("0102"));
    label.clearCounter();
    QVERIFY(label.text().endsWith(QLatin1Char('0')));
    QCOMPARE(label.matchCount(), 0);

    PatternMatchingRule silent(QStringLiteral("Quiet;STXT;0102"));
    QSignalSpy none(&silent, &PatternMatchingRule::answerToMatch);
    QVERIFY(silent.processFrame(QStringLiteral("R1"), QStringLiteral("0102")));
    QCOMPARE(none.count(), 0);

    PatternMatchingRule empty(QStringLiteral("Empty;STXT;0102;"));
    QSignalSpy emptyAnswers(&empty, &PatternMatchingRule::answerToMatch);
    QVERIFY(empty.processFrame(QStringLiteral("R1"), QStringLiteral("0102")));
    QCOMPARE(emptyAnswers.count(), 1);
    QCOMPARE(emptyAnswers.first().at(1).toString(), QString());
}

void tst_PatternRule::labelAlignsCounts()
{
    PatternMatchingRule shortName(QStringLiteral("A;STXT;01"));
    PatternMatchingRule longName(QStringLiteral("Longer name;STXT;01"));
    for (PatternMatchingRule *label : {&shortName, &longName})
        label->resize(200, 20);
    shortName.processFrame(QStringLiteral("R1"), QStringLiteral("01"));
    longName.processFrame(QStringLiteral("R1"), QStringLiteral("01"));
    QTRY_VERIFY(shortName.text().endsWith(QLatin1Char('1')) &&
                longName.text().endsWith(QLatin1Char('1')));
    // Courier is fixed-pitch: equal widths mean the counts stand in one column.
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
