// Renders the README's screenshot: the demo's scripts run against a simulated reader in a
// shown window, on whatever display Qt is given (the README's is Xvfb).
//
// ovs-screenshot DEMO_SCRIPTS_FOLDER OUTPUT.png
// Settings and the project go to a throwaway home; nothing of the user's is touched.

#include "ReaderSimulator.h"
#include "app/OVSViewer.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"
#include "scripts/ControlPanelScripts.h"
#include "session/ConnectedReaderTab.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

const QString readerName = QStringLiteral("Bench reader");

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int fail(const char *message)
{
    std::fprintf(stderr, "ovs-screenshot: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("OVS_LINK_TRACE", "0");
    QTemporaryDir home;
    if (!home.isValid())
        return fail("cannot create a temporary home");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 3)
        return fail("usage: ovs-screenshot DEMO_SCRIPTS_FOLDER OUTPUT.png");

    ReaderSimulator simulator;
    if (!simulator.startSerial(QStringLiteral("/tmp/ovsiXXXX")))
        return fail("cannot open a pseudo-terminal");
    simulator.setAnswer(QByteArray::fromHex("0A1B2C"), QByteArray::fromHex("8A1B2C00"));

    const QString project = home.path() + QStringLiteral("/demo/project");
    QDir().mkpath(project + QStringLiteral("/Scripts"));
    for (const QString &name : QDir(arguments.at(1)).entryList({QStringLiteral("*.scr")}))
        QFile::copy(arguments.at(1) + QLatin1Char('/') + name,
                    project + QStringLiteral("/Scripts/") + name);
    QFile readers(project + QStringLiteral("/readers_list.txt"));
    if (!readers.open(QIODevice::WriteOnly))
        return fail("cannot write the readers file");
    readers.write("Serial;" + readerName.toLatin1() + ";" + simulator.serialPortName().toLatin1() +
                  ";115200;000000000000;\n");
    readers.close();
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
              QStringLiteral("tesselViewer"))
        .setValue(QStringLiteral("startProjectPath"), project);

    OVSViewer window;
    window.show();
    ReadersTabModel *model = window.readersDock()->model();
    window.readersDock()->onTableClicked(
        model->index(model->rowOfReader(readerName), ReadersTabModel::ActionColumn));
    if (!waitFor([&] { return window.connectedReaderTab(readerName) != nullptr; }, 10000))
        return fail("the reader did not connect");
    ConnectedReaderTab *tab = window.connectedReaderTab(readerName);
    ControlPanelScripts *scripts = window.scriptsPanel();
    scripts->scriptList()->setCurrentIndex(
        scripts->scriptList()->findText(QStringLiteral("Ask the reader, waiting for each answer")));
    // The tab bar of the dock area may come a moment after the tab.
    if (!waitFor(
            [&] {
                tab->raise();
                return window.currentDock() == tab;
            },
            5000))
        return fail("the reader's tab did not come to the front");
    bool finished = false;
    QObject::connect(tab, &ConnectedReaderTab::readerScriptExecutionFinished,
                     [&finished] { finished = true; });
    scripts->runButton()->click();
    if (!waitFor([&] { return finished; }, 30000))
        return fail("the script did not finish");
    // The last message and the rows' sizes settle, then the screen is taken as it is.
    waitFor([] { return false; }, 500);
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    return shot.save(arguments.at(2)) ? 0 : fail("cannot save the picture");
}
