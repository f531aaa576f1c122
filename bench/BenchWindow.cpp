#include "BenchWindow.h"

#include "BenchReport.h"
#include "EventLoopWait.h"
#include "app/OVSViewer.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"

#include <QFile>
#include <QSettings>

std::unique_ptr<OVSViewer> windowWithSerialReader(const QString &projectPath,
                                                  const QString &serialPort,
                                                  const QString &readerName)
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
              QStringLiteral("tesselViewer"))
        .setValue(QStringLiteral("startProjectPath"), projectPath);
    QFile readers(projectPath + QStringLiteral("/readers_list.txt"));
    if (!readers.open(QIODevice::WriteOnly)) {
        report(QStringLiteral("  the readers file could not be written"));
        return nullptr;
    }
    readers.write("Serial;" + readerName.toLatin1() + ";" + serialPort.toLatin1() +
                  ";115200;000000000000;\n");
    readers.close();

    auto window = std::make_unique<OVSViewer>();
    window->show();
    ReadersTabModel *model = window->readersDock()->model();
    window->readersDock()->onTableClicked(
        model->index(model->rowOfReader(readerName), ReadersTabModel::ActionColumn));
    if (!processUntil([&] { return window->connectedReaderTab(readerName) != nullptr; }, 10000)) {
        report(QStringLiteral("  the reader did not connect"));
        return nullptr;
    }
    return window;
}
