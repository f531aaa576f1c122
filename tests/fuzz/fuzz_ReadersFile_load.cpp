#include "FuzzCheck.h"
#include "readers/ReadersFile.h"
#include "readers/t_Reader.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

using Kind = ReadersFile::LineKind;

// What a record holds that the file keeps.
QByteArrayList textsOf(const QList<t_Reader> &readers)
{
    QByteArrayList texts;
    for (const t_Reader &reader : readers)
        texts << QByteArray::number(reader.type) + ':' + readerText(reader.name) + ':' +
                     ReadersFile::lineOf(reader).toUtf8();
    return texts;
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
    for (const t_Reader &reader : readers) {
        FUZZ_CHECK(reader.state == STATE_DEFAULT && !reader.link);
        // A text with a separator or a line end would not read back as written.
        for (const QByteArray &text :
             {readerText(reader.name), readerText(reader.comPort), readerText(reader.ipAddress)})
            FUZZ_CHECK(!text.contains('\n') && !text.contains('\r') && !text.contains(';'));
        const QByteArray line = ReadersFile::lineOf(reader).toUtf8();
        FUZZ_CHECK(line.isEmpty() == (reader.type != READER_SERIAL && reader.type != READER_IP));
        if (line.isEmpty())
            continue;
        t_Reader again;
        FUZZ_CHECK(ReadersFile::parseLine(line, &again) == Kind::Reader);
        FUZZ_CHECK(textsOf({again}) == textsOf({reader}));
        FUZZ_CHECK(ReadersFile::lineHasKey(line, ReadersFile::keyOf(reader)));
    }
    return 0;
}
