#pragma once

#include "firmware/downloadData_t.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The texts that the upgrade engine sends and the values it computes for them; no reader and
// no widget involved. Jobs are read as the dock fills them (downloadData_t).
namespace FirmwareCommands {

// Image bytes carried by one fragment.
constexpr int fragmentBytes = 189;

// The devices wake within this many milliseconds, both included.
constexpr unsigned minimumWakeUpLength = 25;
constexpr unsigned maximumWakeUpLength = 10100;

// The wake-up length (27 ms) that a direct upgrade of distant devices sends the fragments with.
extern const QString directTransferWakeUpLength;

// The password that a clone job gives the reader.
extern const QString clonePassword;

// CRC-32 of the image (polynomial 0x04C11DB7, initial value 0, most significant bit first, no
// final XOR) as 8 upper-case digits.
QString firmwareCrc(const QByteArray &image);
// The image's size in bytes as 8 upper-case digits.
QString firmwareSize(const QByteArray &image);
// CRC-16 of a fragment (polynomial 0x8404, initial value 0, most significant bit first) XORed
// with the session number, as 4 lower-case digits.
QString fragmentCheckValue(const QByteArray &fragment, std::uint16_t downloadSession);
// 4 lower-case digits.
QString downloadSessionText(std::uint16_t session);
// A session number from 0 to 65534 as downloadSessionText writes it.
QString drawDownloadSession(QRandomGenerator &random);

// One command per fragment of the image, numbered from 1: prefix, the number as 4 lower-case
// digits, the check value, then the fragment's bytes as upper-case hexadecimal. A session text
// that is not hexadecimal counts as 0.
QStringList fragmentCommands(const QString &prefix, const QByteArray &image,
                             const QString &downloadSession);

// Commands for the connected reader itself.
QString pendingInformationCommand(const downloadData_t &job);
QString enterDownloadModeCommand(const downloadData_t &job);
QStringList readerFragmentCommands(const downloadData_t &job, const QByteArray &image);
QString missingFragmentsCommand(const downloadData_t &job);
QString applyCommand(const downloadData_t &job);
// Prepares the reader's external memory for a clone.
QString formatExternalMemoryCommand(const downloadData_t &job);

// Forwarding the job's firmware over the air: to one device, or to every device of the list
// with their number in front.
QString singleForwardingCommand(const downloadData_t &job);
QString listForwardingCommand(const downloadData_t &job);
// Starts the upgrade of distant devices with the reader's pending firmware; the device list
// follows unless the transfer cast type ends in "3".
QString upgradeWithLoadedFirmwareCommand(const downloadData_t &job);
// After a push, asks the reader for its result.
QString pushResultCommand();

// The reader's radio set up to reach the target, through the relays that are set (an empty
// relay or "00000000" is none; relay 2 counts only behind relay 1).
QString accessRadioParametersCommand(const downloadData_t &job);
QString readDynamicWordCommand();
// The transfer settings, the cast part ("02" for a cast type ending in "3", else "0" and its
// last digit) and the dynamic configuration word with bit 0 cleared.
QString radioParameterSetCommand(const downloadData_t &job, std::uint16_t dynamicWord);
// Transmission type of the access cast type; "03" goes out as "02".
QString transmissionTypeCommand(const downloadData_t &job);
// Opens the way to the distant target before a distant job.
QString connectDistantDeviceCommand();

// Bytes 3 and 4 of the answer to readDynamicWordCommand, big-endian; nothing unless the
// answer has exactly 5 bytes.
std::optional<std::uint16_t> dynamicConfigurationWord(const QByteArray &answer);

// The error text of the first distant parameter that is wrong: wake-up length, target, relay 1.
std::optional<QString> distantParametersError(const downloadData_t &job);

// Whether the firmware version lies between the lowest and the highest accepted version.
bool firmwareVersionAccepted(const downloadData_t &job);

// Direct upgrade of distant devices: the list forwarding command for an access cast type
// ending in "3", else the single forwarding command followed by the transmission type.
QString directForwardCommand(const downloadData_t &job);
// Each fragment command (prefix "01020121") behind the transmission type.
QStringList distantFragmentCommands(const downloadData_t &job, const QByteArray &image);
QString distantMissingFragmentsCommand(const downloadData_t &job);
QString distantApplyCommand(const downloadData_t &job);

// How long a push of byteCount bytes should take at the job's transfer settings, in ms:
// the time until the bar is full and the time allowed beyond it.
struct TransferEstimate
{
    int timeToFull = 0;
    int extra = 0;
};
TransferEstimate transferEstimate(const downloadData_t &job, int byteCount);
QString autoProgressMessage(const TransferEstimate &estimate);

// The job rewritten for a clone of the reader's own firmware, with a new session.
downloadData_t cloneJob(downloadData_t job, QRandomGenerator &random);

} // namespace FirmwareCommands
