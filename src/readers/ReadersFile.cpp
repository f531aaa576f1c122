#include "ReadersFile.h"

#include <QFile>
#include <QList>
#include <QRegularExpression>

#include <cstdlib>
#include <cstring>

namespace {

const QByteArray serialKeyword("Serial");
const QByteArray ipKeyword("IPReader");
const QByteArray bluetoothKeyword("BlueTooth");
const QString macPlaceholder = QStringLiteral("000000000000");

// Fields from the start of the line, each cut to the longest a field may be.
QList<QByteArray> fieldsOf(const QByteArray &line)
{
    QList<QByteArray> fields = line.split(';');
    for (QByteArray &field : fields)
        field.truncate(ReadersFile::maxFieldBytes);
    return fields;
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

// The first two fields of a line, which identify its reader.
QString keyOfLine(const QByteArray &line)
{
    static const QRegularExpression firstTwoFields(QStringLiteral("^(.*?;.*?);.*$"));
    const QRegularExpressionMatch match = firstTwoFields.match(QString::fromUtf8(line));
    return match.hasMatch() ? match.captured(1) : QString();
}

QList<QByteArray> readLines(QFile &file)
{
    QList<QByteArray> lines;
    char buffer[ReadersFile::maxLineBytes];
    for (qint64 size = file.readLine(buffer, sizeof buffer); size > 0;
         size = file.readLine(buffer, sizeof buffer))
        lines << QByteArray(buffer, int(size));
    return lines;
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
    const QList<QByteArray> fields = fieldsOf(line);
    const QByteArray &keyword = fields.first();
    std::uint32_t type;
    if (keyword.startsWith(serialKeyword))
        type = READER_SERIAL;
    else if (keyword.startsWith(ipKeyword))
        type = READER_IP;
    else if (keyword.startsWith(bluetoothKeyword))
        type = READER_BLUETOOTH;
    else
        return LineKind::Rejected;

    initRecord(reader, type);
    const QByteArray name = fields.value(1);
    const QByteArray address = fields.value(2);
    const QByteArray setting = fields.value(3);
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

bool ReadersFile::load(QList<t_Reader> *readers, int *failures)
{
    recover();
    QFile file(m_readersPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *failures = 0;
    for (const QByteArray &line : readLines(file)) {
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
    return true;
}

int ReadersFile::append(const t_Reader &reader)
{
    QFile file(m_readersPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    file.write(lineOf(reader).toUtf8());
    return 0;
}

bool ReadersFile::contains(const QString &key) const
{
    QFile file(m_readersPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : readLines(file)) {
        if (keyOfLine(line) == key)
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
    for (const QByteArray &line : readLines(original)) {
        if (keyOfLine(line) != key)
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
