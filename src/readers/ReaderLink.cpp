#include "ReaderLink.h"

#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"

#include <QObject>

namespace {

// The last holder may be a sender's thread: the object goes in its own thread, where its
// queued hand-ups are delivered.
void deleteInOwnThread(QObject *object)
{
    object->deleteLater();
}

} // namespace

ReaderLink ReaderLink::serial(const QString &portName, int baudRate)
{
    ReaderLink link;
    link.m_serial.reset(new TSL_CMD(portName, baudRate), deleteInOwnThread);
    return link;
}

ReaderLink ReaderLink::tcp(const QString &host, quint16 port)
{
    ReaderLink link;
    link.m_tcp.reset(new TSL_CMD_TCP(host, port), deleteInOwnThread);
    return link;
}

QObject *ReaderLink::object() const
{
    if (m_serial)
        return m_serial.get();
    return m_tcp.get();
}

int ReaderLink::startUp() const
{
    if (m_serial) {
        const int result = m_serial->open();
        if (result < 0)
            return result;
        m_serial->request_ack_conf();
        m_serial->request_address();
        return 1;
    }
    if (m_tcp) {
        const int result = m_tcp->open();
        return result < 0 ? result : 1;
    }
    return 1;
}

QByteArray ReaderLink::address() const
{
    if (m_serial)
        return m_serial->address();
    return m_tcp ? m_tcp->address() : QByteArray();
}

bool ReaderLink::isConnected() const
{
    if (m_serial)
        return m_serial->isConnected();
    return m_tcp && m_tcp->isConnected();
}

void ReaderLink::close() const
{
    if (m_serial)
        m_serial->close();
    if (m_tcp)
        m_tcp->close();
}

void ReaderLink::waitUntilClosed() const
{
    if (m_serial)
        m_serial->waitUntilClosed();
    if (m_tcp)
        m_tcp->wait();
}

void ReaderLink::setHandingUp(bool on) const
{
    if (m_serial)
        m_serial->setHandingUp(on);
    if (m_tcp)
        m_tcp->setHandingUp(on);
}
