#include "FuzzCheck.h"
#include "link/TSL_Frame.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

static std::uint8_t byteAt(const QByteArray &bytes, int index)
{
    return std::uint8_t(bytes.at(index));
}

// True when the buffer starts with start bytes, a length byte and the end byte where that
// length puts it, whatever the checksum.
static bool startsWithFrame(const QByteArray &buffer)
{
    if (buffer.size() < TSL_Frame::overhead || byteAt(buffer, 0) != 0xFF ||
        byteAt(buffer, 1) != 0x01 || byteAt(buffer, 6) == 0)
        return false;
    const int end = 7 + byteAt(buffer, 6) - 1;
    return end < buffer.size() && byteAt(buffer, end) == 0x04;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray buffer(reinterpret_cast<const char *>(data), int(size));
    TSL_Frame parsed;
    const int length = parsed.parse(buffer);

    if (length < 0) {
        FUZZ_CHECK(length >= -3);
        const bool shortOrUnmarked = buffer.size() < TSL_Frame::overhead ||
                                     byteAt(buffer, 0) != 0xFF || byteAt(buffer, 1) != 0x01;
        FUZZ_CHECK((length == -1) == shortOrUnmarked);
        FUZZ_CHECK(!startsWithFrame(buffer));
        return 0;
    }

    // A length byte of 255 gives the longest frame.
    FUZZ_CHECK(length >= TSL_Frame::overhead && length <= TSL_Frame::maxFrameSize);
    FUZZ_CHECK(length <= buffer.size());
    FUZZ_CHECK(startsWithFrame(buffer));
    FUZZ_CHECK(parsed.frameBytes == buffer.left(length));
    FUZZ_CHECK(parsed.payload.size() == length - TSL_Frame::overhead);
    FUZZ_CHECK(parsed.payload == buffer.mid(7, parsed.payload.size()));
    FUZZ_CHECK(parsed.checksum == (byteAt(buffer, 2) << 8 | byteAt(buffer, 3)));
    FUZZ_CHECK(parsed.sessionNumber == (byteAt(buffer, 4) << 8 | byteAt(buffer, 5)));

    // Parsing does not check the CRC, so a rebuilt frame may differ in those two bytes only.
    TSL_Frame built;
    FUZZ_CHECK(built.build(parsed.payload, parsed.sessionNumber) == length);
    QByteArray expected = parsed.frameBytes;
    expected[2] = built.frameBytes.at(2);
    expected[3] = built.frameBytes.at(3);
    FUZZ_CHECK(built.frameBytes == expected);
    FUZZ_CHECK(TSL_Frame().parse(built.frameBytes) == length);
    return 0;
}
