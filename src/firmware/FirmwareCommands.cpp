#include "FirmwareCommands.h"

#include <QLatin1Char>

namespace FirmwareCommands {

const QString directTransferWakeUpLength = QStringLiteral("001B");
const QString clonePassword = QStringLiteral("434C4F4E45505744");

namespace {

constexpr int addressLength = 8;
const QString noAddress = QStringLiteral("00000000");

QString hexDigits(quint64 value, int width)
{
    return QString::number(value, 16).rightJustified(width, QLatin1Char('0'));
}

bool isRelaySet(const QString &relay)
{
    return !relay.isEmpty() && relay != noAddress;
}

bool endsInThree(const QString &castType)
{
    return castType.endsWith(QLatin1Char('3'));
}

std::uint16_t sessionNumber(const QString &downloadSession)
{
    return downloadSession.toUShort(nullptr, 16);
}

// Password, firmware number, accepted versions, version, session, size and CRC: how every
// command that starts a download describes the firmware.
QString firmwareDescription(const downloadData_t &job)
{
    return job.password + QStringLiteral("00BD") + job.firmwareNumber + job.lowestAcceptedVersion +
           job.highestAcceptedVersion + job.firmwareVersion + job.downloadSession +
           job.firmwareSize + job.firmwareCrc;
}

QString transferRadio(const downloadData_t &job)
{
    return job.transferRadioMode + job.transferSpreadingFactor + job.transferChannel;
}

// A spreading factor that is not a number takes the slowest estimate.
TransferEstimate loraEstimate(const QString &spreadingFactor)
{
    bool isNumber = false;
    const unsigned value = spreadingFactor.toUInt(&isNumber, 16);
    switch (isNumber ? value : 0xFFu) {
    case 0x00:
    case 0x01:
    case 0x07:
        return {525, 60000};
    case 0x02:
        return {900, 120000};
    case 0x03:
        return {1550, 180000};
    case 0x04:
        return {2750, 300000};
    case 0x05:
        return {6050, 420000};
    default:
        return {10900, 600000};
    }
}

// Per fragment and extra. The LORA modes (0A to 0C) go by the spreading factor, and so does a
// mode the table does not know.
TransferEstimate fragmentEstimate(const downloadData_t &job)
{
    bool isNumber = false;
    const unsigned mode = job.transferRadioMode.toUInt(&isNumber, 16);
    if (isNumber) {
        switch (mode) {
        case 0x00:
        case 0x04:
            return {350, 60000};
        case 0x01:
        case 0x05:
            return {120, 60000};
        case 0x02:
            return {100, 60000};
        case 0x03:
            return {80, 60000};
        case 0x06:
        case 0x07:
        case 0x08:
        case 0x09:
            return {200, 60000};
        default:
            break;
        }
    }
    return loraEstimate(job.transferSpreadingFactor);
}

} // namespace

QString firmwareCrc(const QByteArray &image)
{
    std::uint32_t crc = 0;
    for (const char byte : image) {
        crc ^= std::uint32_t(std::uint8_t(byte)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return hexDigits(crc, 8).toUpper();
}

QString firmwareSize(const QByteArray &image)
{
    return hexDigits(quint64(image.size()), 8).toUpper();
}

QString fragmentCheckValue(const QByteArray &fragment, std::uint16_t downloadSession)
{
    std::uint16_t crc = 0;
    for (const char byte : fragment) {
        crc ^= std::uint16_t(std::uint8_t(byte) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ 0x8404) : std::uint16_t(crc << 1);
    }
    return hexDigits(crc ^ downloadSession, 4);
}

QString downloadSessionText(std::uint16_t session)
{
    return hexDigits(session, 4);
}

QString drawDownloadSession(QRandomGenerator &random)
{
    return downloadSessionText(std::uint16_t(random.bounded(65535)));
}

QStringList fragmentCommands(const QString &prefix, const QByteArray &image,
                             const QString &downloadSession)
{
    const std::uint16_t session = sessionNumber(downloadSession);
    QStringList commands;
    for (int start = 0; start < image.size(); start += fragmentBytes) {
        const QByteArray fragment = image.mid(start, fragmentBytes);
        commands << prefix + hexDigits(quint64(commands.size() + 1), 4) +
                        fragmentCheckValue(fragment, session) +
                        QString::fromLatin1(fragment.toHex().toUpper());
    }
    return commands;
}

QString pendingInformationCommand(const downloadData_t &job)
{
    return QStringLiteral("01090903") + job.optionsByte;
}

QString enterDownloadModeCommand(const downloadData_t &job)
{
    const QString area = job.benchSlot == QLatin1String("0") ? QStringLiteral("02")
                                                             : QStringLiteral("05") + job.benchSlot;
    return QStringLiteral("010909") + area + firmwareDescription(job);
}

QStringList readerFragmentCommands(const downloadData_t &job, const QByteArray &image)
{
    return fragmentCommands(QStringLiteral("01090921"), image, job.downloadSession);
}

QString missingFragmentsCommand(const downloadData_t &job)
{
    return QStringLiteral("01090927") + job.downloadSession;
}

QString applyCommand(const downloadData_t &job)
{
    return QStringLiteral("01090923") + job.downloadSession;
}

QString formatExternalMemoryCommand(const downloadData_t &job)
{
    return QStringLiteral("01090920") + job.downloadSession + QStringLiteral("0000");
}

QString singleForwardingCommand(const downloadData_t &job)
{
    return QStringLiteral("0102") + QStringLiteral("0110") + transferRadio(job) +
           QStringLiteral("0014") + job.optionsByte + firmwareDescription(job);
}

QString listForwardingCommand(const downloadData_t &job)
{
    const int addresses = job.deviceList.size() / addressLength;
    return QStringLiteral("0109010109") + hexDigits(quint64(addresses), 2).toUpper() +
           job.deviceList + QStringLiteral("10") + transferRadio(job) + QStringLiteral("0014") +
           job.optionsByte + firmwareDescription(job);
}

QString upgradeWithLoadedFirmwareCommand(const downloadData_t &job)
{
    QString command = QStringLiteral("01090924") + transferRadio(job) + job.transferCastType +
                      job.targetAddress + job.password + job.lowestAcceptedVersion +
                      job.highestAcceptedVersion + job.downloadSession;
    if (!endsInThree(job.transferCastType))
        command += job.deviceList;
    return command;
}

QString pushResultCommand()
{
    return QStringLiteral("010A0924");
}

QString accessRadioParametersCommand(const downloadData_t &job)
{
    const bool relay1 = isRelaySet(job.relay1Address);
    const int relays = !relay1 ? 0 : isRelaySet(job.relay2Address) ? 2 : 1;
    const auto written = [](const QString &relay) { return relay.isEmpty() ? noAddress : relay; };
    return QStringLiteral("01040205") + QStringLiteral("2901") + job.accessRadioMode +
           QStringLiteral("2A01") + job.accessSpreadingFactor + QStringLiteral("0D01") +
           job.accessChannel + QStringLiteral("010D") + hexDigits(quint64(relays), 2) +
           job.targetAddress + written(job.relay1Address) + written(job.relay2Address) +
           QStringLiteral("0602") + job.wakeUpLength;
}

QString readDynamicWordCommand()
{
    return QStringLiteral("010401011002");
}

QString radioParameterSetCommand(const downloadData_t &job, std::uint16_t dynamicWord)
{
    const QString lastDigit = job.transferCastType.right(1);
    const QString castPart =
        lastDigit == QLatin1String("3") ? QStringLiteral("02") : QStringLiteral("0") + lastDigit;
    return QStringLiteral("01040206") + QStringLiteral("2901") + job.transferRadioMode +
           QStringLiteral("2A01") + job.transferSpreadingFactor + QStringLiteral("0D01") +
           job.transferChannel + QStringLiteral("0301") + castPart + QStringLiteral("1002") +
           hexDigits(dynamicWord & 0xFFFE, 4) + QStringLiteral("0602") + job.wakeUpLength;
}

QString transmissionTypeCommand(const downloadData_t &job)
{
    const QString value =
        job.accessCastType == QLatin1String("03") ? QStringLiteral("02") : job.accessCastType;
    return QStringLiteral("01040202") + QStringLiteral("0301") + value + QStringLiteral("1E0109");
}

QString connectDistantDeviceCommand()
{
    return QStringLiteral("010402011E010101020201");
}

std::optional<std::uint16_t> dynamicConfigurationWord(const QByteArray &answer)
{
    if (answer.size() != 5)
        return std::nullopt;
    return std::uint16_t((std::uint8_t(answer.at(3)) << 8) | std::uint8_t(answer.at(4)));
}

std::optional<QString> distantParametersError(const downloadData_t &job)
{
    bool isNumber = false;
    const unsigned wakeUp = job.wakeUpLength.toUInt(&isNumber, 16);
    if (!isNumber || wakeUp < minimumWakeUpLength || wakeUp > maximumWakeUpLength)
        return QStringLiteral("Please enter valid wup length.");
    if (job.targetAddress.isEmpty())
        return QStringLiteral("Invalid MAC address of the target reader.");
    if (job.relay1Address.isEmpty() && isRelaySet(job.relay2Address))
        return QStringLiteral("Invalid MAC address of relay one.");
    return std::nullopt;
}

bool firmwareVersionAccepted(const downloadData_t &job)
{
    bool versionValid = false;
    bool lowestValid = false;
    bool highestValid = false;
    const unsigned version = job.firmwareVersion.toUInt(&versionValid, 16);
    const unsigned lowest = job.lowestAcceptedVersion.toUInt(&lowestValid, 16);
    const unsigned highest = job.highestAcceptedVersion.toUInt(&highestValid, 16);
    return versionValid && lowestValid && highestValid && lowest <= version && version <= highest;
}

QString directForwardCommand(const downloadData_t &job)
{
    if (endsInThree(job.accessCastType))
        return listForwardingCommand(job);
    return singleForwardingCommand(job) + transmissionTypeCommand(job);
}

QStringList distantFragmentCommands(const downloadData_t &job, const QByteArray &image)
{
    const QString transmissionType = transmissionTypeCommand(job);
    QStringList commands = fragmentCommands(QStringLiteral("01020121"), image, job.downloadSession);
    for (QString &command : commands)
        command.prepend(transmissionType);
    return commands;
}

QString distantMissingFragmentsCommand(const downloadData_t &job)
{
    return transmissionTypeCommand(job) + QStringLiteral("01020227") + job.downloadSession;
}

QString distantApplyCommand(const downloadData_t &job)
{
    return transmissionTypeCommand(job) + QStringLiteral("01020223") + job.downloadSession;
}

TransferEstimate transferEstimate(const downloadData_t &job, int byteCount)
{
    const TransferEstimate perFragment = fragmentEstimate(job);
    return {byteCount / fragmentBytes * perFragment.timeToFull, perFragment.extra};
}

QString autoProgressMessage(const TransferEstimate &estimate)
{
    return QStringLiteral("Auto progress :%1ms to full +%2ms extra")
        .arg(estimate.timeToFull)
        .arg(estimate.extra);
}

downloadData_t cloneJob(downloadData_t job, QRandomGenerator &random)
{
    job.downloadSession = drawDownloadSession(random);
    job.firmwareSize = QStringLiteral("00000000");
    job.firmwareCrc = QStringLiteral("00000000");
    job.password = clonePassword;
    job.lowestAcceptedVersion = QStringLiteral("00000000");
    job.highestAcceptedVersion = QStringLiteral("FFFFFFFC");
    job.firmwareVersion = QStringLiteral("00000000");
    return job;
}

} // namespace FirmwareCommands
