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
    void messageColor_data();
    void messageColor();
};

void tst_StatusLine::timeText_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("whole second") << QTime(14, 3, 27, 0) << "14:03:27.0";
    QTest::newRow(".049 rounds down") << QTime(14, 3, 27, 49) << "14:03:27.0";
    QTest::newRow(".050 rounds up") << QTime(14, 3, 27, 50) << "14:03:27.1";
    QTest::newRow(".349") << QTime(14, 3, 27, 349) << "14:03:27.3";
    QTest::newRow(".350") << QTime(14, 3, 27, 350) << "14:03:27.4";
    QTest::newRow(".949 stays in the second") << QTime(14, 3, 27, 949) << "14:03:27.9";
    QTest::newRow(".950 carries") << QTime(14, 3, 27, 950) << "14:03:28.0";
    QTest::newRow(".970 carries") << QTime(14, 3, 27, 970) << "14:03:28.0";
    QTest::newRow("59.950 carries into the minute") << QTime(12, 0, 59, 950) << "12:01:00.0";
    QTest::newRow("59.970 carries into the minute") << QTime(12, 0, 59, 970) << "12:01:00.0";
    QTest::newRow("carry into the hour") << QTime(12, 59, 59, 999) << "13:00:00.0";
    QTest::newRow("carry past midnight") << QTime(23, 59, 59, 960) << "00:00:00.0";
}

void tst_StatusLine::timeText()
{
    QFETCH(QTime, time);
    QFETCH(QString, expected);
    QCOMPARE(StatusLine::timeText(time), expected);
}

void tst_StatusLine::messageColor_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("color");

    QTest::newRow("failure") << "Error: Reader \"A\" is not connected."
                             << "#ff0000";
    QTest::newRow("failure inside the text") << "Upgrade: Error: timeout"
                                             << "#ff0000";
    QTest::newRow("lower-case error") << "error: nothing serious"
                                      << "#008000";
    QTest::newRow("no space after the colon") << "Error:x"
                                              << "#008000";
    QTest::newRow("success") << "Reader \"A\" connected successfully."
                             << "#008000";
    QTest::newRow("empty") << ""
                           << "#008000";
}

void tst_StatusLine::messageColor()
{
    QFETCH(QString, message);
    QFETCH(QString, color);
    QCOMPARE(StatusLine::messageColor(message).name(), color);
}

OVS_CORE_TEST_MAIN(tst_StatusLine)
#include "tst_StatusLine.moc"
