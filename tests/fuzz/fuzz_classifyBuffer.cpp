#include "FuzzCheck.h"
#include "link/TSL_AckFrame.h"
#include "link/TSL_Frame.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray buffer(reinterpret_cast<const char *>(data), int(size));
    const int kind = classifyBuffer(buffer);

    FUZZ_CHECK(kind == 1 || kind == -1 || kind == -2 ||
               (kind >= TSL_Frame::overhead && kind <= TSL_Frame::maxFrameSize));
    FUZZ_CHECK((kind == -2) == (buffer.size() <= 8));
    if (kind == -2)
        return 0;

    TSL_AckFrame ack;
    const int ackResult = ack.parse(buffer.left(TSL_AckFrame::size));
    TSL_Frame frame;
    const int frameResult = frame.parse(buffer);

    if (kind == 1) {
        FUZZ_CHECK(ackResult == 0);
        FUZZ_CHECK(ack.frameBytes == buffer.left(TSL_AckFrame::size));
        FUZZ_CHECK(ack.ackCode != 0x01);
        FUZZ_CHECK(std::uint8_t(buffer.at(8)) == 0x04);
    } else if (kind > 1) {
        FUZZ_CHECK(buffer.size() > TSL_AckFrame::size);
        FUZZ_CHECK(ackResult != 0);
        FUZZ_CHECK(frameResult == kind);
    } else {
        FUZZ_CHECK(ackResult != 0);
        // A nine-byte buffer is judged as an acknowledgement only.
        FUZZ_CHECK(buffer.size() == TSL_AckFrame::size || frameResult < 0);
    }
    if (buffer.size() > TSL_AckFrame::size && frameResult > 0)
        FUZZ_CHECK(kind == 1 || kind == frameResult);

    // What follows a complete acknowledgement or frame cannot change its class.
    if (kind >= 1) {
        FUZZ_CHECK(classifyBuffer(buffer + QByteArray(1, '\0')) == kind);
        FUZZ_CHECK(classifyBuffer(buffer + buffer) == kind);
    }
    return 0;
}
