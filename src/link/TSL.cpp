#include "TSL.h"

#include "TSL_MasterThread.h"
#include "TSL_SendResult.h"
#include "TSL_Trace.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QSerialPort>
#include <QTime>
#include <QTimer>

namespace {

constexpr int exchangeReadWait = 600;
// How often the idle engine asks again for a worker that ended on a port failure.
constexpr int retryTick = 50;

int resultCode(int ackCode)
{
    switch (ackCode) {
    case TSL_AckFrame::acknowledged:
        return TSL_SendResult::Sent;
    case TSL_AckFrame::buffered:
        return TSL_SendResult::Buffered;
    case TSL_AckFrame::rejected:
        return TSL_SendResult::Rejected;
    case TSL_AckFrame::recovered:
        return TSL_SendResult::Recovered;
    default:
        return TSL_SendResult::Error;
    }
}

bool endsSend(int ackCode)
{
    return ackCode >= TSL_AckFrame::acknowledged && ackCode <= TSL_AckFrame::recovered;
}

} // namespace

TSL::TSL(const QString &port, int baud, int retries, int wait, QObject *parent)
    : QThread(parent)
    , baudRate(baud)
    , portName(port)
    , m_retryCount(retries)
    , m_ackWaitMs(wait)
{
}

TSL::~TSL()
{
    close();
    wait();
}

int TSL::open()
{
    QSerialPort port;
    port.setPortName(portName);
    port.setBaudRate(115200);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite))
        return -1;
    port.close();
    return 0;
}

int TSL::close()
{
    const QMutexLocker locker(&m_mutex);
    stop = true;
    for (QEventLoop *wait : {m_idleWait, m_ackWait}) {
        if (wait)
            QMetaObject::invokeMethod(wait, &QEventLoop::quit, Qt::QueuedConnection);
    }
    return 0;
}

int TSL::send_frame(const QByteArray &payload, int size, int session)
{
    const QMutexLocker sendLocker(&m_sendMutex);
    m_ackCode = 0;
    if (size < 1)
        return TSL_SendResult::Error;
    if (size > TSL_Frame::maxPayloadSize || size > payload.size())
        return TSL_SendResult::PayloadTooLong;
    m_txFrame.build(payload.constData(), size, std::uint16_t(session));

    QMutexLocker locker(&m_mutex);
    // After close() nobody would serve the request.
    if (stop)
        return TSL_SendResult::Error;
    if (!isRunning())
        start();
    m_sendPending = true;
    // The idle engine starts the send now rather than at the end of its tick.
    if (m_idleWait)
        QMetaObject::invokeMethod(m_idleWait, &QEventLoop::quit, Qt::QueuedConnection);
    while (m_sendPending)
        m_waitCondition.wait(&m_mutex);
    return resultCode(m_ackCode);
}

void TSL::run()
{
    TSL_MasterThread worker;
    worker.setBaudRate(baudRate);
    connect(&worker, &TSL_MasterThread::response, this, &TSL::handleResponse, Qt::DirectConnection);
    connect(&worker, &TSL_MasterThread::error, this, &TSL::handleError, Qt::DirectConnection);
    connect(&worker, &TSL_MasterThread::timeout, this, &TSL::handleTimeout, Qt::DirectConnection);
    connect(&worker, &TSL_MasterThread::portLost, this, &TSL::TSL_portLost, Qt::DirectConnection);
    connect(&worker, &TSL_MasterThread::portRestored, this, &TSL::TSL_portRestored,
            Qt::DirectConnection);
    m_serialWorker = &worker;
    QTimer ackTimer;
    ackTimer.setSingleShot(true);
    ackTimer.setTimerType(Qt::PreciseTimer);
    m_timer = &ackTimer;

    while (!stop) {
        bool pending;
        {
            const QMutexLocker locker(&m_mutex);
            pending = m_sendPending;
        }
        if (pending) {
            sendCycle();
            const QMutexLocker locker(&m_mutex);
            m_sendPending = false;
            m_waitCondition.wakeAll();
            continue;
        }

        QEventLoop idle;
        {
            const QMutexLocker locker(&m_mutex);
            if (m_sendPending || stop)
                continue;
            m_idleWait = &idle;
        }
        // While the worker serves the port the engine sleeps until a send, close() or the
        // worker's end; connected before asking, so that an end in between is not missed.
        const QMetaObject::Connection workerEnded =
            connect(&worker, &QThread::finished, &idle, &QEventLoop::quit);
        if (worker.poll(TSL_MasterThread::noTimeLimit))
            idle.exec();
        else
            waitOnce(idle, retryTick);
        disconnect(workerEnded);
        const QMutexLocker locker(&m_mutex);
        m_idleWait = nullptr;
    }

    m_timer = nullptr;
    m_serialWorker = nullptr;
    // The caller of a send that raced with close() is released with result 8.
    const QMutexLocker locker(&m_mutex);
    m_sendPending = false;
    m_waitCondition.wakeAll();
}

void TSL::sendCycle()
{
    for (int attempt = 1; attempt <= m_retryCount && !stop; ++attempt) {
        if (TSL_Trace::enabled())
            TSL_Trace::text(QStringLiteral("/////////////////////////"));
        traceFrame(m_txFrame.frameBytes, true);
        QEventLoop attemptLoop;
        connect(this, &TSL::TSL_acked, &attemptLoop, &QEventLoop::quit);
        m_serialWorker->sendAndWait(portName, exchangeReadWait, m_txFrame.frameBytes);
        {
            const QMutexLocker locker(&m_mutex);
            if (stop)
                return;
            m_ackWait = &attemptLoop;
        }
        const bool answered = waitOnce(attemptLoop, m_ackWaitMs);
        {
            const QMutexLocker locker(&m_mutex);
            m_ackWait = nullptr;
        }
        if (answered) {
            if (endsSend(m_ackCode))
                return;
        } else {
            TSL_Trace::line(QStringLiteral("timeout waiting ack"));
        }
    }
}

// Runs the loop until it is quit or the time runs out; true when it was quit first.
bool TSL::waitOnce(QEventLoop &loop, int milliseconds)
{
    const QMetaObject::Connection expiry =
        connect(m_timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_timer->start(milliseconds);
    loop.exec();
    const bool quitEarly = m_timer->isActive();
    m_timer->stop();
    disconnect(expiry);
    return quitEarly;
}

void TSL::handleResponse(QByteArray ba)
{
    QByteArray buffer = m_leftover + ba;
    m_leftover.clear();
    while (!buffer.isEmpty()) {
        const int kind = classifyBuffer(buffer);
        if (kind == 1) {
            m_ackFrame.parse(buffer.left(TSL_AckFrame::size));
            m_ackCode = m_ackFrame.ackCode;
            // A recovery notice does not end the attempt: the frame goes again unless
            // another acknowledgement comes first.
            if (m_ackFrame.ackCode == TSL_AckFrame::recovered) {
                traceAck(m_ackFrame, false);
                emit TSL_frameRecovered(std::int16_t(m_ackFrame.sessionNumber));
            } else {
                emit TSL_acked();
                traceAck(m_ackFrame, false);
            }
            buffer.remove(0, TSL_AckFrame::size);
        } else if (kind > 1) {
            m_rxFrame.parse(buffer.left(kind));
            traceFrame(m_rxFrame.frameBytes, false);
            TSL_AckFrame ack;
            ack.build(m_rxFrame.sessionNumber);
            // Responses come from the worker, except when a harness feeds them by hand.
            if (m_serialWorker)
                m_serialWorker->sendOnly(ack.frameBytes);
            traceAck(ack, true);
            QByteArray payload = m_rxFrame.payload;
            emit TSL_frameReceived(&payload, m_rxFrame.sessionNumber);
            buffer.remove(0, kind);
        } else {
            if (TSL_Trace::enabled()) {
                TSL_Trace::line(QStringLiteral(" Invalid data :%1").arg(kind));
                TSL_Trace::line(QStringLiteral("%1 : Frame receive (Size :%2)")
                                    .arg(QTime::currentTime().msecsSinceStartOfDay())
                                    .arg(buffer.size()));
                TSL_Trace::line(QStringLiteral("<-") + TSL_Trace::hexBytes(buffer));
            }
            resynchronise(buffer);
        }
    }
}

namespace {

// Whether the frame that a start pair begins may still be completed by later bytes. A pair
// whose length byte is 0 or whose end byte is missing where the length puts it never will.
bool mayComplete(const QByteArray &buffer)
{
    if (buffer.size() > 6 && buffer.at(6) == 0)
        return false;
    if (buffer.size() <= TSL_AckFrame::size)
        return true;
    TSL_Frame frame;
    return frame.parse(buffer) == -2;
}

} // namespace

// Drops bytes up to the next start pair. A complete data frame found there is handled at
// once; an acknowledgement or a frame still to complete waits in m_leftover for the next
// response; a pair that can never begin a frame is passed over, so one broken frame cannot
// hold up the link.
void TSL::resynchronise(QByteArray &buffer)
{
    if (buffer.size() < 2) {
        buffer.clear();
        return;
    }
    for (int i = 1; i < buffer.size(); ++i) {
        if (std::uint8_t(buffer.at(i - 1)) != 0xFF || std::uint8_t(buffer.at(i)) != 0x01)
            continue;
        TSL_Trace::line(QStringLiteral(" Find Synchro:%1").arg(i));
        buffer.remove(0, i - 1);
        const int kind = classifyBuffer(buffer);
        if (kind >= 2)
            return;
        if (kind == 1 || mayComplete(buffer)) {
            m_leftover += buffer;
            buffer.clear();
            return;
        }
        i = 1;
    }
    buffer.clear();
    TSL_Trace::line(QStringLiteral(" Flush"));
}

void TSL::handleTimeout(QString s)
{
    TSL_Trace::line(QStringLiteral("==================>Timeout ... ") + s);
    emit TSL_timeout();
}

void TSL::handleError(QString s)
{
    TSL_Trace::line(QStringLiteral("==================>Error ... ") + s);
}

namespace {

// Time stamp, direction and every byte; the session's low byte and the byte before the end
// byte are marked with '+'.
QString tracedBytes(const QByteArray &bytes, bool sent)
{
    QString text = TSL_Trace::timeNow() + (sent ? QStringLiteral("->") : QStringLiteral("<-"));
    for (int i = 0; i < bytes.size(); ++i) {
        const bool marked = i == 5 || i == bytes.size() - 2;
        text += QStringLiteral("0x%1%2")
                    .arg(uint(std::uint8_t(bytes.at(i))), 0, 16)
                    .arg(marked ? QLatin1Char('+') : QLatin1Char('-'));
    }
    return text;
}

} // namespace

void TSL::traceFrame(const QByteArray &bytes, bool sent) const
{
    if (TSL_Trace::enabled())
        TSL_Trace::line(tracedBytes(bytes, sent) +
                        QStringLiteral("=> Frame (Size : %1)").arg(bytes.size()));
}

void TSL::traceAck(const TSL_AckFrame &ack, bool sent) const
{
    if (TSL_Trace::enabled())
        TSL_Trace::line(tracedBytes(ack.frameBytes, sent) +
                        QStringLiteral("=> ACK (Size : %1) %2 Session number : %3")
                            .arg(ack.frameBytes.size())
                            .arg(ack.ackCode)
                            .arg(ack.sessionNumber));
}
