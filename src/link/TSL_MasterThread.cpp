#include "TSL_MasterThread.h"

#include "TSL_Trace.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QObject>
#include <QTime>
#include <QTimer>

namespace {

constexpr int writeWait = 100;
constexpr int firstAnswerWait = 100;
constexpr int nextChunkWait = 20;
constexpr int ackSize = 9;
constexpr int retryPause = 500;

} // namespace

TSL_MasterThread::TSL_MasterThread(QObject *parent)
    : QThread(parent)
{
}

TSL_MasterThread::~TSL_MasterThread()
{
    {
        const QMutexLocker locker(&m_mutex);
        m_quit = true;
        m_requestCondition.wakeAll();
        if (m_waker)
            QMetaObject::invokeMethod(
                m_waker, [this] { stopWaiting(); }, Qt::QueuedConnection);
    }
    wait();
}

void TSL_MasterThread::setBaudRate(int baud)
{
    const QMutexLocker locker(&m_mutex);
    baudRate = baud;
}

void TSL_MasterThread::sendAndWait(const QString &name, int wait, const QByteArray &frame)
{
    const QMutexLocker locker(&m_mutex);
    m_exchangeFlag = true;
    portName = name;
    readWait = wait;
    request = frame;
    startOrWake();
}

void TSL_MasterThread::sendOnly(const QByteArray &frame)
{
    const QMutexLocker locker(&m_mutex);
    m_pollFlag = false;
    m_sendOnlyFlag = true;
    m_sendOnlyBytes += frame;
    startOrWake();
}

bool TSL_MasterThread::poll(int wait)
{
    const QMutexLocker locker(&m_mutex);
    m_pollFlag = true;
    readWait = wait;
    if (m_running)
        return true;
    if (m_portFailure.isValid() && m_portFailure.elapsed() < retryPause)
        return false;
    startOrWake();
    return true;
}

// Called with the mutex held.
void TSL_MasterThread::startOrWake()
{
    m_requestCondition.wakeAll();
    if (m_running) {
        // A poll wait in progress ends at once: it may have no time limit. A request made
        // after the worker looked for one and before its wait began still ends that wait,
        // since the wait's own loop delivers this call.
        if (m_waker && QThread::currentThread() != this)
            QMetaObject::invokeMethod(
                m_waker, [this] { stopWaiting(); }, Qt::QueuedConnection);
        return;
    }
    if (QThread::currentThread() == this)
        return;
    // The thread may still be returning from a run that ended on a port error.
    wait();
    m_running = true;
    start();
}

bool TSL_MasterThread::requestPending() const
{
    const QMutexLocker locker(&m_mutex);
    return m_quit || m_exchangeFlag || m_sendOnlyFlag;
}

TSL_MasterThread::Pass TSL_MasterThread::takePass()
{
    const QMutexLocker locker(&m_mutex);
    Pass pass;
    pass.portName = portName;
    pass.readWait = readWait;
    // Only the quit request leaves the step at None: the poll flag is always set again.
    if (m_quit) {
        pass.step = Step::None;
    } else if (m_exchangeFlag) {
        pass.step = Step::Exchange;
        pass.bytes = request;
        m_exchangeFlag = false;
    } else if (m_sendOnlyFlag) {
        pass.step = Step::SendOnly;
        pass.bytes = m_sendOnlyBytes;
        m_sendOnlyBytes.clear();
        m_sendOnlyFlag = false;
    } else if (m_pollFlag) {
        pass.step = Step::Poll;
    }
    m_pollFlag = true;
    return pass;
}

void TSL_MasterThread::run()
{
    QSerialPort port;
    QObject waker;
    connect(&port, &QSerialPort::errorOccurred, &waker,
            [this](QSerialPort::SerialPortError portError) { handlePortError(portError); });
    {
        const QMutexLocker locker(&m_mutex);
        m_waker = &waker;
    }
    m_portLost = false;
    QString portInUse;

    while (true) {
        const Pass pass = takePass();
        if (pass.step == Step::None)
            break;
        if (pass.portName.isEmpty()) {
            // Nothing to open yet: sleep until a request names the port.
            const QMutexLocker locker(&m_mutex);
            while (!m_quit && portName.isEmpty())
                m_requestCondition.wait(&m_mutex);
            continue;
        }
        if (pass.portName != portInUse || !port.isOpen()) {
            if (!openPort(port, pass.portName)) {
                notePortFailure();
                notePortUnavailable(pass.portName);
                emit error(
                    tr("Can't open %1, error code %2").arg(pass.portName).arg(int(port.error())));
                break;
            }
            portInUse = pass.portName;
            m_portAvailable = true;
            if (m_portVanished) {
                m_portVanished = false;
                emit portRestored(portInUse);
            }
        }

        switch (pass.step) {
        case Step::Exchange:
            exchange(port, pass.bytes);
            break;
        case Step::SendOnly:
            writeOnly(port, pass.bytes);
            break;
        case Step::Poll:
            pollPort(port, pass.readWait);
            break;
        case Step::None:
            break;
        }

        if (m_portLost) {
            const int code = int(port.error());
            port.close();
            m_extractor.clear();
            m_setAsideFrames.clear();
            notePortFailure();
            notePortUnavailable(portInUse);
            emit error(tr("Lost %1, error code %2").arg(portInUse).arg(code));
            break;
        }
    }

    if (port.isOpen())
        port.close();
    const QMutexLocker locker(&m_mutex);
    m_waker = nullptr;
    m_running = false;
}

void TSL_MasterThread::notePortFailure()
{
    const QMutexLocker locker(&m_mutex);
    m_portFailure.start();
}

// Reported once per disappearance, however many reopening attempts fail after it.
void TSL_MasterThread::notePortUnavailable(const QString &name)
{
    if (!m_portAvailable)
        return;
    m_portAvailable = false;
    m_portVanished = true;
    emit portLost(name);
}

bool TSL_MasterThread::openPort(QSerialPort &port, const QString &name)
{
    port.close();
    m_extractor.clear();
    m_setAsideFrames.clear();
    int baud;
    {
        const QMutexLocker locker(&m_mutex);
        baud = baudRate;
    }
    port.setPortName(name);
    port.setBaudRate(baud);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

void TSL_MasterThread::exchange(QSerialPort &port, const QByteArray &frame)
{
    port.write(frame);
    if (port.bytesToWrite() > 0 && !port.waitForBytesWritten(writeWait)) {
        emit timeout(tr("%1 Wait write request timeout").arg(TSL_Trace::timeNow()));
        return;
    }
    QByteArray answer = readFrame(port, firstAnswerWait, false);
    // Frames that came before the acknowledgement are kept for the following polls.
    while (!answer.isEmpty() && answer.size() != ackSize) {
        m_setAsideFrames << answer;
        answer = m_extractor.extractFrame();
    }
    if (answer.isEmpty()) {
        emit timeout(tr("%1 Wait read after write response timeout").arg(TSL_Trace::timeNow()));
        return;
    }
    emit response(answer);
}

void TSL_MasterThread::writeOnly(QSerialPort &port, const QByteArray &bytes)
{
    const qint64 written = port.write(bytes);
    port.flush();
    if (written != bytes.size())
        emit timeout(tr("Invalid write %1").arg(QTime::currentTime().toString(Qt::TextDate)));
}

void TSL_MasterThread::pollPort(QSerialPort &port, int wait)
{
    if (!m_setAsideFrames.isEmpty()) {
        emit response(m_setAsideFrames.takeFirst());
        return;
    }
    const QByteArray frame = readFrame(port, wait, true);
    if (!frame.isEmpty())
        emit response(frame);
}

QByteArray TSL_MasterThread::readFrame(QSerialPort &port, int firstWait, bool interruptible)
{
    QByteArray frame = m_extractor.extractFrame();
    if (!frame.isEmpty())
        return frame;
    if (!waitForBytes(port, firstWait, interruptible))
        return QByteArray();
    frame = m_extractor.extractFrame(port.readAll());
    while (frame.isEmpty()) {
        if (!waitForBytes(port, nextChunkWait, interruptible))
            return QByteArray();
        frame = m_extractor.extractFrame(port.readAll());
    }
    return frame;
}

bool TSL_MasterThread::waitForBytes(QSerialPort &port, int milliseconds, bool interruptible)
{
    if (port.bytesAvailable() > 0)
        return true;
    if (m_portLost || milliseconds == 0 || (interruptible && requestPending()))
        return false;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&port, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
    m_currentWait = &loop;
    m_currentWaitInterruptible = interruptible;
    if (milliseconds > 0)
        timer.start(milliseconds);
    loop.exec();
    m_currentWait = nullptr;
    return port.bytesAvailable() > 0;
}

void TSL_MasterThread::stopWaiting()
{
    const bool quitting = [this] {
        const QMutexLocker locker(&m_mutex);
        return m_quit;
    }();
    if (m_currentWait && (m_currentWaitInterruptible || quitting))
        m_currentWait->quit();
}

void TSL_MasterThread::handlePortError(QSerialPort::SerialPortError portError)
{
    // A vanished device shows up as read or resource errors, again and again; timed-out
    // waits are reported as errors too and mean nothing here.
    if (portError != QSerialPort::ReadError && portError != QSerialPort::ResourceError)
        return;
    m_portLost = true;
    if (m_currentWait)
        m_currentWait->quit();
}
