#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "TableRow.h"
#include "project/ProjectPaths.h"
#include "scripts/ControlPanelScripts.h"
#include "session/ConnectedReaderTab.h"
#include "session/ReaderTabs.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include <list>
#include <memory>

namespace {

QString writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString script(const char *fileName, const QByteArray &content)
{
    return writeFile(ProjectPaths::scriptsPath() + fileName, content);
}

QString preferredFile()
{
    QFile file(ProjectPaths::preferredScriptPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The texts of the management menu, after triggering the action with text chosen, if any.
QStringList menu(ControlPanelScripts *panel, const QString &chosen = QString())
{
    const std::unique_ptr<QMenu> menu = panel->createManagementMenu();
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << action->text();
    if (QAction *action = menu->actions().value(texts.indexOf(chosen)))
        action->trigger();
    return texts;
}

QStringList shownPreferred(ControlPanelScripts *panel)
{
    QStringList texts;
    for (int index = 0; index < ControlPanelScripts::preferredButtonCount; ++index)
        if (!panel->preferredButton(index)->isHidden())
            texts << panel->preferredButton(index)->text();
    return texts;
}

} // namespace

// Plays the window: one reader tab, in front or not.
class tst_ControlPanelScripts : public QObject, public ReaderTabs
{
    Q_OBJECT

public:
    QDockWidget *currentDock() const override { return m_tab.get(); }
    DockedTabTypes currentDockType() const override { return m_type; }
    ConnectedReaderTab *connectedReaderTab(const QString &name) const override
    {
        return m_tab && m_tab->readerName() == name ? m_tab.get() : nullptr;
    }

private slots:
    void init() { m_project = std::make_unique<ProjectFolder>(); }
    void cleanup();
    void listing();
    void preferredButtonsSurviveRestart();
    void refusals_data();
    void refusals();

private:
    ControlPanelScripts *makePanel();
    void openTab();

    std::unique_ptr<ProjectFolder> m_project;
    std::list<QWidget> m_hosts;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<ConnectedReaderTab> m_tab;
    DockedTabTypes m_type = TAB_READERS;
    QStringList m_messages;
};

void tst_ControlPanelScripts::cleanup()
{
    m_hosts.clear();
    m_tab.reset();
    resetReaderRegistry();
    m_simulator.reset();
    m_messages.clear();
}

ControlPanelScripts *tst_ControlPanelScripts::makePanel()
{
    auto *panel = new ControlPanelScripts(this);
    connect(panel, &ControlPanelScripts::statusMessage, this,
            [this](const QString &message) { m_messages << message; });
    (new QVBoxLayout(&m_hosts.emplace_back()))->addLayout(panel);
    return panel;
}

void tst_ControlPanelScripts::openTab()
{
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsscXXXX")));
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    m_tab = std::make_unique<ConnectedReaderTab>(QStringLiteral("R1"), nullptr, nullptr);
    connect(m_tab.get(), &ConnectedReaderTab::statusMessage, this,
            [this](const QString &message) { m_messages << message; });
    m_type = TAB_CONNECTED_READER;
}

void tst_ControlPanelScripts::listing()
{
    script("a.scr", "Alpha\n0102;1;1\n");
    const QString bravo = script("b.scr", "Bravo two\r\nWAIT;1\n");
    const QString unnamed = script("c.scr", "\nNamed too late\n");
    script("script_rtc.scr", "The clock script, the widest of all\n\"RTC\";1;1\n");
    ControlPanelScripts *panel = makePanel();
    QSignalSpy reparsed(panel, &ControlPanelScripts::scriptReparsed);
    menu(panel, "Reparse");
    QVERIFY(m_messages.contains(
        QStringLiteral("Error: Could not get script name from file \"%1\".").arg(unnamed)));
    QCOMPARE(panel->scriptList()->count(), 2);
    QCOMPARE(panel->scriptList()->itemText(1), QStringLiteral("Bravo two"));
    QCOMPARE(panel->scriptList()->itemData(1).toString(), bravo);
    QCOMPARE(reparsed.at(0).at(0).toInt(), 9 * 7);
    QCOMPARE(panel->requiredWidth(), 9 * 7);
    QCOMPARE(panel->runButton()->text(), QStringLiteral("Alpha"));
}

void tst_ControlPanelScripts::preferredButtonsSurviveRestart()
{
    const QString alpha = script("a.scr", "Alpha\n");
    const QString betaName = "Beta, whose name is too wide for its button";
    const QString beta = script("b.scr", betaName.toUtf8() + "\n");
    const QString gamma = script("c.scr", "Gamma\n");
    ControlPanelScripts *panel = makePanel();
    const QStringList management{"Remove last prefered button", "Open", "Browse folder", "Reparse"};
    QCOMPARE(menu(panel), QStringList{"Set in prefered scirpt 1"} + management);
    for (const int item : {1, 0, 2}) {
        panel->scriptList()->setCurrentIndex(item);
        menu(panel, QString("Set in prefered scirpt %1").arg(shownPreferred(panel).size() + 1));
    }
    QCOMPARE(menu(panel).mid(3), QStringList{"Set in prefered scirpt 4"} + management);
    QCOMPARE(preferredFile(), beta + "\n" + alpha + "\n" + gamma + "\n");
    const QString shortened = shownPreferred(panel).at(0);
    QVERIFY(shortened.endsWith("...") && betaName.startsWith(shortened.chopped(3)));
    QCOMPARE(shownPreferred(panel).mid(1), (QStringList{"Alpha", "Gamma"}));

    // Beta's file goes, and an empty line comes in by hand.
    QVERIFY(QFile::remove(beta));
    writeFile(ProjectPaths::preferredScriptPath(),
              preferredFile().replace(alpha, "\n" + alpha).toUtf8());
    ControlPanelScripts *restarted = makePanel();
    QCOMPARE(shownPreferred(restarted), (QStringList{"Alpha", "Gamma"}));
    QCOMPARE(preferredFile(), alpha + "\n" + gamma + "\n");
    menu(restarted, "Remove last prefered button");
    QCOMPARE(preferredFile(), alpha + "\n");
    QCOMPARE(shownPreferred(restarted), QStringList{"Alpha"});
}

void tst_ControlPanelScripts::refusals_data()
{
    // What is done before the click: the script has no name (U); it is preferred (P), deleted
    // after loading (D); the readers dock is in front (R).
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("message");
    const int generic = ControlPanelScripts::preferredButtonCount;
    addRow("readers dock in front", "PR", 0, "Error: Please select connected reader tab.");
    addRow("no preferred file", "", 0, "Error: This script file can't be open");
    addRow("preferred file too short", "P", 1,
           "Error: description file of prefered button is corrupted !");
    addRow("nothing listed", "U", generic, "Error: There is not script file to execute.");
    addRow("preferred script gone", "PD", 0, "Error: File \"%1\" does not exist.");
}

void tst_ControlPanelScripts::refusals()
{
    QFETCH(QString, setup);
    QFETCH(int, button);
    QFETCH(QString, message);
    const QString path = script("a.scr", setup.contains('U') ? "\n0102;1;1\n" : "Named\n");
    if (setup.contains('P'))
        writeFile(ProjectPaths::preferredScriptPath(), path.toUtf8() + "\n");
    openTab();
    if (setup.contains('R'))
        m_type = TAB_READERS;
    ControlPanelScripts *panel = makePanel();
    if (setup.contains('D'))
        QVERIFY(QFile::remove(path));
    QSignalSpy starts(m_tab.get(), &ConnectedReaderTab::startReaderScriptMode);
    m_messages.clear();
    (button < ControlPanelScripts::preferredButtonCount ? panel->preferredButton(button)
                                                        : panel->runButton())
        ->click();
    QCOMPARE(m_messages, QStringList{message.replace("%1", path)});
    QCOMPARE(starts.count(), 0);
}

OVS_TEST_MAIN(tst_ControlPanelScripts)
#include "tst_ControlPanelScripts.moc"
