#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QObject;
class TSL_CMD;
class TSL_CMD_TCP;

// A reader's link object, shared by the registry, which makes and closes it, and by the
// sender that sends on it, so that neither frees it under the other. The object is made in the
// window thread and deleted there, whichever holder lets go of it last.
class ReaderLink
{
public:
    ReaderLink() = default;
    static ReaderLink serial(const QString &portName, int baudRate);
    static ReaderLink tcp(const QString &host, quint16 port);

    bool isNull() const { return !m_serial && !m_tcp; }
    TSL_CMD *serialLink() const { return m_serial.get(); }
    TSL_CMD_TCP *tcpLink() const { return m_tcp.get(); }
    QObject *object() const;

    // Opens the link and runs its start-up exchanges, blocking the caller (any thread): 1, or
    // the negative result of opening (-1 unreachable, -2 reached but no reader address).
    int startUp() const;
    QByteArray address() const;
    bool isConnected() const;
    // Final; any thread. Whatever blocks on the link ends at once.
    void close() const;

    // After close(), any thread: blocks until the link's threads have ended and its port or
    // socket is closed.
    void waitUntilClosed() const;
    // Window thread.
    void setHandingUp(bool on) const;

private:
    std::shared_ptr<TSL_CMD> m_serial;
    std::shared_ptr<TSL_CMD_TCP> m_tcp;
};
