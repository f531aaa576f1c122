#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "link/TSL_Frame.h"
#include "link/TSL_StreamExtractor.h"

#include <QtTest>

using LinkBytes::dataFrame;
using LinkBytes::hex;

namespace {

// Feeds the chunks one after the other and collects every frame that comes out.
QList<QByteArray> extractAll(TSL_StreamExtractor &extractor, const QList<QByteArray> &chunks)
{
    QList<QByteArray> frames;
    for (const QByteArray &chunk : chunks) {
        for (QByteArray next = extractor.extractFrame(chunk); !next.isEmpty();
             next = extractor.extractFrame())
            frames << next;
    }
    return frames;
}

QList<QByteArray> singleBytes(const QByteArray &bytes)
{
    QList<QByteArray> chunks;
    for (char byte : bytes)
        chunks << QByteArray(1, byte);
    return chunks;
}

} // namespace

class tst_TSL_StreamExtractor : public QObject
{
    Q_OBJECT

private slots:
    void extract_data();
    void extract();
    void onlyOneFramePerCall();
    void incompleteFrameWaits();
    void longStreamInOneRead();
};

void tst_TSL_StreamExtractor::extract_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QByteArray>("left");

    const QByteArray first = dataFrame(hex("010602"), 0);
    const QByteArray second = dataFrame(hex("01070A1B2C3D"), 0x8000);
    const QByteArray markers = dataFrame(hex("FF0104FF01"), 0xFF01);
    const QByteArray empty = dataFrame(QByteArray(), 3);

    QTest::newRow("one frame") << QList<QByteArray>{first} << QList<QByteArray>{first}
                               << QByteArray();
    QTest::newRow("split over two reads") << QList<QByteArray>{first.left(5), first.mid(5)}
                                          << QList<QByteArray>{first} << QByteArray();
    QTest::newRow("single bytes") << singleBytes(first + second) << QList<QByteArray>{first, second}
                                  << QByteArray();
    QTest::newRow("two frames in one read")
        << QList<QByteArray>{first + second} << QList<QByteArray>{first, second} << QByteArray();
    QTest::newRow("garbage before the frame")
        << QList<QByteArray>{hex("0011") + first} << QList<QByteArray>{first} << QByteArray();
    QTest::newRow("second start byte missing loses the frame")
        << QList<QByteArray>{hex("FF") + first + second} << QList<QByteArray>{second}
        << QByteArray();
    QTest::newRow("markers inside the payload")
        << QList<QByteArray>{markers} << QList<QByteArray>{markers} << QByteArray();
    QTest::newRow("empty payload")
        << QList<QByteArray>{empty + first} << QList<QByteArray>{empty, first} << QByteArray();
    QByteArray wrongEnd = first;
    wrongEnd[wrongEnd.size() - 1] = char(0x05);
    QTest::newRow("wrong end byte drops the candidate")
        << QList<QByteArray>{wrongEnd + second} << QList<QByteArray>{second} << QByteArray();
    QTest::newRow("length byte 0 is a framing error") << QList<QByteArray>{hex("FF0112340001"
                                                                               "00") +
                                                                           first}
                                                      << QList<QByteArray>{first} << QByteArray();
    QTest::newRow("length byte 0 split from what follows")
        << QList<QByteArray>{hex("FF0112340001"
                                 "00"),
                             first}
        << QList<QByteArray>{first} << QByteArray();
    QTest::newRow("incomplete tail stays")
        << QList<QByteArray>{first + second.left(4)} << QList<QByteArray>{first} << second.left(4);
    QTest::newRow("only garbage") << QList<QByteArray>{hex("00112233")} << QList<QByteArray>{}
                                  << QByteArray();
}

void tst_TSL_StreamExtractor::extract()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QByteArray, left);

    TSL_StreamExtractor extractor;
    QCOMPARE(extractAll(extractor, chunks), frames);
    QCOMPARE(extractor.bufferedBytes(), left);
    QCOMPARE(extractor.hasBufferedBytes(), !left.isEmpty());
}

void tst_TSL_StreamExtractor::onlyOneFramePerCall()
{
    const QByteArray first = dataFrame(hex("0A"), 1);
    const QByteArray second = dataFrame(hex("0B"), 2);
    TSL_StreamExtractor extractor;
    QCOMPARE(extractor.extractFrame(first + second), first);
    QVERIFY(extractor.hasBufferedBytes());
    QCOMPARE(extractor.extractFrame(), second);
    QCOMPARE(extractor.extractFrame(), QByteArray());
    QVERIFY(!extractor.hasBufferedBytes());
}

void tst_TSL_StreamExtractor::incompleteFrameWaits()
{
    const QByteArray whole = dataFrame(hex("0102030405"), 9);
    TSL_StreamExtractor extractor;
    for (int i = 0; i < whole.size() - 1; ++i)
        QCOMPARE(extractor.extractFrame(whole.mid(i, 1)), QByteArray());
    QCOMPARE(extractor.extractFrame(whole.right(1)), whole);
}

void tst_TSL_StreamExtractor::longStreamInOneRead()
{
    QByteArray stream;
    QList<QByteArray> sent;
    for (int i = 0; i < 20000; ++i) {
        QByteArray payload(1 + i % 40, char(i));
        payload[0] = char(0x80 | (i & 0x7F));
        sent << dataFrame(payload, std::uint16_t(i));
        stream += sent.last();
    }
    TSL_StreamExtractor extractor;
    QCOMPARE(extractAll(extractor, {stream}), sent);
}

OVS_TEST_MAIN(tst_TSL_StreamExtractor)
#include "tst_TSL_StreamExtractor.moc"
