#include "IsolatedHome.h"
#include "common/StatusLine.h"

#include <QColor>
#include <QTime>
#include <QtTest>

class tst_StatusLine : public QObject
{
    Q_OBJECT

private slots:
    void timeText_data();
    void timeText();
    void messageColor();
};

void tst_StatusLine::timeText_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow(".049 rounds down") << QTime(14, 3, 27, 49) << "14:03:27.0";
    QTest::newRow(".050 rounds up") << QTime(14, 3, 27, 50) << "14:03:27.1";
    QTest::newRow(".949 stays in the second") << QTime(14, 3, 27, 949) << "14:03:27.9";
    QTest::newRow(".950 carries") << QTime(14, 3, 27, 950) << "14:03:28.0";
    QTest::newRow("carry past midnight") << QTime(23, 59, 59, 960) << "00:00:00.0";
}

void tst_StatusLine::timeText()
{
    QFETCH(QTime, time);
    QFETCH(QString, expected);
    QCOMPARE(StatusLine::timeText(time), expected);
}

// Only a message with "Error: " in it, in that case, shows as a failure.
void tst_StatusLine::messageColor()
{
    const QColor failure = StatusLine::messageColor(QStringLiteral("Error: Reader \"A\" is lost."));
    QCOMPARE(StatusLine::messageColor(QStringLiteral("Upgrade: Error: timeout")), failure);
    for (const char *success : {"Reader \"A\" connected.", "error: lower case", "Error:x", ""})
        QVERIFY2(StatusLine::messageColor(QLatin1String(success)) != failure, success);
}

OVS_CORE_TEST_MAIN(tst_StatusLine)
#include "tst_StatusLine.moc"
