// Renders the README's screenshots on whatever display Qt is given (the README's is Xvfb): the
// demo's scripts run against a simulated reader in a shown window, or the firmware dock in the
// middle of an upgrade of the simulated reader.
//
// ovs-screenshot DEMO_SCRIPTS_FOLDER OUTPUT.png
// ovs-screenshot --firmware OUTPUT.png
// Settings and the project go to a throwaway home; nothing of the user's is touched.

#include "ReaderSimulator.h"
#include "SrecordText.h"
#include "app/OVSViewer.h"
#include "firmware/FirmwareUpgrade.h"
#include "firmware/LoadFirmware.h"
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
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollArea>
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
        return fail("usage: ovs-screenshot DEMO_SCRIPTS_FOLDER|--firmware OUTPUT.png");
    const bool firmware = arguments.at(1) == QLatin1String("--firmware");

    ReaderSimulator simulator;
    if (!simulator.startSerial(QStringLiteral("/tmp/ovsiXXXX")))
        return fail("cannot open a pseudo-terminal");
    simulator.setAnswer(QByteArray::fromHex("0A1B2C"), QByteArray::fromHex("8A1B2C00"));

    const QString project = home.path() + QStringLiteral("/demo/project");
    QDir().mkpath(project + QStringLiteral("/Scripts"));
    for (const QString &name :
         firmware ? QStringList() : QDir(arguments.at(1)).entryList({QStringLiteral("*.scr")}))
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
    if (firmware) {
        // Paced as a real line, so that the upgrade lasts long enough to be seen.
        simulator.setBaudRate(115200);
        QByteArray image(120000, '\0');
        QRandomGenerator random(3);
        for (char &byte : image)
            byte = char(random.generate());
        const QString path = firmwareFile(QStringLiteral("bench_reader.srec"), srecordFile(image));
        FirmwareUpgrade *dock = window.firmwareDock();
        dock->firmwarePanel()->chooseFile = [path] { return path; };
        dock->refreshReaderSelection();
        dock->readerSelection()->setCurrentText(readerName);
        dock->firmwarePanel()->loadFwBtnClicked();
        if (!waitFor([&] { return !dock->firmwarePanel()->firmwareBytes().isEmpty(); }, 10000))
            return fail("the firmware file was not loaded");
        dock->actionSelection()->setCurrentText(QStringLiteral("Update reader"));
        if (!waitFor(
                [&] {
                    dock->raise();
                    return window.currentDock() == dock;
                },
                5000))
            return fail("the firmware dock did not come to the front");
        dock->startButton()->click();
        if (!waitFor([&] { return dock->progressBar()->value() >= 40; }, 60000))
            return fail("the upgrade did not get under way");
        if (auto *scroller = dock->findChild<QScrollArea *>())
            scroller->ensureWidgetVisible(dock->progressBar());
    } else {
        if (!waitFor(
                [&] {
                    tab->raise();
                    return window.currentDock() == tab;
                },
                5000))
            return fail("the reader's tab did not come to the front");
        ControlPanelScripts *scripts = window.scriptsPanel();
        scripts->scriptList()->setCurrentIndex(scripts->scriptList()->findText(
            QStringLiteral("Ask the reader, waiting for each answer")));
        bool finished = false;
        QObject::connect(tab, &ConnectedReaderTab::readerScriptExecutionFinished,
                         [&finished] { finished = true; });
        scripts->runButton()->click();
        if (!waitFor([&] { return finished; }, 30000))
            return fail("the script did not finish");
    }
    // The last message and the rows' sizes settle, then the screen is taken as it is.
    waitFor([] { return false; }, 500);
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    return shot.save(arguments.at(2)) ? 0 : fail("cannot save the picture");
}
