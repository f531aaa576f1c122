#include "FuzzCheck.h"
#include "firmware/FirmwareFile.h"

#include <QByteArray>
#include <QList>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

bool isHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// The image written the slow way, with Qt's own splitting, trimming and decoding.
std::optional<QByteArray> imageSlowly(const QByteArray &file, int maxSize)
{
    QByteArray image;
    qint64 previousEnd = -1;
    for (const QByteArray &piece : file.split('\n')) {
        const QByteArray line = piece.trimmed();
        if (!line.startsWith("S3"))
            continue;
        if (line.size() < 12 || !isHex(line.mid(2, 10)))
            return std::nullopt;
        const int length = line.mid(2, 2).toInt(nullptr, 16) - 5;
        const QByteArray hex = line.mid(12, 2 * length);
        if (length < 0 || hex.size() != 2 * length || !isHex(hex))
            return std::nullopt;
        const qint64 address = line.mid(4, 8).toLongLong(nullptr, 16);
        const qint64 gap = previousEnd >= 0 && address > previousEnd ? address - previousEnd : 0;
        if (image.size() + gap + length > maxSize)
            return std::nullopt;
        image += QByteArray(int(gap), '\0') + QByteArray::fromHex(hex);
        previousEnd = address + length;
    }
    return image;
}

// The image as "S3" records of 16 bytes from address 0, with their counts and checksums.
QByteArray recordsOf(const QByteArray &image)
{
    QList<QByteArray> records;
    for (int at = 0; at < image.size(); at += 16) {
        const QByteArray data = image.mid(at, 16);
        QByteArray bytes(1, char(data.size() + 5));
        for (const int shift : {24, 16, 8, 0})
            bytes += char(at >> shift);
        bytes += data;
        quint8 sum = 0;
        for (const char byte : bytes)
            sum += quint8(byte);
        records << "S3" + (bytes + char(~sum)).toHex();
    }
    return records.join("\r\n");
}

} // namespace

// The first two bytes give the size limit (their low 12 bits, big-endian), so that gaps reach
// it without the megabytes of the real one; the rest is the file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int maxSize = (data[0] & 0x0F) << 8 | data[1];
    const QByteArray file(reinterpret_cast<const char *>(data) + 2, int(size) - 2);

    const std::optional<QByteArray> image = FirmwareFile::image(file, maxSize);
    FUZZ_CHECK(image == imageSlowly(file, maxSize));
    if (!image)
        return 0;
    FUZZ_CHECK(image->size() <= maxSize);

    // Written back as contiguous records, the image passes the record check and comes back.
    const QByteArray records = recordsOf(*image);
    FUZZ_CHECK(FirmwareFile::recordsValid(records));
    FUZZ_CHECK(FirmwareFile::image(records, maxSize) == image);
    return 0;
}
