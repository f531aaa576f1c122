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
    void init();
    void cleanup();
    void analyseFrame();
    void countsAcrossReaders();
    void rescanReadsTheFileAgain();
    void openConfigFile();

private:
    void writePatterns(const QByteArray &lines);
    void makePanel();
    void toggleAnalysing() { emit m_panel->analyseButton()->released(); }

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<QWidget> m_host;
    ControlPanelPackets *m_panel = nullptr;
};

void tst_ControlPanelPackets::init()
{
    m_project = std::make_unique<ProjectFolder>();
    m_host = std::make_unique<QWidget>();
    new QVBoxLayout(m_host.get());
}

void tst_ControlPanelPackets::cleanup()
{
    m_host.reset();
    m_project.reset();
    m_panel = nullptr;
}

void tst_ControlPanelPackets::writePatterns(const QByteArray &lines)
{
    QFile file(ControlPanelTracePath::patternRulesPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines);
}

void tst_ControlPanelPackets::makePanel()
{
    m_panel = new ControlPanelPackets;
    // Added as a layout, so that the host takes its widgets and frees them.
    static_cast<QVBoxLayout *>(m_host->layout())->addLayout(m_panel);
}

void tst_ControlPanelPackets::analyseFrame()
{
    writePatterns("Hello;STXT;0102;0304\nFirst;LEFT;0;01\n\nOther;STXT;FFFF\nAlso;RIGHT;0;03;\n");
    makePanel();
    QCOMPARE(m_panel->rules().size(), 5);
    QSignalSpy answers(m_panel, &ControlPanelPackets::answerOnMatch);

    // Analysing is off at start: nothing is looked at or counted.
    QVERIFY(m_panel->analyseFrame(QStringLiteral("R1"), QStringLiteral("01 02 03")).isEmpty());
    QCOMPARE(m_panel->rules().first()->matchCount(), 0);

    toggleAnalysing();
    QVERIFY(m_panel->analysing());
    const Snapshots matches =
        m_panel->analyseFrame(QStringLiteral("R1"), QStringLiteral("01 02 03"));
    QCOMPARE(matches.size(), 3);
    QCOMPARE(matches.at(0).ruleName, QStringLiteral("Hello"));
    QCOMPARE(matches.at(1).ruleName, QStringLiteral("First"));
    QCOMPARE(matches.at(2).ruleName, QStringLiteral("Also"));
    // The rules with an answer ask for it, in file order; the empty answer too.
    QCOMPARE(answers.count(), 2);
    QCOMPARE(answers.at(0), (QList<QVariant>{QStringLiteral("R1"), QStringLiteral("0304")}));
    QCOMPARE(answers.at(1), (QList<QVariant>{QStringLiteral("R1"), QString()}));

    // Lower-case frame text is not upper-case pattern text.
    QVERIFY(m_panel->analyseFrame(QStringLiteral("R1"), QStringLiteral("ffff")).isEmpty());
}

void tst_ControlPanelPackets::countsAcrossReaders()
{
    writePatterns("Hello;STXT;0102\nOther;STXT;01\n");
    makePanel();
    toggleAnalysing();
    for (const char *reader : {"R1", "R1", "R2"})
        m_panel->analyseFrame(QString::fromLatin1(reader), QStringLiteral("0102"));
    Snapshots next = m_panel->analyseFrame(QStringLiteral("R1"), QStringLiteral("0102"));
    QCOMPARE(next.size(), 2);
    QCOMPARE(next.first().readerMatchCount, 3);
    QCOMPARE(next.first().totalMatchCount, 4);
    m_panel->clearCounters();
    next = m_panel->analyseFrame(QStringLiteral("R2"), QStringLiteral("0102"));
    QCOMPARE(next.first().readerMatchCount, 1);
    QCOMPARE(next.first().totalMatchCount, 1);
}

void tst_ControlPanelPackets::rescanReadsTheFileAgain()
{
    writePatterns("Hello;STXT;0102\n");
    makePanel();
    toggleAnalysing();
    m_panel->analyseFrame(QStringLiteral("R1"), QStringLiteral("0102"));
    writePatterns("New;STXT;0102\nSecond;STXT;02\n");
    QVERIFY(QMetaObject::invokeMethod(m_panel, "newAnalyseFileSelected"));
    QCOMPARE(m_panel->rules().size(), 2);
    QCOMPARE(m_panel->rules().first()->name(), QStringLiteral("New"));
    QVERIFY(m_panel->analysing());
    const Snapshots matches = m_panel->analyseFrame(QStringLiteral("R1"), QStringLiteral("0102"));
    QCOMPARE(matches.size(), 2);
    QCOMPARE(matches.first().totalMatchCount, 1);

    // Without a file there are no rules.
    QVERIFY(QFile::remove(ControlPanelTracePath::patternRulesPath()));
    QVERIFY(QMetaObject::invokeMethod(m_panel, "newAnalyseFileSelected"));
    QVERIFY(m_panel->rules().isEmpty());
    QVERIFY(m_panel->analyseFrame(QStringLiteral("R1"), QStringLiteral("0102")).isEmpty());
}

void tst_ControlPanelPackets::openConfigFile()
{
    OpenedFiles opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "openUrl");
    makePanel();
    QSignalSpy messages(m_panel, &ControlPanelPackets::statusMessage);
    QVERIFY(QMetaObject::invokeMethod(m_panel, "openConfigFile"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(opened.paths, QStringList{ControlPanelTracePath::patternRulesPath()});
    QCOMPARE(messages.count(), 0);
}

OVS_TEST_MAIN(tst_ControlPanelPackets)
#include "tst_ControlPanelPackets.moc"
