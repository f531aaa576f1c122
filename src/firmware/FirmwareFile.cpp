#include "FirmwareFile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLatin1Char>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstring>

namespace FirmwareFile {

namespace {

constexpr int headerFields = 6;
constexpr int numberWidth = 4;
constexpr int versionWidth = 8;
constexpr int passwordWidth = 16;
constexpr int stackVersionStart = 6;
constexpr int stackVersionWidth = 4;
constexpr int noCheckBit = 0x8000;

constexpr std::array<signed char, 256> nibbleTable()
{
    std::array<signed char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9')
            table[c] = static_cast<signed char>(c - '0');
        else if (c >= 'a' && c <= 'f')
            table[c] = static_cast<signed char>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            table[c] = static_cast<signed char>(c - 'A' + 10);
        else
            table[c] = -1;
    }
    return table;
}

constexpr std::array<signed char, 256> nibbles = nibbleTable();

int nibble(char c)
{
    return nibbles[static_cast<unsigned char>(c)];
}

// The byte written in the two characters at text, or -1.
int hexByte(const char *text)
{
    const int high = nibble(text[0]);
    const int low = nibble(text[1]);
    return (high | low) < 0 ? -1 : high << 4 | low;
}

std::optional<quint32> hexValue(const QString &text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : text) {
        const int digit = c.unicode() < 128 ? nibble(char(c.unicode())) : -1;
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | quint32(digit);
    }
    return value;
}

// Calls visit(begin, end) on each piece between line feeds, in place, until it returns false;
// tells whether every piece was visited.
template<typename Visit>
bool everyPiece(const QByteArray &file, Visit visit)
{
    const char *begin = file.constData();
    const char *const fileEnd = begin + file.size();
    while (begin < fileEnd) {
        const void *lineFeed = std::memchr(begin, '\n', size_t(fileEnd - begin));
        const char *end = lineFeed ? static_cast<const char *>(lineFeed) : fileEnd;
        if (!visit(begin, end))
            return false;
        begin = end + 1;
    }
    return true;
}

const char *withoutCarriageReturn(const char *begin, const char *end)
{
    return end > begin && end[-1] == '\r' ? end - 1 : end;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

bool recordValid(const char *begin, const char *end)
{
    end = withoutCarriageReturn(begin, end);
    const qptrdiff length = end - begin;
    if (length == 0)
        return true;
    if (length < 4 || length % 2 != 0)
        return false;
    unsigned sum = 0;
    for (const char *at = begin + 2; at < end - 2; at += 2) {
        const int byte = hexByte(at);
        if (byte < 0)
            return false;
        sum += unsigned(byte);
    }
    return hexByte(end - 2) == int(~sum & 0xFFu);
}

// Appends the data of the "S3" record in [begin, end) to bytes; false when it is malformed or
// the image would grow too large.
bool appendS3Record(const char *begin, const char *end, int maxSize, QByteArray &bytes,
                    qint64 &previousEnd)
{
    constexpr int dataStart = 12;
    if (end - begin < dataStart)
        return false;
    const int count = hexByte(begin + 2);
    if (count < 5)
        return false;
    qint64 address = 0;
    for (const char *at = begin + 4; at < begin + dataStart; at += 2) {
        const int byte = hexByte(at);
        if (byte < 0)
            return false;
        address = address << 8 | byte;
    }
    const int length = count - 5;
    if (end - begin < dataStart + 2 * length)
        return false;
    const qint64 gap = previousEnd >= 0 && address > previousEnd ? address - previousEnd : 0;
    const qint64 start = bytes.size() + gap;
    if (start + length > maxSize)
        return false;
    bytes.resize(int(start + length));
    char *out = bytes.data() + start;
    std::memset(out - gap, 0, size_t(gap));
    for (const char *at = begin + dataStart; at < begin + dataStart + 2 * length; at += 2) {
        const int byte = hexByte(at);
        if (byte < 0)
            return false;
        *out++ = char(byte);
    }
    previousEnd = address + length;
    return true;
}

} // namespace

bool recordsValid(const QByteArray &file)
{
    return everyPiece(file, recordValid);
}

std::optional<Header> header(const QByteArray &file)
{
    const char *begin = nullptr;
    const char *end = nullptr;
    everyPiece(file, [&begin, &end](const char *pieceBegin, const char *pieceEnd) {
        pieceEnd = withoutCarriageReturn(pieceBegin, pieceEnd);
        if (pieceBegin == pieceEnd)
            return true;
        begin = pieceBegin;
        end = pieceEnd;
        return false;
    });
    if (!begin || end - begin < 4 || begin[0] != 'S' || begin[1] != '0')
        return std::nullopt;
    const int count = hexByte(begin + 2);
    if (count < 3)
        return std::nullopt;
    const int textLength = count - 3;
    if (end - begin < 8 + 2 * textLength + 2)
        return std::nullopt;
    QByteArray text(textLength, '\0');
    for (int i = 0; i < textLength; ++i) {
        const int byte = hexByte(begin + 8 + 2 * i);
        if (byte < 0)
            return std::nullopt;
        text[i] = char(byte);
    }
    const QStringList fields =
        QString::fromUtf8(text.constData(), int(qstrnlen(text.constData(), uint(textLength))))
            .split(QLatin1Char('-'), Qt::KeepEmptyParts);
    if (fields.size() != headerFields || fields.at(0).size() != numberWidth ||
        fields.at(1).size() != versionWidth || fields.at(2).size() != passwordWidth)
        return std::nullopt;
    return Header{fields.at(0),        fields.at(1),
                  fields.at(2),        fields.at(3),
                  fields.at(4),        fields.at(4).mid(stackVersionStart, stackVersionWidth),
                  fields.at(5).left(1)};
}

int sizeInKilobytes(const QByteArray &file)
{
    const qint64 pieces = qint64(file.count('\n')) + 1;
    return pieces < 2 ? 0 : int((pieces - 2) * 16 / 1000);
}

Selection load(const QString &path)
{
    Selection selection;
    if (path.isEmpty()) {
        selection.message = QStringLiteral("Error: Please select existing file.");
        return selection;
    }
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        selection.message = QStringLiteral("Error: Could not open firmware file \"%1\".").arg(name);
        return selection;
    }
    // A device that reports no size is read up to the limit, and never without end.
    const qint64 size = file.size();
    QByteArray bytes = size > maxFileSize ? QByteArray()
                       : size > 0         ? file.readAll()
                                          : file.read(maxFileSize + 1);
    file.close();
    if (size > maxFileSize || bytes.size() > maxFileSize || !recordsValid(bytes)) {
        selection.message = QStringLiteral("Error: Invalid firmware data \"%1\".").arg(name);
        return selection;
    }
    const std::optional<Header> fields = header(bytes);
    if (!fields) {
        selection.message = QStringLiteral("Error: Invalid firmware header \"%1\".").arg(name);
        return selection;
    }
    selection.message = QStringLiteral("Firmware file \"%1\" has been selected.").arg(name);
    selection.header = *fields;
    selection.sizeKb = sizeInKilobytes(bytes);
    selection.bytes = std::move(bytes);
    return selection;
}

std::optional<QString> firmwareNumberField(const QString &number, bool disableCheck)
{
    const std::optional<quint32> value = hexValue(number, numberWidth);
    if (!value)
        return std::nullopt;
    const quint32 field = disableCheck ? *value | noCheckBit : *value & ~quint32(noCheckBit);
    return QStringLiteral("%1").arg(field, numberWidth, 16, QLatin1Char('0'));
}

QString optionsByteField(int value, bool firstBoxChecked, bool lrwanBoxChecked)
{
    const int byte =
        0x80 | (firstBoxChecked ? 0x40 : 0) | (lrwanBoxChecked ? 0x20 : 0) | (value & 0x1F);
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

bool stackSufficient(const QString &installedNumber, const QString &installedStackVersion)
{
    const quint32 number = hexValue(installedNumber, 8).value_or(0) & ~quint32(noCheckBit);
    const quint32 stack = hexValue(installedStackVersion, 8).value_or(0);
    return number != 2 || (stack > 0x0321 && (stack < 0x0395 || stack > 0x03AF));
}

bool asksDistantStackVersion(int code)
{
    return code >= 2 && code <= 4;
}

SaveOptionsSetup saveOptionsSetup(int code, const QString &installedNumber,
                                  const QString &installedStackVersion, bool distantStackYes)
{
    const bool sufficient = stackSufficient(installedNumber, installedStackVersion);
    if (code == 0)
        return {sufficient ? SaveOptions::Full : SaveOptions::Downgrade, sufficient};
    if (code == 1)
        return {SaveOptions::None, sufficient};
    if (!asksDistantStackVersion(code))
        return {SaveOptions::None, false};
    const SaveOptions outcome = !distantStackYes ? SaveOptions::Downgrade
                                : sufficient     ? SaveOptions::Full
                                                 : SaveOptions::UpdateReader;
    return {outcome, code != 2 && outcome != SaveOptions::Downgrade};
}

std::optional<QByteArray> image(const QByteArray &file, int maxSize)
{
    QByteArray bytes;
    bytes.reserve(int(std::clamp<qint64>(file.size() / 2, 0, maxSize)));
    qint64 previousEnd = -1;
    const bool complete =
        everyPiece(file, [maxSize, &bytes, &previousEnd](const char *begin, const char *end) {
            // Blanks behind a record need no trimming: nothing after its data is read.
            while (begin < end && isBlank(*begin))
                ++begin;
            if (end - begin < 2 || begin[0] != 'S' || begin[1] != '3')
                return true;
            return appendS3Record(begin, end, maxSize, bytes, previousEnd);
        });
    if (!complete)
        return std::nullopt;
    return bytes;
}

} // namespace FirmwareFile
