#include "TSL_CMD_TCP.h"

#include "TSL_Frame.h"
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
        m_connectionState = StateUnknown;
    }
    connect(this, &QThread::finished, this, &QObject::deleteLater, Qt::UniqueConnection);
    if (!isRunning())
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
        close();
        return -1;
    }

    const qint64 written = transact(QByteArray::fromHex("010602"), false);
    TSL_Trace::debug(QStringLiteral("Reading: %1").arg(written));
    return address() == QByteArray(4, '\0') ? -2 : 0;
}

int TSL_CMD_TCP::write(QByteArray *ba)
{
    if (!ba || ba->size() > TSL_Frame::maxPayloadSize) {
        const QMutexLocker lock(&m_mutex);
        ++m_writeCounter;
        return ba ? TSL_SendResult::PayloadTooLong : TSL_SendResult::Error;
    }
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

void TSL_CMD_TCP::run()
{
    TSL_TcpTransport transport(*this, m_host, m_port, m_connectTimeout, m_unsolicitedCounter);
    {
        const QMutexLocker lock(&m_mutex);
        m_transport = &transport;
    }
    QMetaObject::invokeMethod(&transport, &TSL_TcpTransport::start, Qt::QueuedConnection);
    exec();

    const QMutexLocker lock(&m_mutex);
    m_transport = nullptr;
    m_connectionState = StateClosed;
    if (m_writePending) {
        m_bytesWritten = -1;
        m_writePending = false;
    }
    m_condition.wakeAll();
}

qint64 TSL_CMD_TCP::transact(const QByteArray &bytes, bool advanceWriteCounter)
{
    QMutexLocker lock(&m_mutex);
    while (m_writeBusy)
        m_condition.wait(&m_mutex);

    qint64 written = -1;
    if (m_connectionState == StateConnected && !m_stop && m_transport) {
        m_writeBusy = true;
        m_request = bytes;
        m_requestSession = m_writeCounter;
        m_bytesWritten = -1;
        m_writePending = true;
        QMetaObject::invokeMethod(m_transport, &TSL_TcpTransport::wake, Qt::QueuedConnection);
        while (m_writePending)
            m_condition.wait(&m_mutex);
        written = m_bytesWritten;
        m_writeBusy = false;
        m_condition.wakeAll();
    }
    if (advanceWriteCounter)
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
    return m_stop;
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
    if (!answer.isEmpty()) {
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
    m_answerFrame = answer;
    emit frameReceived(&m_answerFrame, sessionNumber);
}

void TSL_CMD_TCP::deliverChunk(const QByteArray &chunk, int sessionNumber)
{
    m_currentFrame = chunk;
    emit frameReceived(&m_currentFrame, sessionNumber);
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
