#pragma once

#include <QStringList>

// The bench runner as a program: reads the command line, opens the project, runs the work
// with Ctrl+C handled and returns the exit code.
namespace RunProgram {
int exec(const QStringList &arguments);
}
