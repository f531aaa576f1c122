#include "IsolatedHome.h"
#include "ModalWatcher.h"
#include "OpenedFiles.h"
#include "ProjectFolder.h"
#include "app/OVSViewer.h"
#include "project/ControlPanelTracePath.h"
#include "project/LogFileOwner.h"

#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A dock that keeps a log, like the merged tab and the reader tabs.
struct LoggingDock : QDockWidget, LogFileOwner
{
    QString fileName;
    QString logFileName() const override { return fileName; }
};

// What the project section adds to ProjectPaths: the label, the folder chooser and the trace
// file of the tab in front.
class tst_ControlPanelTracePath : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void changeProject_data();
    void changeProject();
    void openTraceFile_data();
    void openTraceFile();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    OpenedFiles m_opened;
};

void tst_ControlPanelTracePath::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    setStartProject(m_folder->path() + QStringLiteral("/current/p"));
    m_opened.paths.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opened, "openUrl");
}

void tst_ControlPanelTracePath::changeProject_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<bool>("accept");

    QTest::newRow("readers connected") << 1 << true;
    QTest::newRow("folder chosen") << 0 << true;
    QTest::newRow("chooser cancelled") << 0 << false;
}

void tst_ControlPanelTracePath::changeProject()
{
    QFETCH(int, readers);
    QFETCH(bool, accept);
    const QString target = m_folder->path();
    OVSViewer window;
    ControlPanelTracePath *section = window.projectPanel();
    const QString project = ControlPanelTracePath::projectPath();
    QSignalSpy changed(section, &ControlPanelTracePath::projectChanged);
    QSignalSpy messages(section, &ControlPanelTracePath::statusMessage);

    QString dialogClass;
    ModalWatcher watcher(ModalWatcher::ModalDialog, [&](QWidget *widget) {
        dialogClass = QString::fromLatin1(widget->metaObject()->className());
        auto *chooser = qobject_cast<QFileDialog *>(widget);
        if (!chooser || !accept)
            return void(widget->close());
        chooser->setDirectory(target);
        static_cast<QDialog *>(chooser)->accept();
    });
    section->changeProject(readers);

    QVERIFY(watcher.handled());
    const bool changes = readers == 0 && accept;
    QCOMPARE(dialogClass, QLatin1String(readers > 0 ? "QMessageBox" : "QFileDialog"));
    QCOMPARE(ControlPanelTracePath::projectPath(), changes ? target : project);
    QCOMPARE(section->pathLabel()->text(), ControlPanelTracePath::projectPath());
    QCOMPARE(changed.count(), int(changes));
    // The chooser's outcome is told, a failure when it was cancelled.
    QCOMPARE(messages.count(), int(readers == 0));
    QCOMPARE(messages.value(0).value(0).toString().startsWith(QLatin1String("Error: ")),
             readers == 0 && !accept);
}

void tst_ControlPanelTracePath::openTraceFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("opened");

    QTest::newRow("reader tab") << int(TAB_CONNECTED_READER) << true;
    QTest::newRow("readers tab, which keeps no log") << int(TAB_READERS) << false;
    QTest::newRow("firmware tab") << int(TAB_FIRMWARE_UPGRADE) << false;
}

// Through the Browse button's context menu, whose one entry opens the trace file.
void tst_ControlPanelTracePath::openTraceFile()
{
    QFETCH(int, type);
    QFETCH(bool, opened);
    OVSViewer window;
    const QString logFile = ControlPanelTracePath::logsPath() + QStringLiteral("trace_A.log");
    LoggingDock loggingDock;
    loggingDock.fileName = logFile;
    QDockWidget plainDock;
    QVERIFY(QMetaObject::invokeMethod(
        &window, "setCurrentSelectedTab",
        Q_ARG(QDockWidget *, type != TAB_READERS ? &loggingDock : &plainDock),
        Q_ARG(DockedTabTypes, DockedTabTypes(type))));

    ModalWatcher watcher(ModalWatcher::PopupMenu, [](QWidget *widget) {
        if (auto *menu = qobject_cast<QMenu *>(widget))
            menu->actions().first()->trigger();
        widget->close();
    });
    emit window.projectPanel()->browseButton()->customContextMenuRequested(QPoint(2, 2));

    QVERIFY(watcher.handled());
    QCOMPARE(m_opened.paths, opened ? QStringList{logFile} : QStringList{});
}

OVS_TEST_MAIN(tst_ControlPanelTracePath)
#include "tst_ControlPanelTracePath.moc"
