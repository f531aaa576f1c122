#include "ReadersList.h"

#include "ReadersFile.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"
#include "project/ControlPanelTracePath.h"

#include <QStringList>

namespace {

ReadersFile projectReadersFile()
{
    return ReadersFile(ControlPanelTracePath::readersFilePath(),
                       ControlPanelTracePath::readersFilePath(QStringLiteral("_new")),
                       ControlPanelTracePath::readersFilePath(QStringLiteral("_saved")));
}

QString nameOf(const t_Reader &reader)
{
    return QString::fromLatin1(readerText(reader.name));
}

} // namespace

ReadersList *ReadersList::instance()
{
    static ReadersList *registry = new ReadersList;
    return registry;
}

ReadersList::~ReadersList()
{
    qDeleteAll(m_readers);
}

t_Reader *ReadersList::readerAt(int index) const
{
    return index >= 0 && index < m_readers.size() ? m_readers.at(index) : nullptr;
}

bool ReadersList::findReader(t_Reader **reader, const QByteArray &name) const
{
    for (t_Reader *candidate : m_readers) {
        if (readerText(candidate->name) == name) {
            *reader = candidate;
            return true;
        }
    }
    return false;
}

bool ReadersList::addReader(const t_Reader &reader)
{
    m_readers.append(new t_Reader(reader));
    return true;
}

bool ReadersList::removeReader(t_Reader *reader)
{
    if (m_readers.removeOne(reader))
        delete reader;
    return true;
}

bool ReadersList::initReader(t_Reader *reader, std::uint32_t type)
{
    return ReadersFile::initRecord(reader, type);
}

QString ReadersList::addressText(const QByteArray &address)
{
    QStringList bytes;
    for (int i = 0; i < 4; ++i)
        bytes << QStringLiteral("%1")
                     .arg(i < address.size() ? uint(std::uint8_t(address.at(i))) : 0u, 2, 16,
                          QLatin1Char('0'))
                     .toUpper();
    return bytes.join(QLatin1Char(' '));
}

int ReadersList::setReaderState(t_Reader *reader, int state)
{
    if (state == STATE_CONNECTED) {
        if (reader->type == READER_IP)
            return connectIpReader(reader);
        if (reader->type == READER_SERIAL)
            return connectSerialReader(reader);
        return 1;
    }
    if (state == STATE_DISCONNECTED) {
        if (reader->type == READER_IP || reader->type == READER_SERIAL)
            disconnectReader(reader);
        return 1;
    }
    reader->state = state;
    return 1;
}

int ReadersList::connectIpReader(t_Reader *reader)
{
    auto *link = new TSL_CMD_TCP(QString::fromLatin1(readerText(reader->ipAddress)),
                                 quint16(reader->ipPort & 0xFFFF));
    const int result = link->open();
    if (result < 0) {
        // The link deletes itself once its thread has ended.
        link->close();
        return result;
    }
    reader->state = STATE_CONNECTED;
    reader->link = link;
    emit connectedToReader(nameOf(*reader), addressText(link->address()));
    return 1;
}

int ReadersList::connectSerialReader(t_Reader *reader)
{
    auto *link = new TSL_CMD(QString::fromLatin1(readerText(reader->comPort)), reader->baudRate);
    const int result = link->open();
    if (result < 0) {
        link->deleteLater();
        return result;
    }
    link->request_ack_conf();
    link->request_address();
    reader->state = STATE_CONNECTED;
    reader->link = link;
    emit connectedToReader(nameOf(*reader), addressText(link->address()));
    return 1;
}

void ReadersList::disconnectReader(t_Reader *reader)
{
    const bool wasUsed = reader->state != STATE_DEFAULT;
    if (reader->type == READER_SERIAL) {
        if (reader->link)
            reader->link->deleteLater();
    } else if (wasUsed && reader->link) {
        auto *link = static_cast<TSL_CMD_TCP *>(reader->link);
        link->close();
        link->deleteLater();
    }
    reader->link = nullptr;
    if (wasUsed)
        emit disconnectedFromReader(nameOf(*reader));
    reader->state = STATE_DISCONNECTED;
}

int ReadersList::loadReadersFile()
{
    QList<t_Reader> loaded;
    int failures = 0;
    if (!projectReadersFile().load(&loaded, &failures))
        return 1;
    for (const t_Reader &reader : loaded) {
        if (!addReader(reader)) {
            ++failures;
            continue;
        }
        t_Reader *added = nullptr;
        if (findReader(&added, readerText(reader.name)) && added->state != STATE_DISCOVER)
            setReaderState(added, STATE_DISCONNECTED);
    }
    return failures;
}

int ReadersList::appendReaderToFile(const t_Reader &reader)
{
    return projectReadersFile().append(reader);
}

int ReadersList::replaceReaderInFile(const QString &key, const t_Reader &reader)
{
    return projectReadersFile().replace(key, &reader);
}

int ReadersList::removeReaderFromFile(const QString &key)
{
    return projectReadersFile().replace(key, nullptr);
}

bool ReadersList::isReaderInFile(const QString &key) const
{
    return projectReadersFile().contains(key);
}
