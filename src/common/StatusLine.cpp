#include "StatusLine.h"

namespace StatusLine {

QTime roundedToTenth(const QTime &time)
{
    const int milliseconds = time.msec();
    if (milliseconds >= 950)
        return time.addMSecs(1000 - milliseconds);
    return time.addMSecs((milliseconds + 50) / 100 * 100 - milliseconds);
}

QString timeText(const QTime &time)
{
    QString text = roundedToTenth(time).toString(QStringLiteral("HH:mm:ss.zzz"));
    text.chop(2);
    return text;
}

QString stampedText(const QString &message, const QTime &time)
{
    return timeText(time) + QStringLiteral(": ") + message;
}

QColor messageColor(const QString &message)
{
    return message.contains(QLatin1String("Error: ")) ? QColor(Qt::red) : QColor(Qt::darkGreen);
}

} // namespace StatusLine
