#include "TSL_AckFrame.h"

#include "TSL_Crc.h"
#include "TSL_Frame.h"

int TSL_AckFrame::build(std::uint16_t session)
{
    static const char checked[] = {0x02, 0x06};
    startByte = 0xFF;
    secondStartByte = 0x01;
    checksum = tslCrc16(checked, 2);
    sessionNumber = session;
    lengthByte = 0x02;
    ackCode = acknowledged;
    endByte = 0x04;
    const char bytes[size] = {char(0xFF),
                              0x01,
                              char(checksum >> 8),
                              char(checksum & 0xFF),
                              char(session >> 8),
                              char(session & 0xFF),
                              0x02,
                              0x06,
                              0x04};
    frameBytes = QByteArray(bytes, size);
    frameSize = size;
    return size;
}

int TSL_AckFrame::parse(const QByteArray &buffer)
{
    ackCode = 0;
    if (buffer.size() < 8)
        return -1;
    const auto byteAt = [&buffer](int index) { return std::uint8_t(buffer.at(index)); };
    startByte = byteAt(0);
    secondStartByte = byteAt(1);
    checksum = std::uint16_t(byteAt(2) << 8 | byteAt(3));
    sessionNumber = std::uint16_t(byteAt(4) << 8 | byteAt(5));
    lengthByte = byteAt(6);
    ackCode = byteAt(7);
    // An 8-byte buffer has no end byte and is no acknowledgement.
    endByte = buffer.size() > 8 ? byteAt(8) : 0;
    if (buffer.size() < size || endByte != 0x04 || startByte != 0xFF || secondStartByte != 0x01)
        return -2;
    // A data frame whose payload starts with a command byte 0x01 is never an acknowledgement.
    if (ackCode == 0x01)
        return -1;
    frameBytes = buffer.left(size);
    frameSize = size;
    return 0;
}

int classifyBuffer(const QByteArray &buffer)
{
    if (buffer.size() <= 8)
        return -2;
    TSL_AckFrame ack;
    if (buffer.size() == TSL_AckFrame::size)
        return ack.parse(buffer) == 0 ? 1 : -1;
    if (ack.parse(buffer.left(TSL_AckFrame::size)) == 0)
        return 1;
    TSL_Frame frame;
    const int length = frame.parse(buffer);
    return length > 0 ? length : -1;
}
