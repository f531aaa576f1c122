#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <memory>
#include <vector>

// Simulated serial readers in processes of their own, so that what they cost is not counted
// against the workbench that talks to them.
class SimulatorFleet
{
public:
    ~SimulatorFleet();

    // Starts count simulators; those with framesPerSecond > 0 hold their frames back until
    // go(). False when one does not come up.
    bool start(int count, int framesPerSecond = 0, int frames = 0,
               const QByteArray &prefix = QByteArray());
    // The readers file of the fleet: readers namePrefix1, namePrefix2, ... at 115200 baud.
    QByteArray readersFile(const QString &namePrefix) const;
    QString readerName(const QString &namePrefix, int index) const;
    int size() const { return int(m_processes.size()); }
    void go();
    void stop();

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::vector<QString> m_ports;
};
