#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// Firmware files: Motorola S-record text whose first record carries the firmware header. What
// the firmware panel checks and shows, the option boxes it sets up, and the binary image that
// the upgrade engine sends, all without a widget. Every function takes any bytes: a file from
// outside is refused, never trusted.
namespace FirmwareFile {

// The fields of the header record's text, six fields separated by "-".
struct Header
{
    QString firmwareNumber;  // 4 characters, meant to be hexadecimal
    QString firmwareVersion; // 8 characters
    QString password;        // 16 characters
    QString productName;
    QString stackInformation;
    QString stackVersion; // characters 6 to 9 of the stack information, fewer if it is short
    QString crypted;      // first character of the sixth field, empty if it is empty
};

// What choosing a file gives the panel: the status message, and on success the bytes held for
// the engine, the header and the size in kilobytes.
struct Selection
{
    QString message;
    QByteArray bytes; // empty unless the file passed both checks
    Header header;
    int sizeKb = 0;
};

// Outcome of setting up the save option boxes for an upgrade situation.
enum class SaveOptions
{
    Full,         // "Appli param save" and "LRWAN param save" checked and shown
    Downgrade,    // "Allow downgrade" checked and shown, "LRWAN param save" unchecked and hidden
    None,         // both unchecked and hidden
    UpdateReader, // "Update Reader" is shown, then "Appli param save" alone checked and shown
};

struct SaveOptionsSetup
{
    SaveOptions outcome = SaveOptions::None;
    bool disableCheckShown = false; // "Disable firmware number check", always unchecked
};

// The largest image built, so that a hostile address gap cannot ask for gigabytes.
constexpr int maxImageSize = 16 * 1024 * 1024;
// Far beyond any reader's flash in S-record text: a larger file is not read at all.
constexpr qint64 maxFileSize = 32 * 1024 * 1024;

// Every piece between line feeds carries a valid checksum. Empty pieces, and pieces that hold
// only a carriage return, are skipped. A piece shorter than 4 characters (its carriage return
// left out), or whose characters from the third on are not an even number of hexadecimal
// digits, fails. The record type is not looked at.
bool recordsValid(const QByteArray &file);

// The header of the first record (the first piece that is not skipped). Nothing unless it
// begins with "S0", its byte count N is two hexadecimal digits of at least 3, the record holds
// the N - 3 header bytes as hexadecimal and a checksum behind them, and the text (up to its
// first zero byte, UTF-8) has six fields with the first three 4, 8 and 16 characters long.
std::optional<Header> header(const QByteArray &file);

// (pieces at line feeds - 2) * 16 / 1000; 0 for a file of one line.
int sizeInKilobytes(const QByteArray &file);

// Reads and checks the file at path as the panel does when the user chooses it; an empty path
// means no file was chosen.
Selection load(const QString &path);

// The selected firmware number with bit 15 set when the number check is disabled and cleared
// otherwise, as 4 lower-case digits. Nothing unless number is 1 to 4 hexadecimal digits.
std::optional<QString> firmwareNumberField(const QString &number, bool disableCheck);

// Two upper-case digits: bit 7 set, bit 6 for the first box, bit 5 for "LRWAN param save", the
// low five bits from value.
QString optionsByteField(int value, bool firstBoxChecked, bool lrwanBoxChecked);

// Whether the reader's stack copes with saving its parameters, from the installed firmware
// number and stack version. A text that does not read as hexadecimal (none known yet) reads as 0.
bool stackSufficient(const QString &installedNumber, const QString &installedStackVersion);

// Situations 2 to 4 need the user's answer to "Distant stack version?" first.
bool asksDistantStackVersion(int code);

// The option boxes for situation code. distantStackYes, the answer to "Distant stack
// version?", is read only when asksDistantStackVersion(code).
SaveOptionsSetup saveOptionsSetup(int code, const QString &installedNumber,
                                  const QString &installedStackVersion, bool distantStackYes);

// The binary image of the "S3" records (blanks around a line ignored, other records skipped),
// joined in file order, a gap up to a record's address filled with zeros; a record at or below
// the end of the one before is appended as it is. Checksums are not read. Nothing when an "S3"
// record has a byte count below 5 or is not hexadecimal as far as its data reaches, or when the
// image would exceed maxSize bytes; the size is checked before anything is allocated. A file
// without "S3" records gives an empty image.
std::optional<QByteArray> image(const QByteArray &file, int maxSize = maxImageSize);

} // namespace FirmwareFile
