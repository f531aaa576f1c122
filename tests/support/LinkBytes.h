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
    const std::uint16_t crc = tslCrc16(checked, 2);
    const char bytes[] = {char(0xFF),
                          0x01,
                          char(crc >> 8),
                          char(crc & 0xFF),
                          char(session >> 8),
                          char(session & 0xFF),
                          0x02,
                          char(code),
                          0x04};
    return QByteArray(bytes, sizeof bytes);
}

} // namespace LinkBytes
