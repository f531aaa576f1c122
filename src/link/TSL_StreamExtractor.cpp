#include "TSL_StreamExtractor.h"

#include "TSL_Trace.h"

#include <QString>

namespace {

enum State : std::uint8_t
{
    StartByte = 0,
    SecondStartByte = 1,
    ChecksumHigh = 2,
    ChecksumLow = 3,
    SessionHigh = 4,
    SessionLow = 5,
    LengthByte = 6,
    Payload = 7,
    EndByte = 8
};

} // namespace

QByteArray TSL_StreamExtractor::extractFrame(const QByteArray &bytes)
{
    const bool trace = !bytes.isEmpty() && TSL_Trace::enabled();
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_start);
        m_position -= m_start;
        m_start = 0;
    }
    m_buffer.append(bytes);
    if (trace)
        TSL_Trace::line(QStringLiteral("Rx data:%1 entered buf size:%2 %3")
                            .arg(m_buffer.size() - m_start)
                            .arg(bytes.size())
                            .arg(TSL_Trace::hexBytes(bufferedBytes())));

    QByteArray frame;
    while (m_position < m_buffer.size() && frame.isEmpty()) {
        const auto byte = std::uint8_t(m_buffer.at(m_position));
        switch (m_state) {
        case StartByte:
            if (byte == 0xFF) {
                m_state = SecondStartByte;
                ++m_position;
            } else {
                dropThrough(m_position);
            }
            break;
        case SecondStartByte:
            if (byte == 0x01) {
                m_state = ChecksumHigh;
                ++m_position;
            } else {
                dropThrough(m_position);
            }
            break;
        case ChecksumHigh:
        case ChecksumLow:
        case SessionHigh:
        case SessionLow:
            ++m_state;
            ++m_position;
            break;
        case LengthByte:
            if (byte == 0) {
                dropThrough(m_position);
                break;
            }
            m_remaining = byte;
            if (TSL_Trace::enabled())
                TSL_Trace::line(QStringLiteral("lg founded %1").arg(byte));
            m_state = byte == 1 ? EndByte : Payload;
            ++m_position;
            break;
        case Payload:
            if (--m_remaining == 1)
                m_state = EndByte;
            ++m_position;
            break;
        case EndByte:
            if (byte == 0x04) {
                frame = m_buffer.mid(m_start, m_position + 1 - m_start);
                m_start = m_position + 1;
                m_position = m_start;
                m_state = StartByte;
            } else {
                dropThrough(m_position);
            }
            break;
        }
    }

    if (trace)
        TSL_Trace::line(QStringLiteral("End Rx data:%1 %2")
                            .arg(m_buffer.size() - m_start)
                            .arg(TSL_Trace::hexBytes(bufferedBytes())));
    return frame;
}

void TSL_StreamExtractor::dropThrough(int index)
{
    m_start = index + 1;
    m_position = m_start;
    m_state = StartByte;
}

QByteArray TSL_StreamExtractor::bufferedBytes() const
{
    return m_buffer.mid(m_start);
}

void TSL_StreamExtractor::clear()
{
    m_buffer.clear();
    m_start = 0;
    m_position = 0;
    m_remaining = 0;
    m_state = StartByte;
}
