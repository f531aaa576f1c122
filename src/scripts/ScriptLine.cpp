#include "ScriptLine.h"

#include <QLatin1Char>
#include <QLatin1String>
#include <QRegularExpression>
#include <QRegularExpressionMatch>

namespace ScriptLine {

QString labelOf(const QString &line)
{
    // Anchored at the very end: "$" would also match before a final line end.
    static const QRegularExpression label(
        QRegularExpression::anchoredPattern(QStringLiteral("([a-zA-Z0-9]+):")));
    return label.match(line).captured(1);
}

QString normalised(const QString &line)
{
    return line.simplified().remove(QLatin1Char(' '));
}

bool isComment(const QString &normalisedLine)
{
    return normalisedLine.startsWith(QLatin1String("//"));
}

Command parse(const QString &normalisedLine)
{
    Command command;
    if (normalisedLine.isEmpty() || isComment(normalisedLine))
        return command;
    command.fields = normalisedLine.split(QLatin1Char(';'));
    const int fieldCount = command.fields.size();
    if (fieldCount == 1)
        return command;
    const QString &keyword = command.fields.first();
    if (keyword == QLatin1String("WAIT") && fieldCount <= 3)
        command.kind = Kind::Wait;
    else if (fieldCount != 3)
        command.kind = Kind::ParsingError;
    else if (keyword == QLatin1String("LOOP"))
        command.kind = Kind::Loop;
    else
        command.kind = Kind::Frame;
    return command;
}

int number(const QString &field)
{
    return field.toInt();
}

} // namespace ScriptLine
