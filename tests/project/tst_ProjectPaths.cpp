#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "project/ProjectPaths.h"

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
    void opensTheStartProject_data();
    void opensTheStartProject();
};

void tst_ProjectPaths::opensTheStartProject_data()
{
    QTest::addColumn<bool>("stored");

    // The first run last: it leaves the default project behind.
    QTest::newRow("project of an earlier run") << true;
    QTest::newRow("first run") << false;
}

void tst_ProjectPaths::opensTheStartProject()
{
    QFETCH(bool, stored);
    QTemporaryDir folder;
    const QString expected = stored ? folder.path() : ProjectPaths::defaultProjectPath();
    const QByteArray commands = stored ? "0A1B2C\n" : "";
    workbenchSettings()->clear();
    if (stored) {
        // Chosen in an earlier run, and the user has since written into its files.
        const std::unique_ptr<QSettings> earlier = workbenchSettings();
        ProjectPaths(earlier.get()).setProjectPath(expected);
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
    QCOMPARE(QFileInfo::exists(ProjectPaths::defaultProjectPath()), !stored);
}

OVS_CORE_TEST_MAIN(tst_ProjectPaths)
#include "tst_ProjectPaths.moc"
