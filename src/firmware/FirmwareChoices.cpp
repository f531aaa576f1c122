#include "FirmwareChoices.h"

#include <QObject>
#include <QRegularExpression>
#include <QtMath>

namespace FirmwareChoices {

namespace {

const QString doNothing = QStringLiteral("Do Nothing");
const QString updateReader = QStringLiteral("Update reader");
const QString uploadPending = QStringLiteral("Upload pending firmware");
const QString firstBench = QStringLiteral("Upload pending firmware / bench firmware 1");
const QString otherBench = QStringLiteral("Upload pending bench firmware %1");
const QString pushPending = QStringLiteral("Push pending firmware");
const QString readerClone = QStringLiteral("Reader firmware clone");
const QString directUpdate = QStringLiteral("Direct firmware update");
constexpr int benchSlots = 10;

QString hexByte(int value)
{
    return QString::number(value & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

// 1 to 10 for the bench firmware actions, 0 for any other text.
int benchNumber(const QString &action)
{
    if (action == firstBench)
        return 1;
    for (int bench = 2; bench <= benchSlots; ++bench) {
        if (action == otherBench.arg(bench))
            return bench;
    }
    return 0;
}

} // namespace

std::optional<Capabilities> capabilities(const QString &answerHex)
{
    const QByteArray fields = QByteArray::fromHex(answerHex.mid(6).toLatin1());
    if (fields.isEmpty() || quint8(fields.at(0)) != 8 * fields.size() - 7)
        return std::nullopt;
    // Flags the answer does not carry are elements the reader does not have.
    const int flags = fields.size() > 1 ? quint8(fields.at(1)) : 0;
    Capabilities can;
    can.ota = flags & 0x01;
    can.rescue = flags & 0x02;
    can.bootloader = flags & 0x04;
    can.benchSlots = flags & 0x08;
    can.clone = flags & 0x10;
    return can;
}

QStringList actionItems(bool ota, int firmwareType)
{
    if (ota)
        return {doNothing, pushPending, readerClone, directUpdate};
    if (firmwareType != Rescue)
        return {doNothing, updateReader, uploadPending};
    QStringList items{doNothing, updateReader, firstBench};
    for (int bench = 2; bench <= benchSlots; ++bench)
        items << otherBench.arg(bench);
    return items;
}

bool actionOffered(const QString &action, const Capabilities &capabilities)
{
    if (action == readerClone)
        return capabilities.clone;
    return capabilities.benchSlots || benchNumber(action) < 2;
}

std::optional<int> uploadType(bool ota, int firmwareType, const QString &action)
{
    const int bench = benchNumber(action);
    const bool localAction = action == updateReader || action == uploadPending || bench > 0;
    const bool otaAction = action == pushPending || action == readerClone || action == directUpdate;
    if (!localAction && !otaAction && action != doNothing)
        return std::nullopt;
    if (firmwareType < Appli || firmwareType > Bootloader || action == doNothing ||
        ota != otaAction)
        return invalidUploadType;
    if (action == updateReader)
        return firmwareType;
    if (action == uploadPending)
        return firmwareType == Appli ? 3 : firmwareType == Bootloader ? 14 : invalidUploadType;
    if (bench > 0)
        return firmwareType == Rescue ? 3 + bench : invalidUploadType;
    if (action == directUpdate)
        return 15 + firmwareType;
    if (action == pushPending)
        return 18 + firmwareType;
    return 21 + firmwareType;
}

int optionsValue(int uploadType)
{
    if (uploadType <= 2)
        return uploadType;
    if (uploadType == 3)
        return 4;
    if (uploadType <= 14)
        return 5;
    if (uploadType <= 17)
        return uploadType - 15;
    if (uploadType <= 20)
        return uploadType - 14;
    return uploadType - 13;
}

QString benchSlot(int uploadType)
{
    if (uploadType >= 4 && uploadType <= 13)
        return hexByte(uploadType - 4);
    return QStringLiteral("0");
}

bool isDistant(int uploadType)
{
    return uploadType >= 15 && uploadType <= 23;
}

bool isClone(int uploadType)
{
    return uploadType >= 21 && uploadType <= 23;
}

QString cloneFirmwareNumber(int uploadType, const QString &keptNumber)
{
    // The rescue clone names the rescue area of the same firmware.
    if (uploadType == 22)
        return QStringLiteral("8") + keptNumber.right(3);
    return keptNumber;
}

QStringList radioModeItems()
{
    return {QStringLiteral("868Mhz 10Kbps"),
            QStringLiteral("868Mhz 50Kbps"),
            QStringLiteral("868Mhz 100Kbps"),
            QStringLiteral("868Mhz 150Kbps"),
            QStringLiteral("433Mhz 10Kbps"),
            QStringLiteral("433Mhz 50Kbps"),
            QStringLiteral("915Mhz US 20Kbps"),
            QStringLiteral("915Mhz US FHSS 20Kbps"),
            QStringLiteral("915Mhz AUS mono 20Kbps"),
            QStringLiteral("915Mhz AUS FHSS 20Kbps"),
            QStringLiteral("868Mhz LORA"),
            QStringLiteral("433Mhz LORA"),
            QStringLiteral("915Mhz LORA")};
}

QStringList spreadingFactorItems()
{
    QStringList items;
    for (int factor = 5; factor <= 12; ++factor)
        items << QStringLiteral("SF%1").arg(factor);
    return items;
}

QStringList channelItems()
{
    QStringList items;
    for (int channel = 0; channel <= 255; ++channel)
        items << QStringLiteral("Channel %1").arg(channel);
    return items;
}

QStringList castTypeItems()
{
    return {QStringLiteral("Unicast"),
            QStringLiteral("Multicast"),
            QStringLiteral("Broadcast"),
            QStringLiteral("Cast list"),
            QStringLiteral("Broadcast_get_missing_first"),
            QStringLiteral("Cast list_get_missing_first"),
            QStringLiteral("Broadcast_3times_no_miss_frag"),
            QStringLiteral("Cast list_3times_no_miss_frag")};
}

QString radioModeValue(int index)
{
    return hexByte(index);
}

QString spreadingFactorValue(int index)
{
    return index == 0 ? QStringLiteral("07") : hexByte(index - 1);
}

QString channelValue(int index)
{
    return hexByte(index);
}

QString castTypeValue(int index)
{
    static const QStringList values{"00", "01", "02", "03", "82", "83", "42", "43"};
    return values.value(index);
}

bool isLoraMode(int radioModeIndex)
{
    return radioModeIndex >= 0x0A && radioModeIndex <= 0x0C;
}

QString wakeUpLengthValue(int milliseconds)
{
    return QString::number(milliseconds & 0xFFFF, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

DeviceList deviceList(const QString &typed, const QString &castValue)
{
    constexpr int addressLength = 8;
    DeviceList list{QString(typed).remove(QRegularExpression(QStringLiteral("\\s"))), QString()};
    const int length = list.addresses.size();
    const bool castList = castValue.endsWith(QLatin1Char('3'));
    if (length < addressLength)
        list.refusal = QObject::tr("Distant device \"%1\"isn't a valid device.")
                           .arg(list.addresses.left(addressLength));
    else if (castList && length % addressLength != 0)
        list.refusal = QObject::tr("Distant device list contains a length error! invalid list!");
    else if (!castList && length > addressLength)
        list.refusal = QObject::tr("Distant device list can contain more that 1 address in Cast "
                                   "by list RF config only!");
    return list;
}

QString answerCode(const QString &answerHex)
{
    static const QStringList codes{"010601",   "010701",   "01090903", "010A0903", "010A0902",
                                   "010A0905", "010A0921", "010A0923", "010502",   "0103",
                                   "010A0920", "010A0922", "010A0927", "010A0924", "010A0914",
                                   "010501",   "0103820F", "0103860F", "010A02A3", "010A010100",
                                   "010307",   "010308"};
    QString found;
    for (const QString &code : codes) {
        if (answerHex.startsWith(code, Qt::CaseInsensitive) && code.size() > found.size())
            found = code;
    }
    return found;
}

QStringList answerFilters(int uploadType)
{
    // The reader's own download answers and its firmware information.
    if (isDistant(uploadType))
        return {};
    return {QStringLiteral("010A09"), QStringLiteral("010701")};
}

QStringList answerLeadingCodes(int uploadType)
{
    // A distant job hears the reader's download, push and forwarding answers (010A), its
    // parameter answers (0105) and what the devices pass on (0103); other frames of the reader
    // are shown and logged as ever.
    if (isDistant(uploadType))
        return {QStringLiteral("010A"), QStringLiteral("0105"), QStringLiteral("0103")};
    return {};
}

bool answerSucceeded(const QString &code)
{
    // Both are the reader's refusal of a command it does not take in its present state.
    return code != QLatin1String("0103820F") && code != QLatin1String("0103860F");
}

AutoProgress autoProgress(int maximum, qint64 elapsedMs, int timeToFullMs)
{
    const qint64 divisor = timeToFullMs > 0 ? timeToFullMs : 120;
    const qint64 value = qint64(maximum) * elapsedMs / divisor;
    if (value > maximum)
        return {maximum, true};
    return {int(value), false};
}

QString transferProgressText(qint64 bytesSent, qint64 bytesToSend, double bytesPerSecond)
{
    const QString sent = QObject::tr("%1 of %2 kB sent, %3 kB/s")
                             .arg(bytesSent / 1000.0, 0, 'f', 1)
                             .arg(bytesToSend / 1000.0, 0, 'f', 1)
                             .arg(bytesPerSecond / 1000.0, 0, 'f', 1);
    if (bytesPerSecond <= 0)
        return sent;
    const qint64 secondsLeft =
        qCeil(double(qMax<qint64>(0, bytesToSend - bytesSent)) / bytesPerSecond);
    return sent + QObject::tr(", %1 s left").arg(secondsLeft);
}

} // namespace FirmwareChoices
