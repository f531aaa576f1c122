#include "TSL_TcpTransport.h"

#include "TSL_TcpLinkState.h"
#include "TSL_Trace.h"

#include <QAbstractSocket>
#include <QIODevice>
#include <QThread>

#include <cstdint>

namespace {

constexpr int AnswerWait = 10000;
constexpr int FirstUnsolicited = 32768;
constexpr int LastUnsolicited = 65535;

} // namespace

TSL_TcpTransport::TSL_TcpTransport(TSL_TcpLinkState &link, const QString &host, quint16 port,
                                   int connectTimeout, int unsolicitedCounter)
    : m_link(link)
    , m_host(host)
    , m_port(port)
    , m_connectTimeout(connectTimeout)
    , m_unsolicitedCounter(unsolicitedCounter)
{
    m_connectTimer.setSingleShot(true);
    m_answerTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &TSL_TcpTransport::finish);
    connect(&m_answerTimer, &QTimer::timeout, this, &TSL_TcpTransport::onAnswerTimeout);
    connect(&m_socket, &QTcpSocket::connected, this, &TSL_TcpTransport::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TSL_TcpTransport::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TSL_TcpTransport::finish);
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, &TSL_TcpTransport::finish);
}

void TSL_TcpTransport::start()
{
    if (m_link.stopRequested()) {
        finish();
        return;
    }
    m_connectTimer.start(m_connectTimeout);
    m_socket.connectToHost(m_host, m_port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void TSL_TcpTransport::wake()
{
    if (m_finished)
        return;
    if (m_link.stopRequested()) {
        finish();
        return;
    }
    if (m_socket.state() == QAbstractSocket::ConnectedState && !m_awaitingAnswer)
        writeRequest();
    if (m_frameOut && m_link.takeFrameTaken()) {
        m_frameOut = false;
        if (!m_queue.isEmpty())
            handUp(dequeue());
    }
}

void TSL_TcpTransport::onConnected()
{
    m_connectTimer.stop();
    // Requests and answers are small: do not let them wait for coalescing.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_link.setConnected();
}

void TSL_TcpTransport::onReadyRead()
{
    const QByteArray chunk = m_socket.readAll();
    if (chunk.isEmpty())
        return;
    if (!m_awaitingAnswer) {
        receiveChunk(chunk);
        return;
    }
    m_answerTimer.stop();
    m_awaitingAnswer = false;
    if (TSL_Trace::enabled()) {
        for (char byte : chunk)
            TSL_Trace::debug(QStringLiteral("0x%1-").arg(uint(std::uint8_t(byte)), 0, 16));
        TSL_Trace::debug(QStringLiteral("****"));
    }
    m_link.finishWrite(m_written, chunk);
}

void TSL_TcpTransport::onAnswerTimeout()
{
    m_awaitingAnswer = false;
    m_link.finishWrite(m_written, QByteArray());
}

void TSL_TcpTransport::writeRequest()
{
    QByteArray bytes;
    if (!m_link.pendingWrite(&bytes))
        return;
    m_written = m_socket.write(bytes);
    if (m_written < 0) {
        m_link.finishWrite(m_written, QByteArray());
        return;
    }
    m_socket.flush();
    m_awaitingAnswer = true;
    m_answerTimer.start(AnswerWait);
}

void TSL_TcpTransport::receiveChunk(const QByteArray &chunk)
{
    if (m_frameOut && m_link.takeFrameTaken())
        m_frameOut = false;
    if (m_frameOut) {
        enqueue(chunk);
    } else if (m_queue.isEmpty()) {
        handUp(chunk);
    } else {
        enqueue(chunk);
        handUp(dequeue());
    }
}

void TSL_TcpTransport::enqueue(const QByteArray &chunk)
{
    if (!m_queue.isEmpty() && m_queueWrite == m_queueRead) {
        m_link.countDroppedChunk();
        return;
    }
    m_queue.append(chunk);
    m_queueSizes[std::size_t(m_queueWrite)] = chunk.size();
    m_queueWrite = (m_queueWrite + 1) % QueueCapacity;
    m_link.setWaitingChunks(waitingChunks());
}

QByteArray TSL_TcpTransport::dequeue()
{
    const int size = m_queueSizes[std::size_t(m_queueRead)];
    m_queueRead = (m_queueRead + 1) % QueueCapacity;
    const QByteArray chunk = m_queue.left(size);
    m_queue.remove(0, size);
    m_link.setWaitingChunks(waitingChunks());
    return chunk;
}

int TSL_TcpTransport::waitingChunks() const
{
    if (m_queue.isEmpty())
        return 0;
    return (m_queueWrite - m_queueRead + QueueCapacity - 1) % QueueCapacity + 1;
}

void TSL_TcpTransport::handUp(const QByteArray &chunk)
{
    if (TSL_Trace::enabled())
        TSL_Trace::line(QStringLiteral("Received TCP:%1 bytes, TCP frame:%2")
                            .arg(chunk.size())
                            .arg(TSL_Trace::hexBytes(chunk)));
    m_frameOut = true;
    m_link.handUpChunk(chunk, m_unsolicitedCounter);
    m_unsolicitedCounter =
        m_unsolicitedCounter >= LastUnsolicited ? FirstUnsolicited : m_unsolicitedCounter + 1;
}

void TSL_TcpTransport::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_connectTimer.stop();
    m_answerTimer.stop();
    m_socket.close();
    thread()->quit();
}
