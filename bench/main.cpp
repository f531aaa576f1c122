#include "LinkBenchmark.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Traces cost time and fill the terminal; OVS_LINK_TRACE=1 measures with them on.
    if (qEnvironmentVariableIsEmpty("OVS_LINK_TRACE"))
        qputenv("OVS_LINK_TRACE", "0");
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    const QString name = arguments.value(0, QStringLiteral("all"));
    if (name != QLatin1String("all") && !LinkBenchmark::runNames().contains(name)) {
        std::fprintf(stderr, "usage: ovs-link-bench [all|%s]\n",
                     qPrintable(LinkBenchmark::runNames().join(QLatin1Char('|'))));
        return 2;
    }
    LinkBenchmark benchmark;
    return benchmark.run(name) ? 0 : 1;
}
