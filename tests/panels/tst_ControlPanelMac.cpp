#include "IsolatedHome.h"
#include "PanelBench.h"
#include "TableRow.h"
#include "firmware/QCustomLineEdit.h"
#include "panels/ControlPanelMac.h"
#include "project/ProjectPaths.h"

#include <QFile>
#include <QPushButton>
#include <QtTest>

#include <utility>

using Bench = PanelBench<ControlPanelMac>;

class tst_ControlPanelMac : public QObject
{
    Q_OBJECT

private slots:
    void routes_data();
    void routes();
    void targetEntry();
};

void tst_ControlPanelMac::routes_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("relay1");
    QTest::addColumn<QString>("relay2");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("relayFile");
    addRow("no relay", "0a:1b-2c 3d", "", "", "01040201010D000A1B2C3D0000000000000000",
           "0a1b2c3d\n");
    addRow("one relay", "0A1B2C3D", "A1A2A3A4", "", "01040201010D010A1B2C3DA1A2A3A400000000",
           "0A1B2C3D\nA1A2A3A4\n");
    addRow("two relays", "0A1B2C3D", "0A1B2C3D", "B1B2B3B4",
           "01040201010D020A1B2C3D0A1B2C3DB1B2B3B4", "0A1B2C3D\nB1B2B3B4\n");
}

// Return steps from field to field and in the last one sets the route; setting it again
// records no address twice.
void tst_ControlPanelMac::routes()
{
    QFETCH(QString, target);
    QFETCH(QString, relay1);
    QFETCH(QString, relay2);
    QFETCH(QString, command);
    QFETCH(QString, relayFile);
    Bench bench;
    QVERIFY(bench.tab && QTest::qWaitForWindowActive(&bench.host));
    for (auto [field, text] : {std::pair(bench.panel->targetField(), target),
                               std::pair(bench.panel->relayOneField(), relay1),
                               std::pair(bench.panel->relayTwoField(), relay2)}) {
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    const QByteArray route = QByteArray::fromHex(command.toLatin1());
    QTRY_COMPARE(bench.simulator.receivedPayloads(), QList<QByteArray>{route});
    QTest::mouseClick(bench.panel->setRouteButton(), Qt::LeftButton);
    QTRY_COMPARE(bench.simulator.receivedPayloads(), QList<QByteArray>({route, route}));
    QFile relays(ProjectPaths::relayCompletionPath());
    QVERIFY(relays.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLatin1(relays.readAll()), relayFile);
}

// A route line typed in one go (as a scanner does) names the target second, empties the
// relays and sets the route; refused while the target was too short, nothing went before.
void tst_ControlPanelMac::targetEntry()
{
    Bench bench;
    QVERIFY(bench.tab);
    QSignalSpy messages(bench.panel, &ControlPanelMac::statusMessage);
    QCustomLineEdit *target = bench.panel->targetField();
    const QString line = QStringLiteral("AAAAAAAA 0A1B2C3D BBBBBBB CCCC DDDDDDDD");
    bench.panel->relayOneField()->setText(QStringLiteral("A1A2A3A4"));
    QTest::keyClicks(target, line.left(5));
    bench.type = TAB_ALL_READERS;
    QTest::mouseClick(bench.panel->setRouteButton(), Qt::LeftButton);
    bench.type = TAB_CONNECTED_READER;
    QTest::mouseClick(bench.panel->setRouteButton(), Qt::LeftButton);
    QCOMPARE(QList<QVariantList>(messages),
             QList<QVariantList>({{"Error: Please select connected reader tab."},
                                  {"Error: No/Wrong target address."}}));
    QTest::keyClicks(target, line.mid(5));
    QCOMPARE(target->text(), QStringLiteral("0A1B2C3D"));
    QVERIFY(bench.panel->relayOneField()->text().isEmpty());
    QTRY_COMPARE(bench.simulator.receivedPayloads(),
                 QList<QByteArray>{QByteArray::fromHex("01040201010D000A1B2C3D0000000000000000")});
}

OVS_TEST_MAIN(tst_ControlPanelMac)
#include "tst_ControlPanelMac.moc"
