#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>

class QObject;

// Connection types; the values are bits.
enum ReaderType : std::uint32_t
{
    READER_IP = 1,
    READER_SERIAL = 2,
    READER_BLUETOOTH = 4
};

enum ReaderState : std::int32_t
{
    STATE_DEFAULT = 0,
    STATE_INIT = 1,
    STATE_CONNECTED = 2,
    STATE_DISCONNECTED = 3,
    STATE_DISCOVER = 4,
    STATE_ERROR = 5,
    STATE_OTA = 6,
    STATE_OK = 7
};

// One configured reader: a plain fixed-size record, copied by value. Text fields are
// NUL-terminated byte strings.
struct t_Reader
{
    std::uint32_t type;
    std::int32_t state;
    char name[64];

    // IP part
    char ipAddress[16];
    // The gateway's radio address when gateway discovery added the reader, else 0.
    std::uint32_t discoveredAddress;
    std::uint32_t ipReserved;
    std::uint32_t ipPort;
    std::uint32_t ipSettings[4];

    // Serial part
    char comPort[16];
    std::uint32_t serialSettings[3];
    std::int32_t baudRate;
    std::uint8_t serialFlags[5];
    std::uint32_t serialWord;
    std::uint32_t serialReserved[2];

    // The link of a connected reader (TSL_CMD or TSL_CMD_TCP); not owned.
    QObject *link;
};

// "Default", "Connected", ... for a state value; empty outside 0 to 7.
QString readerStateText(std::int32_t state);
// What the readers table offers to do: "Connect", "Disconnect" or "Cancel".
QString readerActionText(std::int32_t state);

// Copies text into a fixed field, cut to fit with its terminating NUL.
template<std::size_t Size>
void setReaderText(char (&field)[Size], const QByteArray &text)
{
    const int length = qMin(text.size(), int(Size) - 1);
    std::copy(text.constData(), text.constData() + length, field);
    std::fill(field + length, field + Size, '\0');
}

// A fixed text field as bytes, up to its NUL.
template<std::size_t Size>
QByteArray readerText(const char (&field)[Size])
{
    return QByteArray(field, int(qstrnlen(field, Size)));
}
