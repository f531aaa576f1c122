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
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A dock that keeps a log, like the merged tab and the reader tabs.
class LoggingDock : public QDockWidget, public LogFileOwner
{
public:
    explicit LoggingDock(QString fileName)
        : m_fileName(std::move(fileName))
    {
    }
    QString logFileName() const override { return m_fileName; }

private:
    QString m_fileName;
};

} // namespace

class tst_ControlPanelTracePath : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void labelFollowsTheProject();
    void browseAsksForConnectedReaders();
    void switchRefusedWhileReadersConnected();
    void chooserSelectsProject();
    void chooserCancelled();
    void openTraceFile_data();
    void openTraceFile();
    void openTraceFileFromFloatingPanel();
    void contextMenuOpensTraceFile();

private:
    ControlPanelTracePath *makeSection();
    void setStoredProject(const QString &path);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<QWidget> m_host;
    OpenedFiles m_opened;
};

void tst_ControlPanelTracePath::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_settings = workbenchSettings();
    m_settings->clear();
    m_settings->sync();
    m_opened.paths.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opened, "openUrl");
}

void tst_ControlPanelTracePath::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    m_host.reset();
    m_settings.reset();
    QDir(QDir::homePath() + QStringLiteral("/Documents")).removeRecursively();
}

// The section lives in a widget of its own, as in the control panel, until cleanup().
ControlPanelTracePath *tst_ControlPanelTracePath::makeSection()
{
    m_host = std::make_unique<QWidget>();
    auto *section = new ControlPanelTracePath(m_settings.get());
    auto *layout = new QVBoxLayout(m_host.get());
    layout->addLayout(section);
    return section;
}

void tst_ControlPanelTracePath::setStoredProject(const QString &path)
{
    m_settings->setValue(QStringLiteral("startProjectPath"), path);
    m_settings->sync();
}

void tst_ControlPanelTracePath::labelFollowsTheProject()
{
    const QString project = m_folder->path() + QStringLiteral("/a rather long project folder");
    setStoredProject(project);
    ControlPanelTracePath *section = makeSection();
    QCOMPARE(ControlPanelTracePath::projectPath(), project);
    QCOMPARE(section->pathLabel()->text(), project);
    QCOMPARE(section->pathLabel()->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(section->browseButton()->text(), QStringLiteral("Browse"));

    QSignalSpy changed(section, &ControlPanelTracePath::projectChanged);
    QSignalSpy messages(section, &ControlPanelTracePath::statusMessage);
    const QString next = m_folder->path() + QStringLiteral("/next");
    section->setProjectPath(next);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(messages.count(), 0);
    QCOMPARE(section->pathLabel()->text(), next);
    QCOMPARE(section->pathLabel()->toolTip(), next);
}

void tst_ControlPanelTracePath::browseAsksForConnectedReaders()
{
    setStoredProject(m_folder->path() + QStringLiteral("/p"));
    ControlPanelTracePath *section = makeSection();
    QSignalSpy asked(section, &ControlPanelTracePath::requestIfReadersAreConnected);
    m_host->show();
    QTest::mouseClick(section->browseButton(), Qt::LeftButton);
    QCOMPARE(asked.count(), 1);
}

void tst_ControlPanelTracePath::switchRefusedWhileReadersConnected()
{
    const QString project = m_folder->path() + QStringLiteral("/p");
    setStoredProject(project);
    ControlPanelTracePath *section = makeSection();
    QSignalSpy changed(section, &ControlPanelTracePath::projectChanged);
    QSignalSpy messages(section, &ControlPanelTracePath::statusMessage);

    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    ModalWatcher watcher(ModalWatcher::ModalDialog, [&](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box) {
            title = box->windowTitle();
            text = box->text();
            buttons = box->standardButtons();
        }
        widget->close();
    });
    section->changeProject(1);

    QVERIFY(watcher.handled());
    QCOMPARE(title, QStringLiteral("Disconnect readers"));
    QCOMPARE(text,
             QStringLiteral("To switch project you need to disconnect all the readers first."));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(ControlPanelTracePath::projectPath(), project);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(messages.count(), 0);
}

void tst_ControlPanelTracePath::chooserSelectsProject()
{
    const QString project = m_folder->path() + QStringLiteral("/current/p");
    const QString target = m_folder->path() + QStringLiteral("/target");
    QVERIFY(QDir().mkpath(target));
    setStoredProject(project);
    ControlPanelTracePath *section = makeSection();
    QSignalSpy changed(section, &ControlPanelTracePath::projectChanged);
    QSignalSpy messages(section, &ControlPanelTracePath::statusMessage);

    QString title;
    QString startFolder;
    ModalWatcher watcher(ModalWatcher::ModalDialog, [&](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            widget->close();
            return;
        }
        title = dialog->windowTitle();
        startFolder = dialog->directory().absolutePath();
        dialog->setDirectory(target);
        static_cast<QDialog *>(dialog)->accept();
    });
    section->changeProject(0);

    QVERIFY(watcher.handled());
    QCOMPARE(title, QStringLiteral("Please select a project folder"));
    QCOMPARE(startFolder, m_folder->path() + QStringLiteral("/current"));
    QCOMPARE(ControlPanelTracePath::projectPath(), target);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().first().toString(),
             QStringLiteral("Trace file \"%1\" has been selected.").arg(target));
    QVERIFY(QFileInfo(target + QStringLiteral("/completion_list_cmd.txt")).isFile());
}

void tst_ControlPanelTracePath::chooserCancelled()
{
    const QString project = m_folder->path() + QStringLiteral("/p");
    setStoredProject(project);
    ControlPanelTracePath *section = makeSection();
    QSignalSpy changed(section, &ControlPanelTracePath::projectChanged);
    QSignalSpy messages(section, &ControlPanelTracePath::statusMessage);

    ModalWatcher watcher(ModalWatcher::ModalDialog, [](QWidget *widget) { widget->close(); });
    section->changeProject(0);

    QVERIFY(watcher.handled());
    QCOMPARE(ControlPanelTracePath::projectPath(), project);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().first().toString(),
             QStringLiteral("Error: Please select an existing folder."));
}

void tst_ControlPanelTracePath::openTraceFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("dockKeepsLog");
    QTest::addColumn<bool>("opened");

    QTest::newRow("reader tab") << int(TAB_CONNECTED_READER) << true << true;
    QTest::newRow("all readers tab") << int(TAB_ALL_READERS) << true << true;
    QTest::newRow("all readers tab reported as readers") << int(TAB_READERS) << true << true;
    QTest::newRow("readers tab") << int(TAB_READERS) << false << false;
    QTest::newRow("firmware tab") << int(TAB_FIRMWARE_UPGRADE) << true << false;
    QTest::newRow("firmware tab without log") << int(TAB_FIRMWARE_UPGRADE) << false << false;
}

void tst_ControlPanelTracePath::openTraceFile()
{
    QFETCH(int, type);
    QFETCH(bool, dockKeepsLog);
    QFETCH(bool, opened);
    setStoredProject(m_folder->path() + QStringLiteral("/p"));
    OVSViewer window;
    const QString logFile = ControlPanelTracePath::logsPath() + QStringLiteral("trace_A.log");
    std::unique_ptr<QDockWidget> dock(dockKeepsLog ? new LoggingDock(logFile) : new QDockWidget);
    QVERIFY(QMetaObject::invokeMethod(&window, "setCurrentSelectedTab",
                                      Q_ARG(QDockWidget *, dock.get()),
                                      Q_ARG(DockedTabTypes, DockedTabTypes(type))));

    window.projectPanel()->openTraceFile();

    QCOMPARE(m_opened.paths, opened ? QStringList{logFile} : QStringList{});
}

void tst_ControlPanelTracePath::openTraceFileFromFloatingPanel()
{
    setStoredProject(m_folder->path() + QStringLiteral("/p"));
    OVSViewer window;
    window.findChild<QDockWidget *>(QStringLiteral("controlPanelDock"))->setFloating(true);
    LoggingDock dock(QStringLiteral("/tmp/AllReaders.log"));
    QVERIFY(QMetaObject::invokeMethod(&window, "setCurrentSelectedTab", Q_ARG(QDockWidget *, &dock),
                                      Q_ARG(DockedTabTypes, TAB_ALL_READERS)));
    window.projectPanel()->openTraceFile();
    QCOMPARE(m_opened.paths, QStringList{QStringLiteral("/tmp/AllReaders.log")});
}

void tst_ControlPanelTracePath::contextMenuOpensTraceFile()
{
    setStoredProject(m_folder->path() + QStringLiteral("/p"));
    OVSViewer window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LoggingDock dock(QStringLiteral("/tmp/trace_A.log"));
    QVERIFY(QMetaObject::invokeMethod(&window, "setCurrentSelectedTab", Q_ARG(QDockWidget *, &dock),
                                      Q_ARG(DockedTabTypes, TAB_CONNECTED_READER)));

    QStringList entries;
    ModalWatcher watcher(ModalWatcher::PopupMenu, [&](QWidget *widget) {
        auto *menu = qobject_cast<QMenu *>(widget);
        if (!menu) {
            widget->close();
            return;
        }
        for (QAction *action : menu->actions())
            entries << action->text();
        menu->actions().first()->trigger();
        menu->close();
    });
    QPushButton *browse = window.projectPanel()->browseButton();
    emit browse->customContextMenuRequested(QPoint(2, 2));

    QVERIFY(watcher.handled());
    QCOMPARE(entries, QStringList{QStringLiteral("Open trace file")});
    QCOMPARE(m_opened.paths, QStringList{QStringLiteral("/tmp/trace_A.log")});
}

OVS_TEST_MAIN(tst_ControlPanelTracePath)
#include "tst_ControlPanelTracePath.moc"
