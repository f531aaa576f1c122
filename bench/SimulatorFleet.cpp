#include "SimulatorFleet.h"

#include <QStringList>

namespace {

constexpr int startMs = 5000;

} // namespace

SimulatorFleet::~SimulatorFleet()
{
    stop();
}

bool SimulatorFleet::start(int count, int framesPerSecond, int frames, const QByteArray &prefix)
{
    QStringList arguments{QStringLiteral("--serial")};
    if (framesPerSecond > 0)
        arguments << QStringLiteral("--unsolicited-rate") << QString::number(framesPerSecond)
                  << QStringLiteral("--unsolicited-count") << QString::number(frames)
                  << QStringLiteral("--unsolicited-prefix") << QString::fromLatin1(prefix.toHex())
                  << QStringLiteral("--start-on-input");
    for (int i = 0; i < count; ++i) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The readers stand for devices with processors of their own: they yield the machine's
        // processors to the workbench.
        process->start(
            QStringLiteral("nice"),
            QStringList{QStringLiteral("-n"), QStringLiteral("15"), QStringLiteral(OVS_SIM_PATH)} +
                arguments);
        QString port;
        if (process->waitForStarted(startMs) && process->waitForReadyRead(startMs)) {
            const QString line = QString::fromLatin1(process->readLine()).trimmed();
            if (line.startsWith(QLatin1String("serial: ")))
                port = line.mid(8);
        }
        m_processes.push_back(std::move(process));
        if (port.isEmpty())
            return false;
        m_ports.push_back(port);
    }
    return true;
}

QString SimulatorFleet::readerName(const QString &namePrefix, int index) const
{
    return namePrefix + QString::number(index + 1);
}

QByteArray SimulatorFleet::readersFile(const QString &namePrefix) const
{
    QByteArray file;
    for (int i = 0; i < size(); ++i)
        file += "Serial;" + readerName(namePrefix, i).toLatin1() + ';' +
                m_ports[std::size_t(i)].toLatin1() + ";115200;000000000000;\n";
    return file;
}

void SimulatorFleet::go()
{
    for (const auto &process : m_processes)
        process->write("go\n");
}

void SimulatorFleet::stop()
{
    for (const auto &process : m_processes)
        process->terminate();
    for (const auto &process : m_processes)
        if (!process->waitForFinished(startMs))
            process->kill();
    m_processes.clear();
    m_ports.clear();
}
