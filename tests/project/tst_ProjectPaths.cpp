#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "project/ProjectPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using PathFunction = QString (*)();
Q_DECLARE_METATYPE(PathFunction)

namespace {

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

QString readersFile()
{
    return ProjectPaths::readersFilePath();
}

QString newReadersFile()
{
    return ProjectPaths::readersFilePath(QStringLiteral("_new"));
}

QString savedReadersFile()
{
    return ProjectPaths::readersFilePath(QStringLiteral("_saved"));
}

} // namespace

class tst_ProjectPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensTheStartProject_data();
    void opensTheStartProject();
    void pathsOfTheProject_data();
    void pathsOfTheProject();
    void existingFilesKeepTheirContents();
    void setProjectPathStoresAndAnnounces();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<ProjectPaths> m_paths;
};

void tst_ProjectPaths::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_settings = workbenchSettings();
    m_settings->clear();
    m_settings->sync();
    m_paths = std::make_unique<ProjectPaths>(m_settings.get());
}

void tst_ProjectPaths::cleanup()
{
    m_paths.reset();
    m_settings.reset();
    QDir(QDir::homePath() + QStringLiteral("/Documents")).removeRecursively();
}

void tst_ProjectPaths::opensTheStartProject_data()
{
    QTest::addColumn<QString>("stored");

    QTest::newRow("first run") << QString();
    QTest::newRow("stored project") << "/stored";
}

void tst_ProjectPaths::opensTheStartProject()
{
    QFETCH(QString, stored);
    const QString defaultProject =
        QDir::homePath() + QStringLiteral("/Documents/Tessel-Viewer datas/default_project");
    const QString expected = stored.isEmpty() ? defaultProject : m_folder->path() + stored;
    if (!stored.isEmpty())
        m_settings->setValue(ProjectPaths::startProjectPathKey, expected);
    QSignalSpy changed(m_paths.get(), &ProjectPaths::projectChanged);

    m_paths->openStartProject();

    QCOMPARE(ProjectPaths::projectPath(), expected);
    QCOMPARE(changed.count(), 1);
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
    QCOMPARE(workbenchSettings()->value(ProjectPaths::startProjectPathKey).toString(), expected);
    QCOMPARE(QFileInfo::exists(defaultProject), stored.isEmpty());
}

void tst_ProjectPaths::pathsOfTheProject_data()
{
    QTest::addColumn<PathFunction>("function");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("project") << &ProjectPaths::projectPath << "";
    QTest::newRow("logs") << &ProjectPaths::logsPath << "/Logs/";
    QTest::newRow("scripts") << &ProjectPaths::scriptsPath << "/Scripts/";
    QTest::newRow("rtc script") << &ProjectPaths::rtcScriptPath << "/Scripts/script_rtc.scr";
    QTest::newRow("firmware") << &ProjectPaths::firmwarePath << "/Firmware/";
    QTest::newRow("relay completion")
        << &ProjectPaths::relayCompletionPath << "/completion_list_relay.txt";
    QTest::newRow("command completion")
        << &ProjectPaths::commandCompletionPath << "/completion_list_cmd.txt";
    QTest::newRow("device completion")
        << &ProjectPaths::firmwareDeviceCompletionPath << "/completion_fwupdt_dev_list_cmd.txt";
    QTest::newRow("pattern rules")
        << &ProjectPaths::patternRulesPath << "/frame_recognize_pattern.txt";
    QTest::newRow("preferred scripts")
        << &ProjectPaths::preferredScriptPath << "/prefered_script.txt";
    QTest::newRow("readers file") << &readersFile << "/readers_list.txt";
    QTest::newRow("new readers file") << &newReadersFile << "/readers_list_new.txt";
    QTest::newRow("saved readers file") << &savedReadersFile << "/readers_list_saved.txt";
}

void tst_ProjectPaths::pathsOfTheProject()
{
    QFETCH(PathFunction, function);
    QFETCH(QString, suffix);
    const QString project = m_folder->path() + QStringLiteral("/My project");
    m_paths->setProjectPath(project);
    QCOMPARE(function(), project + suffix);
}

void tst_ProjectPaths::existingFilesKeepTheirContents()
{
    const QString project = m_folder->path() + QStringLiteral("/existing");
    QVERIFY(QDir().mkpath(project + QStringLiteral("/Scripts")));
    writeFile(project + QStringLiteral("/completion_list_cmd.txt"), "0A1B2C\n010602\n");
    writeFile(project + QStringLiteral("/Scripts/script_rtc.scr"), "01 02 [RTC]\n");

    m_paths->setProjectPath(m_folder->path() + QStringLiteral("/first"));
    m_paths->setProjectPath(project);

    QCOMPARE(contentsOf(project + QStringLiteral("/completion_list_cmd.txt")),
             QByteArray("0A1B2C\n010602\n"));
    QCOMPARE(contentsOf(project + QStringLiteral("/Scripts/script_rtc.scr")),
             QByteArray("01 02 [RTC]\n"));
    QCOMPARE(contentsOf(project + QStringLiteral("/completion_list_relay.txt")), QByteArray());
    QVERIFY(QFileInfo(project + QStringLiteral("/Firmware")).isDir());
}

void tst_ProjectPaths::setProjectPathStoresAndAnnounces()
{
    m_paths->setProjectPath(m_folder->path() + QStringLiteral("/first"));
    QSignalSpy changed(m_paths.get(), &ProjectPaths::projectChanged);

    const QString next = m_folder->path() + QStringLiteral("/second");
    m_paths->setProjectPath(next);

    QCOMPARE(changed.count(), 1);
    QCOMPARE(ProjectPaths::projectPath(), next);
    QCOMPARE(workbenchSettings()->value(ProjectPaths::startProjectPathKey).toString(), next);
}

OVS_CORE_TEST_MAIN(tst_ProjectPaths)
#include "tst_ProjectPaths.moc"
