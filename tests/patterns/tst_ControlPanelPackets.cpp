#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "patterns/ControlPanelPackets.h"
#include "patterns/PatternMatchingRule.h"
#include "project/ControlPanelTracePath.h"

#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

class tst_ControlPanelPackets : public QObject
{
    Q_OBJECT

private slots:
    void analyseAndRescan();
};

void tst_ControlPanelPackets::analyseAndRescan()
{
    ProjectFolder project;
    const auto writeRules = [](const QByteArray &rules) {
        QFile file(ControlPanelTracePath::patternRulesPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(rules);
    };
    writeRules("Hello;STXT;0102;0304\nFirst;LEFT;0;01\n\nOther;STXT;FFFF\nAlso;RIGHT;0;03;\n");
    QWidget host;
    auto *panel = new ControlPanelPackets;
    // Added as a layout, so that the host takes its widgets and frees them.
    (new QVBoxLayout(&host))->addLayout(panel);
    QCOMPARE(panel->rules().size(), 5);
    QSignalSpy answers(panel, &ControlPanelPackets::answerOnMatch);
    emit panel->analyseButton()->released();
    const auto analyse = [panel](const char *reader, const char *frame) {
        QStringList matches;
        for (const auto &match :
             panel->analyseFrame(QString::fromLatin1(reader), QString::fromLatin1(frame)))
            matches << QStringLiteral("%1 %2/%3")
                           .arg(match.ruleName)
                           .arg(match.readerMatchCount)
                           .arg(match.totalMatchCount);
        return matches;
    };
    QCOMPARE(analyse("R1", "01 02 03"), (QStringList{"Hello 1/1", "First 1/1", "Also 1/1"}));
    // The rules with an answer ask for it, in file order; the empty answer too.
    QCOMPARE(answers.count(), 2);
    QCOMPARE(answers.at(0), (QList<QVariant>{QStringLiteral("R1"), QStringLiteral("0304")}));
    QCOMPARE(answers.at(1), (QList<QVariant>{QStringLiteral("R1"), QString()}));
    // Lower-case frame text is not upper-case pattern text.
    QVERIFY(analyse("R1", "ffff").isEmpty());
    QCOMPARE(analyse("R2", "0102"), (QStringList{"Hello 1/2", "First 1/2"}));
    QCOMPARE(analyse("R1", "0102"), (QStringList{"Hello 2/3", "First 2/3"}));
    panel->clearCounters();
    QCOMPARE(analyse("R2", "0102"), (QStringList{"Hello 1/1", "First 1/1"}));

    // A rescan reads the file again, and starts counting anew.
    writeRules("New;STXT;0102\n");
    QVERIFY(QMetaObject::invokeMethod(panel, "newAnalyseFileSelected"));
    QVERIFY(panel->analysing());
    QCOMPARE(analyse("R1", "0102"), QStringList{"New 1/1"});
    QVERIFY(QFile::remove(ControlPanelTracePath::patternRulesPath()));
    QVERIFY(QMetaObject::invokeMethod(panel, "newAnalyseFileSelected"));
    QVERIFY(panel->rules().isEmpty());
}

OVS_TEST_MAIN(tst_ControlPanelPackets)
#include "tst_ControlPanelPackets.moc"
