#pragma once

#include <QByteArray>

#include <cstdint>

// One TSL data frame: FF 01, CRC, session, length byte N+1, N payload bytes, 04.
class TSL_Frame
{
public:
    // The workbench sends at most 247 payload bytes, so that a frame it sends fits the 8-bit
    // total length that readers keep. A length byte of 249 to 255 still describes a frame;
    // received, it is taken whole rather than lost.
    static constexpr int maxPayloadSize = 247;
    static constexpr int maxFrameSize = 255 + 7;
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
    std::uint16_t totalLength = 0;
    QByteArray frameBytes;
};
