#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "link/TSL_AckFrame.h"
#include "link/TSL_Frame.h"

#include <QtTest>

using LinkBytes::ackFrame;
using LinkBytes::hex;

class tst_TSL_Frame : public QObject
{
    Q_OBJECT

private slots:
    void build();
    void parse_data();
    void parse();
};

// The checksums in these frames were worked out apart from the link library.
void tst_TSL_Frame::build()
{
    TSL_Frame frame;
    QCOMPARE(frame.build(hex("010602"), 0), 11);
    QCOMPARE(frame.frameBytes, hex("FF01772500000401060204"));
    QCOMPARE(frame.build(hex("FF0104"), 0xFF01), 11);
    QCOMPARE(frame.frameBytes, hex("FF017627FF0104FF010404"));
    TSL_AckFrame ack;
    QCOMPARE(ack.build(0x1234), 9);
    QCOMPARE(ack.frameBytes, ackFrame(0x1234, 0x06));
}

void tst_TSL_Frame::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("session");
    QTest::addColumn<QByteArray>("payload");

    const QByteArray addressRead = hex("FF01772500000401060204");
    QTest::newRow("address read") << addressRead << 11 << 0 << hex("010602");
    QTest::newRow("more bytes after") << addressRead + hex("FF01") << 11 << 0 << hex("010602");
    QTest::newRow("wrong checksum is accepted")
        << hex("FF01000012340401060204") << 11 << 0x1234 << hex("010602");
    QTest::newRow("empty payload") << hex("FF0110210005"
                                          "0104")
                                   << 8 << 5 << QByteArray();
    QTest::newRow("longest length byte") << hex("FF0100000009FF") + QByteArray(254, 'Z') + hex("04")
                                         << 262 << 9 << QByteArray(254, 'Z');
    QTest::newRow("seven bytes") << addressRead.left(7) << -1 << 0 << QByteArray();
    QTest::newRow("no start bytes") << hex("FF02772500000401060204") << -1 << 0 << QByteArray();
    QTest::newRow("length beyond the buffer")
        << hex("FF017725000009010602040000") << -2 << 0 << QByteArray();
    QTest::newRow("length byte 0 announces 65535")
        << hex("FF0177250000000106020400") << -2 << 0 << QByteArray();
    QTest::newRow("end byte missing") << hex("FF0177250000040106020500") << -3 << 0 << QByteArray();
    QTest::newRow("end byte beyond the buffer") << addressRead.left(10) << -3 << 0 << QByteArray();
}

void tst_TSL_Frame::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, result);
    QFETCH(int, session);
    QFETCH(QByteArray, payload);

    TSL_Frame frame;
    QCOMPARE(frame.parse(bytes), result);
    if (result > 0) {
        QCOMPARE(int(frame.sessionNumber), session);
        QCOMPARE(frame.payload, payload);
        QCOMPARE(frame.frameBytes, bytes.left(result));
    }
}

OVS_CORE_TEST_MAIN(tst_TSL_Frame)
#include "tst_TSL_Frame.moc"
