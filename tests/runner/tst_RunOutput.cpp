#include "IsolatedHome.h"
#include "runner/RunOutput.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// What the runner prints, in text and in JSON, and its progress on a terminal or not.
class tst_RunOutput : public QObject
{
    Q_OBJECT

private slots:
    void textAndJson_data();
    void textAndJson();
    void progress_data();
    void progress();
};

void tst_RunOutput::textAndJson_data()
{
    QTest::addColumn<bool>("json");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text") << false
                          << "12:34:56.8: Error: Reader \"R1\" is not connected.\n"
                             "[Sun 2026-12-06 12:34:56:789]:R1:Rx:0A1B:rule:3\n"
                             "Result: Sent\n"
                             "0a1b2c3d 127.0.0.2 64000\n";
    QTest::newRow("json")
        << true
        << "message=Error: Reader \"R1\" is not connected.|time=12:34:56.8|type=status\n"
           "count=3|direction=Rx|frame=0A1B|reader=R1|rule=rule|status=Received|"
           "time=Sun 2026-12-06 12:34:56:789|type=frame\n"
           "result=Sent|type=result\n"
           "address=127.0.0.2|name=0a1b2c3d|port=64000|type=gateway\n";
}

void tst_RunOutput::textAndJson()
{
    QFETCH(bool, json);
    QBuffer out, progress;
    QVERIFY(out.open(QIODevice::WriteOnly) && progress.open(QIODevice::WriteOnly));
    RunOutput output(&out, &progress, json, false);
    output.status("Error: Reader \"R1\" is not connected.", QTime(12, 34, 56, 789));
    readerPacket_t packet;
    packet.readerName = "R1";
    packet.direction = "Rx";
    packet.frame = "0A 1B";
    packet.status = "Received";
    T_matchSnapshot match;
    match.ruleName = "rule";
    match.readerMatchCount = 3;
    output.frame(packet, "Sun 2026-12-06 12:34:56:789", {match});
    output.sendResult("Sent");
    output.gateway("0a1b2c3d", "127.0.0.2", 64000);
    QString printed;
    for (const QByteArray &line : out.data().split('\n')) {
        if (!json || line.isEmpty()) {
            printed += QString::fromUtf8(line) + '\n';
            continue;
        }
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        QStringList fields;
        for (auto it = object.begin(); it != object.end(); ++it)
            fields << it.key() + '=' + it.value().toString();
        printed += fields.join('|') + '\n';
    }
    QTEST(printed.chopped(1), "expected");
    QVERIFY(progress.data().isEmpty());
}

// Three fragments of 189 bytes sent at 1000 bytes/s, the second reported twice, then the end
// of the progress: plain lines only when the percentage changes.
void tst_RunOutput::progress_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << false << "33 %\n66 %\n100 %\n";
    QTest::newRow("terminal")
        << true
        << "\r[#########.....................]  33 % 0.2 of 0.6 kB sent, 1.0 kB/s, 1 s left\x1b[K"
           "\r[###################...........]  66 % 0.4 of 0.6 kB sent, 1.0 kB/s, 1 s left\x1b[K"
           "\r[###################...........]  66 % 0.4 of 0.6 kB sent, 1.0 kB/s, 1 s left\x1b[K"
           "\r[##############################] 100 % 0.6 of 0.6 kB sent, 1.0 kB/s, 0 s left\x1b[K"
           "\n";
}

void tst_RunOutput::progress()
{
    QFETCH(bool, terminal);
    QBuffer out, progress;
    QVERIFY(out.open(QIODevice::WriteOnly) && progress.open(QIODevice::WriteOnly));
    RunOutput output(&out, &progress, false, terminal);
    for (const qint64 sent : {189, 378, 378, 567})
        output.progress(sent, 567, 1000.0);
    output.endProgress();
    QTEST(QString::fromUtf8(progress.data()), "expected");
    QVERIFY(out.data().isEmpty());
}

OVS_CORE_TEST_MAIN(tst_RunOutput)
#include "tst_RunOutput.moc"
