#include "TSL_CMD_TCP.h"

#include "TSL_SendResult.h"
#include "TSL_TcpTransport.h"
#include "TSL_Trace.h"

#include <QMetaObject>
#include <QMutexLocker>

namespace {

constexpr int TakenCheckInterval = 10;
constexpr int StateUnknown = 0;
constexpr int StateConnected = 1;
constexpr int StateClosed = 2;

} // namespace

TSL_CMD_TCP::TSL_CMD_TCP(const QString &host, quint16 port, QObject *parent)
    : QThread(parent)
    , m_host(host)
    , m_port(port)
    , m_address(4, '\0')
{
    qRegisterMetaType<QByteArray *>("QByteArray*");
    m_takenCheck.setInterval(TakenCheckInterval);
    connect(&m_takenCheck, &QTimer::timeout, this, &TSL_CMD_TCP::checkFrameTaken);
}

TSL_CMD_TCP::~TSL_CMD_TCP()
{
    if (isRunning()) {
        close();
        wait();
    }
}

int TSL_CMD_TCP::sessionNumber() const
{
    const QMutexLocker lock(&m_mutex);
    return m_writeCounter;
}

QByteArray TSL_CMD_TCP::address() const
{
    const QMutexLocker lock(&m_mutex);
    return m_address;
}

void TSL_CMD_TCP::presetUnsolicitedCounter(int sessionNumber)
{
    m_unsolicitedCounter = sessionNumber;
}

int TSL_CMD_TCP::open()
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_stop)
            return -1;
    }
    // A connection still up or on its way down is ended first: open() always starts afresh.
    if (isRunning())
        endRun();
    {
        const QMutexLocker lock(&m_mutex);
        m_endRun = false;
        m_opened = false;
        m_connectionState = StateUnknown;
        m_address = QByteArray(4, '\0');
    }
    start();

    int state = StateUnknown;
    {
        QMutexLocker lock(&m_mutex);
        while (m_connectionState == StateUnknown)
            m_condition.wait(&m_mutex);
        state = m_connectionState;
    }
    TSL_Trace::debug(QStringLiteral("Wait :0"));
    if (state != StateConnected) {
        endRun();
        return -1;
    }

    // Nobody has asked for the answer of the address read: it is not handed up.
    const qint64 written = transact(QByteArray::fromHex("010602"), false);
    TSL_Trace::debug(QStringLiteral("Reading: %1").arg(written));
    {
        const QMutexLocker lock(&m_mutex);
        if (m_connectionState == StateConnected && !m_stop && m_address != QByteArray(4, '\0')) {
            m_opened = true;
            return 0;
        }
        state = m_connectionState;
    }
    endRun();
    return state == StateConnected ? -2 : -1;
}

int TSL_CMD_TCP::write(QByteArray *ba)
{
    // No frame limits the length here: TCP carries the bytes as they are.
    return transact(*ba, true) == ba->size() ? TSL_SendResult::Sent : TSL_SendResult::Error;
}

int TSL_CMD_TCP::close()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_stop = true;
    }
    wakeTransport();
    return 0;
}

bool TSL_CMD_TCP::isConnected() const
{
    const QMutexLocker lock(&m_mutex);
    return m_opened && m_connectionState == StateConnected && !m_stop;
}

void TSL_CMD_TCP::setHandingUp(bool on)
{
    m_handingUp = on;
    if (!on && !m_currentFrame.isEmpty()) {
        m_currentFrame.clear();
        ++m_droppedChunks;
        checkFrameTaken();
    }
}

void TSL_CMD_TCP::endRun()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_endRun = true;
    }
    wakeTransport();
    wait();
}

void TSL_CMD_TCP::run()
{
    TSL_TcpTransport transport(*this, m_host, m_port, m_connectTimeout, m_unsolicitedCounter);
    {
        const QMutexLocker lock(&m_mutex);
        m_transport = &transport;
    }
    QMetaObject::invokeMethod(&transport, &TSL_TcpTransport::start, Qt::QueuedConnection);
    exec();

    bool lost;
    {
        const QMutexLocker lock(&m_mutex);
        m_transport = nullptr;
        m_connectionState = StateClosed;
        lost = m_opened && !m_stop && !m_endRun;
        m_opened = false;
        if (m_writePending) {
            m_bytesWritten = -1;
            m_writePending = false;
        }
        m_condition.wakeAll();
    }
    if (lost)
        emit connectionLost();
}

qint64 TSL_CMD_TCP::transact(const QByteArray &bytes, bool userCommand)
{
    QMutexLocker lock(&m_mutex);
    while (m_writeBusy)
        m_condition.wait(&m_mutex);

    qint64 written = -1;
    if (m_connectionState == StateConnected && !m_stop && m_transport) {
        m_writeBusy = true;
        m_request = bytes;
        m_requestSession = m_writeCounter;
        m_requestHandsUp = userCommand;
        m_bytesWritten = -1;
        m_writePending = true;
        QMetaObject::invokeMethod(m_transport, &TSL_TcpTransport::wake, Qt::QueuedConnection);
        while (m_writePending)
            m_condition.wait(&m_mutex);
        written = m_bytesWritten;
        m_writeBusy = false;
        m_condition.wakeAll();
    }
    if (userCommand)
        ++m_writeCounter;
    return written;
}

void TSL_CMD_TCP::wakeTransport()
{
    const QMutexLocker lock(&m_mutex);
    if (m_transport)
        QMetaObject::invokeMethod(m_transport, &TSL_TcpTransport::wake, Qt::QueuedConnection);
}

bool TSL_CMD_TCP::stopRequested() const
{
    const QMutexLocker lock(&m_mutex);
    return m_stop || m_endRun;
}

bool TSL_CMD_TCP::pendingWrite(QByteArray *bytes) const
{
    const QMutexLocker lock(&m_mutex);
    if (m_writePending)
        *bytes = m_request;
    return m_writePending;
}

void TSL_CMD_TCP::setConnected()
{
    const QMutexLocker lock(&m_mutex);
    m_connectionState = StateConnected;
    m_condition.wakeAll();
}

void TSL_CMD_TCP::finishWrite(qint64 written, const QByteArray &answer)
{
    const QMutexLocker lock(&m_mutex);
    if (!m_writePending)
        return;
    if (answer.size() == 7 && answer.startsWith(QByteArray::fromHex("010702")))
        m_address = answer.mid(3, 4);
    if (!answer.isEmpty() && m_requestHandsUp) {
        const int session = m_requestSession;
        QMetaObject::invokeMethod(
            this, [this, answer, session] { deliverAnswer(answer, session); },
            Qt::QueuedConnection);
    }
    m_bytesWritten = written;
    m_writePending = false;
    m_condition.wakeAll();
}

bool TSL_CMD_TCP::takeFrameTaken()
{
    return m_frameTaken.exchange(false);
}

void TSL_CMD_TCP::handUpChunk(const QByteArray &chunk, int sessionNumber)
{
    QMetaObject::invokeMethod(
        this, [this, chunk, sessionNumber] { deliverChunk(chunk, sessionNumber); },
        Qt::QueuedConnection);
}

void TSL_CMD_TCP::deliverAnswer(const QByteArray &answer, int sessionNumber)
{
    if (!m_handingUp)
        return;
    m_answerFrame = answer;
    emit frameReceived(&m_answerFrame, sessionNumber);
}

void TSL_CMD_TCP::deliverChunk(const QByteArray &chunk, int sessionNumber)
{
    // A dropped chunk counts as taken, or the ones behind it would wait for ever.
    if (m_handingUp) {
        m_currentFrame = chunk;
        emit frameReceived(&m_currentFrame, sessionNumber);
    } else {
        ++m_droppedChunks;
    }
    if (m_currentFrame.isEmpty())
        checkFrameTaken();
    else
        m_takenCheck.start();
}

void TSL_CMD_TCP::checkFrameTaken()
{
    if (!m_currentFrame.isEmpty())
        return;
    m_takenCheck.stop();
    m_frameTaken = true;
    wakeTransport();
}
