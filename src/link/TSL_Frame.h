#pragma once

#include <QByteArray>

#include <cstdint>

// One TSL data frame: FF 01, CRC, session, length byte N+1, N payload bytes, 04.
class TSL_Frame
{
public:
    // The total length is held in 8 bits: a frame is at most 255 bytes.
    static constexpr int maxPayloadSize = 247;
    static constexpr int overhead = 8;

    TSL_Frame() = default;
    explicit TSL_Frame(const QByteArray &buffer);

    // Returns the total length N + 8.
    int build(const char *payload, int size, std::uint16_t session);
    int build(const QByteArray &payload, std::uint16_t session)
    {
        return build(payload.constData(), payload.size(), session);
    }

    // Parses a frame at the start of buffer: the total length, or -1 (short or no start
    // bytes), -2 (length byte beyond the buffer), -3 (no end byte where expected).
    int parse(const QByteArray &buffer);

    std::uint8_t startByte = 0xFF;
    std::uint8_t secondStartByte = 0x01;
    std::uint16_t checksum = 0;
    std::uint16_t sessionNumber = 0;
    QByteArray payload;
    std::uint16_t payloadLength = 0;
    std::uint8_t endByte = 0x04;
    std::uint8_t totalLength = 0;
    QByteArray frameBytes;
};
