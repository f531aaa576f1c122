#include "IsolatedHome.h"
#include "OpenedFiles.h"
#include "ProjectFolder.h"
#include "patterns/ControlPanelPackets.h"
#include "patterns/PatternMatchingRule.h"
#include "project/ControlPanelTracePath.h"

#include <QDesktopServices>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

#include <memory>

using Snapshots = QList<ControlPanelPackets::T_matchSnapshot>;

class tst_ControlPanelPackets : public QObject
{
    Q_OBJECT

private slots:
    void analyseFrame();
    void rescanReadsTheFileAgain();
    void openConfigFile();

private:
    // A new project with these rules, and a panel on it.
    void makePanel(const QByteArray &rules);
    void writeRules(const QByteArray &rules);
    Snapshots analyse(const char *reader, const char *frame)
    {
        return m_panel->analyseFrame(QString::fromLatin1(reader), QString::fromLatin1(frame));
    }

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<QWidget> m_host;
    ControlPanelPackets *m_panel = nullptr;
};

void tst_ControlPanelPackets::makePanel(const QByteArray &rules)
{
    m_host.reset();
    m_project = std::make_unique<ProjectFolder>();
    writeRules(rules);
    m_host = std::make_unique<QWidget>();
    m_panel = new ControlPanelPackets;
    // Added as a layout, so that the host takes its widgets and frees them.
    (new QVBoxLayout(m_host.get()))->addLayout(m_panel);
}

void tst_ControlPanelPackets::writeRules(const QByteArray &rules)
{
    QFile file(ControlPanelTracePath::patternRulesPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(rules);
}

void tst_ControlPanelPackets::analyseFrame()
{
    makePanel("Hello;STXT;0102;0304\nFirst;LEFT;0;01\n\nOther;STXT;FFFF\nAlso;RIGHT;0;03;\n");
    QCOMPARE(m_panel->rules().size(), 5);
    QSignalSpy answers(m_panel, &ControlPanelPackets::answerOnMatch);
    // Analysing is off at start: nothing is looked at or counted.
    QVERIFY(analyse("R1", "01 02 03").isEmpty());
    QCOMPARE(m_panel->rules().first()->matchCount(), 0);

    emit m_panel->analyseButton()->released();
    QVERIFY(m_panel->analysing());
    Snapshots matches = analyse("R1", "01 02 03");
    QCOMPARE(matches.size(), 3);
    QCOMPARE(matches.at(0).ruleName, QStringLiteral("Hello"));
    QCOMPARE(matches.at(1).ruleName, QStringLiteral("First"));
    QCOMPARE(matches.at(2).ruleName, QStringLiteral("Also"));
    // The rules with an answer ask for it, in file order; the empty answer too.
    QCOMPARE(answers.count(), 2);
    QCOMPARE(answers.at(0), (QList<QVariant>{QStringLiteral("R1"), QStringLiteral("0304")}));
    QCOMPARE(answers.at(1), (QList<QVariant>{QStringLiteral("R1"), QString()}));
    // Lower-case frame text is not upper-case pattern text.
    QVERIFY(analyse("R1", "ffff").isEmpty());

    // Counts per reader and in total, until cleared.
    analyse("R1", "0102");
    analyse("R2", "0102");
    matches = analyse("R1", "0102");
    QCOMPARE(matches.size(), 2);
    QCOMPARE(matches.first().readerMatchCount, 3);
    QCOMPARE(matches.first().totalMatchCount, 4);
    m_panel->clearCounters();
    matches = analyse("R2", "0102");
    QCOMPARE(matches.first().readerMatchCount, 1);
    QCOMPARE(matches.first().totalMatchCount, 1);
}

void tst_ControlPanelPackets::rescanReadsTheFileAgain()
{
    makePanel("Hello;STXT;0102\n");
    emit m_panel->analyseButton()->released();
    analyse("R1", "0102");
    writeRules("New;STXT;0102\nSecond;STXT;02\n");
    QVERIFY(QMetaObject::invokeMethod(m_panel, "newAnalyseFileSelected"));
    QCOMPARE(m_panel->rules().size(), 2);
    QCOMPARE(m_panel->rules().first()->name(), QStringLiteral("New"));
    QVERIFY(m_panel->analysing());
    const Snapshots matches = analyse("R1", "0102");
    QCOMPARE(matches.size(), 2);
    QCOMPARE(matches.first().totalMatchCount, 1);

    // Without a file there are no rules.
    QVERIFY(QFile::remove(ControlPanelTracePath::patternRulesPath()));
    QVERIFY(QMetaObject::invokeMethod(m_panel, "newAnalyseFileSelected"));
    QVERIFY(m_panel->rules().isEmpty());
}

void tst_ControlPanelPackets::openConfigFile()
{
    makePanel("");
    OpenedFiles opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "openUrl");
    QSignalSpy messages(m_panel, &ControlPanelPackets::statusMessage);
    QVERIFY(QMetaObject::invokeMethod(m_panel, "openConfigFile"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(opened.paths, QStringList{ControlPanelTracePath::patternRulesPath()});
    QCOMPARE(messages.count(), 0);
}

OVS_TEST_MAIN(tst_ControlPanelPackets)
#include "tst_ControlPanelPackets.moc"
