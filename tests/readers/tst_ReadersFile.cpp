#include "IsolatedHome.h"
#include "readers/ReadersFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

Q_DECLARE_METATYPE(ReadersFile::LineKind)

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

t_Reader serialReader(const char *name, const char *port, int baud)
{
    t_Reader reader;
    ReadersFile::initRecord(&reader, READER_SERIAL);
    setReaderText(reader.name, name);
    setReaderText(reader.comPort, port);
    reader.baudRate = baud;
    return reader;
}

t_Reader ipReader(const char *name, const char *address, quint32 port)
{
    t_Reader reader;
    ReadersFile::initRecord(&reader, READER_IP);
    setReaderText(reader.name, name);
    setReaderText(reader.ipAddress, address);
    reader.ipPort = port;
    return reader;
}

QStringList namesOf(const QList<t_Reader> &readers)
{
    QStringList names;
    for (const t_Reader &reader : readers)
        names << QString::fromLatin1(readerText(reader.name));
    return names;
}

} // namespace

class tst_ReadersFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void initRecord_data();
    void initRecord();
    void parseLine_data();
    void parseLine();
    void lineOf_data();
    void lineOf();
    void load_data();
    void load();
    void missingFileIsNotRead();
    void appendAndFind();
    void appendStartsItsOwnLine_data();
    void appendStartsItsOwnLine();
    void everyLoadedReaderIsFound_data();
    void everyLoadedReaderIsFound();
    void removeKeepsSimilarNames();
    void replaceKeepsOrder();
    void nonAsciiNameSurvivesReload_data();
    void nonAsciiNameSurvivesReload();
    void bluetoothIsNeverWritten();
    void rewriteSurvivesDyingAtAnyStep_data();
    void rewriteSurvivesDyingAtAnyStep();
    void lostReadersFileComesBackFromBackup();

private:
    std::unique_ptr<ReadersFile> file();
    QString path(const char *suffix = "") const;

    std::unique_ptr<QTemporaryDir> m_folder;
};

void tst_ReadersFile::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

QString tst_ReadersFile::path(const char *suffix) const
{
    return m_folder->path() + QStringLiteral("/readers_list") + QLatin1String(suffix) +
           QStringLiteral(".txt");
}

std::unique_ptr<ReadersFile> tst_ReadersFile::file()
{
    return std::make_unique<ReadersFile>(path(), path("_new"), path("_saved"));
}

void tst_ReadersFile::initRecord_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baudRate");

    QTest::newRow("serial") << uint(READER_SERIAL) << true << 115200;
    QTest::newRow("ip") << uint(READER_IP) << true << 0;
    QTest::newRow("bluetooth") << uint(READER_BLUETOOTH) << true << 0;
    QTest::newRow("no known bit") << 8u << false << 0;
    QTest::newRow("none") << 0u << false << 0;
}

void tst_ReadersFile::initRecord()
{
    QFETCH(uint, type);
    QFETCH(bool, valid);
    QFETCH(int, baudRate);
    t_Reader reader;
    std::memset(&reader, 0x5A, sizeof reader);
    QCOMPARE(ReadersFile::initRecord(&reader, type), valid);
    QVERIFY(!ReadersFile::initRecord(nullptr, type));
    if (!valid)
        return;
    QCOMPARE(reader.type, type);
    QCOMPARE(reader.state, 0);
    QCOMPARE(reader.baudRate, baudRate);
    QCOMPARE(reader.name[0], '\0');
    QVERIFY(!reader.link);
    QCOMPARE(reader.discoveredAddress, 0u);
}

void tst_ReadersFile::parseLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<ReadersFile::LineKind>("kind");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("setting");

    using K = ReadersFile::LineKind;
    QTest::newRow("serial") << QByteArray("Serial;Bench;COM3;115200;000000000000;\n") << K::Reader
                            << uint(READER_SERIAL) << QByteArray("Bench") << QByteArray("COM3")
                            << 115200;
    QTest::newRow("9600") << QByteArray("Serial;B;COM1;9600;000000000000;\n") << K::Reader
                          << uint(READER_SERIAL) << QByteArray("B") << QByteArray("COM1") << 9600;
    QTest::newRow("4800 loads as 115200")
        << QByteArray("Serial;B;COM1;4800;000000000000;\n") << K::Reader << uint(READER_SERIAL)
        << QByteArray("B") << QByteArray("COM1") << 115200;
    QTest::newRow("rate compared by its start")
        << QByteArray("Serial;B;COM1;576001;000000000000;\n") << K::Reader << uint(READER_SERIAL)
        << QByteArray("B") << QByteArray("COM1") << 57600;
    QTest::newRow("no trailing separator")
        << QByteArray("Serial;B;COM1") << K::Reader << uint(READER_SERIAL) << QByteArray("B")
        << QByteArray("COM1") << 115200;
    QTest::newRow("windows line end")
        << QByteArray("Serial;B;COM2;38400;000000000000;\r\n") << K::Reader << uint(READER_SERIAL)
        << QByteArray("B") << QByteArray("COM2") << 38400;
    QTest::newRow("ip") << QByteArray("IPReader;Roof;192.168.1.40;5000;000000000000;\n")
                        << K::Reader << uint(READER_IP) << QByteArray("Roof")
                        << QByteArray("192.168.1.40") << 5000;
    QTest::newRow("port not a number")
        << QByteArray("IPReader;R;10.0.0.1;abc;000000000000;\n") << K::Reader << uint(READER_IP)
        << QByteArray("R") << QByteArray("10.0.0.1") << 0;
    QTest::newRow("bluetooth") << QByteArray("BlueTooth;Blue;x;y;000000000000;\n") << K::Reader
                               << uint(READER_BLUETOOTH) << QByteArray("Blue") << QByteArray() << 0;
    QTest::newRow("long name is cut to 63 bytes")
        << QByteArray("Serial;" + QByteArray(100, 'N') + ";COM1;9600;0;\n") << K::Reader
        << uint(READER_SERIAL) << QByteArray(63, 'N') << QByteArray("COM1") << 9600;
    QTest::newRow("long port is cut to 15 bytes")
        << QByteArray("Serial;B;/dev/ttyUSB0123456789;9600;0;\n") << K::Reader
        << uint(READER_SERIAL) << QByteArray("B") << QByteArray("/dev/ttyUSB0123") << 9600;
    QTest::newRow("line feed ends the last field")
        << QByteArray("Serial;B;COM1\n") << K::Reader << uint(READER_SERIAL) << QByteArray("B")
        << QByteArray("COM1") << 115200;
    QTest::newRow("windows line end ends the last field")
        << QByteArray("Serial;B;COM1\r\n") << K::Reader << uint(READER_SERIAL) << QByteArray("B")
        << QByteArray("COM1") << 115200;
    QTest::newRow("carriage return ends the last field")
        << QByteArray("Serial;B;COM1\r") << K::Reader << uint(READER_SERIAL) << QByteArray("B")
        << QByteArray("COM1") << 115200;
    QTest::newRow("line end after the name")
        << QByteArray("IPReader;R\r\n") << K::Reader << uint(READER_IP) << QByteArray("R")
        << QByteArray() << 0;
    QTest::newRow("UTF-8 name is stored as Latin-1")
        << QByteArray("Serial;B\xC3\xA4nk;COM1;9600;0;\n") << K::Reader << uint(READER_SERIAL)
        << QByteArray("B\xE4nk") << QByteArray("COM1") << 9600;
    QTest::newRow("Latin-1 name of an old file")
        << QByteArray("Serial;B\xE4nk;COM1;9600;0;\n") << K::Reader << uint(READER_SERIAL)
        << QByteArray("B\xE4nk") << QByteArray("COM1") << 9600;
    QTest::newRow("UTF-8 name is cut to 63 characters")
        << QByteArray("Serial;" + QByteArray("\xC3\xA4").repeated(100) + ";COM1;9600;0;\n")
        << K::Reader << uint(READER_SERIAL) << QByteArray(63, '\xE4') << QByteArray("COM1") << 9600;
    QTest::newRow("Greek name") << QByteArray("Serial;\xCE\xA9;COM1;9600;0;\n") << K::Rejected << 0u
                                << QByteArray() << QByteArray() << 0;
    QTest::newRow("Japanese name")
        << QByteArray("IPReader;\xE6\x97\xA5\xE6\x9C\xAC;10.0.0.1;5000;0;\n") << K::Rejected << 0u
        << QByteArray() << QByteArray() << 0;
    QTest::newRow("comment") << QByteArray(";Serial;B;COM1;9600;0;\n") << K::Skipped << 0u
                             << QByteArray() << QByteArray() << 0;
    QTest::newRow("empty line") << QByteArray("\n") << K::Rejected << 0u << QByteArray()
                                << QByteArray() << 0;
    QTest::newRow("unknown keyword") << QByteArray("Gizmo;B;COM1;9600;0;\n") << K::Rejected << 0u
                                     << QByteArray() << QByteArray() << 0;
    QTest::newRow("keyword is case-sensitive")
        << QByteArray("serial;B;COM1;9600;0;\n") << K::Rejected << 0u << QByteArray()
        << QByteArray() << 0;
}

void tst_ReadersFile::parseLine()
{
    QFETCH(QByteArray, line);
    QFETCH(ReadersFile::LineKind, kind);
    QFETCH(uint, type);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, address);
    QFETCH(int, setting);

    t_Reader reader;
    QCOMPARE(ReadersFile::parseLine(line, &reader), kind);
    if (kind != ReadersFile::LineKind::Reader)
        return;
    QCOMPARE(reader.type, type);
    QCOMPARE(readerText(reader.name), name);
    if (type == READER_SERIAL) {
        QCOMPARE(readerText(reader.comPort), address);
        QCOMPARE(reader.baudRate, setting);
    } else if (type == READER_IP) {
        QCOMPARE(readerText(reader.ipAddress), address);
        QCOMPARE(int(reader.ipPort), setting);
    }
}

void tst_ReadersFile::lineOf_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");

    QTest::newRow("serial") << 0 << "Serial;Bench;COM3;115200;000000000000;\n"
                            << "Serial;Bench";
    QTest::newRow("ip") << 1 << "IPReader;Roof;192.168.1.40;5000;000000000000;\n"
                        << "IPReader;Roof";
}

void tst_ReadersFile::lineOf()
{
    QFETCH(int, which);
    QFETCH(QString, line);
    QFETCH(QString, key);
    const t_Reader reader =
        which == 0 ? serialReader("Bench", "COM3", 115200) : ipReader("Roof", "192.168.1.40", 5000);
    QCOMPARE(ReadersFile::lineOf(reader), line);
    QCOMPARE(ReadersFile::keyOf(reader), key);
    t_Reader parsed;
    QCOMPARE(ReadersFile::parseLine(line.toLatin1(), &parsed), ReadersFile::LineKind::Reader);
    QCOMPARE(ReadersFile::lineOf(parsed), line);
}

void tst_ReadersFile::load_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("failures");

    QTest::newRow("empty file") << QByteArray() << QStringList() << 0;
    QTest::newRow("two readers and a comment")
        << QByteArray("Serial;A;COM1;9600;000000000000;\n;note\n"
                      "IPReader;B;127.0.0.1;5000;000000000000;\n")
        << QStringList{"A", "B"} << 0;
    QTest::newRow("unknown line keeps nothing of the previous one")
        << QByteArray("Serial;A;COM1;9600;0;\nOther;B;COM2;9600;0;\n\nSerial;C;COM3;9600;0;\n")
        << QStringList{"A", "C"} << 2;
    QTest::newRow("2000-byte line is read in pieces")
        << QByteArray("Serial;" + QByteArray(2000, 'N') +
                      ";COM9;9600;000000000000;\n"
                      "Serial;After;COM2;9600;0;\n")
        << QStringList{QString(63, QLatin1Char('N')), "After"} << 1;
    QTest::newRow("carriage returns end lines")
        << QByteArray("Serial;A;COM1\rIPReader;B;10.0.0.1;5000\rSerial;C\r\n")
        << QStringList{"A", "B", "C"} << 0;
    QTest::newRow("names beyond Latin-1 are not added")
        << QByteArray("Serial;\xCE\xA9;COM1;9600;0;\nSerial;B\xC3\xA4nk;COM2;9600;0;\n"
                      "IPReader;\xE6\x97\xA5\xE6\x9C\xAC;10.0.0.1;5000;0;\n")
        << QStringList{QStringLiteral("B\u00e4nk")} << 2;
}

void tst_ReadersFile::load()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, names);
    QFETCH(int, failures);
    writeFile(path(), contents);
    QList<t_Reader> readers;
    int failed = -1;
    QVERIFY(file()->load(&readers, &failed));
    QCOMPARE(namesOf(readers), names);
    QCOMPARE(failed, failures);
}

void tst_ReadersFile::missingFileIsNotRead()
{
    QList<t_Reader> readers;
    int failed = -1;
    QVERIFY(!file()->load(&readers, &failed));
    QVERIFY(readers.isEmpty());
    QCOMPARE(file()->append(serialReader("A", "COM1", 9600)), 0);
    QVERIFY(file()->contains(QStringLiteral("Serial;A")));
}

void tst_ReadersFile::appendAndFind()
{
    QCOMPARE(file()->append(serialReader("Bench", "COM3", 115200)), 0);
    QCOMPARE(file()->append(ipReader("Roof", "192.168.1.40", 5000)), 0);
    QCOMPARE(contentsOf(path()), QByteArray("Serial;Bench;COM3;115200;000000000000;\n"
                                            "IPReader;Roof;192.168.1.40;5000;000000000000;\n"));
    QVERIFY(file()->contains(QStringLiteral("Serial;Bench")));
    QVERIFY(file()->contains(QStringLiteral("IPReader;Roof")));
    QVERIFY(!file()->contains(QStringLiteral("IPReader;Bench")));
    QVERIFY(!file()->contains(QStringLiteral("Serial;Ben")));
    QVERIFY(!file()->contains(QStringLiteral("Serial;bench")));
}

void tst_ReadersFile::appendStartsItsOwnLine_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QByteArray>("lineEnd");

    QTest::newRow("empty file") << QByteArray() << QByteArray();
    QTest::newRow("after a line feed") << QByteArray("Serial;A;COM1\n") << QByteArray();
    QTest::newRow("after a carriage return") << QByteArray("Serial;A;COM1\r") << QByteArray();
    QTest::newRow("after an unfinished line") << QByteArray("Serial;A;COM1") << QByteArray("\n");
}

void tst_ReadersFile::appendStartsItsOwnLine()
{
    QFETCH(QByteArray, contents);
    QFETCH(QByteArray, lineEnd);
    writeFile(path(), contents);
    QCOMPARE(file()->append(serialReader("B", "COM2", 9600)), 0);
    QCOMPARE(contentsOf(path()), contents + lineEnd + "Serial;B;COM2;9600;000000000000;\n");
}

void tst_ReadersFile::everyLoadedReaderIsFound_data()
{
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("no third field") << QByteArray("Serial;Bench\n");
    QTest::newRow("name cut to fit") << QByteArray("Serial;" + QByteArray(70, 'N') + ";COM1;0;\n");
    QTest::newRow("longer keyword") << QByteArray("SerialPort;Bench;COM1;9600;0;\r\n");
    QTest::newRow("last line, unfinished") << QByteArray("IPReader;Roof;10.0.0.1;5000;0;");
}

// What load() reads as a reader, contains() finds and replace() removes, whatever the line.
void tst_ReadersFile::everyLoadedReaderIsFound()
{
    QFETCH(QByteArray, line);
    const QByteArray others("Serial;Other;COM1;9600;000000000000;\n");
    writeFile(path(), others + line);
    QList<t_Reader> readers;
    int failed = -1;
    QVERIFY(file()->load(&readers, &failed));
    QCOMPARE(readers.size(), 2);
    const QString key = ReadersFile::keyOf(readers.last());
    QVERIFY(file()->contains(key));
    QCOMPARE(file()->replace(key, nullptr), 0);
    QCOMPARE(contentsOf(path()), others);
}

void tst_ReadersFile::removeKeepsSimilarNames()
{
    writeFile(path(), "Serial;Gateway;COM1;9600;000000000000;\n"
                      "Serial;Gate;COM2;9600;000000000000;\n");
    QCOMPARE(file()->replace(QStringLiteral("Serial;Gate"), nullptr), 0);
    QCOMPARE(contentsOf(path()), QByteArray("Serial;Gateway;COM1;9600;000000000000;\n"));
    QVERIFY(!QFile::exists(path("_new")));
    QVERIFY(!QFile::exists(path("_saved")));
}

void tst_ReadersFile::replaceKeepsOrder()
{
    writeFile(path(), "Serial;A;COM1;9600;000000000000;\n"
                      "IPReader;B;10.0.0.1;5000;000000000000;\n"
                      "Serial;C;COM3;9600;000000000000;\n");
    const t_Reader edited = ipReader("B", "10.0.0.2", 6000);
    QCOMPARE(file()->replace(QStringLiteral("IPReader;B"), &edited), 0);
    QCOMPARE(contentsOf(path()), QByteArray("Serial;A;COM1;9600;000000000000;\n"
                                            "IPReader;B;10.0.0.2;6000;000000000000;\n"
                                            "Serial;C;COM3;9600;000000000000;\n"));
}

void tst_ReadersFile::nonAsciiNameSurvivesReload_data()
{
    QTest::addColumn<QByteArray>("line");

    // Empty: the reader is appended.
    QTest::newRow("appended") << QByteArray();
    QTest::newRow("UTF-8 line") << QByteArray("Serial;B\xC3\xA4nk;COM3;9600;000000000000;\n");
    QTest::newRow("Latin-1 line") << QByteArray("Serial;B\xE4nk;COM3;9600;000000000000;\n");
}

void tst_ReadersFile::nonAsciiNameSurvivesReload()
{
    QFETCH(QByteArray, line);
    // Neighbours in both encodings and every line end, which a rewrite leaves as they are.
    QByteArray head("IPReader;Ger\xC3\xA4t;10.0.0.1;5000;000000000000;\r\n"
                    "Serial;K\xFC"
                    "che;COM1;9600;000000000000;\r");
    QByteArray tail("Serial;\xCE\xA9;COM2;9600;000000000000;\n");
    const QByteArray name("B\xE4nk");
    if (line.isEmpty()) {
        head += tail;
        tail.clear();
        writeFile(path(), head);
        QCOMPARE(file()->append(serialReader(name.constData(), "COM3", 9600)), 0);
    } else {
        writeFile(path(), head + line + tail);
    }

    QList<t_Reader> readers;
    int failed = -1;
    QVERIFY(file()->load(&readers, &failed));
    QCOMPARE(namesOf(readers),
             (QStringList{QStringLiteral("Ger\u00e4t"), QStringLiteral("K\u00fcche"),
                          QString::fromLatin1(name)}));
    QCOMPARE(failed, 1);
    const QString key = ReadersFile::keyOf(readers.last());
    QVERIFY(file()->contains(key));

    const t_Reader edited = serialReader(name.constData(), "COM9", 19200);
    QCOMPARE(file()->replace(key, &edited), 0);
    QCOMPARE(contentsOf(path()), head + "Serial;B\xC3\xA4nk;COM9;19200;000000000000;\n" + tail);
    QCOMPARE(file()->replace(key, nullptr), 0);
    QCOMPARE(contentsOf(path()), head + tail);
}

void tst_ReadersFile::bluetoothIsNeverWritten()
{
    writeFile(path(), "Serial;A;COM1;9600;000000000000;\n");
    t_Reader bluetooth;
    ReadersFile::initRecord(&bluetooth, READER_BLUETOOTH);
    setReaderText(bluetooth.name, "Blue");
    QCOMPARE(ReadersFile::lineOf(bluetooth), QString());
    QCOMPARE(file()->append(bluetooth), 0);
    QCOMPARE(contentsOf(path()), QByteArray("Serial;A;COM1;9600;000000000000;\n"));
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
    const QByteArray newList("Serial;A;COM1;9600;000000000000;\n"
                             "IPReader;B;10.0.0.9;5000;000000000000;\n");
    writeFile(path(), oldList);
    const t_Reader edited = ipReader("B", "10.0.0.9", 5000);
    auto dying = file();
    dying->setStopAfterStep(steps);
    dying->replace(QStringLiteral("IPReader;B"), &edited);

    // The next start reads the list as the program left it.
    QList<t_Reader> readers;
    int failed = -1;
    QVERIFY(file()->load(&readers, &failed));
    QCOMPARE(failed, 0);
    const QByteArray found = contentsOf(path());
    QVERIFY2(found == oldList || found == newList, found.constData());
    if (steps < 0 || steps >= 3)
        QCOMPARE(found, newList);
    QVERIFY(!QFile::exists(path("_new")));
    QVERIFY(!QFile::exists(path("_saved")));
}

void tst_ReadersFile::lostReadersFileComesBackFromBackup()
{
    writeFile(path("_saved"), "Serial;A;COM1;9600;000000000000;\n");
    QList<t_Reader> readers;
    int failed = -1;
    QVERIFY(file()->load(&readers, &failed));
    QCOMPARE(namesOf(readers), QStringList{"A"});
    QVERIFY(QFile::exists(path()));
}

OVS_CORE_TEST_MAIN(tst_ReadersFile)
#include "tst_ReadersFile.moc"
