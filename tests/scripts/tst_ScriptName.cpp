#include "IsolatedHome.h"
#include "TableRow.h"
#include "scripts/ScriptName.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_ScriptName : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void endlessFile();
};

void tst_ScriptName::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");
    const QByteArray hundred(ScriptName::maximumLength, 'a');
    addRow("first line", QByteArray("Ping\n0102;1;1\n"), "Ping");
    addRow("windows line end", QByteArray("Ping \r\n0102;1;1\r\n"), "Ping ");
    addRow("no line end", QByteArray("Ping"), "Ping");
    addRow("empty first line", QByteArray("\nPing\n"), "");
    addRow("empty file", QByteArray(), "");
    addRow("old mac line end", QByteArray("Ping\r0102;1;1\r"), "Ping");
    addRow("longest kept", hundred + "\n", QString(hundred));
    addRow("longer cut", hundred + "bc\n", QString(hundred) + " ...");
    addRow("utf-8 cut by characters", QString(150, QChar(0x00e9)).toUtf8(),
           QString(ScriptName::maximumLength, QChar(0x00e9)) + " ...");
}

void tst_ScriptName::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    QTemporaryDir folder;
    QFile file(folder.filePath("script.scr"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QCOMPARE(ScriptName::read(file.fileName()), name);
}

void tst_ScriptName::endlessFile()
{
    QCOMPARE(ScriptName::read(QStringLiteral("/nonexistent/script.scr")), QString());
#ifdef Q_OS_UNIX
    // Reading the first line whole would never end; a zero byte ends it, as in the engine.
    QCOMPARE(ScriptName::read(QStringLiteral("/dev/zero")), QString());
#endif
}

OVS_CORE_TEST_MAIN(tst_ScriptName)
#include "tst_ScriptName.moc"
