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

bool isWritten(const t_Reader &reader)
{
    return reader.type == READER_SERIAL || reader.type == READER_IP;
}

// What a record holds that the file keeps.
QByteArrayList textsOf(const QList<t_Reader> &readers)
{
    QByteArrayList texts;
    for (const t_Reader &reader : readers)
        texts << QByteArray::number(reader.type) + ':' + readerText(reader.name) + ':' +
                     ReadersFile::lineOf(reader).toUtf8();
    return texts;
}

// A text with a separator or a line end would not read back as written.
void checkRecord(const t_Reader &reader)
{
    FUZZ_CHECK(reader.state == STATE_DEFAULT && !reader.link);
    for (const QByteArray &text :
         {readerText(reader.name), readerText(reader.comPort), readerText(reader.ipAddress)})
        FUZZ_CHECK(!text.contains('\n') && !text.contains('\r') && !text.contains(';'));
}

QList<t_Reader> loaded(ReadersFile &file, int *failures)
{
    QList<t_Reader> readers;
    FUZZ_CHECK(file.load(&readers, failures));
    return readers;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));

    // The lines put together give the input back. Each ends at its line end, or as the line
    // buffer of older versions is full, or at the end of the input.
    const QList<QByteArray> lines = ReadersFile::linesOf(input);
    FUZZ_CHECK(lines.join() == input);
    for (const QByteArray &line : lines) {
        const bool ended = line.endsWith('\n') || line.endsWith('\r');
        const QByteArray text = line.left(line.size() - ended - line.endsWith("\r\n"));
        FUZZ_CHECK(!text.contains('\n') && !text.contains('\r'));
        FUZZ_CHECK(text.size() < ReadersFile::maxLineBytes);
        FUZZ_CHECK(ended || text.size() == ReadersFile::maxLineBytes - 1 || &line == &lines.last());
    }

    // The loader reads the same lines as parseLine does one by one.
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
    QList<t_Reader> readers;
    int failures = -1;
    ReadersFile::parse(input, &readers, &failures);
    FUZZ_CHECK(readers.size() + failures + skipped == lines.size());
    FUZZ_CHECK(textsOf(readers) == textsOf(parsed));

    // Written back, every serial and IP reader reads the same and has its key.
    QList<t_Reader> writable;
    for (const t_Reader &reader : readers) {
        checkRecord(reader);
        const QByteArray line = ReadersFile::lineOf(reader).toUtf8();
        FUZZ_CHECK(line.isEmpty() == !isWritten(reader));
        if (line.isEmpty())
            continue;
        t_Reader again;
        FUZZ_CHECK(ReadersFile::parseLine(line, &again) == Kind::Reader);
        FUZZ_CHECK(textsOf({again}) == textsOf({reader}));
        FUZZ_CHECK(ReadersFile::lineHasKey(line, ReadersFile::keyOf(reader)));
        writable << reader;
    }

    // The file itself, for a few inputs only: file accesses cost the fuzzer a hundred times
    // what parsing does.
    if (qHash(input) % 32 != 0)
        return 0;
    static QTemporaryDir folder;
    ReadersFile file(folder.filePath(QStringLiteral("r.txt")), folder.filePath(QStringLiteral("n")),
                     folder.filePath(QStringLiteral("s")));
    QFile written(folder.filePath(QStringLiteral("r.txt")));
    FUZZ_CHECK(written.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(written.write(input) == input.size());
    written.close();
    int fileFailures = -1;
    FUZZ_CHECK(textsOf(loaded(file, &fileFailures)) == textsOf(readers));
    FUZZ_CHECK(fileFailures == failures);

    // An appended reader comes last and changes nothing before it.
    t_Reader added;
    FUZZ_CHECK(ReadersFile::parseLine("IPReader;Appended;10.0.0.1;5000", &added) == Kind::Reader);
    FUZZ_CHECK(file.append(added) == 0);
    readers << added;
    FUZZ_CHECK(textsOf(loaded(file, &fileFailures)) == textsOf(readers));
    FUZZ_CHECK(fileFailures == failures);

    // Removing a reader takes every one of its key and no other.
    const QString key = ReadersFile::keyOf(writable.value(0, added));
    FUZZ_CHECK(file.replace(key, nullptr) == 0);
    QList<t_Reader> others;
    for (const t_Reader &reader : readers) {
        if (!isWritten(reader) || ReadersFile::keyOf(reader) != key)
            others << reader;
    }
    FUZZ_CHECK(textsOf(loaded(file, &fileFailures)) == textsOf(others));
    FUZZ_CHECK(fileFailures <= failures);
    return 0;
}
