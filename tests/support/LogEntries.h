#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The lines of a trace log without their time stamps; a line in another format comes back as
// "malformed: " and the line, so that a comparison shows it.
inline QStringList logEntries(const QString &fileName)
{
    static const QRegularExpression stampedLine(
        QStringLiteral("^\\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \\d{4}-\\d\\d-\\d\\d "
                       "\\d\\d:\\d\\d:\\d\\d:\\d{3}\\]:(.*)\r\n$"));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList entries;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine());
        const QRegularExpressionMatch match = stampedLine.match(line);
        entries << (match.hasMatch() ? match.captured(2) : QStringLiteral("malformed: ") + line);
    }
    return entries;
}
