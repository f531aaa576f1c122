#include "IsolatedHome.h"
#include "session/PacketText.h"

#include <QtTest>

#include <ctime>
#include <memory>

class tst_PacketText : public QObject
{
    Q_OBJECT

private slots:
    void sendResultOutsideTheTable();
    void directFormsMatchTheLocaleForms_data();
    void directFormsMatchTheLocaleForms();
    void localNowIsTheLocalTime();
};

void tst_PacketText::sendResultOutsideTheTable()
{
    for (int code : {-1, 9, 1000})
        QCOMPARE(PacketText::sendResultStatus(code), PacketText::error);
}

void tst_PacketText::directFormsMatchTheLocaleForms_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QString>("display");
    const QDate friday(2026, 12, 4);
    QTest::newRow("friday") << QDateTime(friday, QTime(10, 28, 5, 123)) << "10:28:05.1";
    QTest::newRow("midnight") << QDateTime(friday, QTime(0, 0, 0, 0)) << "00:00:00.0";
    QTest::newRow("rounded up") << QDateTime(friday, QTime(9, 5, 7, 950)) << "09:05:08.0";
    QTest::newRow("past midnight") << QDateTime(friday, QTime(23, 59, 59, 960)) << "00:00:00.0";
    QTest::newRow("sunday") << QDateTime(QDate(2027, 1, 3), QTime(7, 8, 9, 1)) << "07:08:09.0";
    QTest::newRow("year 999") << QDateTime(QDate(999, 5, 6), QTime(1, 2, 3, 4)) << "01:02:03.0";
    QTest::newRow("offset from UTC")
        << QDateTime(friday, QTime(22, 30, 0, 500), Qt::OffsetFromUTC, 3600) << "22:30:00.5";
}

// The fast forms must say exactly what the locale's formatting and the parsing round trip say.
void tst_PacketText::directFormsMatchTheLocaleForms()
{
    QFETCH(QDateTime, dateTime);
    const QString localeStamp =
        QLocale(QLocale::English, QLocale::UnitedStates)
            .toString(dateTime, QStringLiteral("ddd yyyy-MM-dd HH:mm:ss:zzz"));
    QCOMPARE(PacketText::stamp(dateTime), localeStamp);
    QTEST(PacketText::toDisplayTime(localeStamp), "display");
    QTEST(PacketText::displayTime(dateTime), "display");
}

void tst_PacketText::localNowIsTheLocalTime()
{
    // Five hours behind UTC, written out so that no time-zone database is needed.
    const QByteArray previousZone = qgetenv("TZ");
    qputenv("TZ", "XST5");
    tzset();
    // A thread of its own starts without a remembered offset.
    qint64 before = 0, after = 0;
    QDateTime now;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        before = QDateTime::currentMSecsSinceEpoch();
        now = PacketText::localNow();
        after = QDateTime::currentMSecsSinceEpoch();
    }));
    thread->start();
    QVERIFY(thread->wait(10000));
    if (previousZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previousZone);
    tzset();
    QCOMPARE(now.offsetFromUtc(), -5 * 3600);
    QVERIFY(before <= now.toMSecsSinceEpoch() && now.toMSecsSinceEpoch() <= after);
}

OVS_CORE_TEST_MAIN(tst_PacketText)
#include "tst_PacketText.moc"
