#include "FuzzCheck.h"
#include "readers/ReadersFile.h"
#include "readers/t_Reader.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

using Kind = ReadersFile::LineKind;

// The most a piece of a long line holds besides its line end.
constexpr int longestPiece = ReadersFile::maxLineBytes - 1;
// One input in this many goes through the file as well.
constexpr uint fileRoundsOneIn = 32;

QString pathOf(const QString &name)
{
    static QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid());
    return folder.filePath(name);
}

ReadersFile readersFile(const QString &name)
{
    return ReadersFile(pathOf(name + QStringLiteral(".txt")),
                       pathOf(name + QStringLiteral("_new.txt")),
                       pathOf(name + QStringLiteral("_saved.txt")));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

int lineEndAt(const QByteArray &bytes, int from)
{
    const int feed = bytes.indexOf('\n', from);
    const int carriageReturn = bytes.indexOf('\r', from);
    if (feed < 0 || carriageReturn < 0)
        return feed < 0 ? (carriageReturn < 0 ? bytes.size() : carriageReturn) : feed;
    return qMin(feed, carriageReturn);
}

// The lines as the loader should see them, each with its own line end: "\n", "\r\n" or a
// lone "\r". A long line comes in pieces, the line end going with the last one.
QList<QByteArray> linesOf(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    for (int start = 0; start < bytes.size();) {
        const int end = lineEndAt(bytes, start);
        const int endSize = bytes.mid(end, 2) == "\r\n" ? 2 : qMin(1, bytes.size() - end);
        const QByteArray text = bytes.mid(start, end - start);
        int piece = 0;
        for (; text.size() - piece > longestPiece; piece += longestPiece)
            lines << text.mid(piece, longestPiece);
        lines << text.mid(piece) + bytes.mid(end, endSize);
        start = end + endSize;
    }
    return lines;
}

bool isWritten(const t_Reader &reader)
{
    return reader.type == READER_SERIAL || reader.type == READER_IP;
}

bool sameRecord(const t_Reader &a, const t_Reader &b)
{
    if (a.type != b.type || readerText(a.name) != readerText(b.name))
        return false;
    if (a.type == READER_SERIAL)
        return readerText(a.comPort) == readerText(b.comPort) && a.baudRate == b.baudRate;
    if (a.type == READER_IP)
        return readerText(a.ipAddress) == readerText(b.ipAddress) && a.ipPort == b.ipPort;
    return true;
}

bool sameRecords(const QList<t_Reader> &a, const QList<t_Reader> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!sameRecord(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

QList<t_Reader> withoutKey(const QList<t_Reader> &readers, const QString &key)
{
    QList<t_Reader> others;
    for (const t_Reader &reader : readers) {
        if (!isWritten(reader) || ReadersFile::keyOf(reader) != key)
            others << reader;
    }
    return others;
}

bool isPlainText(const QByteArray &text)
{
    return !text.contains('\n') && !text.contains('\r') && !text.contains(';');
}

void checkRecord(const t_Reader &reader)
{
    FUZZ_CHECK(isWritten(reader) || reader.type == READER_BLUETOOTH);
    FUZZ_CHECK(reader.state == STATE_DEFAULT && !reader.link);
    FUZZ_CHECK(reader.name[sizeof reader.name - 1] == '\0');
    FUZZ_CHECK(reader.comPort[sizeof reader.comPort - 1] == '\0');
    FUZZ_CHECK(reader.ipAddress[sizeof reader.ipAddress - 1] == '\0');
    FUZZ_CHECK(isPlainText(readerText(reader.name)));
    FUZZ_CHECK(isPlainText(readerText(reader.comPort)));
    FUZZ_CHECK(isPlainText(readerText(reader.ipAddress)));
    if (reader.type == READER_SERIAL) {
        const int rate = reader.baudRate;
        FUZZ_CHECK(rate == 9600 || rate == 19200 || rate == 38400 || rate == 57600 ||
                   rate == 115200);
    }
}

// Loads and checks every record; false when the file cannot be read.
bool load(ReadersFile &file, QList<t_Reader> *readers, int *failures)
{
    readers->clear();
    *failures = -1;
    if (!file.load(readers, failures))
        return false;
    FUZZ_CHECK(*failures >= 0);
    for (const t_Reader &reader : *readers)
        checkRecord(reader);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));

    // A line is read up to its line end, whatever follows.
    t_Reader whole;
    t_Reader firstLine;
    const Kind wholeKind = ReadersFile::parseLine(input, &whole);
    FUZZ_CHECK(wholeKind == ReadersFile::parseLine(input.left(lineEndAt(input, 0)), &firstLine));
    FUZZ_CHECK(wholeKind != Kind::Reader || sameRecord(whole, firstLine));

    QList<t_Reader> loaded;
    int failures = -1;
    ReadersFile::parse(input, &loaded, &failures);
    FUZZ_CHECK(failures >= 0);
    for (const t_Reader &reader : loaded)
        checkRecord(reader);
    FUZZ_CHECK(ReadersFile::linesOf(input) == linesOf(input));

    // Every line is a reader, a rejected line or a skipped comment, and the loader reads the
    // same lines as parseLine does one by one.
    const QList<QByteArray> lines = linesOf(input);
    QList<t_Reader> parsed;
    int skipped = 0;
    for (const QByteArray &line : lines) {
        t_Reader reader;
        const Kind kind = ReadersFile::parseLine(line, &reader);
        FUZZ_CHECK((kind == Kind::Skipped) == line.startsWith(';'));
        if (kind == Kind::Reader)
            parsed << reader;
        skipped += kind == Kind::Skipped;
    }
    FUZZ_CHECK(loaded.size() + failures + skipped == lines.size());
    FUZZ_CHECK(sameRecords(loaded, parsed));

    // Written back, every serial and IP reader reads the same, and a file of those lines has
    // their keys.
    QByteArray written;
    QList<t_Reader> writable;
    for (const t_Reader &reader : loaded) {
        const QString line = ReadersFile::lineOf(reader);
        FUZZ_CHECK(line.isEmpty() == !isWritten(reader));
        if (line.isEmpty())
            continue;
        FUZZ_CHECK(line.endsWith(QLatin1String(";\n")));
        t_Reader again;
        FUZZ_CHECK(ReadersFile::parseLine(line.toUtf8(), &again) == Kind::Reader);
        FUZZ_CHECK(sameRecord(again, reader));
        written += line.toUtf8();
        writable << reader;
    }
    for (const t_Reader &reader : writable)
        FUZZ_CHECK(ReadersFile::lineHasKey(ReadersFile::lineOf(reader).toUtf8(),
                                           ReadersFile::keyOf(reader)));

    // The file itself, for a few inputs only: file accesses cost the fuzzer a hundred times
    // what parsing does.
    if (qHash(input) % fileRoundsOneIn != 0)
        return 0;
    ReadersFile file = readersFile(QStringLiteral("fuzzed"));
    const QString path = pathOf(QStringLiteral("fuzzed.txt"));
    writeFile(path, input);
    QList<t_Reader> fromFile;
    int fileFailures = 0;
    FUZZ_CHECK(load(file, &fromFile, &fileFailures));
    FUZZ_CHECK(fileFailures == failures && sameRecords(fromFile, loaded));
    if (!writable.isEmpty()) {
        writeFile(pathOf(QStringLiteral("written.txt")), written);
        FUZZ_CHECK(
            readersFile(QStringLiteral("written")).contains(ReadersFile::keyOf(writable.last())));
    }

    // An appended reader comes last and changes nothing before it.
    t_Reader added;
    ReadersFile::initRecord(&added, READER_IP);
    setReaderText(added.name, "Appended");
    setReaderText(added.ipAddress, "10.0.0.1");
    added.ipPort = 5000;
    FUZZ_CHECK(file.append(added) == 0);
    QList<t_Reader> appended;
    int appendFailures = 0;
    FUZZ_CHECK(load(file, &appended, &appendFailures));
    FUZZ_CHECK(appendFailures == failures);
    FUZZ_CHECK(sameRecords(appended, loaded + QList<t_Reader>{added}));
    if (writable.isEmpty())
        return 0;

    // Removing a reader drops lines whole and leaves the other bytes as they were. A line end
    // that follows a dropped line may now end the piece of a long line before it: an empty
    // line less, never a reader more or less.
    const QString key = ReadersFile::keyOf(writable.first());
    const QList<QByteArray> before = linesOf(contentsOf(path));
    FUZZ_CHECK(file.replace(key, nullptr) == 0);
    const QByteArray after = contentsOf(path);
    int kept = 0;
    int keptLines = 0;
    for (const QByteArray &line : before) {
        if (QByteArray::fromRawData(after.constData() + kept, after.size() - kept)
                .startsWith(line)) {
            kept += line.size();
            ++keptLines;
        }
    }
    FUZZ_CHECK(kept == after.size() && keptLines < before.size());
    QList<t_Reader> remaining;
    int remainingFailures = 0;
    FUZZ_CHECK(load(file, &remaining, &remainingFailures));
    FUZZ_CHECK(remainingFailures <= appendFailures);
    FUZZ_CHECK(withoutKey(remaining, key).size() == remaining.size());
    FUZZ_CHECK(sameRecords(withoutKey(remaining, key), withoutKey(appended, key)));
    return 0;
}
