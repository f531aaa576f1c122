#include "FuzzCheck.h"
#include "firmware/FirmwareFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cctype>
#include <cstddef>
#include <cstdint>

namespace {

bool isHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// The pieces between line feeds, without their carriage return; empty ones left out.
QList<QByteArray> recordsOf(const QByteArray &file)
{
    QList<QByteArray> records;
    for (QByteArray piece : file.split('\n')) {
        if (piece.endsWith('\r'))
            piece.chop(1);
        if (!piece.isEmpty())
            records << piece;
    }
    return records;
}

// The record check written the slow way, with Qt's own splitting and decoding.
bool recordsValidSlowly(const QByteArray &file)
{
    for (const QByteArray &record : recordsOf(file)) {
        const QByteArray hex = record.mid(2);
        if (record.size() < 4 || hex.size() % 2 != 0 || !isHex(hex))
            return false;
        const QByteArray bytes = QByteArray::fromHex(hex);
        quint8 sum = 0;
        for (int i = 0; i + 1 < bytes.size(); ++i)
            sum += quint8(bytes.at(i));
        if (quint8(bytes.back()) != quint8(~sum))
            return false;
    }
    return true;
}

// An "S0" record carrying text, with its count and checksum.
QByteArray headerRecord(const QByteArray &text)
{
    QByteArray bytes = char(text.size() + 3) + QByteArray(2, '\0') + text;
    quint8 sum = 0;
    for (const char byte : bytes)
        sum += quint8(byte);
    return "S0" + (bytes + char(~sum)).toHex().toUpper();
}

QStringList fieldsOf(const FirmwareFile::Header &header)
{
    return {header.firmwareNumber,   header.firmwareVersion, header.password, header.productName,
            header.stackInformation, header.stackVersion,    header.crypted};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), int(size));

    const bool valid = FirmwareFile::recordsValid(file);
    FUZZ_CHECK(valid == recordsValidSlowly(file));
    const QList<QByteArray> records = recordsOf(file);
    if (valid) {
        // The same records pass with either line end, and a changed checksum fails them.
        FUZZ_CHECK(FirmwareFile::recordsValid(records.join("\r\n") + "\r\n"));
        FUZZ_CHECK(FirmwareFile::recordsValid(records.join('\n')));
        for (int i = 0; i < records.size() && i < 3; ++i) {
            QList<QByteArray> changed = records;
            changed[i].back() = changed[i].back() == '0' ? '1' : '0';
            FUZZ_CHECK(!FirmwareFile::recordsValid(changed.join('\n')));
        }
    }

    const int pieces = file.split('\n').size();
    FUZZ_CHECK(FirmwareFile::sizeInKilobytes(file) == (pieces < 2 ? 0 : (pieces - 2) * 16 / 1000));

    const std::optional<FirmwareFile::Header> header = FirmwareFile::header(file);
    if (!header)
        return 0;
    FUZZ_CHECK(!records.isEmpty() && records.first().startsWith("S0"));
    const QStringList fields = fieldsOf(*header);
    FUZZ_CHECK(header->firmwareNumber.size() == 4 && header->firmwareVersion.size() == 8 &&
               header->password.size() == 16 && header->crypted.size() <= 1);
    FUZZ_CHECK(header->stackVersion == header->stackInformation.mid(6, 4));
    for (const QString &field : fields)
        FUZZ_CHECK(!field.contains(QLatin1Char('-')) && !field.contains(QChar(0)));

    // Written back as a header record of its own, the fields come back the same.
    QStringList written = fields;
    written.removeAt(5);
    const QByteArray text = written.join(QLatin1Char('-')).toUtf8();
    if (text.size() <= 255 - 3) {
        const QByteArray record = headerRecord(text);
        FUZZ_CHECK(FirmwareFile::recordsValid(record));
        const std::optional<FirmwareFile::Header> again = FirmwareFile::header(record + "\r\n");
        FUZZ_CHECK(again && fieldsOf(*again) == fields);
    }
    return 0;
}
