#include "IsolatedHome.h"
#include "LinkBytes.h"
#include "link/TSL_StreamExtractor.h"

#include <QtTest>

using LinkBytes::dataFrame;
using LinkBytes::hex;

// Feeds the chunks one after the other and collects every frame that comes out.
static QList<QByteArray> extractAll(TSL_StreamExtractor &extractor, const QList<QByteArray> &chunks)
{
    QList<QByteArray> frames;
    for (const QByteArray &chunk : chunks) {
        for (QByteArray next = extractor.extractFrame(chunk); !next.isEmpty();
             next = extractor.extractFrame())
            frames << next;
    }
    return frames;
}

class tst_TSL_StreamExtractor : public QObject
{
    Q_OBJECT

private slots:
    void extract_data();
    void extract();
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
    const QByteArray lengthZero = hex("FF011234000100");
    QByteArray wrongEnd = first;
    wrongEnd[wrongEnd.size() - 1] = char(0x05);
    using Chunks = QList<QByteArray>;

    Chunks singleBytes;
    for (char byte : first + second)
        singleBytes << QByteArray(1, byte);
    QTest::newRow("single bytes") << singleBytes << Chunks{first, second} << QByteArray();
    QTest::newRow("two frames in one read")
        << Chunks{first + second} << Chunks{first, second} << QByteArray();
    QTest::newRow("garbage before the frame")
        << Chunks{hex("0011") + first} << Chunks{first} << QByteArray();
    QTest::newRow("second start byte missing loses the frame")
        << Chunks{hex("FF") + first + second} << Chunks{second} << QByteArray();
    QTest::newRow("markers inside the payload")
        << Chunks{markers} << Chunks{markers} << QByteArray();
    QTest::newRow("empty payload") << Chunks{empty + first} << Chunks{empty, first} << QByteArray();
    QTest::newRow("wrong end byte drops the candidate")
        << Chunks{wrongEnd + second} << Chunks{second} << QByteArray();
    QTest::newRow("length byte 0 is a framing error")
        << Chunks{lengthZero + first} << Chunks{first} << QByteArray();
    QTest::newRow("length byte 0 split from what follows")
        << Chunks{lengthZero, first} << Chunks{first} << QByteArray();
    QTest::newRow("incomplete tail stays")
        << Chunks{first + second.left(4)} << Chunks{first} << second.left(4);
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

OVS_CORE_TEST_MAIN(tst_TSL_StreamExtractor)
#include "tst_TSL_StreamExtractor.moc"
