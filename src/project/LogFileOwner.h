#pragma once

#include <QString>

// A dock that writes a log file which the user can open from the project section.
class LogFileOwner
{
public:
    virtual ~LogFileOwner() = default;
    virtual QString logFileName() const = 0;
};
