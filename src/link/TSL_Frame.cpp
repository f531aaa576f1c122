#include "TSL_Frame.h"

#include "TSL_Crc.h"

TSL_Frame::TSL_Frame(const QByteArray &buffer)
{
    parse(buffer);
}

int TSL_Frame::build(const char *data, int size, std::uint16_t session)
{
    payloadLength = std::uint16_t(size);
    payload = QByteArray(data, size);
    sessionNumber = session;

    QByteArray checked;
    checked.reserve(size + 1);
    checked.append(char(size + 1));
    checked.append(payload);
    checksum = tslCrc16(checked);

    frameBytes.clear();
    frameBytes.reserve(size + overhead);
    frameBytes.append(char(startByte));
    frameBytes.append(char(secondStartByte));
    frameBytes.append(char(checksum >> 8));
    frameBytes.append(char(checksum & 0xFF));
    frameBytes.append(char(session >> 8));
    frameBytes.append(char(session & 0xFF));
    frameBytes.append(checked);
    frameBytes.append(char(endByte));
    totalLength = std::uint16_t(size + overhead);
    return size + overhead;
}

int TSL_Frame::parse(const QByteArray &buffer)
{
    const int available = buffer.size();
    const auto byteAt = [&buffer](int index) { return std::uint8_t(buffer.at(index)); };
    if (available < overhead || byteAt(0) != 0xFF || byteAt(1) != 0x01)
        return -1;

    checksum = std::uint16_t(byteAt(2) << 8 | byteAt(3));
    sessionNumber = std::uint16_t(byteAt(4) << 8 | byteAt(5));
    // Computed in 16 bits: a length byte of 0 announces 65535 bytes.
    const std::uint16_t size = std::uint16_t(byteAt(6) - 1);
    if (int(size) + 6 >= available)
        return -2;
    payloadLength = size;
    payload = buffer.mid(7, size);
    if (int(size) + 7 >= available || byteAt(size + 7) != 0x04)
        return -3;

    startByte = 0xFF;
    secondStartByte = 0x01;
    endByte = 0x04;
    totalLength = std::uint16_t(size + overhead);
    frameBytes = buffer.left(size + overhead);
    return size + overhead;
}
