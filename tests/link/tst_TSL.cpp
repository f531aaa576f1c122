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
    QTest::addColumn<QList<QByteArray>>("responses");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("ack") << QList<QByteArray>{ackFrame(3, 0x06)} << QStringList{"ack"};
    QTest::newRow("ack with another code")
        << QList<QByteArray>{ackFrame(3, 0x15)} << QStringList{"ack"};
    QTest::newRow("recovered session is signed")
        << QList<QByteArray>{ackFrame(0xFFFE, 0x09)} << QStringList{"recovered:-2"};
    QTest::newRow("data frame") << QList<QByteArray>{dataFrame(hex("0107020A1B2C3D"), 0x8001)}
                                << QStringList{"frame:32769:0107020a1b2c3d"};
    QTest::newRow("ack then data frame in one response")
        << QList<QByteArray>{ackFrame(1, 0x06) + dataFrame(hex("2A2B"), 9)}
        << QStringList{"ack", "frame:9:2a2b"};
    QTest::newRow("two data frames in one response")
        << QList<QByteArray>{dataFrame(hex("0A0B"), 1) + dataFrame(hex("0C0D"), 2)}
        << QStringList{"frame:1:0a0b", "frame:2:0c0d"};
    QTest::newRow("garbage before a frame is skipped")
        << QList<QByteArray>{hex("0011") + dataFrame(hex("0A0B0C"), 5)}
        << QStringList{"frame:5:0a0b0c"};
    QTest::newRow("garbage without start pair is flushed")
        << QList<QByteArray>{hex("00112233445566778899")} << QStringList{};
    QTest::newRow("a frame with a wrong end byte does not hold up the next")
        << QList<QByteArray>{hex("FF010000000103AABB05"), dataFrame(hex("0A0B"), 2)}
        << QStringList{"frame:2:0a0b"};
    QTest::newRow("a length byte of 0 does not hold up the next")
        << QList<QByteArray>{hex("EEFF0100000001000102"), dataFrame(hex("0C0D"), 3)}
        << QStringList{"frame:3:0c0d"};
    QTest::newRow("a broken frame before a good one in one response")
        << QList<QByteArray>{hex("FF010000000103AABB05") + dataFrame(hex("0E0F"), 4)}
        << QStringList{"frame:4:0e0f"};
    const QByteArray whole = dataFrame(hex("0102030405"), 77);
    QTest::newRow("frame completed by the next response")
        << QList<QByteArray>{whole.left(5), whole.mid(5)} << QStringList{"frame:77:0102030405"};
    QTest::newRow("ack after discarded bytes waits for the next response")
        << QList<QByteArray>{hex("0011") + ackFrame(4, 0x06)} << QStringList{};
    QTest::newRow("ack after discarded bytes goes with the next response")
        << QList<QByteArray>{hex("0011") + ackFrame(4, 0x06), dataFrame(hex("0A0B"), 6)}
        << QStringList{"ack", "frame:6:0a0b"};
}

void tst_TSL::handleResponse()
{
    QFETCH(QList<QByteArray>, responses);
    QFETCH(QStringList, events);
    QCOMPARE(feed(responses), events);
}

OVS_CORE_TEST_MAIN(tst_TSL)
#include "tst_TSL.moc"
