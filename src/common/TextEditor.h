#pragma once

#include <QString>

// Opens a text file for the user to read or edit: Notepad on Windows, where the
// workbench's users expect it, and the desktop's handler for the file elsewhere.
class TextEditor
{
public:
    // False when no program could be started for it.
    static bool open(const QString &filePath);
};
