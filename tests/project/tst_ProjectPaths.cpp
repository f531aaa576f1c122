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

class tst_ProjectPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensTheStartProject_data();
    void opensTheStartProject();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QSettings> m_settings;
};

void tst_ProjectPaths::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_settings = workbenchSettings();
    m_settings->clear();
    m_settings->sync();
}

void tst_ProjectPaths::cleanup()
{
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
    const QString expected =
        stored.isEmpty() ? ProjectPaths::defaultProjectPath() : m_folder->path() + stored;
    const QByteArray commands = stored.isEmpty() ? QByteArray() : QByteArray("0A1B2C\n");
    if (!stored.isEmpty()) {
        // Chosen in an earlier run, and the user has since written into its files.
        ProjectPaths(m_settings.get()).setProjectPath(expected);
        QFile file(ProjectPaths::commandCompletionPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(commands);
    }
    const std::unique_ptr<QSettings> settings = workbenchSettings();
    ProjectPaths paths(settings.get());
    QSignalSpy changed(&paths, &ProjectPaths::projectChanged);
    paths.openStartProject();

    QCOMPARE(ProjectPaths::projectPath(), expected);
    QCOMPARE(changed.count(), 1);
    for (const QString &folder :
         {ProjectPaths::logsPath(), ProjectPaths::scriptsPath(), ProjectPaths::firmwarePath()})
        QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
    for (const QString &path : {ProjectPaths::rtcScriptPath(), ProjectPaths::relayCompletionPath(),
                                ProjectPaths::firmwareDeviceCompletionPath()})
        QVERIFY2(QFileInfo(path).isFile() && QFileInfo(path).size() == 0, qPrintable(path));
    QFile file(ProjectPaths::commandCompletionPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), commands);
    // Files that belong to the user are never made up.
    for (const QString &path :
         {ProjectPaths::patternRulesPath(), ProjectPaths::preferredScriptPath(),
          ProjectPaths::readersFilePath()})
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(QFileInfo::exists(ProjectPaths::defaultProjectPath()), stored.isEmpty());
}

OVS_CORE_TEST_MAIN(tst_ProjectPaths)
#include "tst_ProjectPaths.moc"
