#include "RunLogSink.h"

#include "RunOutput.h"
#include "project/ProjectPaths.h"

RunLogSink::RunLogSink(RunOutput *output)
    : m_output(output)
{
    m_logFile.open(ProjectPaths::mergedLogPath());
}

void RunLogSink::addPacketToTable(readerPacket_t &dataPacket)
{
    Q_UNUSED(dataPacket)
}

void RunLogSink::addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                                    const PacketLogFile::MatchList &matchList)
{
    m_logFile.writePacket(dataPacket, dateTime, matchList);
    m_output->frame(dataPacket, dateTime, matchList);
    if (packetLogged)
        packetLogged(dataPacket);
}
