#include "FuzzCheck.h"
#include "SeededCuts.h"
#include "link/TSL.h"
#include "link/TSL_Frame.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

constexpr int sentinelSession = 0xBEEF;
// The longest frame that a length byte from 1 to 255 announces.
constexpr int longestFrame = 7 + 255;

// A data frame the engine must hand up once it is back in step: its payload starts with a
// command byte, so it never passes for an acknowledgement, and it holds no start pair.
QByteArray sentinelFrame()
{
    TSL_Frame frame;
    frame.build(QByteArray::fromHex("01A5A5A5"), sentinelSession);
    return frame.frameBytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const SeededCuts cuts(data, size);
    const QByteArray &stream = cuts.stream();

    TSL engine(QStringLiteral("/dev/null"), 115200, 3, 1000);
    int acks = 0;
    int recovered = 0;
    int frames = 0;
    int payloadBytes = 0;
    int sentinels = 0;
    QObject::connect(&engine, &TSL::TSL_acked, [&acks] { ++acks; });
    QObject::connect(&engine, &TSL::TSL_frameRecovered, [&recovered](int) { ++recovered; });
    QObject::connect(&engine, &TSL::TSL_frameReceived, [&](QByteArray *payload, int session) {
        FUZZ_CHECK(payload != nullptr);
        FUZZ_CHECK(session >= 0 && session <= 0xFFFF);
        ++frames;
        payloadBytes += payload->size();
        if (session == sentinelSession && *payload == QByteArray::fromHex("01A5A5A5"))
            ++sentinels;
    });

    for (const QByteArray &piece : cuts.pieces())
        engine.handleResponse(piece);

    // Every event consumes its own bytes: nine per acknowledgement, eight plus the payload
    // per frame.
    FUZZ_CHECK(9 * (acks + recovered) + 8 * frames + payloadBytes <= stream.size());

    // Whatever the input left behind, complete frames that follow must get through once the
    // longest frame a length byte can announce has passed; until then the engine may hold
    // the bytes, but not for ever.
    const QByteArray sentinel = sentinelFrame();
    const int baseline = sentinels;
    const int attempts = (stream.size() + longestFrame) / sentinel.size() + 3;
    for (int i = 0; i < attempts && sentinels == baseline; ++i)
        engine.handleResponse(sentinel);
    FUZZ_CHECK(sentinels > baseline);
    return 0;
}
