#pragma once

#include <QtGlobal>

// A loopback TCP port that takes no connection: its listener never accepts and its accept
// queue is full, so a connection attempt hangs as it does towards an address that does not
// answer. POSIX only.
class UnansweredListener
{
public:
    UnansweredListener();
    ~UnansweredListener();
    UnansweredListener(const UnansweredListener &) = delete;
    UnansweredListener &operator=(const UnansweredListener &) = delete;

    // 0 when the listener could not be set up.
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    quint16 m_port = 0;
};
