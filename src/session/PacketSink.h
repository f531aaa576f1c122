#pragma once

#include "PacketLogFile.h"
#include "readerPacket_t.h"

#include <QString>

// Where every reader session also hands its packets: the merged table and log of all readers.
class PacketSink
{
public:
    virtual void addPacketToTable(readerPacket_t &dataPacket) = 0;
    virtual void addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                                    const PacketLogFile::MatchList &matchList) = 0;

protected:
    ~PacketSink() = default;
};
