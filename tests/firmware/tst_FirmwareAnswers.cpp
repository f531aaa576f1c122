#include "IsolatedHome.h"
#include "TableRow.h"
#include "firmware/FirmwareAnswers.h"

#include <QtTest>

using IntList = QList<int>;

class tst_FirmwareAnswers : public QObject
{
    Q_OBJECT

private slots:
    void missingFragments_data();
    void missingFragments();
    void pendingDownload();
    void information();
};

// "none" in the list column means the answer is refused.
void tst_FirmwareAnswers::missingFragments_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("fragmentCount");
    QTest::addColumn<bool>("read");
    QTest::addColumn<IntList>("fragments");
    addRow("complete", QByteArray("010A09270000"), 5, true, IntList());
    addRow("everything", QByteArray("010A0927000100010005"), 5, true, IntList{1, 2, 3, 4, 5});
    addRow("one range short", QByteArray("010A0927000200020002"), 9, false, IntList());
    addRow("scattered", QByteArray("010A092700020002000200040005"), 9, true, IntList{2, 4, 5});
    addRow("overlapping and past the end", QByteArray("010A0927000200010003000200FF"), 4, true,
           IntList{1, 2, 3, 4});
    addRow("another session", QByteArray("010A092701"), 5, false, IntList());
    addRow("another command", QByteArray("010A092100000001"), 5, false, IntList());
    addRow("range cut short", QByteArray("010A09270001000100"), 5, false, IntList());
}

void tst_FirmwareAnswers::missingFragments()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, fragmentCount);
    QFETCH(bool, read);
    QFETCH(IntList, fragments);
    const auto missing =
        FirmwareAnswers::missingFragments(QByteArray::fromHex(answer), fragmentCount);
    QCOMPARE(missing.has_value(), read);
    if (read)
        QCOMPARE(*missing, fragments);
}

void tst_FirmwareAnswers::pendingDownload()
{
    const QByteArray held = QByteArray::fromHex("010A0903"
                                                "00"
                                                "0123456789ABCDEF"
                                                "0A01"
                                                "01020304"
                                                "0003E800"
                                                "BEEF");
    const auto pending = FirmwareAnswers::pendingDownload(held);
    QVERIFY(pending);
    QCOMPARE(pending->password, QString("0123456789ABCDEF"));
    QCOMPARE(pending->firmwareNumber, QString("0A01"));
    QCOMPARE(pending->firmwareVersion, QString("01020304"));
    QCOMPARE(pending->size, quint32(256000));
    QCOMPARE(pending->session, quint16(0xBEEF));
    QVERIFY(!FirmwareAnswers::pendingDownload(QByteArray::fromHex("010A090301")));
    QVERIFY(!FirmwareAnswers::pendingDownload(held.left(24)));
}

void tst_FirmwareAnswers::information()
{
    QString stack;
    for (int piece = 1; piece <= 9; ++piece)
        stack += QString::number(piece).repeated(20);
    const QString answer = "010701"
                           "0A02"
                           "11223344"
                           "0A03"
                           "55667788"
                           "0000000000" +
                           stack +
                           "0322"
                           "0000";
    const auto information = FirmwareAnswers::information(answer);
    QVERIFY(information);
    QCOMPARE(information->installedNumber + information->installedVersion +
                 information->installedStackVersion,
             QString("0A02112233440322"));
    QCOMPARE(information->pendingNumber + information->pendingVersion, QString("0A0355667788"));
    QCOMPARE(information->pendingStackInformation.split("\r\n").size(), 9);
    QVERIFY(information->pendingStackInformation.startsWith(QString("1").repeated(20) + "\r\n2"));
    QVERIFY(!FirmwareAnswers::information(answer.left(answer.size() - 1)));
}

OVS_CORE_TEST_MAIN(tst_FirmwareAnswers)
#include "tst_FirmwareAnswers.moc"
