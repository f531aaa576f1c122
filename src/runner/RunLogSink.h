#pragma once

#include "session/PacketLogFile.h"
#include "session/PacketSink.h"

#include <functional>

class RunOutput;

// The bench runner's merged side of every packet: the project's merged log, as the window's
// merged tab writes it, and the runner's output; packetLogged hears of each one.
class RunLogSink : public PacketSink
{
public:
    explicit RunLogSink(RunOutput *output);

    std::function<void(const readerPacket_t &)> packetLogged;

    void addPacketToTable(readerPacket_t &dataPacket) override;
    void addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                            const PacketLogFile::MatchList &matchList) override;

private:
    RunOutput *m_output;
    PacketLogFile m_logFile;
};
