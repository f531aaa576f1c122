#include "IsolatedHome.h"
#include "ModalWatcher.h"
#include "OpenedFiles.h"
#include "app/OVSViewer.h"
#include "project/ControlPanelTracePath.h"
#include "project/LogFileOwner.h"

#include <QDesktopServices>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using PathFunction = QString (*)();
Q_DECLARE_METATYPE(PathFunction)

namespace {

QSettings userSettings()
{
    return {QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
            QStringLiteral("tesselViewer")};
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), qint64(contents.size()));
}

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
    void firstRunCreatesDefaultProject();
    void startsFromStoredProject();
    void pathFunctions_data();
    void pathFunctions();
    void readersFilePath_data();
    void readersFilePath();
    void existingFilesKeepTheirContents();
    void setProjectPathStoresAndAnnounces();
    void labelShowsTheProject();
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
    QSettings settings = userSettings();
    settings.clear();
    settings.sync();
    m_settings =
        std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                    QStringLiteral("ovraDiroz"), QStringLiteral("tesselViewer"));
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

void tst_ControlPanelTracePath::firstRunCreatesDefaultProject()
{
    makeSection();
    const QString expected =
        QDir::homePath() + QStringLiteral("/Documents/Tessel-Viewer datas/default_project");
    QCOMPARE(ControlPanelTracePath::projectPath(), expected);
    for (const char *folder : {"/Logs", "/Scripts", "/Firmware"})
        QVERIFY2(QFileInfo(expected + QLatin1String(folder)).isDir(), folder);
    for (const char *file : {"/Scripts/script_rtc.scr", "/completion_list_relay.txt",
                             "/completion_list_cmd.txt", "/completion_fwupdt_dev_list_cmd.txt"}) {
        const QFileInfo info(expected + QLatin1String(file));
        QVERIFY2(info.isFile(), file);
        QCOMPARE(info.size(), qint64(0));
    }
    // Files that belong to the user are never made up.
    for (const char *file :
         {"/frame_recognize_pattern.txt", "/prefered_script.txt", "/readers_list.txt"})
        QVERIFY2(!QFileInfo::exists(expected + QLatin1String(file)), file);
    QCOMPARE(userSettings().value(QStringLiteral("startProjectPath")).toString(), expected);
}

void tst_ControlPanelTracePath::startsFromStoredProject()
{
    const QString stored = m_folder->path() + QStringLiteral("/stored");
    setStoredProject(stored);
    makeSection();
    QCOMPARE(ControlPanelTracePath::projectPath(), stored);
    QVERIFY(QFileInfo(stored + QStringLiteral("/Logs")).isDir());
    QVERIFY(!QFileInfo::exists(ControlPanelTracePath::defaultProjectPath()));
}

void tst_ControlPanelTracePath::pathFunctions_data()
{
    QTest::addColumn<PathFunction>("function");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("project") << &ControlPanelTracePath::projectPath << "";
    QTest::newRow("logs") << &ControlPanelTracePath::logsPath << "/Logs/";
    QTest::newRow("scripts") << &ControlPanelTracePath::scriptsPath << "/Scripts/";
    QTest::newRow("rtc script") << &ControlPanelTracePath::rtcScriptPath
                                << "/Scripts/script_rtc.scr";
    QTest::newRow("firmware") << &ControlPanelTracePath::firmwarePath << "/Firmware/";
    QTest::newRow("relay completion")
        << &ControlPanelTracePath::relayCompletionPath << "/completion_list_relay.txt";
    QTest::newRow("command completion")
        << &ControlPanelTracePath::commandCompletionPath << "/completion_list_cmd.txt";
    QTest::newRow("device completion") << &ControlPanelTracePath::firmwareDeviceCompletionPath
                                       << "/completion_fwupdt_dev_list_cmd.txt";
    QTest::newRow("pattern rules")
        << &ControlPanelTracePath::patternRulesPath << "/frame_recognize_pattern.txt";
    QTest::newRow("preferred scripts")
        << &ControlPanelTracePath::preferredScriptPath << "/prefered_script.txt";
}

void tst_ControlPanelTracePath::pathFunctions()
{
    QFETCH(PathFunction, function);
    QFETCH(QString, suffix);
    const QString project = m_folder->path() + QStringLiteral("/My project");
    setStoredProject(project);
    makeSection();
    QCOMPARE(function(), project + suffix);
}

void tst_ControlPanelTracePath::readersFilePath_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("readers file") << ""
                                  << "/readers_list.txt";
    QTest::newRow("new copy") << "_new"
                              << "/readers_list_new.txt";
    QTest::newRow("saved copy") << "_saved"
                                << "/readers_list_saved.txt";
}

void tst_ControlPanelTracePath::readersFilePath()
{
    QFETCH(QString, suffix);
    QFETCH(QString, fileName);
    const QString project = m_folder->path() + QStringLiteral("/p");
    setStoredProject(project);
    makeSection();
    QCOMPARE(ControlPanelTracePath::readersFilePath(suffix), project + fileName);
}

void tst_ControlPanelTracePath::existingFilesKeepTheirContents()
{
    const QString project = m_folder->path() + QStringLiteral("/existing");
    QVERIFY(QDir().mkpath(project + QStringLiteral("/Scripts")));
    writeFile(project + QStringLiteral("/completion_list_cmd.txt"), "0A1B2C\n010602\n");
    writeFile(project + QStringLiteral("/Scripts/script_rtc.scr"), "01 02 [RTC]\n");

    setStoredProject(m_folder->path() + QStringLiteral("/first"));
    ControlPanelTracePath *section = makeSection();
    section->setProjectPath(project);

    QCOMPARE(contentsOf(project + QStringLiteral("/completion_list_cmd.txt")),
             QByteArray("0A1B2C\n010602\n"));
    QCOMPARE(contentsOf(project + QStringLiteral("/Scripts/script_rtc.scr")),
             QByteArray("01 02 [RTC]\n"));
    QCOMPARE(contentsOf(project + QStringLiteral("/completion_list_relay.txt")), QByteArray());
    QVERIFY(QFileInfo(project + QStringLiteral("/Firmware")).isDir());
}

void tst_ControlPanelTracePath::setProjectPathStoresAndAnnounces()
{
    setStoredProject(m_folder->path() + QStringLiteral("/first"));
    ControlPanelTracePath *section = makeSection();
    QSignalSpy changed(section, &ControlPanelTracePath::projectChanged);
    QSignalSpy messages(section, &ControlPanelTracePath::statusMessage);

    const QString next = m_folder->path() + QStringLiteral("/second");
    section->setProjectPath(next);

    QCOMPARE(changed.count(), 1);
    QCOMPARE(messages.count(), 0);
    QCOMPARE(ControlPanelTracePath::projectPath(), next);
    QCOMPARE(userSettings().value(QStringLiteral("startProjectPath")).toString(), next);
}

void tst_ControlPanelTracePath::labelShowsTheProject()
{
    const QString project = m_folder->path() + QStringLiteral("/a rather long project folder");
    setStoredProject(project);
    ControlPanelTracePath *section = makeSection();
    QCOMPARE(section->pathLabel()->text(), project);
    QCOMPARE(section->pathLabel()->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(section->browseButton()->text(), QStringLiteral("Browse"));
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
