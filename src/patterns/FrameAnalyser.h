#pragma once

#include "T_matchSnapshot.h"

#include <QList>
#include <QString>

// Runs a received frame through the pattern rules, for the reader tabs, which need not know
// the panel that keeps the rules.
class FrameAnalyser
{
public:
    // The rules that recognised the frame, with their counts after it; empty while the
    // analysis is off.
    virtual QList<T_matchSnapshot> analyseFrame(QString readerName, QString frame) = 0;

protected:
    ~FrameAnalyser() = default;
};
