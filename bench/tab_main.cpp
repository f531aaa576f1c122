#include "StartupBenchmark.h"
#include "TabBenchmark.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: ovs-tab-bench [all|%s] [--rate N] [--seconds S] [--readers N] "
                 "[--frames N]\n",
                 qPrintable(TabBenchmark::runNames().join(QLatin1Char('|'))));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Traces cost time and fill the terminal; OVS_LINK_TRACE=1 measures with them on.
    if (qEnvironmentVariableIsEmpty("OVS_LINK_TRACE"))
        qputenv("OVS_LINK_TRACE", "0");
    // The start-up run's child lives in its parent's home.
    if (argc == 2 && StartupBenchmark::childRunName() == QLatin1String(argv[1])) {
        QApplication application(argc, argv);
        return StartupBenchmark::runChild();
    }
    // Settings, projects and logs go to a throwaway home, never to the user's.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary home folder\n");
        return 2;
    }
    const QByteArray homePath = QFile::encodeName(home.path());
    qputenv("HOME", homePath);
    qputenv("XDG_CONFIG_HOME", homePath + "/.config");
    qputenv("XDG_DATA_HOME", homePath + "/.local/share");
    qputenv("XDG_CACHE_HOME", homePath + "/.cache");
    qputenv("XDG_RUNTIME_DIR", homePath + "/.runtime");
    QDir(home.path()).mkpath(QStringLiteral(".config"));
    QDir(home.path()).mkpath(QStringLiteral(".runtime"));
    // Qt refuses a runtime folder that others may read.
    QFile::setPermissions(home.path() + QStringLiteral("/.runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    TabBenchmark benchmark;
    benchmark.setProgram(QCoreApplication::applicationFilePath());
    QString name = QStringLiteral("all");
    bool named = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        bool valid = true;
        if (argument == QLatin1String("--rate") && i + 1 < arguments.size()) {
            const int rate = arguments.at(++i).toInt(&valid);
            valid = valid && rate > 0;
            benchmark.setFloodRate(rate);
        } else if (argument == QLatin1String("--seconds") && i + 1 < arguments.size()) {
            const double seconds = arguments.at(++i).toDouble(&valid);
            valid = valid && seconds > 0;
            benchmark.setFloodSeconds(seconds);
        } else if (argument == QLatin1String("--readers") && i + 1 < arguments.size()) {
            const int readers = arguments.at(++i).toInt(&valid);
            valid = valid && readers > 0;
            benchmark.setReaders(readers);
        } else if (argument == QLatin1String("--frames") && i + 1 < arguments.size()) {
            const int frames = arguments.at(++i).toInt(&valid);
            valid = valid && frames > 0;
            benchmark.setMemoryFrames(frames);
        } else if (!named && (argument == QLatin1String("all") ||
                              TabBenchmark::runNames().contains(argument))) {
            name = argument;
            named = true;
        } else {
            valid = false;
        }
        if (!valid)
            return usage();
    }
    return benchmark.run(name) ? 0 : 1;
}
