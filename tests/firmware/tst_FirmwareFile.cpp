#include "IsolatedHome.h"
#include "TableRow.h"
#include "firmware/FirmwareFile.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int dataPerRecord = 16;
const QByteArray goodHeader = "0A01-01020304-ABCDEFGHIJKLMNOP-Sensor X-V2.00_0396_B-10";
const QString goodFields = "0A01|01020304|ABCDEFGHIJKLMNOP|Sensor X|V2.00_0396_B|0396|1";

// A record whose byte count and checksum are worked out here, apart from the code under test.
QByteArray record(char type, int addressSize, quint32 address, QByteArray data, int wrongBy = 0)
{
    QByteArray bytes = QByteArray::number(address, 16).rightJustified(2 * addressSize, '0');
    bytes = char(addressSize + data.size() + 1 + wrongBy) + QByteArray::fromHex(bytes) + data;
    quint8 sum = 0;
    for (const char byte : bytes)
        sum += quint8(byte);
    return QByteArray("S") + type + (bytes + char(~sum)).toHex().toUpper();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class tst_FirmwareFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void files_data();
    void files();
    void texts_data();
    void texts();

private:
    QTemporaryDir m_dir;
    QByteArray m_binary;
    QList<QByteArray> m_lines; // objcopy's records of m_binary, with the header replaced
};

void tst_FirmwareFile::initTestCase()
{
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    QVERIFY2(!objcopy.isEmpty(), "objcopy (binutils) makes this test's firmware files");
    QRandomGenerator random(20240611);
    for (int i = 0; i < 4099; ++i)
        m_binary += char(random.bounded(256));
    const QString in = m_dir.filePath("in.bin"), out = m_dir.filePath("out.srec");
    QVERIFY(write(in, m_binary));
    QCOMPARE(QProcess::execute(objcopy, {"-I", "binary", "-O", "srec", "--srec-forceS3",
                                         "--srec-len=16", in, out}),
             0);
    QFile srec(out);
    QVERIFY(srec.open(QIODevice::ReadOnly));
    m_lines = srec.readAll().replace('\r', "").trimmed().split('\n');
    m_lines[0] = record('0', 2, 0, goodHeader + '\0' + "-junk behind a zero byte");
}

// Each file is loaded as the panel loads it (unless no message is given) and its image built
// as the engine builds it; a null image is refused.
void tst_FirmwareFile::files_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("image");
    const QString ok = "Firmware file \"f.srec\" has been selected.", none;
    const QByteArray empty(""), refused;
    addRow("missing", refused, "Error: Could not open firmware file \"f.srec\".", empty);
    addRow("objcopy, LF", m_lines.join('\n'), ok, m_binary);
    addRow("objcopy, CR LF", m_lines.join("\r\n") + "\r\n", ok, m_binary);
    addRow("gap", (m_lines.mid(0, 100) + m_lines.mid(102)).join('\n'), ok,
           QByteArray(m_binary).replace(99 * dataPerRecord, 2 * dataPerRecord,
                                        QByteArray(2 * dataPerRecord, 0)));
    for (const int wrong : {0, 1, 150, int(m_lines.size()) - 1}) {
        QList<QByteArray> lines = m_lines;
        lines[wrong].back() = lines[wrong].back() == '0' ? '1' : '0';
        QTest::addRow("checksum of line %d", wrong)
            << lines.join("\r\n") << "Error: Invalid firmware data \"f.srec\"." << m_binary;
    }
    QList<QByteArray> headers = {"s0" + m_lines[0].mid(2), "S1" + m_lines[0].mid(2),
                                 record('0', 1, 0, ""), record('0', 2, 0, goodHeader, 1)};
    for (const char *text :
         {"0A01-01020304-ABCDEFGHIJKLMNOP-S-V", "0A01-01020304-ABCDEFGHIJKLMNOP-S-V-1-",
          "0A01-01020304-ABCDEFGHIJKLMNO-S-V-1", "0A01-01020304-ABCDEFGHIJKLMNOP-S-X-V-1",
          "A01-01020304-ABCDEFGHIJKLMNOP-S-V-1", "0A01-010203045-ABCDEFGHIJKLMNOP-S-V-1"})
        headers += record('0', 2, 0, text);
    for (const QByteArray &header : headers)
        QTest::addRow("header %s", header.constData())
            << header << "Error: Invalid firmware header \"f.srec\"." << empty;
    const QByteArray a = record('3', 4, 16, "\xAA"), b = record('3', 4, 0, "\xBB\xCC");
    const int cap = FirmwareFile::maxImageSize;
    addRow("descending addresses", QByteArray(a + '\n' + b), none, QByteArray("\xAA\xBB\xCC"));
    addRow("overlap", b + '\n' + record('3', 4, 1, "\xAA"), none, QByteArray("\xBB\xCC\xAA"));
    addRow("blanks, s3", " \t" + b + " \r\n\r\ns" + a.mid(1), none, QByteArray("\xBB\xCC"));
    addRow("count below 5", record('3', 4, 0, "", -1), none, refused);
    addRow("ends at the cap", b + '\n' + record('3', 4, cap - 1, "\xAA"), none,
           QByteArray("\xBB\xCC") + QByteArray(cap - 3, '\0') + "\xAA");
    addRow("beyond the cap", b + '\n' + record('3', 4, cap, "\xAA"), none, refused);
    addRow("gap of 4 GiB", b + '\n' + record('3', 4, 0xFFFFFFF0, "\xAA"), none, refused);
}

void tst_FirmwareFile::files()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(QByteArray, image);
    const std::optional<QByteArray> built = FirmwareFile::image(content);
    QCOMPARE(built.value_or(QByteArray()), image);
    QCOMPARE(bool(built), !image.isNull());
    if (message.isEmpty())
        return;
    QVERIFY(content.isNull() || write(m_dir.filePath("f.srec"), content));
    const auto [text, bytes, h, sizeKb] = FirmwareFile::load(m_dir.filePath("f.srec"));
    QCOMPARE(text, message);
    QCOMPARE(bytes, message.startsWith("Error") ? QByteArray() : content);
    const QStringList fields = {h.firmwareNumber,   h.firmwareVersion, h.password, h.productName,
                                h.stackInformation, h.stackVersion,    h.crypted};
    QCOMPARE(fields.join('|'), bytes.isEmpty() ? QString(6, '|') : goodFields);
}

// The texts the panel shows or puts into commands, worked out in the table and joined by ", ".
void tst_FirmwareFile::texts_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("expected");
    const auto size = [](int lineFeeds) {
        return QString::number(FirmwareFile::sizeInKilobytes(QByteArray(lineFeeds, '\n')));
    };
    const auto number = [](const char *text, bool disableCheck) {
        return FirmwareFile::firmwareNumberField(text, disableCheck).value_or("nothing");
    };
    const auto options = FirmwareFile::optionsByteField;
    // "ask" if asked first; per installed number and stack (both sides of each limit, bit 15, other
    // firmware, none known): Full, Downgrade, None, Update Reader, + if the check box is shown.
    const auto setups = [](int code, bool yes) {
        QStringList outcomes(FirmwareFile::asksDistantStackVersion(code) ? "ask" : "");
        for (const QString reader : {"0002 0321", "0002 0322", "0002 0394", "0002 0395",
                                     "0002 03AF", "0002 03b0", "8002 0321", "0003 0000", " "}) {
            const auto setup = FirmwareFile::saveOptionsSetup(code, reader.section(' ', 0, 0),
                                                              reader.section(' ', 1), yes);
            outcomes += QString("FDNU"[int(setup.outcome)]) + (setup.disableCheckShown ? "+" : "");
        }
        return outcomes;
    };
    addRow("no file chosen", QStringList{FirmwareFile::load("").message},
           "Error: Please select existing file.");
    addRow("sizes", QStringList{size(0), size(1000), size(1001)}, "0, 15, 16");
    addRow("firmware number field",
           QStringList{number("0A01", true), number("0A01", false), number("8A01", false),
                       number("a1", false), number("0G01", true), number("10A01", true)},
           "8a01, 0a01, 0a01, 00a1, nothing, nothing");
    addRow("options byte field",
           QStringList{options(0x01, true, true), options(0x01, false, false),
                       options(0x0A, true, false), options(0xFF, false, false)},
           "E1, 81, CA, 9F");
    addRow("save options 0", setups(0, true), ", D, F+, F+, D, D, F+, D, F+, F+");
    addRow("save options 1", setups(1, true), ", N, N+, N+, N, N, N+, N, N+, N+");
    addRow("save options 2, yes", setups(2, true), "ask, U, F, F, U, U, F, U, F, F");
    addRow("save options 3, yes", setups(3, true), "ask, U+, F+, F+, U+, U+, F+, U+, F+, F+");
    addRow("save options 4, no", setups(4, false), "ask, D, D, D, D, D, D, D, D, D");
    addRow("save options 5", setups(5, true), ", N, N, N, N, N, N, N, N, N");
}

void tst_FirmwareFile::texts()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, expected);
    QCOMPARE(texts.join(", "), expected);
}

OVS_CORE_TEST_MAIN(tst_FirmwareFile)
#include "tst_FirmwareFile.moc"
