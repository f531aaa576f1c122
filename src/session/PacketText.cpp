#include "PacketText.h"

#include "common/StatusLine.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <array>
#include <cstdio>

namespace PacketText {

const QString nak = QStringLiteral("NAK");
const QString received = QStringLiteral("Received");
const QString answered = QStringLiteral("Answered");
const QString sent = QStringLiteral("Sent");
const QString buffered = QStringLiteral("Buffered");
const QString dropped = QStringLiteral("Dropped");
const QString recovered = QStringLiteral("Recovered");
const QString inProgress = QStringLiteral("In progress");
const QString retried = QStringLiteral("Retried");
const QString payloadTooLong = QStringLiteral("Payload too long");
const QString payloadTooShort = QStringLiteral("Payload too short");
const QString sessionNumberError = QStringLiteral("Session number error");
const QString rejected = QStringLiteral("Rejected");
const QString error = QStringLiteral("Error");

namespace {

const QString stampFormat = QStringLiteral("ddd yyyy-MM-dd HH:mm:ss:zzz");

QLocale stampLocale()
{
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

} // namespace

QString sendResultStatus(int code)
{
    static const std::array<const QString *, 9> table = {
        &payloadTooLong, &payloadTooShort, &nak,      &sessionNumberError,
        &sent,           &buffered,        &rejected, &sent,
        &error};
    return code >= 0 && code < int(table.size()) ? *table[std::size_t(code)] : error;
}

QDateTime localNow()
{
    thread_local qint64 offsetKnownUntilMs = 0;
    thread_local qint64 offsetKnownFromMs = 0;
    thread_local int offsetSeconds = 0;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (nowMs >= offsetKnownUntilMs || nowMs < offsetKnownFromMs) {
        offsetSeconds = QDateTime::fromMSecsSinceEpoch(nowMs, Qt::LocalTime).offsetFromUtc();
        offsetKnownFromMs = nowMs / 1000 * 1000;
        offsetKnownUntilMs = offsetKnownFromMs + 1000;
    }
    return QDateTime::fromMSecsSinceEpoch(nowMs, Qt::OffsetFromUTC, offsetSeconds);
}

QString stamp(const QDateTime &dateTime)
{
    static const char dayNames[7][4] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    if (!date.isValid() || !time.isValid() || date.year() < 0 || date.year() > 9999)
        return stampLocale().toString(dateTime, stampFormat);
    char text[32];
    const int length =
        std::snprintf(text, sizeof text, "%s %04d-%02d-%02d %02d:%02d:%02d:%03d",
                      dayNames[date.dayOfWeek() - 1], date.year(), date.month(), date.day(),
                      time.hour(), time.minute(), time.second(), time.msec());
    return QString::fromLatin1(text, length);
}

QString displayTime(const QDateTime &dateTime)
{
    const QTime rounded = StatusLine::roundedToTenth(dateTime.time());
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%02d:%02d:%02d.%d", rounded.hour(),
                                     rounded.minute(), rounded.second(), rounded.msec() / 100);
    return QString::fromLatin1(text, length);
}

QString toDisplayTime(const QString &stampText)
{
    const QDateTime parsed = stampLocale().toDateTime(stampText, stampFormat);
    QString text =
        parsed.isValid()
            ? StatusLine::roundedToTenth(parsed.time()).toString(QStringLiteral("HH:mm:ss.zzz"))
            : stampText;
    text.chop(2);
    return text;
}

QString spaceHexPairs(const QString &command)
{
    QString spaced;
    spaced.reserve(command.size() * 3 / 2);
    for (int i = 0; i < command.size(); i += 2) {
        if (i > 0)
            spaced += QLatin1Char(' ');
        spaced += QStringView(command).mid(i, 2);
    }
    return spaced;
}

namespace {

int hexDigitValue(char16_t code)
{
    if (code >= u'0' && code <= u'9')
        return code - u'0';
    if (code >= u'a' && code <= u'f')
        return code - u'a' + 10;
    if (code >= u'A' && code <= u'F')
        return code - u'A' + 10;
    return -1;
}

} // namespace

QByteArray hexToBytes(const QString &command)
{
    QByteArray bytes;
    bytes.reserve(command.size() / 2);
    int high = -1;
    for (const QChar character : command) {
        const int value = hexDigitValue(character.unicode());
        if (value < 0)
            continue;
        if (high < 0) {
            high = value;
        } else {
            bytes.append(char(high << 4 | value));
            high = -1;
        }
    }
    return bytes;
}

QString bytesToHexText(const QByteArray &bytes, const QString &separator)
{
    QString text;
    text.reserve(bytes.size() * (2 + separator.size()));
    for (char byte : bytes)
        text +=
            QStringLiteral("%1").arg(uint(std::uint8_t(byte)), 2, 16, QLatin1Char('0')).toUpper() +
            separator;
    return text;
}

QColor rowColor(std::uint16_t sessionNumber)
{
    static const std::array<QColor, 4> ordinary = {QColor(232, 251, 249), QColor(166, 238, 227),
                                                   QColor(117, 230, 224), QColor(33, 209, 191)};
    static const std::array<QColor, 4> other = {QColor(240, 251, 219), QColor(221, 243, 154),
                                                QColor(211, 238, 104), QColor(173, 228, 27)};
    const auto &palette = sessionNumber < 32767 ? ordinary : other;
    return palette[sessionNumber % 4];
}

} // namespace PacketText
