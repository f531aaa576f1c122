#pragma once

#include <QString>

// The name a script file gives itself on its first line, as lists and buttons show it.
namespace ScriptName {

// Longer names are cut to this many characters and end in " ...".
constexpr int maximumLength = 100;

// Empty when the file cannot be read or its first line is empty. Reads only the start of the
// file, so that a huge or binary file chosen by mistake costs nothing.
QString read(const QString &filePath);

} // namespace ScriptName
