#include "TSL_Crc.h"

#include <array>

namespace {

std::array<std::uint16_t, 256> makeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint16_t crc = std::uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
        table[std::size_t(i)] = crc;
    }
    return table;
}

} // namespace

std::uint16_t tslCrc16(const char *data, int size)
{
    // Filled on first use; static initialisation is thread-safe.
    static const std::array<std::uint16_t, 256> table = makeTable();
    std::uint16_t crc = 0;
    for (int i = 0; i < size; ++i) {
        const auto byte = std::uint8_t(data[i]);
        crc = std::uint16_t((crc << 8) ^ table[std::size_t(((crc >> 8) ^ byte) & 0xFF)]);
    }
    return crc;
}
