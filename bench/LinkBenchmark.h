#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Measures the link layer against the reader simulator: send latency over a pseudo-terminal
// and over loopback TCP, retransmission timing, receive throughput, acknowledgement
// latency on a paced line, idle processor time and memory after many frames.
class LinkBenchmark
{
public:
    // The names of the runs, in the order "all" takes them.
    static QStringList runNames();
    // Runs one by name, or all of them; false when a target is missed or a run fails.
    bool run(const QString &name);

private:
    bool sendCycle();
    bool tcpWrite();
    bool retransmission();
    bool flood();
    bool pacedFlood();
    bool idle();
    bool memory();

    void report(const QString &line) const;
};
