#include "ReadersFile.h"

#include <QChar>
#include <QFile>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const QByteArray serialKeyword("Serial");
const QByteArray ipKeyword("IPReader");
const QByteArray bluetoothKeyword("BlueTooth");
const QString macPlaceholder = QStringLiteral("000000000000");

bool isLineEnd(char byte)
{
    return byte == '\n' || byte == '\r';
}

// A line's text without its line end. The file is UTF-8, but files of older versions were
// written in Latin-1: a line that is no valid UTF-8 is one of those.
QString textOf(const QByteArray &line)
{
    const QByteArray bytes =
        line.left(int(std::find_if(line.begin(), line.end(), isLineEnd) - line.begin()));
    const QString text = QString::fromUtf8(bytes.constData(), bytes.size());
    return text.toUtf8() == bytes ? text : QString::fromLatin1(bytes.constData(), bytes.size());
}

// Records hold Latin-1: false for a text that Latin-1 cannot hold.
bool toLatin1(const QString &text, QByteArray *bytes)
{
    for (const QChar character : text) {
        if (character.unicode() > 0xFF)
            return false;
    }
    *bytes = text.toLatin1();
    return true;
}

std::int32_t baudRateOf(const QByteArray &field)
{
    for (const char *rate : {"9600", "19200", "38400", "57600", "115200"}) {
        if (field.startsWith(rate))
            return std::atoi(rate);
    }
    // 4800 is offered when adding a reader but has never been read back.
    return 115200;
}

// Leading decimal digits, 0 when there are none.
std::uint32_t portOf(const QByteArray &field)
{
    return std::uint32_t(std::strtoul(field.constData(), nullptr, 10));
}

// A last line without its line end would take in what is appended.
bool endsInsideLine(const QString &path)
{
    QFile file(path);
    char last = '\n';
    return file.open(QIODevice::ReadOnly) && file.size() > 0 && file.seek(file.size() - 1) &&
           file.getChar(&last) && !isLineEnd(last);
}

} // namespace

ReadersFile::ReadersFile(QString readersPath, QString newPath, QString savedPath)
    : m_readersPath(std::move(readersPath))
    , m_newPath(std::move(newPath))
    , m_savedPath(std::move(savedPath))
{
}

bool ReadersFile::initRecord(t_Reader *reader, std::uint32_t type)
{
    if (!reader || !(type & (READER_IP | READER_SERIAL | READER_BLUETOOTH)))
        return false;
    std::memset(reader, 0, sizeof *reader);
    reader->type = type;
    if (type == READER_IP) {
        reader->ipSettings[0] = 255;
    } else if (type == READER_SERIAL) {
        reader->serialSettings[0] = 3;
        reader->serialSettings[1] = 4;
        reader->serialSettings[2] = 7;
        reader->baudRate = 115200;
        std::memset(reader->serialFlags, 0xFF, sizeof reader->serialFlags);
        reader->serialWord = 255;
    }
    return true;
}

QString ReadersFile::lineOf(const t_Reader &reader)
{
    const QString name = QString::fromLatin1(readerText(reader.name));
    const QString line = QStringLiteral("%1;%2;%3;%4;%5;\n");
    if (reader.type == READER_SERIAL)
        return line.arg(QString::fromLatin1(serialKeyword), name,
                        QString::fromLatin1(readerText(reader.comPort)),
                        QString::number(reader.baudRate), macPlaceholder);
    if (reader.type == READER_IP)
        return line.arg(QString::fromLatin1(ipKeyword), name,
                        QString::fromLatin1(readerText(reader.ipAddress)),
                        QString::number(reader.ipPort), macPlaceholder);
    return QString();
}

QString ReadersFile::keyOf(const t_Reader &reader)
{
    const QByteArray &keyword = reader.type == READER_SERIAL ? serialKeyword : ipKeyword;
    return QString::fromLatin1(keyword + ';' + readerText(reader.name));
}

ReadersFile::LineKind ReadersFile::parseLine(const QByteArray &line, t_Reader *reader)
{
    if (line.startsWith(';'))
        return LineKind::Skipped;
    const QStringList fields = textOf(line).split(QLatin1Char(';'));
    const QString &keyword = fields.first();
    std::uint32_t type;
    if (keyword.startsWith(QLatin1String(serialKeyword)))
        type = READER_SERIAL;
    else if (keyword.startsWith(QLatin1String(ipKeyword)))
        type = READER_IP;
    else if (keyword.startsWith(QLatin1String(bluetoothKeyword)))
        type = READER_BLUETOOTH;
    else
        return LineKind::Rejected;

    // A name with characters replaced would never find its line again.
    QByteArray name;
    QByteArray address;
    if (!toLatin1(fields.value(1), &name) ||
        (type != READER_BLUETOOTH && !toLatin1(fields.value(2), &address)))
        return LineKind::Rejected;
    const QByteArray setting = fields.value(3).left(maxFieldBytes).toLatin1();
    initRecord(reader, type);
    setReaderText(reader->name, name);
    if (type == READER_SERIAL) {
        setReaderText(reader->comPort, address);
        reader->baudRate = baudRateOf(setting);
    } else if (type == READER_IP) {
        setReaderText(reader->ipAddress, address);
        reader->ipPort = portOf(setting);
    }
    return LineKind::Reader;
}

// The lines with their line ends, so that a rewrite copies them unchanged. A line longer
// than maxLineBytes comes in pieces, as the fixed line buffer of older versions read it.
QList<QByteArray> ReadersFile::linesOf(const QByteArray &contents)
{
    const int size = contents.size();
    QList<QByteArray> lines;
    for (int start = 0; start < size;) {
        int end = start;
        while (end < size && end - start < maxLineBytes - 1 && !isLineEnd(contents.at(end)))
            ++end;
        if (end < size && contents.at(end) == '\r')
            ++end;
        if (end < size && contents.at(end) == '\n')
            ++end;
        lines << contents.mid(start, end - start);
        start = end;
    }
    return lines;
}

bool ReadersFile::lineHasKey(const QByteArray &line, const QString &key)
{
    t_Reader reader;
    return parseLine(line, &reader) == LineKind::Reader &&
           (reader.type == READER_SERIAL || reader.type == READER_IP) && keyOf(reader) == key;
}

void ReadersFile::parse(const QByteArray &contents, QList<t_Reader> *readers, int *failures)
{
    *failures = 0;
    for (const QByteArray &line : linesOf(contents)) {
        t_Reader reader;
        switch (parseLine(line, &reader)) {
        case LineKind::Reader:
            readers->append(reader);
            break;
        case LineKind::Rejected:
            ++*failures;
            break;
        case LineKind::Skipped:
            break;
        }
    }
}

bool ReadersFile::load(QList<t_Reader> *readers, int *failures)
{
    recover();
    QFile file(m_readersPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    parse(file.readAll(), readers, failures);
    return true;
}

int ReadersFile::append(const t_Reader &reader)
{
    QByteArray line = lineOf(reader).toUtf8();
    if (!line.isEmpty() && endsInsideLine(m_readersPath))
        line.prepend('\n');
    QFile file(m_readersPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    file.write(line);
    return 0;
}

bool ReadersFile::contains(const QString &key) const
{
    QFile file(m_readersPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : linesOf(file.readAll())) {
        if (lineHasKey(line, key))
            return true;
    }
    return false;
}

// The new list is written whole into "_new" before the old file goes, and the old one is
// kept in "_saved" until the new one is in place: whenever the program stops, one complete
// list is there for recover().
int ReadersFile::replace(const QString &key, const t_Reader *replacement)
{
    m_stepsDone = 0;
    QFile::remove(m_savedPath);
    QFile::copy(m_readersPath, m_savedPath);
    if (stepDone())
        return 0;

    QFile original(m_readersPath);
    if (!original.open(QIODevice::ReadOnly)) {
        QFile::remove(m_savedPath);
        return 0;
    }
    QFile rewritten(m_newPath);
    if (!rewritten.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QFile::remove(m_savedPath);
        return 0;
    }
    for (const QByteArray &line : linesOf(original.readAll())) {
        if (!lineHasKey(line, key))
            rewritten.write(line);
        else if (replacement)
            rewritten.write(lineOf(*replacement).toUtf8());
    }
    original.close();
    const bool written = rewritten.flush();
    rewritten.close();
    if (!written) {
        QFile::remove(m_newPath);
        QFile::remove(m_savedPath);
        return 0;
    }
    if (stepDone())
        return 0;

    QFile::remove(m_readersPath);
    if (stepDone())
        return 0;
    QFile::rename(m_newPath, m_readersPath);
    if (stepDone())
        return 0;
    QFile::remove(m_savedPath);
    return 0;
}

bool ReadersFile::stepDone()
{
    ++m_stepsDone;
    return m_stopAfterStep >= 0 && m_stepsDone >= m_stopAfterStep;
}

void ReadersFile::recover()
{
    if (!QFile::exists(m_readersPath)) {
        // "_new" only outlives the readers file once it was written completely.
        if (QFile::exists(m_newPath))
            QFile::rename(m_newPath, m_readersPath);
        else if (QFile::exists(m_savedPath))
            QFile::rename(m_savedPath, m_readersPath);
    }
    if (QFile::exists(m_readersPath)) {
        QFile::remove(m_newPath);
        QFile::remove(m_savedPath);
    }
}
