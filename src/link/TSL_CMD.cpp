#include "TSL_CMD.h"

#include "TSL.h"
#include "TSL_Trace.h"

#include <QElapsedTimer>
#include <QMutexLocker>

namespace {

constexpr int retries = 3;
constexpr int ackWaitMs = 1000;
constexpr int startupExchangeMs = 800;
constexpr int lastSession = 32766;

const QByteArray addressRequest = QByteArray::fromHex("010602");
const QByteArray uartConfigurationRequest = QByteArray::fromHex("010106");
const QByteArray uartConfigurationWrite = QByteArray::fromHex("010107");

// Bits 0 and 1 of the third configuration byte switch the reader's acknowledgements on.
constexpr char ackBits = 0x03;

} // namespace

TSL_CMD::TSL_CMD(const QString &portName, int baudRate, QObject *parent)
    : QObject(parent)
    , engine(new TSL(portName, baudRate, retries, ackWaitMs))
{
    TSL_Trace::debug(QStringLiteral("Baudrate = %1").arg(baudRate));
    // The engine's array lives only during its emission, which runs in the serial worker's
    // thread: copy it there and hand the copy to this object's thread.
    connect(
        engine, &TSL::TSL_frameReceived, this,
        [this](QByteArray *appPayload, int session) {
            queueArrival({*appPayload, session, false});
        },
        Qt::DirectConnection);
    connect(
        engine, &TSL::TSL_frameRecovered, this,
        [this](int session) {
            queueArrival({QByteArray(), session, true});
        },
        Qt::DirectConnection);
    connect(engine, &TSL::TSL_portLost, this, &TSL_CMD::portLost);
    connect(engine, &TSL::TSL_portRestored, this, &TSL_CMD::portRestored);
}

TSL_CMD::~TSL_CMD()
{
    engine->close();
    engine->wait();
    delete engine;
}

int TSL_CMD::open()
{
    {
        const QMutexLocker locker(&m_answerMutex);
        // A closed link stays off the port, which may be another link's by now.
        if (m_closed)
            return -1;
        m_opening = true;
    }
    const int result = engine->open();
    if (result != 0)
        TSL_Trace::line(QStringLiteral("Unable to open"));
    {
        const QMutexLocker locker(&m_answerMutex);
        m_opened = result == 0;
        m_opening = false;
        m_answerCondition.wakeAll();
    }
    const QMutexLocker locker(&m_sessionMutex);
    m_sessionCounter = 0;
    return result;
}

void TSL_CMD::close()
{
    {
        const QMutexLocker locker(&m_answerMutex);
        m_closed = true;
        m_answerCondition.wakeAll();
    }
    engine->close();
}

void TSL_CMD::waitUntilClosed()
{
    {
        QMutexLocker locker(&m_answerMutex);
        while (m_opening)
            m_answerCondition.wait(&m_answerMutex);
    }
    engine->wait();
}

bool TSL_CMD::isConnected() const
{
    const QMutexLocker locker(&m_answerMutex);
    return m_opened && !m_closed;
}

int TSL_CMD::nextSession()
{
    const QMutexLocker locker(&m_sessionMutex);
    const int session = m_sessionCounter;
    m_sessionCounter = session + 1 > lastSession ? 0 : session + 1;
    return session;
}

int TSL_CMD::send_frame(const QByteArray &payload, int size, int &sessionOut)
{
    if (TSL_Trace::enabled())
        TSL_Trace::text(QStringLiteral("%1 CMD ********* send_frame : Size : %2 ")
                            .arg(TSL_Trace::timeNow())
                            .arg(size));
    sessionOut = nextSession();
    return engine->send_frame(payload, size, sessionOut);
}

int TSL_CMD::sessionNumber() const
{
    const QMutexLocker locker(&m_sessionMutex);
    return m_sessionCounter;
}

QByteArray TSL_CMD::address() const
{
    const QMutexLocker locker(&m_answerMutex);
    return m_readerAddress;
}

QByteArray TSL_CMD::uartConfiguration() const
{
    const QMutexLocker locker(&m_answerMutex);
    return m_uartConfig;
}

// The exchange ends with its first answer, or with the acknowledgement when no answer is
// awaited; without one it lasts the exchange time, or the send cycle if that took longer.
int TSL_CMD::runStartupExchange(const QByteArray &request, AnswerSlot answerSlot)
{
    QMetaObject::Connection answer;
    {
        const QMutexLocker locker(&m_answerMutex);
        m_exchangeAnswered = false;
    }
    if (answerSlot)
        answer = connect(engine, &TSL::TSL_frameReceived, this, answerSlot, Qt::DirectConnection);
    QElapsedTimer clock;
    clock.start();
    const int result = engine->send_frame(request, request.size(), nextSession());
    TSL_Trace::line(QStringLiteral("CMD *********************** Ret :%1").arg(result));
    if (answerSlot) {
        QMutexLocker locker(&m_answerMutex);
        for (qint64 left = startupExchangeMs - clock.elapsed();
             !m_exchangeAnswered && !m_closed && left > 0;
             left = startupExchangeMs - clock.elapsed())
            m_answerCondition.wait(&m_answerMutex, quint64(left));
        // Later frames are no answers of this exchange.
        m_exchangeAnswered = true;
        locker.unlock();
        disconnect(answer);
    }
    return result;
}

// Called with m_answerMutex held.
bool TSL_CMD::takeAnswer()
{
    if (m_exchangeAnswered)
        return false;
    m_exchangeAnswered = true;
    m_answerCondition.wakeAll();
    return true;
}

int TSL_CMD::request_address()
{
    return runStartupExchange(addressRequest, &TSL_CMD::read_address);
}

void TSL_CMD::read_address(QByteArray *appPayload, int session)
{
    TSL_Trace::line(QStringLiteral("CMD *********************** read address : %1 Size : %2")
                        .arg(session)
                        .arg(appPayload->size()));
    const QMutexLocker locker(&m_answerMutex);
    if (appPayload->size() > 6 && takeAnswer())
        m_readerAddress = appPayload->mid(3, 4);
}

void TSL_CMD::request_ack_conf()
{
    {
        const QMutexLocker locker(&m_answerMutex);
        m_uartConfig = QByteArray(3, 0);
    }
    runStartupExchange(uartConfigurationRequest, &TSL_CMD::recover_reader_ack_conf);

    QByteArray configuration = uartConfiguration();
    if (configuration == QByteArray(3, 0))
        return;
    if ((configuration.at(2) & ackBits) == ackBits)
        return;
    configuration[2] = char(configuration.at(2) | ackBits);
    {
        const QMutexLocker locker(&m_answerMutex);
        m_uartConfig = configuration;
    }
    runStartupExchange(uartConfigurationWrite + configuration, nullptr);
}

void TSL_CMD::recover_reader_ack_conf(QByteArray *appPayload, int session)
{
    TSL_Trace::line(QStringLiteral("CMD *********************** Get Uart config : %1 Size : %2")
                        .arg(session)
                        .arg(appPayload->size()));
    const QMutexLocker locker(&m_answerMutex);
    if (appPayload->size() > 5 && takeAnswer())
        m_uartConfig = appPayload->mid(3, 3);
}

// Frames and recovery notices wait in one queue, in their order; one queued call takes all
// that came until it runs, so a flood costs this object's thread one event per pass of its
// loop rather than one per frame. The queue dies with the object.
void TSL_CMD::queueArrival(Arrival arrival)
{
    const QMutexLocker locker(&m_arrivalMutex);
    m_arrivals.push_back(std::move(arrival));
    if (m_deliveryPosted)
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, &TSL_CMD::deliverArrivals, Qt::QueuedConnection);
}

// One at a time from the queue, so that a receiver running an event loop of its own, and a
// delivery inside it, still hands out the rest in order. A call takes only what had come when
// it began: arrivals after that post the next call, and a flood cannot hold the thread here.
void TSL_CMD::deliverArrivals()
{
    std::size_t due;
    {
        const QMutexLocker locker(&m_arrivalMutex);
        m_deliveryPosted = false;
        due = m_arrivals.size();
    }
    for (; due > 0; --due) {
        Arrival arrival;
        {
            const QMutexLocker locker(&m_arrivalMutex);
            if (m_arrivals.empty())
                return;
            arrival = std::move(m_arrivals.front());
            m_arrivals.pop_front();
        }
        if (arrival.recovered)
            propagateRecoveredSignal(arrival.session);
        else
            propagateReceiveSignal(&arrival.payload, arrival.session);
    }
}

void TSL_CMD::propagateReceiveSignal(QByteArray *appPayload, int session)
{
    if (m_handingUp)
        emit frameReceived(appPayload, session);
}

void TSL_CMD::propagateRecoveredSignal(int session)
{
    if (m_handingUp)
        emit frameRecovered(session);
}
