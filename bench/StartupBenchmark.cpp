#include "StartupBenchmark.h"

#include "BenchFrames.h"
#include "BenchReport.h"
#include "app/OVSViewer.h"

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr int readers = 100;
constexpr int runs = 7;
constexpr double targetMs = 300;
constexpr int childTimeoutMs = 30000;
const char startVariable[] = "OVS_BENCH_START_NS";

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Half serial, half IP, as a bench of mixed readers has them; none is connected at start.
QByteArray hundredReaders()
{
    QByteArray file;
    for (int i = 0; i < readers; ++i) {
        const QByteArray number = QByteArray::number(i + 1);
        if (i % 2 == 0)
            file += "Serial;Serial" + number + ";/dev/ttyUSB" + number + ";115200;000000000000;\n";
        else
            file += "IPReader;Gateway" + number + ";127.0.0." + QByteArray::number(i % 200 + 2) +
                    ";5000;000000000000;\n";
    }
    return file;
}

// Notes the end of the window's first paint: the first time the event loop is back after the
// window has had a paint event.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget *window)
        : m_window(window)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, this, [] {
                const qint64 start = qEnvironmentVariable(startVariable).toLongLong();
                std::printf("painted %lld\n", static_cast<long long>(monotonicNs() - start));
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    QWidget *m_window;
    bool m_seen = false;
};

} // namespace

QString StartupBenchmark::childRunName()
{
    return QStringLiteral("startup-child");
}

int StartupBenchmark::runChild()
{
    OVSViewer window;
    FirstPaint firstPaint(&window);
    window.show();
    return QApplication::exec();
}

bool StartupBenchmark::run(const QString &program)
{
    report(QStringLiteral("startup: from process start to the end of the main window's first "
                          "paint, on a project of %1 readers; %2 runs")
               .arg(readers)
               .arg(runs));
    BenchFrames::Project project;
    if (!project.open() || !BenchFrames::writeReadersFile(hundredReaders())) {
        report(QStringLiteral("  the project could not be set up"));
        return false;
    }
    project.settings.sync();
    QVector<double> times;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(startVariable), QString::number(monotonicNs()));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(program, {childRunName()});
        if (!child.waitForFinished(childTimeoutMs) || child.exitCode() != 0) {
            report(QStringLiteral("  run %1: the window did not come up").arg(run + 1));
            return false;
        }
        const QByteArray output = child.readAllStandardOutput().trimmed();
        if (!output.startsWith("painted ")) {
            report(QStringLiteral("  run %1: no paint reported").arg(run + 1));
            return false;
        }
        times << output.mid(8).toLongLong() / 1e6;
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    report(QStringLiteral("  median %1 ms, fastest %2 ms, slowest %3 ms (target: < %4 ms)")
               .arg(median, 0, 'f', 1)
               .arg(times.first(), 0, 'f', 1)
               .arg(times.last(), 0, 'f', 1)
               .arg(targetMs, 0, 'f', 0));
    const bool met = median < targetMs;
    reportVerdict(met);
    return met;
}
