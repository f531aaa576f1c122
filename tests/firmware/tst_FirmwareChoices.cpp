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
};

// Each row: an action, and its upload type and options value locally and over the air, for
// Appli, Rescue and Bootloader (-1: not an action, 24: invalid).
void tst_FirmwareChoices::uploadTypes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QList<int>>("options");
    QTest::addColumn<QString>("slot");
    const QList<int> none{24, 24, 24, 24, 24, 24};
    const QString bench = "Upload pending bench firmware %1";
    addRow("nothing", "Do Nothing", none, none, "");
    addRow("update", "Update reader", QList<int>{0, 1, 2, 24, 24, 24}, QList<int>{0, 1, 2}, "0");
    addRow("upload", "Upload pending firmware", QList<int>{3, 24, 14, 24, 24, 24},
           QList<int>{4, 0, 5}, "0");
    addRow("bench 1", "Upload pending firmware / bench firmware 1",
           QList<int>{24, 4, 24, 24, 24, 24}, QList<int>{0, 5}, "00");
    addRow("bench 3", bench.arg(3), QList<int>{24, 6, 24, 24, 24, 24}, QList<int>{0, 5}, "02");
    addRow("bench 10", bench.arg(10), QList<int>{24, 13, 24, 24, 24, 24}, QList<int>{0, 5}, "09");
    addRow("direct", "Direct firmware update", QList<int>{24, 24, 24, 15, 16, 17},
           QList<int>{0, 0, 0, 0, 1, 2}, "0");
    addRow("push", "Push pending firmware", QList<int>{24, 24, 24, 18, 19, 20},
           QList<int>{0, 0, 0, 4, 5, 6}, "0");
    addRow("clone", "Reader firmware clone", QList<int>{24, 24, 24, 21, 22, 23},
           QList<int>{0, 0, 0, 8, 9, 10}, "0");
    addRow("unknown", "Reboot on rescue firmware", QList<int>{-1, -1, -1, -1, -1, -1}, none, "");
}

void tst_FirmwareChoices::uploadTypes()
{
    QFETCH(QString, action);
    QFETCH(QList<int>, types);
    QFETCH(QList<int>, options);
    for (int at = 0; at < types.size(); ++at) {
        const bool ota = at >= 3;
        const int type = uploadType(ota, at % 3, action).value_or(-1);
        QCOMPARE(type, types[at]);
        // Every action offered is known, and only "Do Nothing" of them is invalid.
        const bool valid = type >= 0 && type < invalidUploadType;
        QCOMPARE(actionItems(ota, at % 3).contains(action), valid || action == "Do Nothing");
        if (valid) {
            QCOMPARE(optionsValue(type), options[at]);
            QTEST(benchSlot(type), "slot");
        }
    }
}

void tst_FirmwareChoices::deviceLists_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("castType");
    QTest::addColumn<QString>("refusal");
    addRow("one", QString("01 02 03 04"), 0, "");
    addRow("too short", QString("0102030"), 0, "Distant device \"0102030\"isn't a valid device.");
    addRow("two, unicast", QString("0102030405060708"), 0,
           "Distant device list can contain more that 1 address in Cast by list RF config only!");
    addRow("two, cast list", QString("01020304 05060708"), 3, "");
    addRow("12, cast list", QString("010203040506"), 5,
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

OVS_CORE_TEST_MAIN(tst_FirmwareChoices)
#include "tst_FirmwareChoices.moc"
