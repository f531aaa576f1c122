#pragma once

#include "link/TSL_Crc.h"
#include "link/TSL_Frame.h"

#include <QByteArray>

#include <cstdint>

// Bytes on a TSL line, written in tests the way the protocol documents them.
namespace LinkBytes {

inline QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(QByteArray(digits));
}

inline QByteArray dataFrame(const QByteArray &payload, std::uint16_t session)
{
    TSL_Frame frame;
    frame.build(payload, session);
    return frame.frameBytes;
}

// An acknowledgement with any code, its checksum included; built by hand rather than by the
// link library, so that tests check the library against it.
inline QByteArray ackFrame(std::uint16_t session, std::uint8_t code)
{
    const char checked[] = {0x02, char(code)};
    const auto bigEndian = [](std::uint16_t word) {
        return QByteArray(1, char(word >> 8)) + char(word & 0xFF);
    };
    return hex("FF01") + bigEndian(tslCrc16(checked, 2)) + bigEndian(session) +
           QByteArray(checked, 2) + hex("04");
}

} // namespace LinkBytes
