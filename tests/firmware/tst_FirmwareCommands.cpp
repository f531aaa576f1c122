#include "IsolatedHome.h"
#include "TableRow.h"
#include "firmware/FirmwareCommands.h"

#include <QtTest>

#include <utility>
#include <vector>

using namespace FirmwareCommands;

// Expected check values were computed once with a plain bit loop in Python; the CRC-32 of
// "123456789" is also the CRC-32/POSIX check value 765E7680 without its final inversion.
namespace {

using D = downloadData_t;
using Changes = std::vector<std::pair<QString D::*, QString>>;

const QString password = "0123456789ABCDEF";
const QString description = password + "00BD0a01 00010000 0001FFFF 00010203 1a2b 000000BE 89A1897F";
// 190 bytes 0x5A: one whole fragment and one of a single byte.
const QByteArray image(190, 'Z');
const Changes base = {{&D::optionsByte, "E1"},           {&D::password, password},
                      {&D::firmwareNumber, "0a01"},      {&D::firmwareVersion, "00010203"},
                      {&D::downloadSession, "1a2b"},     {&D::firmwareSize, "000000BE"},
                      {&D::firmwareCrc, "89A1897F"},     {&D::accessRadioMode, "0A"},
                      {&D::accessChannel, "05"},         {&D::accessCastType, "00"},
                      {&D::accessSpreadingFactor, "05"}, {&D::wakeUpLength, "0019"},
                      {&D::targetAddress, "11111111"},   {&D::deviceList, "11111111"},
                      {&D::transferRadioMode, "01"},     {&D::transferChannel, "07"},
                      {&D::transferCastType, "00"},      {&D::transferSpreadingFactor, "02"}};
const Changes acceptedRange = {{&D::lowestAcceptedVersion, "00010000"},
                               {&D::highestAcceptedVersion, "0001FFFF"}};
const Changes castList = {
    {&D::accessCastType, "03"}, {&D::transferCastType, "03"}, {&D::deviceList, "1111111122222222"}};

downloadData_t job(const Changes &changes = {})
{
    downloadData_t job;
    for (const Changes &fields : {base, acceptedRange, changes})
        for (const auto &[field, value] : fields)
            job.*field = value;
    return job;
}

// Expected commands are written with blanks between their parts.
const auto joined = [](QString spaced) { return spaced.remove(' '); };

} // namespace

class tst_FirmwareCommands : public QObject
{
    Q_OBJECT

private slots:
    void fragments();
    void texts_data();
    void texts();
    void cloneJob();
};

void tst_FirmwareCommands::fragments()
{
    QCOMPARE(firmwareCrc(image), QString("B9CC2B11"));
    QCOMPARE(firmwareSize(image), QString("000000BE"));
    const QStringList commands = readerFragmentCommands(job(), image);
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.at(0), "010909210001916f" + QString("5A").repeated(189));
    QCOMPARE(commands.at(1), QString("0109092100022f9f5A"));
    const QStringList distant = distantFragmentCommands(job(), image);
    QCOMPARE(distant.size(), 2);
    QCOMPARE(distant.at(1), joined("010402020301001E0109 01020121 0002 2f9f 5A"));
}

void tst_FirmwareCommands::texts_data()
{
    const auto distant = [](const Changes &changes) {
        return distantParametersError(job(changes)).value_or(QString());
    };
    const auto push = [](const QString &mode, const QString &factor, int bytes) {
        const Changes radio = {{&D::transferRadioMode, mode},
                               {&D::transferSpreadingFactor, factor}};
        const TransferEstimate estimate = transferEstimate(job(radio), bytes);
        return QString("%1 + %2").arg(estimate.timeToFull).arg(estimate.extra);
    };
    const auto word = [](const char *answer) {
        const auto read = dynamicConfigurationWord(QByteArray::fromHex(answer));
        return read ? QString::number(*read, 16) : QString("none");
    };
    const auto versions = [](std::initializer_list<const char *> versions) {
        QString marks;
        for (const char *version : versions)
            marks += firmwareVersionAccepted(job({{&D::firmwareVersion, version}})) ? '+' : '-';
        return marks;
    };
    const Changes relay1 = {{&D::relay1Address, "22222222"}};
    const Changes bothRelays = {{&D::relay1Address, "22222222"}, {&D::relay2Address, "33333333"}};
    const QString wrongWakeUp = "Please enter valid wup length.";
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    addRow("CRC-32 of one bit, by hand", firmwareCrc("\x01"), "04C11DB7");
    addRow("CRC-32 of digits", firmwareCrc("123456789"), "89A1897F");
    addRow("check value of nothing", fragmentCheckValue("", 0xabcd), "abcd");
    addRow("check value of one bit, by hand", fragmentCheckValue("\x01", 0), "8404");
    addRow("check value with session", fragmentCheckValue("\x01", 0x1234), "9630");
    addRow("check value of digits", fragmentCheckValue("123456789", 0), "8d08");
    addRow("pending information", pendingInformationCommand(job()), joined("01090903 E1"));
    addRow("enter download mode", enterDownloadModeCommand(job()),
           joined("010909 02" + description));
    addRow("enter download mode, bench slot 03",
           enterDownloadModeCommand(job({{&D::benchSlot, "03"}})),
           joined("010909 0503" + description));
    addRow("missing fragments", missingFragmentsCommand(job()), joined("01090927 1a2b"));
    addRow("apply", applyCommand(job()), joined("01090923 1a2b"));
    addRow("format external memory", formatExternalMemoryCommand(job()),
           joined("01090920 1a2b 0000"));
    addRow("unicast forward", directForwardCommand(job()),
           joined("0102 0110 010207 0014 E1" + description + "01040202 0301 00 1E0109"));
    addRow("cast list forward", directForwardCommand(job(castList)),
           joined("0109010109 02 1111111122222222 10 010207 0014 E1" + description));
    addRow("transmission type 03", transmissionTypeCommand(job(castList)),
           joined("01040202 0301 02 1E0109"));
    addRow("push with device list", upgradeWithLoadedFirmwareCommand(job()),
           joined("01090924 010207 00 11111111" + password + "00010000 0001FFFF 1a2b 11111111"));
    addRow("push to cast list", upgradeWithLoadedFirmwareCommand(job(castList)),
           joined("01090924 010207 03 11111111" + password + "00010000 0001FFFF 1a2b"));
    addRow("access, no relay", accessRadioParametersCommand(job()),
           joined("01040205 29010A 2A0105 0D0105 010D 00 11111111 00000000 00000000 0602 0019"));
    addRow("access, one relay", accessRadioParametersCommand(job(relay1)),
           joined("01040205 29010A 2A0105 0D0105 010D 01 11111111 22222222 00000000 0602 0019"));
    addRow("access, two relays", accessRadioParametersCommand(job(bothRelays)),
           joined("01040205 29010A 2A0105 0D0105 010D 02 11111111 22222222 33333333 0602 0019"));
    addRow("read word", readDynamicWordCommand(), joined("0104 01 01 1002"));
    addRow("radio set, cast list", radioParameterSetCommand(job(castList), 0x1235),
           joined("01040206 290101 2A0102 0D0107 0301 02 1002 1234 0602 0019"));
    addRow("radio set, multicast",
           radioParameterSetCommand(job({{&D::transferCastType, "01"}}), 0xABCD),
           joined("01040206 290101 2A0102 0D0107 0301 01 1002 abcc 0602 0019"));
    addRow("wake-up 24 ms", distant({{&D::wakeUpLength, "0018"}}), wrongWakeUp);
    addRow("wake-up 25 ms", distant({{&D::wakeUpLength, "0019"}}), "");
    addRow("wake-up 10100 ms", distant({{&D::wakeUpLength, "2774"}}), "");
    addRow("wake-up 10101 ms", distant({{&D::wakeUpLength, "2775"}}), wrongWakeUp);
    addRow("wake-up not a number", distant({{&D::wakeUpLength, "00G1"}}), wrongWakeUp);
    addRow("no target", distant({{&D::targetAddress, ""}}),
           "Invalid MAC address of the target reader.");
    addRow("relay 2 without relay 1",
           distant({{&D::relay1Address, ""}, {&D::relay2Address, "33333333"}}),
           "Invalid MAC address of relay one.");
    addRow("no relays", distant({{&D::relay1Address, ""}}), "");
    addRow("versions below, at both ends, above, not hexadecimal",
           versions({"0000FFFF", "00010000", "0001FFFF", "00020000", "0001000G"}), "-++--");
    addRow("word of 5 bytes", word("0A0B0C1235"), "1235");
    addRow("word of 4 bytes", word("0A0C1235"), "none");
    addRow("word of 6 bytes", word("0A0B0C123500"), "none");
    addRow("push 1890 bytes, mode 00", push("00", "05", 1890), "3500 + 60000");
    addRow("push LORA, factor 05", push("0A", "05", 1890), "60500 + 420000");
    addRow("push LORA, factor 07", push("0B", "07", 1890), "5250 + 60000");
    addRow("push LORA, factor 06", push("0C", "06", 1890), "109000 + 600000");
    addRow("push part of a fragment", push("03", "", 1889), "720 + 60000");
    addRow("push 915 MHz", push("07", "", 189), "200 + 60000");
    addRow("auto progress", autoProgressMessage({3500, 60000}),
           "Auto progress :3500ms to full +60000ms extra");
}

void tst_FirmwareCommands::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void tst_FirmwareCommands::cloneJob()
{
    QRandomGenerator random(7);
    QRandomGenerator sameSeed(7);
    const downloadData_t clone = FirmwareCommands::cloneJob(job(), random);
    QCOMPARE(clone.downloadSession, drawDownloadSession(sameSeed));
    QVERIFY(QRegularExpression("^[0-9a-f]{4}$").match(clone.downloadSession).hasMatch());
    QVERIFY(QRegularExpression("^[0-9A-F]{16}$").match(clone.password).hasMatch());
    QCOMPARE(enterDownloadModeCommand(clone), "01090902" + clone.password +
                                                  "00BD0a0100000000FFFFFFFC00000000" +
                                                  clone.downloadSession + "0000000000000000");
}

OVS_CORE_TEST_MAIN(tst_FirmwareCommands)
#include "tst_FirmwareCommands.moc"
