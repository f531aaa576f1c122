#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// How long the event loop of the calling thread was stuck: the longest time between two ticks
// of a short timer, counted from start() to stop().
class StallMeter : public QObject
{
    Q_OBJECT

public:
    explicit StallMeter(int tickMs = 10, QObject *parent = nullptr);

    void start();
    // The longest stall in milliseconds; a stall still going on at the end counts as well.
    double stop();
    double longestMs() const { return m_longestNs / 1e6; }
    // When the longest stall began, in milliseconds after start().
    double longestStartMs() const { return m_longestStartNs / 1e6; }

private:
    void tick();
    void note(qint64 now);

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
    qint64 m_longestStartNs = 0;
};
