#include "IsolatedHome.h"
#include "PanelBench.h"
#include "TableRow.h"
#include "panels/ControlPanelRTC.h"
#include "project/ProjectPaths.h"

#include <QFile>
#include <QPushButton>
#include <QtTest>

using Bench = PanelBench<ControlPanelRTC>;

class tst_ControlPanelRTC : public QObject
{
    Q_OBJECT

private slots:
    void buttons_data();
    void buttons();
};

void tst_ControlPanelRTC::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<DockedTabTypes>("dock");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    const QDateTime in2020(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    const QString localSet = QStringLiteral("Local RTC of reader \"R1\" has been set.");
    const QString refused = QStringLiteral("Error: Please select connected reader tab.");
    addRow("local, first minute", "setLocalButton", TAB_CONNECTED_READER,
           QDateTime(QDate(2010, 1, 1), QTime(0, 1), Qt::UTC), "0101090000003C", localSet);
    addRow("local, 2020", "setLocalButton", TAB_CONNECTED_READER, in2020, "01010912CEA600",
           localSet);
    addRow("distant, an hour ahead", "setDistantButton", TAB_CONNECTED_READER, in2020,
           "010212CEB41003", "Distant RTC of reader \"R1\" has been set.");
    addRow("distant, no script", "setDistantButton", TAB_CONNECTED_READER, in2020, "",
           "Error: File \"%1\" does not exist.");
    addRow("local, merged tab", "setLocalButton", TAB_ALL_READERS, in2020, "", refused);
    addRow("distant, readers tab", "setDistantButton", TAB_READERS, in2020, "", refused);
}

void tst_ControlPanelRTC::buttons()
{
    QFETCH(QString, button);
    QFETCH(DockedTabTypes, dock);
    QFETCH(QDateTime, now);
    QFETCH(QString, command);
    QFETCH(QString, message);
    Bench bench;
    QVERIFY(bench.tab);
    bench.type = dock;
    bench.panel->setClock([now] { return now; });
    QFile script(ProjectPaths::rtcScriptPath());
    QVERIFY(script.open(QIODevice::WriteOnly) &&
            script.write("01 02 \"RTC + 1\" 03\r\nFFFF\n") > 0);
    script.close();
    // The row whose message names the script runs without one.
    if (message.contains("%1"))
        QVERIFY(script.remove());
    QSignalSpy messages(bench.panel, &ControlPanelRTC::statusMessage);
    QTest::mouseClick(bench.host.findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(QList<QVariantList>(messages),
             QList<QVariantList>{{message.replace("%1", script.fileName())}});
    // Sent behind the outcome, it is the reader's last frame, and the only one after an error.
    bench.tab->sendCommandForDock(QStringLiteral("AA"), TAB_CONNECTED_READER);
    QList<QByteArray> frames{"\xAA"};
    if (!command.isEmpty())
        frames.prepend(QByteArray::fromHex(command.toLatin1()));
    QTRY_COMPARE(bench.simulator.receivedPayloads(), frames);
}

OVS_TEST_MAIN(tst_ControlPanelRTC)
#include "tst_ControlPanelRTC.moc"
