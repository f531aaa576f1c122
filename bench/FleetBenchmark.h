#pragma once

// Many serial readers, simulated in processes of their own, connected to a shown main window
// with both logs and 50 pattern rules analysing: whether a flood from all of them at once is
// shown and logged without loss or stall, what the window thread spends on it, and what the
// same readers cost when they send nothing.
class FleetBenchmark
{
public:
    FleetBenchmark(int readers, int framesPerSecond, double seconds);

    // False when a target is missed or the run fails.
    bool flood();
    bool idle();

private:
    int m_readers;
    int m_framesPerSecond;
    double m_seconds;
};
