#include "SeededCuts.h"

SeededCuts::SeededCuts(const std::uint8_t *data, std::size_t size)
{
    const std::size_t seedBytes = size < 4 ? size : 4;
    for (std::size_t i = 0; i < seedBytes; ++i)
        m_seed = m_seed << 8 | data[i];
    m_stream = QByteArray(reinterpret_cast<const char *>(data + seedBytes), int(size - seedBytes));
}

QList<QByteArray> SeededCuts::pieces() const
{
    // Single bytes, splits inside the header, splits inside the payload and whole reads.
    static const std::uint32_t longestPiece[] = {1, 2, 3, 7, 9, 16, 64, 300};
    // xorshift32 never leaves 0, so the seed is mixed with a constant that keeps it odd.
    std::uint32_t state = (m_seed ^ 0x9E3779B9u) | 1u;
    const std::uint32_t longest = longestPiece[m_seed % 8];
    QList<QByteArray> result;
    for (int position = 0; position < m_stream.size(); position += result.last().size()) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        result.append(m_stream.mid(position, int(1 + state % longest)));
    }
    return result;
}
