#pragma once

#include <QString>
#include <QStringList>

// Measures the window: what one received frame costs its thread when it is shown, analysed
// and logged, whether many serial readers flooding it at once stall its event loop or lose
// frames on the way to the logs, what idle readers cost, starting, memory, connecting,
// scripts and firmware upgrades.
class TabBenchmark
{
public:
    // The names of the runs, in the order "all" takes them.
    static QStringList runNames();

    // Frames per second that each simulated reader sends in the flood, and for how long.
    void setFloodRate(int framesPerSecond) { m_floodRate = framesPerSecond; }
    void setFloodSeconds(double seconds) { m_floodSeconds = seconds; }
    // The number of readers of the flood and idle runs; 0 takes each run's own.
    void setReaders(int readers) { m_readers = readers; }
    void setMemoryFrames(int frames) { m_memoryFrames = frames; }
    // This program, which the start-up run starts again.
    void setProgram(const QString &program) { m_program = program; }

    // Runs one by name, or all of them; false when a target is missed or a run fails.
    bool run(const QString &name);

private:
    bool frameCost();

    int m_floodRate = 575;
    double m_floodSeconds = 10;
    int m_readers = 0;
    int m_memoryFrames = 1000000;
    QString m_program;
};
