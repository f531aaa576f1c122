#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// Diagnostic lines of the link layer on standard output. OVS_LINK_TRACE=0 silences them
// (the tests and benchmarks do); callers check enabled() before building a line.
class TSL_Trace
{
public:
    static bool enabled();
    // Where the lines go: standard output unless told otherwise, null for nowhere. Set it before
    // any link runs.
    static void setDestination(std::FILE *destination);

    static void line(const QString &text);
    // Without a line end, for lines that the next trace completes.
    static void text(const QString &text);

    // A message on Qt's debug output, silenced with the traces.
    static void debug(const QString &text);

    // "hh:mm:ss.z", the link layer's time stamp.
    static QString timeNow();
    // Every byte as "0x%1-", lower-case hexadecimal without leading zeros.
    static QString hexBytes(const QByteArray &bytes);
};
