#include "DeviceClock.h"

#include <QDate>
#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QTime>
#include <QTimeZone>

namespace DeviceClock {

namespace {

constexpr int minimumHours = -12;
constexpr int maximumHours = 14;
constexpr int secondsPerHour = 3600;

} // namespace

QDateTime systemNow()
{
    return QDateTime::currentDateTimeUtc();
}

QString rtcValue(qint64 offsetSeconds, const QDateTime &now)
{
    static const QDateTime epoch(QDate(2010, 1, 1), QTime(0, 0), Qt::UTC);
    const qint64 seconds = qMax<qint64>(0, epoch.secsTo(now) + offsetSeconds);
    return QString::number(seconds, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

QString expandPlaceholders(QString line, const QDateTime &now, bool *offsetsValid)
{
    static const QRegularExpression token(QStringLiteral("\"RTC([\\+\\-][0-9]{1,2})?\""));
    bool valid = true;
    // A value holds no quote, so every round removes a token for good.
    for (QRegularExpressionMatch match = token.match(line); match.hasMatch();
         match = token.match(line)) {
        const int hours = match.captured(1).toInt();
        valid = valid && hours >= minimumHours && hours <= maximumHours;
        line.replace(match.capturedStart(), match.capturedLength(),
                     rtcValue(qint64(hours) * secondsPerHour, now));
    }
    if (offsetsValid)
        *offsetsValid = valid;
    return line;
}

} // namespace DeviceClock
