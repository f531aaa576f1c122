#include "IsolatedHome.h"
#include "TableRow.h"
#include "panels/RouteCommand.h"

#include <QtTest>

class tst_RouteCommand : public QObject
{
    Q_OBJECT

private slots:
    void fieldTexts_data();
    void fieldTexts();
    void pastedTarget_data();
    void pastedTarget();
    void command_data();
    void command();
};

void tst_RouteCommand::fieldTexts_data()
{
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("onReturn");
    addRow("typed with separators", "12:ab-CD 34ef99", "12abCD34", "12abCD34");
    addRow("short", "0A1", "0A1", "0A100000");
    addRow("empty", "", "", "00000000");
    addRow("nothing hexadecimal", "xyz+", "", "00000000");
}

void tst_RouteCommand::fieldTexts()
{
    QFETCH(QString, edited);
    QFETCH(QString, kept);
    QFETCH(QString, onReturn);
    const QString text = RouteCommand::addressFieldText(edited);
    QCOMPARE(text, kept);
    QCOMPARE(RouteCommand::paddedAddress(text), onReturn);
}

void tst_RouteCommand::pastedTarget_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("target");
    addRow("route line", "AAAAAAAA 0A1B2C3D BBBBBBB CCCC DDDDDDDD", "0A1B2C3D");
    addRow("one character short", "AAAAAAAA 0A1B2C3D BBBBBBB CCCC DDDDDDD", "");
    addRow("one character more", "AAAAAAAA 0A1B2C3D BBBBBBB CCCC DDDDDDDDD", "");
    addRow("blank missing at 30", "AAAAAAAA 0A1B2C3D BBBBBBB CCCCCDDDDDDDD", "");
    addRow("blank moved", "AAAAAAA A0A1B2C3D BBBBBBB CCCC DDDDDDDD", "");
}

void tst_RouteCommand::pastedTarget()
{
    QFETCH(QString, typed);
    QFETCH(QString, target);
    QCOMPARE(RouteCommand::pastedTarget(typed).value_or(QString()), target);
}

void tst_RouteCommand::command_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("relay1");
    QTest::addColumn<QString>("relay2");
    QTest::addColumn<QString>("command");
    addRow("no relay", "0A1B2C3D", "", "", "01040201010D000A1B2C3D0000000000000000");
    addRow("one relay", "0A1B2C3D", "A1A2A3A4", "", "01040201010D010A1B2C3DA1A2A3A400000000");
    addRow("two relays", "0A1B2C3D", "A1A2A3A4", "B1B2B3B4",
           "01040201010D020A1B2C3DA1A2A3A4B1B2B3B4");
    addRow("relay 2 without relay 1", "0A1B2C3D", "A1A2A3A", "B1B2B3B4",
           "01040201010D000A1B2C3D0000000000000000");
    addRow("blanks ignored", "0A1B 2C3D", " A1A2A3A4", "",
           "01040201010D010A1B2C3DA1A2A3A400000000");
    addRow("short target", "0A1B2", "A1A2A3A4", "", "");
    addRow("no target", "", "", "", "");
}

void tst_RouteCommand::command()
{
    QFETCH(QString, target);
    QFETCH(QString, relay1);
    QFETCH(QString, relay2);
    QFETCH(QString, command);
    QCOMPARE(RouteCommand::command(target, relay1, relay2).value_or(QString()), command);
}

OVS_CORE_TEST_MAIN(tst_RouteCommand)
#include "tst_RouteCommand.moc"
