#pragma once

#include <QMetaType>
#include <QString>

#include <cstdint>

// One frame sent to or received from a reader, as the tables and the logs show it.
struct readerPacket_t
{
    QString readerName;
    // "HH:mm:ss.z"
    QString time;
    // "Tx" or "Rx"
    QString direction;
    // Hexadecimal text; empty for a recovered frame.
    QString frame;
    QString status;
    std::uint16_t sessionNumber = 0;
    // An acknowledgement rather than an application frame.
    bool cntlFrame = false;
};

Q_DECLARE_METATYPE(readerPacket_t)

// Lets packets travel through queued connections; call once before the first one.
void registerReaderPacketType();
