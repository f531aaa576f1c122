#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "link/TSL_AckFrame.h"
#include "link/TSL_Crc.h"
#include "link/TSL_Frame.h"

#include <QtTest>

using LinkBytes::hex;

class tst_TSL_Frame : public QObject
{
    Q_OBJECT

private slots:
    void crc_data();
    void crc();
    void build_data();
    void build();
    void parse_data();
    void parse();
    void buildParseRoundTrip();
    void ackBuild();
    void ackParse_data();
    void ackParse();
    void classify_data();
    void classify();
};

void tst_TSL_Frame::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");

    QTest::newRow("ack 02 06") << hex("0206") << 0x06A4;
    QTest::newRow("check value") << QByteArray("123456789") << 0x31C3;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("address read") << hex("04010602") << 0x7725;
}

void tst_TSL_Frame::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(tslCrc16(bytes)), crc);
}

void tst_TSL_Frame::build_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("session");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("address read") << hex("010602") << 0 << hex("FF01772500000401060204");
    QTest::newRow("empty payload")
        << QByteArray() << 0x1234 << hex("FF01") + QByteArray(2, 0) + hex("1234") + hex("0104");
    QTest::newRow("bytes like the markers") << hex("FF0104") << 0xFF01 << QByteArray();
}

void tst_TSL_Frame::build()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, session);
    QFETCH(QByteArray, frame);

    TSL_Frame record;
    QCOMPARE(record.build(payload, std::uint16_t(session)), payload.size() + 8);
    QCOMPARE(int(record.totalLength), payload.size() + 8);
    QCOMPARE(record.payload, payload);
    QCOMPARE(int(record.sessionNumber), session);
    const QByteArray checked = QByteArray(1, char(payload.size() + 1)) + payload;
    QCOMPARE(int(record.checksum), int(tslCrc16(checked)));
    if (payload.isEmpty()) {
        QByteArray expected = frame;
        expected[2] = char(record.checksum >> 8);
        expected[3] = char(record.checksum & 0xFF);
        QCOMPARE(record.frameBytes, expected);
    } else if (!frame.isEmpty()) {
        QCOMPARE(record.frameBytes, frame);
    }
    // No escaping: marker bytes travel as they are.
    QCOMPARE(record.frameBytes.mid(7, payload.size()), payload);
    QCOMPARE(record.frameBytes.left(2), hex("FF01"));
    QCOMPARE(record.frameBytes.right(1), hex("04"));
}

void tst_TSL_Frame::parse_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("session");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("address read") << hex("FF01772500000401060204") << 11 << 0 << hex("010602");
    QTest::newRow("wrong checksum is accepted")
        << hex("FF01000012340401060204") << 11 << 0x1234 << hex("010602");
    QTest::newRow("more bytes after the frame")
        << hex("FF01772500070401060204FF01") << 11 << 7 << hex("010602");
    QTest::newRow("empty payload") << hex("FF0100000005"
                                          "0104")
                                   << 8 << 5 << QByteArray();
    QTest::newRow("longest length byte")
        << hex("FF0100000009FF") + QByteArray(254, char(0x5A)) + hex("04") << 262 << 9
        << QByteArray(254, char(0x5A));
    QTest::newRow("seven bytes") << hex("FF017725000004") << -1 << 0 << QByteArray();
    QTest::newRow("eight bytes, length beyond")
        << hex("FF01772500000401") << -2 << 0 << QByteArray();
    QTest::newRow("no start bytes") << hex("FF02772500000401060204") << -1 << 0 << QByteArray();
    QTest::newRow("length beyond the buffer")
        << hex("FF017725000009010602040000") << -2 << 0 << QByteArray();
    QTest::newRow("length byte 0 announces 65535")
        << hex("FF0177250000000106020400") << -2 << 0 << QByteArray();
    QTest::newRow("end byte missing") << hex("FF0177250000040106020500") << -3 << 0 << QByteArray();
    QTest::newRow("end byte just beyond the buffer")
        << hex("FF017725000004010602") << -3 << 0 << QByteArray();
}

void tst_TSL_Frame::parse()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, result);
    QFETCH(int, session);
    QFETCH(QByteArray, payload);

    TSL_Frame record;
    QCOMPARE(record.parse(buffer), result);
    if (result > 0) {
        QCOMPARE(int(record.sessionNumber), session);
        QCOMPARE(record.payload, payload);
        QCOMPARE(int(record.payloadLength), payload.size());
        QCOMPARE(record.frameBytes, buffer.left(result));
        QCOMPARE(int(record.totalLength), result);
    }
    QCOMPARE(TSL_Frame(buffer).frameBytes, result > 0 ? buffer.left(result) : QByteArray());
}

void tst_TSL_Frame::buildParseRoundTrip()
{
    for (int size = 0; size <= TSL_Frame::maxPayloadSize; ++size) {
        QByteArray payload(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            payload[i] = char((i * 37 + size) & 0xFF);
        TSL_Frame built;
        built.build(payload, std::uint16_t(size * 263));
        TSL_Frame parsed;
        QCOMPARE(parsed.parse(built.frameBytes + hex("FF01")), size + 8);
        QCOMPARE(parsed.payload, payload);
        QCOMPARE(parsed.sessionNumber, built.sessionNumber);
        QCOMPARE(parsed.checksum, built.checksum);
    }
}

void tst_TSL_Frame::ackBuild()
{
    TSL_AckFrame ack;
    QCOMPARE(ack.build(0x1234), 9);
    QCOMPARE(ack.frameBytes, hex("FF0106A4123402"
                                 "0604"));
    QCOMPARE(int(ack.ackCode), 0x06);
    QCOMPARE(classifyBuffer(ack.frameBytes), 1);
}

void tst_TSL_Frame::ackParse_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("session");

    QTest::newRow("acknowledged") << hex("FF0106A4001702"
                                         "0604")
                                  << 0 << 0x06 << 0x17;
    QTest::newRow("recovered") << hex("FF010000800102"
                                      "0904")
                               << 0 << 0x09 << 0x8001;
    QTest::newRow("followed by more") << hex("FF0106A4001702"
                                             "0604FF01")
                                      << 0 << 0x06 << 0x17;
    QTest::newRow("eight bytes") << hex("FF0106A4001702"
                                        "06")
                                 << -2 << 0x06 << 0x17;
    QTest::newRow("no end byte") << hex("FF0106A4001702"
                                        "0605")
                                 << -2 << 0x06 << 0x17;
    QTest::newRow("no start bytes") << hex("FE0106A4001702"
                                           "0604")
                                    << -2 << 0x06 << 0x17;
    QTest::newRow("command byte") << hex("FF0106A4001702"
                                         "0104")
                                  << -1 << 0x01 << 0x17;
    QTest::newRow("seven bytes") << hex("FF0106A4001702") << -1 << 0 << 0;
}

void tst_TSL_Frame::ackParse()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, result);
    QFETCH(int, code);
    QFETCH(int, session);

    TSL_AckFrame ack;
    QCOMPARE(ack.parse(buffer), result);
    QCOMPARE(int(ack.ackCode), code);
    if (result == 0) {
        QCOMPARE(int(ack.sessionNumber), session);
        QCOMPARE(ack.frameBytes, buffer.left(9));
    }
}

void tst_TSL_Frame::classify_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("result");

    QTest::newRow("ack") << hex("FF0106A4123402"
                                "0604")
                         << 1;
    QTest::newRow("ack then more bytes") << hex("FF0106A4123402"
                                                "0604FF0177")
                                         << 1;
    QTest::newRow("data frame") << hex("FF01772500000401060204") << 11;
    QTest::newRow("data frame then more") << hex("FF01772500000401060204FF01") << 11;
    QTest::newRow("eight bytes") << hex("FF0106A4123402"
                                        "06")
                                 << -2;
    QTest::newRow("empty") << QByteArray() << -2;
    QTest::newRow("nine-byte frame with command byte") << hex("FF010000000002"
                                                              "0104")
                                                       << -1;
    QTest::newRow("nine-byte frame counts as ack") << hex("FF010000000002"
                                                          "0504")
                                                   << 1;
    QTest::newRow("end byte missing") << hex("FF0177250000040106020500") << -1;
    QTest::newRow("second payload byte 04 counts as ack") << hex("FF01000000000505"
                                                                 "04AABB04")
                                                          << 1;
    QTest::newRow("garbage") << hex("00112233445566778899") << -1;
    QTest::newRow("incomplete frame") << hex("FF017725000004010602") << -1;
}

void tst_TSL_Frame::classify()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, result);
    QCOMPARE(classifyBuffer(buffer), result);
}

OVS_TEST_MAIN(tst_TSL_Frame)
#include "tst_TSL_Frame.moc"
