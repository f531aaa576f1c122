#pragma once

#include <QByteArray>

#include <cstdint>

// Cuts TSL frames out of a received byte stream by their start bytes, length byte and end
// byte. Bytes that cannot start or finish a frame are dropped; a length byte of 0 is a
// framing error dropped together with the bytes before it.
class TSL_StreamExtractor
{
public:
    // Appends the bytes and returns the next complete frame, or an empty array.
    QByteArray extractFrame(const QByteArray &bytes = QByteArray());

    // Bytes kept for a frame that is not complete yet, or for frames not yet asked for.
    QByteArray bufferedBytes() const;
    bool hasBufferedBytes() const { return m_start < m_buffer.size(); }

    void clear();

private:
    void dropThrough(int index);

    QByteArray m_buffer;
    // The buffer before m_start is already consumed; compacted lazily so that cutting
    // many frames out of one large read stays linear.
    int m_start = 0;
    int m_position = 0;
    std::uint8_t m_remaining = 0;
    std::uint8_t m_state = 0;
};
