#include "UnsolicitedFlood.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Unpaced runs yield to the event loop after this many payloads, so that the PC's
// acknowledgements and blocking calls into the simulator thread get through.
constexpr int batchSize = 64;

} // namespace

UnsolicitedFlood::UnsolicitedFlood(Ready ready, Send send, QObject *parent)
    : QObject(parent)
    , m_ready(std::move(ready))
    , m_send(std::move(send))
    , m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &UnsolicitedFlood::pump);
}

void UnsolicitedFlood::start(int count, int perSecond, const QByteArray &prefix)
{
    m_timer->stop();
    m_count = std::max(count, 0);
    m_next = 0;
    m_perSecond = std::max(perSecond, 0);
    m_prefix = prefix;
    m_clock.start();
    if (m_perSecond > 0)
        m_timer->start(std::clamp(1000 / m_perSecond, 1, 100));
    pump();
}

void UnsolicitedFlood::stop()
{
    m_timer->stop();
    m_count = m_next;
}

void UnsolicitedFlood::resume()
{
    if (m_perSecond > 0 || m_next >= m_count || m_pumpQueued)
        return;
    m_pumpQueued = true;
    QTimer::singleShot(0, this, &UnsolicitedFlood::pump);
}

void UnsolicitedFlood::sendNext()
{
    QByteArray payload = m_prefix;
    const auto sequence = quint32(m_next++);
    for (int shift = 24; shift >= 0; shift -= 8)
        payload.append(char(sequence >> shift & 0xFF));
    m_send(payload);
}

void UnsolicitedFlood::pump()
{
    m_pumpQueued = false;
    if (m_perSecond > 0) {
        // The first payload goes at once, the others when their time has come.
        const qint64 due = 1 + m_clock.elapsed() * m_perSecond / 1000;
        while (m_next < m_count && m_next < due)
            sendNext();
    } else {
        for (int sent = 0; sent < batchSize && m_next < m_count && m_ready(); ++sent)
            sendNext();
        if (m_ready())
            resume();
    }
    if (m_next >= m_count)
        m_timer->stop();
}
