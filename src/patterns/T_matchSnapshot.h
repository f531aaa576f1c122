#pragma once

#include <QString>

// One rule that recognised a frame, with its counts after this match.
struct T_matchSnapshot
{
    QString ruleName;
    int readerMatchCount = 0;
    int totalMatchCount = 0;
};
