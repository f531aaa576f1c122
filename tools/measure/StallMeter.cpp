#include "StallMeter.h"

#include <algorithm>

StallMeter::StallMeter(int tickMs, QObject *parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(tickMs);
    connect(&m_timer, &QTimer::timeout, this, &StallMeter::tick);
}

void StallMeter::start()
{
    m_clock.start();
    m_lastNs = 0;
    m_longestNs = 0;
    m_longestStartNs = 0;
    m_timer.start();
}

double StallMeter::stop()
{
    m_timer.stop();
    note(m_clock.nsecsElapsed());
    return longestMs();
}

void StallMeter::tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    note(now);
    m_lastNs = now;
}

void StallMeter::note(qint64 now)
{
    if (now - m_lastNs <= m_longestNs)
        return;
    m_longestNs = now - m_lastNs;
    m_longestStartNs = m_lastNs;
}
