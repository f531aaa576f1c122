#include "IsolatedHome.h"
#include "TableRow.h"
#include "common/DeviceClock.h"

#include <QtTest>

namespace {

QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
}

} // namespace

class tst_DeviceClock : public QObject
{
    Q_OBJECT

private slots:
    void rtcValue_data();
    void rtcValue();
    void placeholders_data();
    void placeholders();
    void valueFollowsTheSystemClock();
};

// Expected values worked out by hand from the seconds since 2010-01-01 00:00:00 UTC.
void tst_DeviceClock::rtcValue_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("value");
    QTest::newRow("one minute after the epoch") << utc(2010, 1, 1, 0, 1) << qint64(0) << "0000003C";
    QTest::newRow("2020") << utc(2020, 1, 1) << qint64(0) << "12CEA600";
    QTest::newRow("an hour later") << utc(2020, 1, 1) << qint64(3600) << "12CEB410";
    QTest::newRow("twelve hours earlier") << utc(2020, 1, 1) << qint64(-43200) << "12CDFD40";
    // A local time is the same instant as its UTC time.
    QTest::newRow("given as local time")
        << utc(2020, 1, 1).toOffsetFromUtc(5 * 3600) << qint64(0) << "12CEA600";
    QTest::newRow("more than 8 digits") << utc(2200, 1, 1) << qint64(0) << "16560DE00";
    QTest::newRow("before the epoch") << utc(2010, 1, 1, 0, 1) << qint64(-3600) << "00000000";
}

void tst_DeviceClock::rtcValue()
{
    QFETCH(QDateTime, now);
    QFETCH(qint64, offset);
    QFETCH(QString, value);
    QCOMPARE(DeviceClock::rtcValue(offset, now), value);
}

// At 2020-01-01 00:00:00 UTC: "RTC" is 12CEA600, +1 hour 12CEB410, -12 12CDFD40, +14 12CF6AE0.
void tst_DeviceClock::placeholders_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expanded");
    QTest::addColumn<bool>("valid");
    addRow("in a frame", "0102\"RTC+1\"03;1;0", "010212CEB41003;1;0", true);
    addRow("no offset", "\"RTC\"", "12CEA600", true);
    addRow("two tokens", "\"RTC\"\"RTC+01\"", "12CEA60012CEB410", true);
    addRow("lowest offset", "\"RTC-12\"", "12CDFD40", true);
    addRow("highest offset", "\"RTC+14\"", "12CF6AE0", true);
    addRow("too far ahead, still replaced", "\"RTC+15\"", "12CF78F0", false);
    addRow("too far back", "\"RTC-13\";\"RTC\"", "12CDEF30;12CEA600", false);
    addRow("without quotes", "RTC+3", "RTC+3", true);
    addRow("three digits", "\"RTC+123\"", "\"RTC+123\"", true);
    addRow("sign without digits", "\"RTC+\"", "\"RTC+\"", true);
    addRow("lower case", "\"rtc\"", "\"rtc\"", true);
    addRow("quotes left around a value", "\"\"RTC\"\"", "\"12CEA600\"", true);
}

void tst_DeviceClock::placeholders()
{
    QFETCH(QString, line);
    QFETCH(QString, expanded);
    QFETCH(bool, valid);
    bool offsetsValid = !valid;
    QCOMPARE(DeviceClock::expandPlaceholders(line, utc(2020, 1, 1), &offsetsValid), expanded);
    QCOMPARE(offsetsValid, valid);
}

void tst_DeviceClock::valueFollowsTheSystemClock()
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QString value = DeviceClock::rtcValue(0);
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QVERIFY(value >= DeviceClock::rtcValue(0, before) && value <= DeviceClock::rtcValue(0, after));
}

OVS_CORE_TEST_MAIN(tst_DeviceClock)
#include "tst_DeviceClock.moc"
