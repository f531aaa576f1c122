#pragma once

#include <QString>

// From the start of the process to the first paint of the main window, on a project of a
// hundred readers. The parent starts itself again as the child that shows the window.
class StartupBenchmark
{
public:
    // The child's name for the run, and its work: shows the window and reports the time.
    static QString childRunName();
    static int runChild();

    // False when the median start-up misses the target or a child fails.
    bool run(const QString &program);
};
