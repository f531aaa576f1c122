#include "readerPacket_t.h"

void registerReaderPacketType()
{
    qRegisterMetaType<readerPacket_t>("readerPacket_t");
    qRegisterMetaType<readerPacket_t>("readerPacket_t&");
}
