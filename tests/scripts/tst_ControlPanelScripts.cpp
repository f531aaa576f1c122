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
    void note(const QString &message) { m_messages << message; }

private slots:
    void init() { m_project = std::make_unique<ProjectFolder>(); }
    void cleanup();
    void listingAndPreferredButtons();
    void refusals_data();
    void refusals();
    void runStopAndCallByName();

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
}

ControlPanelScripts *tst_ControlPanelScripts::makePanel()
{
    auto *panel = new ControlPanelScripts(this);
    connect(panel, &ControlPanelScripts::statusMessage, this, &tst_ControlPanelScripts::note);
    (new QVBoxLayout(&m_hosts.emplace_back()))->addLayout(panel);
    return panel;
}

void tst_ControlPanelScripts::openTab()
{
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsscXXXX")));
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    m_simulator->clearRecords();
    m_tab = std::make_unique<ConnectedReaderTab>(QStringLiteral("R1"), nullptr, nullptr);
    connect(m_tab.get(), &ConnectedReaderTab::statusMessage, this, &tst_ControlPanelScripts::note);
    m_type = TAB_CONNECTED_READER;
}

void tst_ControlPanelScripts::listingAndPreferredButtons()
{
    const QString alpha = script("a.scr", "Alpha\n0102;1;1\n");
    const QString betaName = "Beta, whose name is too wide for its button";
    const QString beta = script("b.scr", betaName.toUtf8() + "\r\nWAIT;1\n");
    const QString gamma = script("c.scr", "Gamma\n");
    const QString unnamed = script("d.scr", "\nNamed too late\n");
    script("script_rtc.scr", "The clock script, whose name is the widest of all\n");
    ControlPanelScripts *panel = makePanel();
    QSignalSpy reparsed(panel, &ControlPanelScripts::scriptReparsed);
    menu(panel, "Reparse");
    QVERIFY(m_messages.contains(
        QStringLiteral("Error: Could not get script name from file \"%1\".").arg(unnamed)));
    QCOMPARE(panel->scriptList()->count(), 3);
    QCOMPARE(reparsed.at(0).at(0).toInt(), betaName.size() * 7);
    QCOMPARE(panel->requiredWidth(), betaName.size() * 7);
    QCOMPARE(panel->runButton()->text(), QStringLiteral("Alpha"));

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

    // After a restart, without Beta's file and with an empty line put in by hand.
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
    // Before the click on preferred button 0, or on the run button (G): the script has no
    // name (U); it is preferred (P), deleted after loading (D); the readers dock is in front (R).
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    addRow("readers dock in front", "PR", "Error: Please select connected reader tab.");
    addRow("nothing listed", "UG", "Error: There is not script file to execute.");
    addRow("preferred script gone", "PD", "Error: File \"%1\" does not exist.");
}

void tst_ControlPanelScripts::refusals()
{
    QFETCH(QString, setup);
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
    (setup.contains('G') ? panel->runButton() : panel->preferredButton(0))->click();
    QCOMPARE(m_messages, QStringList{message.replace("%1", path)});
    QCOMPARE(starts.count(), 0);
}

void tst_ControlPanelScripts::runStopAndCallByName()
{
    const QString waits = script("a.scr", "Waits\nWAIT;100\n0102;1;1\n");
    const QString ping = script("b.scr", "Ping\n0304;1;1\n");
    writeFile(ProjectPaths::preferredScriptPath(), waits.toUtf8() + "\n");
    openTab();
    ControlPanelScripts *panel = makePanel();
    QSignalSpy starts(m_tab.get(), &ConnectedReaderTab::startReaderScriptMode);
    QVERIFY(!panel->callScriptByName("R1", "ping") && !panel->callScriptByName("R1", "0304"));
    QCOMPARE(starts.count(), 0);
    QVERIFY(panel->callScriptByName("R1", "Ping"));
    QTRY_VERIFY(m_messages.contains(QString("Script file \"%1\" execution finished.").arg(ping)));
    QCOMPARE(m_simulator->receivedPayloads(), QList<QByteArray>{QByteArray::fromHex("0304")});

    panel->preferredButton(0)->click();
    QVERIFY(m_tab->isScriptRunning());
    QCOMPARE(panel->preferredButton(0)->icon().cacheKey(), panel->stopIcon().cacheKey());
    panel->runButton()->click();
    QTRY_VERIFY(m_messages.contains(QString("Script file \"%1\" execution stopped.").arg(waits)));
    QVERIFY(!m_tab->isScriptRunning() && panel->runningReaderName().isEmpty());
    QCOMPARE(panel->preferredButton(0)->icon().cacheKey(), panel->runIcon().cacheKey());
    QCOMPARE(m_simulator->receivedPayloads().size(), 1);
}

OVS_TEST_MAIN(tst_ControlPanelScripts)
#include "tst_ControlPanelScripts.moc"
