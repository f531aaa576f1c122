#include "FuzzCheck.h"
#include "SeededCuts.h"
#include "link/TSL.h"
#include "link/TSL_Frame.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>

static constexpr int sentinelSession = 0xBEEF;
static constexpr int longestFrame = 7 + 255;
static const QByteArray sentinelPayload = QByteArray::fromHex("01A5A5A5");

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const SeededCuts cuts(data, size);
    const QByteArray &stream = cuts.stream();

    TSL engine(QStringLiteral("/dev/null"), 115200, 3, 1000);
    // Bytes consumed: nine per acknowledgement, eight plus the payload per frame.
    int consumed = 0;
    int sentinels = 0;
    QObject::connect(&engine, &TSL::TSL_acked, [&consumed] { consumed += 9; });
    QObject::connect(&engine, &TSL::TSL_frameRecovered, [&consumed](int) { consumed += 9; });
    QObject::connect(&engine, &TSL::TSL_frameReceived, [&](QByteArray *payload, int session) {
        FUZZ_CHECK(session >= 0 && session <= 0xFFFF);
        consumed += 8 + payload->size();
        if (session == sentinelSession && *payload == sentinelPayload)
            ++sentinels;
    });

    for (const QByteArray &piece : cuts.pieces())
        engine.handleResponse(piece);

    FUZZ_CHECK(consumed <= stream.size());

    // Whatever the input left behind, complete frames that follow must get through once the
    // longest frame a length byte can announce has passed. The sentinel's payload starts with
    // a command byte, so it never passes for an acknowledgement, and holds no start pair.
    TSL_Frame sentinel;
    sentinel.build(sentinelPayload, sentinelSession);
    const int baseline = sentinels;
    const int attempts = (stream.size() + longestFrame) / sentinel.frameBytes.size() + 3;
    for (int i = 0; i < attempts && sentinels == baseline; ++i)
        engine.handleResponse(sentinel.frameBytes);
    FUZZ_CHECK(sentinels > baseline);
    return 0;
}
