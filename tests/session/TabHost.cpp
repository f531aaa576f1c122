// A reader tab in a process of its own, for tst_LogSurvivesKill to kill: it reports on
// standard output each frame that the tab has shown and logged, so that the test knows which
// lines the logs must hold whenever the process dies.
//
// ovs-tab-host PROJECT_FOLDER SERIAL_PORT READER_NAME
// HOME and XDG_CONFIG_HOME come from the caller, so the settings are the caller's throwaway
// ones. Prints "ready" once the reader is connected and the tab is open.

#include "RegistryReader.h"
#include "link/TSL_CMD.h"
#include "patterns/ControlPanelPackets.h"
#include "project/ControlPanelTracePath.h"
#include "readers/ReadersList.h"
#include "session/AllReadersTab.h"
#include "session/ConnectedReaderTab.h"

#include <QApplication>
#include <QByteArray>
#include <QSettings>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

// Bounds the life of a host whose test died before killing it.
constexpr int lifetimeMs = 120000;

void writeLine(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: ovs-tab-host PROJECT_FOLDER SERIAL_PORT READER_NAME\n");
        return 2;
    }
    const QString &projectFolder = arguments.at(1);
    const QByteArray port = arguments.at(2).toLatin1();
    const QString readerName = arguments.at(3);

    // The project becomes current as at the window's start: from the stored start project.
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
                       QStringLiteral("tesselViewer"));
    settings.setValue(QStringLiteral("startProjectPath"), projectFolder);
    QWidget panel;
    auto *panelLayout = new QVBoxLayout(&panel);
    panelLayout->addLayout(new ControlPanelTracePath(&settings));
    auto *packets = new ControlPanelPackets;
    panelLayout->addLayout(packets);
    if (ControlPanelTracePath::projectPath() != projectFolder) {
        std::fprintf(stderr, "the project folder did not become current\n");
        return 1;
    }

    t_Reader *reader = addConnectedReader(readerName.toLatin1(), QString::fromLocal8Bit(port));
    if (!reader) {
        std::fprintf(stderr, "cannot connect to %s\n", port.constData());
        return 1;
    }
    auto *link = qobject_cast<TSL_CMD *>(reader->link);

    // Direct connections run in the order they were made: the copy before the tab, which
    // empties the array, and the report after the tab has shown and logged the frame.
    QByteArray frameHex;
    QObject::connect(
        link, &TSL_CMD::frameReceived, &application,
        [&frameHex](QByteArray *payload, int) { frameHex = payload->toHex().toUpper(); },
        Qt::DirectConnection);
    AllReadersTab allReaders;
    ConnectedReaderTab tab(readerName, &allReaders, packets);
    QObject::connect(
        link, &TSL_CMD::frameReceived, &application,
        [&frameHex](QByteArray *, int) { writeLine(frameHex); }, Qt::DirectConnection);

    panel.show();
    allReaders.show();
    tab.show();
    QTimer::singleShot(lifetimeMs, &application, &QCoreApplication::quit);
    writeLine("ready");
    const int result = application.exec();
    ReadersList::instance()->setReaderState(reader, STATE_DISCONNECTED);
    return result;
}
