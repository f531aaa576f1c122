#include "IsolatedHome.h"
#include "session/PacketText.h"
#include "session/readerPacket_t.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QThread>
#include <QtTest>

#include <ctime>
#include <memory>

// Emits a packet from another thread, as the data sender does.
class PacketSource : public QObject
{
    Q_OBJECT

signals:
    void messageSent(readerPacket_t packet);
};

class tst_PacketText : public QObject
{
    Q_OBJECT

private slots:
    void sendResultStatus_data();
    void sendResultStatus();
    void toDisplayTime_data();
    void toDisplayTime();
    void stampRoundTrip();
    void directFormsMatchTheTextForms_data();
    void directFormsMatchTheTextForms();
    void localNowIsTheLocalTime();
    void spaceHexPairs_data();
    void spaceHexPairs();
    void bytesToHexText_data();
    void bytesToHexText();
    void rowColor_data();
    void rowColor();
    void packetCrossesThreads();
};

void tst_PacketText::sendResultStatus_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("status");

    const QStringList table{"Payload too long",
                            "Payload too short",
                            "NAK",
                            "Session number error",
                            "Sent",
                            "Buffered",
                            "Rejected",
                            "Sent",
                            "Error"};
    for (int code = 0; code < table.size(); ++code)
        QTest::addRow("code %d", code) << code << table.at(code);
    QTest::newRow("negative") << -1 << "Error";
    QTest::newRow("just past the table") << 9 << "Error";
    QTest::newRow("far past the table") << 1000 << "Error";
}

void tst_PacketText::sendResultStatus()
{
    QFETCH(int, code);
    QFETCH(QString, status);
    QCOMPARE(PacketText::sendResultStatus(code), status);
}

void tst_PacketText::toDisplayTime_data()
{
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<QString>("display");

    QTest::newRow(".949") << "Mon 2026-12-07 12:00:00:949"
                          << "12:00:00.9";
    QTest::newRow(".950 carries") << "Mon 2026-12-07 12:00:00:950"
                                  << "12:00:01.0";
    QTest::newRow("carry into the minute") << "Mon 2026-12-07 12:00:59:970"
                                           << "12:01:00.0";
    QTest::newRow("carry past midnight") << "Mon 2026-12-07 23:59:59:950"
                                         << "00:00:00.0";
    QTest::newRow("round down") << "Sun 2026-12-06 08:05:03:049"
                                << "08:05:03.0";
    QTest::newRow("round up") << "Sun 2026-12-06 08:05:03:050"
                              << "08:05:03.1";
    QTest::newRow("not a stamp") << "xyz"
                                 << "x";
    QTest::newRow("day name of another language") << "lun. 2026-12-07 12:00:00:949"
                                                  << "lun. 2026-12-07 12:00:00:9";
}

void tst_PacketText::toDisplayTime()
{
    QFETCH(QString, stamp);
    QFETCH(QString, display);
    QCOMPARE(PacketText::toDisplayTime(stamp), display);
}

void tst_PacketText::stampRoundTrip()
{
    const QDateTime moment(QDate(2026, 12, 9), QTime(17, 45, 12, 349));
    const QString stamp = PacketText::stamp(moment);
    QCOMPARE(stamp, QStringLiteral("Wed 2026-12-09 17:45:12:349"));
    QCOMPARE(PacketText::toDisplayTime(stamp), QStringLiteral("17:45:12.3"));
}

void tst_PacketText::spaceHexPairs_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("spaced");

    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("one pair") << "0A"
                              << "0A";
    QTest::newRow("two pairs, no trailing blank") << "ABCD"
                                                  << "AB CD";
    QTest::newRow("three pairs") << "0A1B2C"
                                 << "0A 1B 2C";
    QTest::newRow("odd length") << "0A1"
                                << "0A 1";
    QTest::newRow("one character") << "A"
                                   << "A";
}

void tst_PacketText::spaceHexPairs()
{
    QFETCH(QString, command);
    QFETCH(QString, spaced);
    QCOMPARE(PacketText::spaceHexPairs(command), spaced);
}

void tst_PacketText::bytesToHexText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << " "
                           << "";
    QTest::newRow("separator after every byte") << QByteArray::fromHex("0a1b") << " "
                                                << "0A 1B ";
    QTest::newRow("leading zero") << QByteArray::fromHex("05") << " "
                                  << "05 ";
    QTest::newRow("no separator") << QByteArray::fromHex("ff00") << ""
                                  << "FF00";
    QTest::newRow("longer separator") << QByteArray::fromHex("c0de") << ", "
                                      << "C0, DE, ";
}

void tst_PacketText::bytesToHexText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, separator);
    QFETCH(QString, text);
    QCOMPARE(PacketText::bytesToHexText(bytes, separator), text);
}

void tst_PacketText::rowColor_data()
{
    QTest::addColumn<int>("session");
    QTest::addColumn<QColor>("color");

    QTest::newRow("0") << 0 << QColor(232, 251, 249);
    QTest::newRow("1") << 1 << QColor(166, 238, 227);
    QTest::newRow("2") << 2 << QColor(117, 230, 224);
    QTest::newRow("3") << 3 << QColor(33, 209, 191);
    QTest::newRow("last ordinary") << 32766 << QColor(117, 230, 224);
    QTest::newRow("boundary") << 32767 << QColor(173, 228, 27);
    QTest::newRow("first unsolicited") << 32768 << QColor(240, 251, 219);
    QTest::newRow("32769") << 32769 << QColor(221, 243, 154);
    QTest::newRow("32770") << 32770 << QColor(211, 238, 104);
    QTest::newRow("highest") << 65535 << QColor(173, 228, 27);
}

void tst_PacketText::rowColor()
{
    QFETCH(int, session);
    QFETCH(QColor, color);
    QCOMPARE(PacketText::rowColor(std::uint16_t(session)), color);
    QCOMPARE(PacketText::rowColor(std::uint16_t(session)).alpha(), 255);
}

void tst_PacketText::packetCrossesThreads()
{
    registerReaderPacketType();
    QVERIFY(QMetaType::type("readerPacket_t&") != QMetaType::UnknownType);

    PacketSource source;
    QThread worker;
    source.moveToThread(&worker);
    worker.start();
    QList<readerPacket_t> arrived;
    connect(&source, &PacketSource::messageSent, this,
            [&arrived](readerPacket_t packet) { arrived << packet; });
    QMetaObject::invokeMethod(&source, [&source] {
        readerPacket_t packet;
        packet.readerName = QStringLiteral("Bench");
        packet.time = QStringLiteral("12:00:00.9");
        packet.direction = QStringLiteral("Tx");
        packet.frame = QStringLiteral("0A 1B 2C");
        packet.status = PacketText::inProgress;
        packet.sessionNumber = 32766;
        packet.cntlFrame = true;
        emit source.messageSent(packet);
    });
    QTRY_COMPARE(arrived.size(), 1);
    worker.quit();
    worker.wait();
    const readerPacket_t &packet = arrived.first();
    QCOMPARE(packet.readerName, QStringLiteral("Bench"));
    QCOMPARE(packet.frame, QStringLiteral("0A 1B 2C"));
    QCOMPARE(packet.status, QStringLiteral("In progress"));
    QCOMPARE(int(packet.sessionNumber), 32766);
    QVERIFY(packet.cntlFrame);
}

void tst_PacketText::directFormsMatchTheTextForms_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    const QDate friday(2026, 12, 4);
    for (const QTime &time : {QTime(10, 28, 5, 123), QTime(0, 0, 0, 0), QTime(9, 5, 7, 949),
                              QTime(9, 5, 7, 950), QTime(12, 0, 59, 970), QTime(23, 59, 59, 960),
                              QTime(13, 14, 15, 49), QTime(13, 14, 15, 50)})
        QTest::newRow(qPrintable(time.toString(QStringLiteral("HH:mm:ss.zzz"))))
            << QDateTime(friday, time);
    QTest::newRow("sunday") << QDateTime(QDate(2027, 1, 3), QTime(7, 8, 9, 1));
    QTest::newRow("year 999") << QDateTime(QDate(999, 5, 6), QTime(1, 2, 3, 4));
    QTest::newRow("offset from UTC")
        << QDateTime(friday, QTime(22, 30, 0, 500), Qt::OffsetFromUTC, 3600);
}

// The fast forms must say exactly what the locale's formatting and the parsing round trip say.
void tst_PacketText::directFormsMatchTheTextForms()
{
    QFETCH(QDateTime, dateTime);
    const QString localeStamp =
        QLocale(QLocale::English, QLocale::UnitedStates)
            .toString(dateTime, QStringLiteral("ddd yyyy-MM-dd HH:mm:ss:zzz"));
    QCOMPARE(PacketText::stamp(dateTime), localeStamp);
    QCOMPARE(PacketText::displayTime(dateTime), PacketText::toDisplayTime(localeStamp));
}

void tst_PacketText::localNowIsTheLocalTime()
{
    // A zone five hours behind UTC, written out so that no time-zone database is needed.
    const QByteArray previousZone = qgetenv("TZ");
    qputenv("TZ", "XST5");
    tzset();
    // A thread of its own starts without a remembered offset.
    QDateTime before;
    QDateTime now;
    QDateTime after;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        before = QDateTime::currentDateTime();
        now = PacketText::localNow();
        after = QDateTime::currentDateTime();
    }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QCOMPARE(now.offsetFromUtc(), -5 * 3600);
    QVERIFY(now.toMSecsSinceEpoch() >= before.toMSecsSinceEpoch());
    QVERIFY(now.toMSecsSinceEpoch() <= after.toMSecsSinceEpoch());
    QCOMPARE(now.time(), QDateTime::fromMSecsSinceEpoch(now.toMSecsSinceEpoch()).time());
    QCOMPARE(now.date(), QDateTime::fromMSecsSinceEpoch(now.toMSecsSinceEpoch()).date());
    if (previousZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previousZone);
    tzset();
}

OVS_CORE_TEST_MAIN(tst_PacketText)
#include "tst_PacketText.moc"
