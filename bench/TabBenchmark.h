#pragma once

#include <QString>
#include <QStringList>

// Measures the reader tabs in the window thread: what one received frame costs when it is
// shown, analysed and logged, whether eight serial readers flooding the window at once stall
// its event loop or lose frames on the way to the logs, and (ConnectBenchmark) connecting.
class TabBenchmark
{
public:
    // The names of the runs, in the order "all" takes them.
    static QStringList runNames();

    // Frames per second that each simulated reader sends in the flood, and for how long.
    void setFloodRate(int framesPerSecond) { m_floodRate = framesPerSecond; }
    void setFloodSeconds(double seconds) { m_floodSeconds = seconds; }

    // Runs one by name, or all of them; false when a target is missed or a run fails.
    bool run(const QString &name);

private:
    bool frameCost();
    bool flood();

    int m_floodRate = 575;
    double m_floodSeconds = 10;
};
