#pragma once

#include <QString>
#include <QStringList>

// One line of a script file, read the way the script engine reads it.
namespace ScriptLine {

enum class Kind
{
    Skipped,      // empty, a comment, or a single field (a label or plain text)
    Frame,        // frame ; count ; delay
    Loop,         // LOOP ; label ; count
    Wait,         // WAIT ; count of 100 ms
    ParsingError, // more than three fields, or a LOOP or frame line without its third field
};

struct Command
{
    Kind kind = Kind::Skipped;
    QStringList fields;
};

// The label a line defines as written ("name:", letters and digits only), or an empty text.
QString labelOf(const QString &line);

// White space collapsed and trimmed, then every blank removed.
QString normalised(const QString &line);

bool isComment(const QString &normalisedLine);

// Splits a normalised line whose placeholders are already filled in.
Command parse(const QString &normalisedLine);

// A field read as a decimal integer; anything else reads as 0.
int number(const QString &field);

} // namespace ScriptLine
