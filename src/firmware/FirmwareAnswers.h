#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The readers' answers to the firmware commands, read as docs/firmware-protocol.md lays them
// out. Answers come from outside: every reader checks lengths and says nothing rather than
// guess.
namespace FirmwareAnswers {

// The status byte that follows the four bytes of the answer's head; nothing when too short.
std::optional<quint8> status(const QByteArray &answer);
bool isDone(const QByteArray &answer);

// What "01 09 09 03" tells: the download the reader holds, if any.
struct PendingDownload
{
    QString password;        // 16 upper-case hexadecimal digits
    QString firmwareNumber;  // 4
    QString firmwareVersion; // 8
    quint32 size = 0;
    quint16 session = 0;
};
std::optional<PendingDownload> pendingDownload(const QByteArray &answer);

// The fragment numbers, 1 to fragmentCount, that a "01 09 09 27" answer names as missing, in
// order and each once; nothing when the answer is not one (wrong head, status or length).
std::optional<QList<int>> missingFragments(const QByteArray &answer, int fragmentCount);
// The same from one distant device ("01 03 02 27", status, the device's address, ranges).
std::optional<QList<int>> distantMissingFragments(const QByteArray &answer, int fragmentCount);

// The firmware information answer ("01 07 01 ..."), as the dock shows it.
struct FirmwareInformation
{
    QString installedNumber;
    QString installedVersion;
    QString installedStackVersion;
    QString pendingNumber;
    QString pendingVersion;
    // Nine pieces of 20 characters, joined with CR LF.
    QString pendingStackInformation;
};
std::optional<FirmwareInformation> information(const QString &answerHex);

} // namespace FirmwareAnswers
