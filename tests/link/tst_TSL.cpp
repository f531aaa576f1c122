#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "link/TSL.h"

#include <QtTest>

using LinkBytes::ackFrame;
using LinkBytes::dataFrame;
using LinkBytes::hex;

// Response handling of the engine, fed by hand: no thread and no port are involved.
class tst_TSL : public QObject
{
    Q_OBJECT

private slots:
    void handleResponse_data();
    void handleResponse();
};

// Feeds the responses and returns the events in order: "ack", "recovered:<session>" and
// "frame:<session>:<payload hex>".
static QStringList feed(const QList<QByteArray> &responses)
{
    TSL engine(QStringLiteral("/dev/null"), 115200, 3, 1000);
    QStringList events;
    QObject::connect(&engine, &TSL::TSL_acked, [&events] { events << QStringLiteral("ack"); });
    QObject::connect(&engine, &TSL::TSL_frameRecovered, [&events](int session) {
        events << QStringLiteral("recovered:%1").arg(session);
    });
    QObject::connect(&engine, &TSL::TSL_frameReceived, [&events](QByteArray *payload, int session) {
        events << QStringLiteral("frame:%1:%2")
                      .arg(session)
                      .arg(QString::fromLatin1(payload->toHex()));
    });
    for (const QByteArray &response : responses)
        engine.handleResponse(response);
    return events;
}

void tst_TSL::handleResponse_data()
{
    using Bytes = QList<QByteArray>;
    using Events = QStringList;
    QTest::addColumn<Bytes>("responses");
    QTest::addColumn<Events>("events");

    const QByteArray broken = hex("FF010000000103AABB05");
    const QByteArray whole = dataFrame(hex("0102030405"), 77);
    QTest::newRow("ack") << Bytes{ackFrame(3, 0x06)} << Events{"ack"};
    QTest::newRow("recovered session is signed")
        << Bytes{ackFrame(0xFFFE, 0x09)} << Events{"recovered:-2"};
    QTest::newRow("data frame") << Bytes{dataFrame(hex("0107020A1B2C3D"), 0x8001)}
                                << Events{"frame:32769:0107020a1b2c3d"};
    QTest::newRow("ack and frame in one")
        << Bytes{ackFrame(1, 0x06) + dataFrame(hex("2A2B"), 9)} << Events{"ack", "frame:9:2a2b"};
    QTest::newRow("two frames in one")
        << Bytes{dataFrame(hex("0A0B"), 1) + dataFrame(hex("0C0D"), 2)}
        << Events{"frame:1:0a0b", "frame:2:0c0d"};
    QTest::newRow("garbage before a frame")
        << Bytes{hex("0011") + dataFrame(hex("0A0B0C"), 5)} << Events{"frame:5:0a0b0c"};
    // A frame that can never complete does not hold up the next.
    QTest::newRow("wrong end byte")
        << Bytes{broken, dataFrame(hex("0A0B"), 2)} << Events{"frame:2:0a0b"};
    QTest::newRow("length byte 0")
        << Bytes{hex("EEFF0100000001000102"), dataFrame(hex("0C0D"), 3)} << Events{"frame:3:0c0d"};
    QTest::newRow("broken frame, good one")
        << Bytes{broken + dataFrame(hex("0E0F"), 4)} << Events{"frame:4:0e0f"};
    QTest::newRow("frame completed by the next response")
        << Bytes{whole.left(5), whole.mid(5)} << Events{"frame:77:0102030405"};
    QTest::newRow("ack after garbage")
        << Bytes{hex("0011") + ackFrame(4, 0x06), dataFrame(hex("0A0B"), 6)}
        << Events{"ack", "frame:6:0a0b"};
}

void tst_TSL::handleResponse()
{
    QFETCH(QList<QByteArray>, responses);
    QFETCH(QStringList, events);
    QCOMPARE(feed(responses), events);
}

OVS_CORE_TEST_MAIN(tst_TSL)
#include "tst_TSL.moc"
