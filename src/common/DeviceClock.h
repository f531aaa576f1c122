#pragma once

#include <QDateTime>
#include <QString>

// The readers' clock: seconds since 2010-01-01 00:00:00 UTC, as upper-case hexadecimal of at
// least 8 digits. The clock panel sends it and scripts fill it into their "RTC" placeholders.
namespace DeviceClock {

// The UTC time that the callers below are given; tests pass fixed instants instead.
QDateTime systemNow();

// The clock value at now plus offsetSeconds. A time before the epoch, which the readers
// cannot hold, is written as the epoch.
QString rtcValue(qint64 offsetSeconds, const QDateTime &now = systemNow());

// Replaces every "RTC", "RTC+N" or "RTC-N" token (quotes included, N of one or two digits) by
// the clock value N hours from now, until none is left. offsetsValid, when given, tells whether
// every N lay within -12..+14; a token out of range is replaced all the same.
QString expandPlaceholders(QString line, const QDateTime &now = systemNow(),
                           bool *offsetsValid = nullptr);

} // namespace DeviceClock
