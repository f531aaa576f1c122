#pragma once

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QString>

#include <cstdint>

// The shared vocabulary of packets: status texts, the send-result table, the text forms of
// times and frames, and the row colours.
namespace PacketText {

extern const QString nak;
extern const QString received;
extern const QString answered;
extern const QString sent;
extern const QString buffered;
extern const QString dropped;
extern const QString recovered;
extern const QString inProgress;
extern const QString retried;
extern const QString payloadTooLong;
extern const QString payloadTooShort;
extern const QString sessionNumberError;
extern const QString rejected;
extern const QString error;

// The status that a link's send result code stands for; "Error" outside 0 to 8.
QString sendResultStatus(int code);

// The local time now. Every packet reads the clock, and a local time costs a time-zone check
// per call, so the offset from UTC is looked up at most once a second per thread.
QDateTime localNow();
// "ddd yyyy-MM-dd HH:mm:ss:zzz", English day names: the stamp that toDisplayTime reads.
QString stamp(const QDateTime &dateTime);
// "HH:mm:ss.z", rounded to tenths; a stamp that does not parse is only cut by two characters.
QString toDisplayTime(const QString &stamp);
// The same as toDisplayTime(stamp(dateTime)), without the round trip through text.
QString displayTime(const QDateTime &dateTime);

// "0A1B2C" gives "0A 1B 2C".
QString spaceHexPairs(const QString &command);
// The bytes of a hexadecimal command, paired from the left: "0A1" gives 0A, the bytes that
// its spaceHexPairs text begins with. Other characters are passed over.
QByteArray hexToBytes(const QString &command);
// Every byte as two upper-case digits followed by the separator, the last one included.
QString bytesToHexText(const QByteArray &bytes, const QString &separator);

// The background of a table row, by session number: one palette for the ordinary sessions
// below 32767 and one for the others.
QColor rowColor(std::uint16_t sessionNumber);

} // namespace PacketText
