#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QTimer;

// Sends a run of numbered payloads (prefix + 4-byte big-endian sequence number), either
// at a fixed rate or, with a rate of 0, as fast as the line takes them.
class UnsolicitedFlood : public QObject
{
    Q_OBJECT

public:
    using Ready = std::function<bool()>;
    using Send = std::function<void(const QByteArray &payload)>;

    UnsolicitedFlood(Ready ready, Send send, QObject *parent = nullptr);

    void start(int count, int perSecond, const QByteArray &prefix);
    void stop();
    // The line has room again; only unpaced runs wait for this.
    void resume();

private:
    void sendNext();
    void pump();

    Ready m_ready;
    Send m_send;
    QTimer *m_timer;
    QElapsedTimer m_clock;
    QByteArray m_prefix;
    int m_count = 0;
    int m_next = 0;
    int m_perSecond = 0;
    bool m_pumpQueued = false;
};
