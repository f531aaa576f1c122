#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// What the firmware upgrade dock makes of the user's choices and of the reader's answers,
// without a widget.
namespace FirmwareChoices {

enum FirmwareType
{
    Appli = 0,
    Rescue = 1,
    Bootloader = 2,
};

// The upload type of "Do Nothing" and of every combination that is not offered.
constexpr int invalidUploadType = 24;

// What the reader says it can do, from its capability answer; everything until it answers.
struct Capabilities
{
    bool ota = true;
    bool rescue = true;
    bool bootloader = true;
    bool benchSlots = true;
    bool clone = true;

    bool operator==(const Capabilities &other) const
    {
        return ota == other.ota && rescue == other.rescue && bootloader == other.bootloader &&
               benchSlots == other.benchSlots && clone == other.clone;
    }
};
// The capability answer ("010601", a count and flag bytes, upper-case hexadecimal text);
// nothing when the count is not 8 × the length of count and flags − 7.
std::optional<Capabilities> capabilities(const QString &answerHex);

// The "Action" items for the transfer type (ota: over the air) and the firmware type.
QStringList actionItems(bool ota, int firmwareType);
// Whether the reader can do an action; the dock greys out the others, so that the action
// positions stay.
bool actionOffered(const QString &action, const Capabilities &capabilities);

// 0 to 24; nothing when action is none of the known action texts.
std::optional<int> uploadType(bool ota, int firmwareType, const QString &action);

// The value given to the firmware panel's options byte, and the bench slot, of a valid type.
int optionsValue(int uploadType);
QString benchSlot(int uploadType);

// Types 15 to 23 reach distant devices and carry the radio settings and the device list.
bool isDistant(int uploadType);
bool isClone(int uploadType);
// The firmware number a clone job sends, from the number kept for the reader.
QString cloneFirmwareNumber(int uploadType, const QString &keptNumber);

QStringList radioModeItems();
QStringList spreadingFactorItems();
QStringList channelItems();
QStringList castTypeItems();
// Values of the items at index, as the job record carries them.
QString radioModeValue(int index);
QString spreadingFactorValue(int index);
QString channelValue(int index);
QString castTypeValue(int index);
bool isLoraMode(int radioModeIndex);
QString wakeUpLengthValue(int milliseconds);

// The typed device list without blanks, and the message that refuses it for the cast type
// value (empty when it is accepted).
struct DeviceList
{
    QString addresses;
    QString refusal;
};
DeviceList deviceList(const QString &typed, const QString &castValue);

// The known leading command code of an answer (upper-case hexadecimal text), the longest that
// fits; empty when none does.
QString answerCode(const QString &answerHex);
// What the job's reader tab hands to the dock rather than to its tables while a job of the
// type runs: the primary and secondary update filters.
QStringList answerFilters(int uploadType);
// The leading codes of the frames that the reader tab hands to the dock while a job of the
// type runs, besides those the filters catch.
QStringList answerLeadingCodes(int uploadType);

// Whether an answer with a known code tells the engine that the reader did what was asked.
bool answerSucceeded(const QString &code);

// The automatic fill of the progress bar: maximum * elapsed / timeToFull (120 when it is 0),
// held at the maximum, and full once it would pass it.
struct AutoProgress
{
    int value = 0;
    bool full = false;
};
AutoProgress autoProgress(int maximum, qint64 elapsedMs, int timeToFullMs);

// "12.3 of 40.0 kB sent, 8.9 kB/s, 3 s left" (1 kB = 1000 bytes).
QString transferProgressText(qint64 bytesSent, qint64 bytesToSend, double bytesPerSecond);

} // namespace FirmwareChoices
