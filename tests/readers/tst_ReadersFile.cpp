#include "IsolatedHome.h"
#include "readers/ReadersFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

// The record of a line, to be written.
t_Reader readerOf(const QByteArray &line)
{
    t_Reader reader;
    ReadersFile::parseLine(line, &reader);
    return reader;
}

// "Serial|name|port|baud", "IP|name|address|port" or "BT|name".
QByteArray described(const t_Reader &reader)
{
    const bool ip = reader.type == READER_IP;
    if (reader.type == READER_BLUETOOTH)
        return "BT|" + readerText(reader.name);
    return (ip ? "IP|" : "Serial|") + readerText(reader.name) + '|' +
           readerText(ip ? reader.ipAddress : reader.comPort) + '|' +
           QByteArray::number(ip ? reader.ipPort : reader.baudRate);
}

} // namespace

class tst_ReadersFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void load_data();
    void load();
    void appendStartsItsOwnLine_data();
    void appendStartsItsOwnLine();
    void rewriteKeepsEveryOtherLine();
    void rewriteSurvivesDyingAtAnyStep_data();
    void rewriteSurvivesDyingAtAnyStep();
    void lostReadersFileComesBackFromBackup();

private:
    std::unique_ptr<ReadersFile> file() const
    {
        return std::make_unique<ReadersFile>(path(), path("_new"), path("_saved"));
    }
    QString path(const char *suffix = "") const
    {
        return m_folder->filePath(QStringLiteral("readers_list%1.txt").arg(suffix));
    }
    // The file's readers as described(), with the count of lines that are no reader.
    QByteArrayList loaded(int *failures) const
    {
        QList<t_Reader> readers;
        *failures = -1;
        QByteArrayList descriptions;
        if (!file()->load(&readers, failures))
            return {"<not read>"};
        for (const t_Reader &reader : qAsConst(readers)) {
            descriptions << described(reader);
            // What load() reads as a reader, contains() finds, whatever its line.
            if (reader.type != READER_BLUETOOTH && !file()->contains(ReadersFile::keyOf(reader)))
                descriptions << "<not found by its key>";
        }
        return descriptions;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
};

void tst_ReadersFile::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

// Line ends, encodings and refused lines, as the file is read.
void tst_ReadersFile::load_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QByteArrayList>("readers");
    QTest::addColumn<int>("failures");

    QTest::newRow("fields read leniently")
        << QByteArray("Serial;B;COM1;4800;0;\nIPReader;R;10.0.0.1;abc;0;\r\n"
                      "BlueTooth;Blue;x;y;0;\nSerialPort;P;/dev/ttyUSB0123456789;38400;0;\r\n")
        << QByteArrayList{"Serial|B|COM1|115200", "IP|R|10.0.0.1|0", "BT|Blue",
                          "Serial|P|/dev/ttyUSB0123|38400"}
        << 0;
    QTest::newRow("2000-byte line is read in pieces")
        << QByteArray("Serial;" + QByteArray(2000, 'N') + ";COM9;9600;0;\nSerial;C;COM2\n")
        << QByteArrayList{"Serial|" + QByteArray(63, 'N') + "||115200", "Serial|C|COM2|115200"}
        << 1;
    QTest::newRow("line ends: LF, CRLF, CR, none")
        << QByteArray("Serial;A;COM1\nIPReader;B\r\nSerial;C;COM3\rIPReader;D;10.0.0.1;5000;")
        << QByteArrayList{"Serial|A|COM1|115200", "IP|B||0", "Serial|C|COM3|115200",
                          "IP|D|10.0.0.1|5000"}
        << 0;
    QTest::newRow("UTF-8, and Latin-1 of older files")
        << QByteArray("Serial;B\xC3\xA4nk;COM1;9600;0;\nSerial;K\xFC"
                      "che;COM2;9600;0;\n")
        << QByteArrayList{"Serial|B\xE4nk|COM1|9600", "Serial|K\xFC"
                                                      "che|COM2|9600"}
        << 0;
    QTest::newRow("UTF-8 name is cut to 63 characters")
        << QByteArray("Serial;" + QByteArray("\xC3\xA4").repeated(100) + ";COM1;9600;0;\n")
        << QByteArrayList{"Serial|" + QByteArray(63, '\xE4') + "|COM1|9600"} << 0;
    QTest::newRow("name or address beyond Latin-1")
        << QByteArray("Serial;\xCE\xA9;COM1;9600;0;\nIPReader;R;\xE6\x97\xA5;5000;0;\n")
        << QByteArrayList() << 2;
    QTest::newRow("comment, unknown and empty lines keep nothing of the line before")
        << QByteArray("Serial;A;COM1;9600;000000000000;\n;Serial;B;COM2;9600;0;\n"
                      "Other;B;COM2;9600;0;\n\nserial;C;COM3;9600;0;\n")
        << QByteArrayList{"Serial|A|COM1|9600"} << 3;
}

void tst_ReadersFile::load()
{
    QFETCH(QByteArray, contents);
    QFETCH(QByteArrayList, readers);
    QFETCH(int, failures);
    writeFile(path(), contents);
    int failed = -1;
    QCOMPARE(loaded(&failed), readers);
    QCOMPARE(failed, failures);
}

void tst_ReadersFile::appendStartsItsOwnLine_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QByteArray>("lineEnd");

    // A null text: there is no file, and append() creates it.
    QTest::newRow("no file") << QByteArray() << QByteArray();
    QTest::newRow("after a carriage return") << QByteArray("Serial;A;COM1\r") << QByteArray();
    QTest::newRow("after an unfinished line") << QByteArray("Serial;A;COM1") << QByteArray("\n");
}

void tst_ReadersFile::appendStartsItsOwnLine()
{
    QFETCH(QByteArray, contents);
    QFETCH(QByteArray, lineEnd);
    if (!contents.isNull())
        writeFile(path(), contents);
    QCOMPARE(file()->append(readerOf("Serial;B;COM2;9600")), 0);
    QCOMPARE(file()->append(readerOf("IPReader;R;10.0.0.1;5000")), 0);
    // Never written: a Bluetooth reader cannot be connected from the file.
    QCOMPARE(file()->append(readerOf("BlueTooth;Blue")), 0);
    QCOMPARE(contentsOf(path()), contents + lineEnd +
                                     "Serial;B;COM2;9600;000000000000;\n"
                                     "IPReader;R;10.0.0.1;5000;000000000000;\n");
}

void tst_ReadersFile::rewriteKeepsEveryOtherLine()
{
    // The reader's line in both encodings; neighbours in both, with every line end and similar
    // keys, which a rewrite leaves as they are.
    const QByteArray line("Serial;B\xC3\xA4nk;COM3;9600;000000000000;\n"
                          "Serial;B\xE4nk;COM3;9600;000000000000;\n");
    const QByteArray head("IPReader;Ger\xC3\xA4t;10.0.0.1;5000;000000000000;\r\n"
                          "Serial;K\xFC"
                          "che;COM1;9600;000000000000;\r"
                          "IPReader;B\xE4nk;10.0.0.2;5000;000000000000;\n"
                          "Serial;B\xE4nke;COM2;9600;000000000000;\n");
    const QByteArray tail("Serial;\xCE\xA9;COM2;9600;000000000000;\n");
    writeFile(path(), head + line + tail);
    const QString key = QStringLiteral("Serial;B\u00e4nk");
    const t_Reader edited = readerOf("Serial;B\xE4nk;COM9;19200");
    QCOMPARE(file()->replace(key, &edited), 0);
    QCOMPARE(contentsOf(path()),
             head + QByteArray("Serial;B\xC3\xA4nk;COM9;19200;000000000000;\n").repeated(2) + tail);
    QVERIFY(!QFile::exists(path("_saved")));
    QCOMPARE(file()->replace(key, nullptr), 0);
    QCOMPARE(contentsOf(path()), head + tail);
}

void tst_ReadersFile::rewriteSurvivesDyingAtAnyStep_data()
{
    QTest::addColumn<int>("steps");

    QTest::newRow("after the backup") << 1;
    QTest::newRow("after writing the new list") << 2;
    QTest::newRow("after removing the old file") << 3;
    QTest::newRow("after putting the new list in place") << 4;
    QTest::newRow("never") << -1;
}

void tst_ReadersFile::rewriteSurvivesDyingAtAnyStep()
{
    QFETCH(int, steps);
    const QByteArray oldList("Serial;A;COM1;9600;000000000000;\n"
                             "IPReader;B;10.0.0.1;5000;000000000000;\n");
    QByteArray newList = oldList;
    newList.replace("10.0.0.1", "10.0.0.9");
    writeFile(path(), oldList);
    const t_Reader edited = readerOf("IPReader;B;10.0.0.9;5000");
    auto dying = file();
    dying->setStopAfterStep(steps);
    dying->replace(QStringLiteral("IPReader;B"), &edited);

    // The next start reads the list as the program left it.
    int failed = -1;
    QCOMPARE(loaded(&failed).size(), 2);
    const QByteArray found = contentsOf(path());
    QVERIFY2(found == oldList || found == newList, found.constData());
    if (steps < 0 || steps >= 3)
        QCOMPARE(found, newList);
    QVERIFY(!QFile::exists(path("_new")));
    QVERIFY(!QFile::exists(path("_saved")));
}

void tst_ReadersFile::lostReadersFileComesBackFromBackup()
{
    int failed = -1;
    QCOMPARE(loaded(&failed), QByteArrayList{"<not read>"});
    writeFile(path("_saved"), "Serial;A;COM1;9600;000000000000;\n");
    QCOMPARE(loaded(&failed), QByteArrayList{"Serial|A|COM1|9600"});
    QVERIFY(QFile::exists(path()));
}

OVS_CORE_TEST_MAIN(tst_ReadersFile)
#include "tst_ReadersFile.moc"
