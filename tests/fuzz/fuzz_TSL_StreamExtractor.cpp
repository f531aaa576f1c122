#include "FuzzCheck.h"
#include "SeededCuts.h"
#include "link/TSL_Frame.h"
#include "link/TSL_StreamExtractor.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

// The longest frame a length byte can announce, less its end byte: all that may stay
// buffered once every complete frame has been taken.
static constexpr int longestPending = 7 + 255 - 1;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const SeededCuts cuts(data, size);
    const QByteArray &stream = cuts.stream();

    const auto takeAll = [&stream](TSL_StreamExtractor &extractor, const QByteArray &bytes,
                                   QList<QByteArray> &frames) {
        for (QByteArray frame = extractor.extractFrame(bytes); !frame.isEmpty();
             frame = extractor.extractFrame())
            frames.append(frame);
        const QByteArray &buffered = extractor.bufferedBytes();
        FUZZ_CHECK(buffered.size() <= stream.size() && buffered.size() <= longestPending);
        FUZZ_CHECK(extractor.hasBufferedBytes() == !buffered.isEmpty());
    };
    TSL_StreamExtractor whole;
    QList<QByteArray> wholeFrames;
    takeAll(whole, stream, wholeFrames);
    TSL_StreamExtractor chunked;
    QList<QByteArray> chunkedFrames;
    for (const QByteArray &piece : cuts.pieces())
        takeAll(chunked, piece, chunkedFrames);

    FUZZ_CHECK(wholeFrames == chunkedFrames);
    FUZZ_CHECK(whole.bufferedBytes() == chunked.bufferedBytes());
    // What stays buffered is the end of the stream.
    FUZZ_CHECK(stream.endsWith(whole.bufferedBytes()));

    int position = 0;
    for (const QByteArray &frame : wholeFrames) {
        TSL_Frame parsed;
        FUZZ_CHECK(parsed.parse(frame) == frame.size());
        // Frames come out in stream order, never sharing a byte.
        const int found = stream.indexOf(frame, position);
        FUZZ_CHECK(found >= 0);
        position = found + frame.size();
    }
    FUZZ_CHECK(position + whole.bufferedBytes().size() <= stream.size());
    whole.clear();
    FUZZ_CHECK(!whole.hasBufferedBytes());
    FUZZ_CHECK(whole.extractFrame().isEmpty());
    return 0;
}
