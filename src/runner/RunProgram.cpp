#include "RunProgram.h"

#include "BenchRun.h"
#include "RunOptions.h"
#include "RunOutput.h"
#include "link/TSL_Trace.h"
#include "project/ProjectPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLoggingCategory>
#include <QSettings>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int)
{
    interrupted = true;
}

int descriptor(std::FILE *file)
{
#ifdef Q_OS_WIN
    return _fileno(file);
#else
    return fileno(file);
#endif
}

bool isTerminal(std::FILE *file)
{
#ifdef Q_OS_WIN
    return _isatty(descriptor(file));
#else
    return isatty(descriptor(file));
#endif
}

// The signal handler only sets a flag: this often is how soon Ctrl+C is seen.
constexpr int interruptPollMs = 50;

} // namespace

namespace RunProgram {

int exec(const QStringList &arguments)
{
    QFile out, err;
    // Straight to the descriptors: a pipe reader sees every line as it is written.
    out.open(descriptor(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(descriptor(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);
    const RunOptions::Parsed parsed = RunOptions::parse(arguments);
    if (parsed.help) {
        out.write(RunOptions::usage().toUtf8());
        return BenchRun::Success;
    }
    if (!parsed.error.isEmpty()) {
        err.write((parsed.error + QStringLiteral("\n\n") + RunOptions::usage()).toUtf8());
        return BenchRun::BadUsage;
    }
    const RunOptions &options = parsed.options;

    // Standard output is for messages and frames only.
    TSL_Trace::setDestination(options.trace ? stderr : nullptr);
    if (!options.trace)
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));

    RunOutput output(&out, &err, options.json, isTerminal(stderr));
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
                       QStringLiteral("tesselViewer"));
    if (options.project.isEmpty()) {
        ProjectPaths(&settings).openStartProject();
    } else if (QDir(options.project).exists()) {
        // Another project for this run only: the workbench's start project stays.
        ProjectPaths(nullptr).setProjectPath(QDir(options.project).absolutePath());
    } else {
        output.status(
            QStringLiteral("Error: Project folder \"%1\" does not exist.").arg(options.project));
        return BenchRun::BadUsage;
    }

    int exitCode = BenchRun::DeviceFailed;
    {
        BenchRun run(options, &output);
        QObject::connect(&run, &BenchRun::finished, [&exitCode](int code) {
            exitCode = code;
            QCoreApplication::exit(code);
        });
        std::signal(SIGINT, onInterrupt);
        QTimer interruptPoll;
        QObject::connect(&interruptPoll, &QTimer::timeout, &run, [&run] {
            if (interrupted.exchange(false))
                run.interrupt();
        });
        interruptPoll.start(interruptPollMs);
        QTimer::singleShot(0, &run, &BenchRun::start);
        QCoreApplication::exec();
    }
    // The links that the registry let go of.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return exitCode;
}

} // namespace RunProgram
