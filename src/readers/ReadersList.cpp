#include "ReadersList.h"

#include "ReadersFile.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"
#include "project/ProjectPaths.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {

// A gateway that rebooted is asked again this often until it answers.
constexpr int reconnectIntervalMs = 2000;

ReadersFile projectReadersFile()
{
    return ReadersFile(ProjectPaths::readersFilePath(),
                       ProjectPaths::readersFilePath(QStringLiteral("_new")),
                       ProjectPaths::readersFilePath(QStringLiteral("_saved")));
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
    disconnectAll();
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
    if (!m_readers.contains(reader))
        return true;
    if (m_connections.contains(reader))
        disconnectReader(reader);
    m_closing.remove(reader);
    m_readers.removeOne(reader);
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
        if (reader->type == READER_IP || reader->type == READER_SERIAL)
            return connectNow(reader);
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

ReaderLink ReadersList::makeLink(const t_Reader &reader)
{
    if (reader.type == READER_IP)
        return ReaderLink::tcp(QString::fromLatin1(readerText(reader.ipAddress)),
                               quint16(reader.ipPort & 0xFFFF));
    if (reader.type == READER_SERIAL)
        return ReaderLink::serial(QString::fromLatin1(readerText(reader.comPort)), reader.baudRate);
    return ReaderLink();
}

int ReadersList::connectNow(t_Reader *reader)
{
    // A second connection starts from scratch rather than leaving the first one behind.
    if (m_connections.contains(reader))
        disconnectReader(reader);
    const ReaderLink link = makeLink(*reader);
    link.setHandingUp(false);
    watchLink(link);
    m_closing.take(reader).waitUntilClosed();
    const int result = link.startUp();
    if (result < 0) {
        closeLink(reader, link);
        return result;
    }
    becomeConnected(reader, link);
    return 1;
}

void ReadersList::connectInBackground(t_Reader *reader)
{
    if (m_connections.contains(reader) ||
        (reader->type != READER_IP && reader->type != READER_SERIAL))
        return;
    Connection &connection = m_connections[reader];
    connection.stateBefore = reader->state;
    reader->state = STATE_INIT;
    const ReaderLink link = makeLink(*reader);
    link.setHandingUp(false);
    watchLink(link);
    startAttempt(reader, link);
}

void ReadersList::startAttempt(t_Reader *reader, const ReaderLink &link)
{
    // The result crosses threads once: written before the thread ends, read after it did.
    auto result = std::make_shared<int>(-1);
    const ReaderLink previous = m_closing.take(reader);
    QThread *attempt = QThread::create([link, previous, result] {
        previous.waitUntilClosed();
        *result = link.startUp();
    });
    attempt->setObjectName(QStringLiteral("ReaderConnect"));
    Connection &connection = m_connections[reader];
    connection.attempt = attempt;
    connection.attemptLink = link;
    m_attempts.insert(attempt);
    connect(attempt, &QThread::finished, this,
            [this, attempt, link, result] { attemptFinished(attempt, link, *result); });
    attempt->start();
}

void ReadersList::attemptFinished(QThread *attempt, const ReaderLink &link, int result)
{
    m_attempts.remove(attempt);
    attempt->wait();
    t_Reader *reader = readerOfAttempt(attempt);
    delete attempt;
    if (!reader) {
        // Given up: nobody wants the link any more, and it was closed then.
        return;
    }
    Connection &connection = m_connections[reader];
    connection.attempt = nullptr;
    connection.attemptLink = ReaderLink();
    const QString name = nameOf(*reader);
    if (connection.reconnecting) {
        if (result < 0) {
            connection.retryTimer->start();
            return;
        }
        connection.reconnecting = false;
        reader->state = STATE_CONNECTED;
        link.setHandingUp(true);
        emit readerStateChanged(name);
        emit linkRestored(name);
        noticeLossDuringAttempt(reader);
        return;
    }
    if (result < 0) {
        closeLink(reader, link);
        m_connections.remove(reader);
        reader->state = STATE_DEFAULT;
        emit readerStateChanged(name);
        emit connectionFailed(name, result);
        return;
    }
    becomeConnected(reader, link);
}

void ReadersList::becomeConnected(t_Reader *reader, const ReaderLink &link)
{
    // Whatever the link handed up while it started is still queued here: it goes now, to
    // nobody, rather than into the tab about to open.
    QCoreApplication::sendPostedEvents(link.object(), QEvent::MetaCall);
    link.setHandingUp(true);
    m_connections[reader].link = link;
    reader->state = STATE_CONNECTED;
    reader->link = link.object();
    const QString name = nameOf(*reader);
    emit readerStateChanged(name);
    emit connectedToReader(name, addressText(link.address()));
    noticeLossDuringAttempt(reader);
}

// A peer that hung up while its attempt was finishing was not yet a connected reader's:
// its loss is taken up now.
void ReadersList::noticeLossDuringAttempt(t_Reader *reader)
{
    const ReaderLink link = linkOf(reader);
    if (link.tcpLink() && !link.isConnected())
        tcpLinkLost(link.object());
}

void ReadersList::cancelConnection(t_Reader *reader)
{
    const auto found = m_connections.find(reader);
    if (found == m_connections.end())
        return;
    if (found->reconnecting || !found->attempt) {
        setReaderState(reader, STATE_DISCONNECTED);
        return;
    }
    // The attempt ends with its current exchange and then finds nobody waiting for it.
    closeLink(reader, found->attemptLink);
    reader->state = found->stateBefore;
    m_connections.erase(found);
    emit readerStateChanged(nameOf(*reader));
}

bool ReadersList::isConnecting(const t_Reader *reader) const
{
    const auto found = m_connections.constFind(const_cast<t_Reader *>(reader));
    return found != m_connections.constEnd() && (found->attempt || found->reconnecting);
}

ReaderLink ReadersList::linkOf(const t_Reader *reader) const
{
    return m_connections.value(const_cast<t_Reader *>(reader)).link;
}

void ReadersList::watchLink(const ReaderLink &link)
{
    if (TSL_CMD *serial = link.serialLink()) {
        const QPointer<TSL_CMD> watched(serial);
        connect(serial, &TSL_CMD::portLost, this, [this, watched] {
            if (t_Reader *reader = readerOfLink(watched))
                emit linkLost(nameOf(*reader));
        });
        connect(serial, &TSL_CMD::portRestored, this, [this, watched] {
            if (t_Reader *reader = readerOfLink(watched))
                emit linkRestored(nameOf(*reader));
        });
    } else if (TSL_CMD_TCP *tcp = link.tcpLink()) {
        const QPointer<TSL_CMD_TCP> watched(tcp);
        connect(tcp, &TSL_CMD_TCP::connectionLost, this, [this, watched] { tcpLinkLost(watched); });
    }
}

void ReadersList::tcpLinkLost(QObject *link)
{
    t_Reader *reader = readerOfLink(link);
    if (!reader || reader->state != STATE_CONNECTED)
        return;
    Connection &connection = m_connections[reader];
    connection.reconnecting = true;
    connection.link.setHandingUp(false);
    reader->state = STATE_INIT;
    if (!connection.retryTimer) {
        connection.retryTimer = new QTimer(this);
        connection.retryTimer->setSingleShot(true);
        connection.retryTimer->setInterval(reconnectIntervalMs);
        connect(connection.retryTimer, &QTimer::timeout, this,
                [this, reader] { retryConnection(reader); });
    }
    connection.retryTimer->start();
    const QString name = nameOf(*reader);
    emit readerStateChanged(name);
    emit linkLost(name);
}

void ReadersList::retryConnection(t_Reader *reader)
{
    const auto found = m_connections.find(reader);
    if (found == m_connections.end() || !found->reconnecting || found->attempt)
        return;
    startAttempt(reader, found->link);
}

t_Reader *ReadersList::readerOfLink(const QObject *link) const
{
    if (!link)
        return nullptr;
    for (auto it = m_connections.constBegin(); it != m_connections.constEnd(); ++it) {
        if (it->link.object() == link || it->attemptLink.object() == link)
            return it.key();
    }
    return nullptr;
}

t_Reader *ReadersList::readerOfAttempt(const QThread *attempt) const
{
    for (auto it = m_connections.constBegin(); it != m_connections.constEnd(); ++it) {
        if (it->attempt == attempt)
            return it.key();
    }
    return nullptr;
}

void ReadersList::disconnectReader(t_Reader *reader)
{
    const Connection connection = m_connections.take(reader);
    closeLink(reader, connection.attemptLink);
    closeLink(reader, connection.link);
    delete connection.retryTimer;
    reader->link = nullptr;
    const bool wasUsed = reader->state != STATE_DEFAULT;
    reader->state = STATE_DISCONNECTED;
    if (wasUsed)
        emit disconnectedFromReader(nameOf(*reader));
}

void ReadersList::closeLink(t_Reader *reader, const ReaderLink &link)
{
    if (link.isNull())
        return;
    link.close();
    link.setHandingUp(false);
    m_closing.insert(reader, link);
}

void ReadersList::disconnectAll()
{
    for (t_Reader *reader : qAsConst(m_readers)) {
        if (m_connections.contains(reader))
            setReaderState(reader, STATE_DISCONNECTED);
    }
    // Their links are closed, so the attempts end at once; their endings are handled here.
    for (QThread *attempt : qAsConst(m_attempts))
        attempt->wait();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_closing.clear();
}

QString ReadersList::whereText(const t_Reader &reader)
{
    if (reader.type == READER_IP)
        return QStringLiteral("%1:%2")
            .arg(QString::fromLatin1(readerText(reader.ipAddress)))
            .arg(reader.ipPort & 0xFFFF);
    return QString::fromLatin1(readerText(reader.comPort));
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
