#pragma once

#include <QColor>
#include <QString>
#include <QTime>

// The status line stamps every message with the time to a tenth of a second.
namespace StatusLine {

// Rounds to the nearest tenth; from .950 on the time carries into the next second.
QTime roundedToTenth(const QTime &time);

// "HH:mm:ss.z" of the rounded time.
QString timeText(const QTime &time);
// "HH:mm:ss.z: message", as the status line and the bench runner show it.
QString stampedText(const QString &message, const QTime &time);

// Failures are red, everything else dark green.
QColor messageColor(const QString &message);

} // namespace StatusLine
