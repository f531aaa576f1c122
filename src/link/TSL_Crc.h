#pragma once

#include <QByteArray>

#include <cstdint>

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
std::uint16_t tslCrc16(const char *data, int size);

inline std::uint16_t tslCrc16(const QByteArray &bytes)
{
    return tslCrc16(bytes.constData(), bytes.size());
}
