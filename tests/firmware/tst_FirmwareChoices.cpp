#include "IsolatedHome.h"
#include "TableRow.h"
#include "firmware/FirmwareChoices.h"

#include <QtTest>

using namespace FirmwareChoices;

// The dock's choices turned into a job, without a window.
class tst_FirmwareChoices : public QObject
{
    Q_OBJECT

private slots:
    void uploadTypes_data();
    void uploadTypes();
    void deviceLists_data();
    void deviceLists();
    void autoProgressFills();
    void capabilities_data();
    void capabilities();
};

// Each row: an action, and for Appli, Rescue and Bootloader locally, then over the air, the
// upload type/options value/bench slot; "-" invalid, "?" not an action.
void tst_FirmwareChoices::uploadTypes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expected");
    addRow("nothing", "Do Nothing", "- - - - - -");
    addRow("update", "Update reader", "0/0/0 1/1/0 2/2/0 - - -");
    addRow("upload", "Upload pending firmware", "3/4/0 - 14/5/0 - - -");
    addRow("bench 3", "Upload pending bench firmware 3", "- 6/5/02 - - - -");
    addRow("direct", "Direct firmware update", "- - - 15/0/0 16/1/0 17/2/0");
    addRow("push", "Push pending firmware", "- - - 18/4/0 19/5/0 20/6/0");
    addRow("clone", "Reader firmware clone", "- - - 21/8/0 22/9/0 23/10/0");
    addRow("unknown", "Reboot on rescue firmware", "? ? ? ? ? ?");
}

void tst_FirmwareChoices::uploadTypes()
{
    QFETCH(QString, action);
    QStringList cells;
    for (int at = 0; at < 6; ++at) {
        const int type = uploadType(at >= 3, at % 3, action).value_or(-1);
        const QString cell =
            QString("%1/%2/%3").arg(type).arg(optionsValue(type)).arg(benchSlot(type));
        cells << (type < 0 ? "?" : type == invalidUploadType ? "-" : cell);
        // Only actions that are offered are valid.
        QCOMPARE(actionItems(at >= 3, at % 3).contains(action),
                 cells.last() == cell || action == "Do Nothing");
    }
    QTEST(cells.join(' '), "expected");
}

void tst_FirmwareChoices::deviceLists_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("castType");
    QTest::addColumn<QString>("refusal");
    addRow("short", "0102030", 0, "Distant device \"0102030\"isn't a valid device.");
    addRow("two, unicast", "0102030405060708", 0,
           "Distant device list can contain more that 1 address in Cast by list RF config only!");
    addRow("two, cast list", "01020304 05060708", 3, "");
    addRow("12, cast list", "010203040506", 5,
           "Distant device list contains a length error! invalid list!");
}

void tst_FirmwareChoices::deviceLists()
{
    QFETCH(QString, typed);
    QFETCH(int, castType);
    const DeviceList list = deviceList(typed, castTypeValue(castType));
    QTEST(list.refusal, "refusal");
    QCOMPARE(list.addresses, typed.remove(' '));
}

// A 10 s job: a tenth after 1 s, full after 10 s and blinking after that.
void tst_FirmwareChoices::autoProgressFills()
{
    QString fill;
    for (const qint64 ms : {1000, 10000, 10200})
        fill += QString("%1%2 ")
                    .arg(autoProgress(100, ms, 10000).value)
                    .arg(autoProgress(100, ms, 10000).full ? "!" : "");
    QCOMPARE(fill + QString::number(autoProgress(100, 60, 0).value), QString("10 100 100! 50"));
}

// The answer's fields after "010601"; what the reader can do, in the order over the air,
// rescue, bootloader, bench slots 2 to 10, clone; or "invalid".
void tst_FirmwareChoices::capabilities_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("expected");
    addRow("everything", "091F", "11111");
    addRow("nothing", "0900", "00000");
    addRow("each bit its element", "0915", "10101");
    addRow("two flag bytes", "11 0A FF", "01010");
    addRow("a count alone carries no flag", "01", "00000");
    addRow("count one too high", "0A1F", "invalid");
    addRow("count of one byte fewer", "011F", "invalid");
    addRow("a count that wraps in a byte", "01" + QString(64, '1'), "invalid");
    addRow("empty", "", "invalid");
}

void tst_FirmwareChoices::capabilities()
{
    QFETCH(QString, fields);
    const auto can = FirmwareChoices::capabilities("010601" + fields.remove(' '));
    QString offered;
    if (can) {
        for (const char *action : {"Upload pending bench firmware 2",
                                   "Upload pending bench firmware 10", "Reader firmware clone"})
            offered += actionOffered(action, *can) ? '1' : '0';
        // The first bench slot is the reader's own pending firmware: always there.
        QVERIFY(actionOffered("Upload pending firmware / bench firmware 1", *can));
        QVERIFY(actionOffered("Direct firmware update", *can));
        QCOMPARE(offered.at(0), offered.at(1));
    }
    const QString flags = QString("%1%2%3%4%5")
                              .arg(can && can->ota)
                              .arg(can && can->rescue)
                              .arg(can && can->bootloader)
                              .arg(offered.left(1), offered.right(1));
    QTEST(can ? flags : QString("invalid"), "expected");
}

OVS_CORE_TEST_MAIN(tst_FirmwareChoices)
#include "tst_FirmwareChoices.moc"
