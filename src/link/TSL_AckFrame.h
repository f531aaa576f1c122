#pragma once

#include <QByteArray>

#include <cstdint>

// A 9-byte acknowledgement: FF 01, CRC, session, 02, code, 04.
class TSL_AckFrame
{
public:
    static constexpr int size = 9;
    static constexpr std::uint8_t acknowledged = 0x06;
    static constexpr std::uint8_t buffered = 0x07;
    static constexpr std::uint8_t rejected = 0x08;
    static constexpr std::uint8_t recovered = 0x09;

    // An acknowledgement (code 0x06) of the session; returns 9.
    int build(std::uint16_t session);

    // 0 when the buffer starts with an acknowledgement, -1 or -2 when it does not.
    int parse(const QByteArray &buffer);

    std::uint8_t startByte = 0xFF;
    std::uint8_t secondStartByte = 0x01;
    std::uint16_t checksum = 0;
    std::uint16_t sessionNumber = 0;
    std::uint8_t lengthByte = 0x02;
    // 0 until an acknowledgement arrives.
    std::uint8_t ackCode = 0;
    std::uint8_t endByte = 0x04;
    QByteArray frameBytes;
    std::uint8_t frameSize = size;
};

// 1: starts with an acknowledgement; 8 or more: starts with a complete data frame of that
// length; -1: invalid data; -2: too short to hold an acknowledgement.
int classifyBuffer(const QByteArray &buffer);
