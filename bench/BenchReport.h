#pragma once

#include <QString>

#include <cstdio>

// A line of the tab benchmarks' results, on standard output at once, so that a run that hangs
// has shown what it got through.
inline void report(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The last line of a run with one target.
inline void reportVerdict(bool met)
{
    report(QStringLiteral("  -> %1").arg(met ? QStringLiteral("target met")
                                             : QStringLiteral("TARGET MISSED")));
}
