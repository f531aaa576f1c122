#include "ReaderSimulator.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <limits>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
int quitPipe[2] = {-1, -1};

void onQuitSignal(int)
{
    // Only write() is safe here; the event loop reads the pipe and quits.
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
}

// A clean quit lets the simulator remove its symlink.
void quitOnSignals(QCoreApplication &application)
{
    if (::pipe(quitPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

int fail(const QString &message)
{
    std::fprintf(stderr, "ovs-reader-sim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ovs-reader-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated radio reader: TSL frames on a pseudo-terminal, raw "
                       "payloads on 127.0.0.1 and answers to gateway discovery over UDP."));
    parser.addHelpOption();
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Open a pseudo-terminal speaking TSL."));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Symlink to the pseudo-terminal; a trailing "
                                                 "XXXX becomes a unique suffix."),
                                  QStringLiteral("path"));
    const QCommandLineOption tcp(QStringLiteral("tcp"),
                                 QStringLiteral("Listen on 127.0.0.1:<port>; 0 chooses one."),
                                 QStringLiteral("port"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Reader address, 8 hex digits."),
                                     QStringLiteral("hex8"), QStringLiteral("0A1B2C3D"));
    const QCommandLineOption rate(QStringLiteral("unsolicited-rate"),
                                  QStringLiteral("Unsolicited frames per second; 0 = off."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption count(QStringLiteral("unsolicited-count"),
                                   QStringLiteral("Stop after this many unsolicited frames; "
                                                  "0 = never."),
                                   QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption prefixOption(
        QStringLiteral("unsolicited-prefix"),
        QStringLiteral("Hex bytes in front of the sequence number of unsolicited frames."),
        QStringLiteral("hex"), QStringLiteral("0130"));
    const QCommandLineOption onInput(QStringLiteral("start-on-input"),
                                     QStringLiteral("Hold the unsolicited frames back until a "
                                                    "line arrives on standard input."));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Pace serial output as at this baud rate; "
                                                 "0 = unpaced."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption discovery(QStringLiteral("discovery"),
                                       QStringLiteral("Answer gateway discovery (\"Hello?\") "
                                                      "on UDP <address:port>; port 0 chooses "
                                                      "one."),
                                       QStringLiteral("address:port"));
    const QCommandLineOption answer(QStringLiteral("answer"),
                                    QStringLiteral("Answer a request payload with an answer "
                                                   "payload, both in hex; may be repeated."),
                                    QStringLiteral("request=answer"));
    parser.addOptions(
        {serial, link, tcp, address, rate, count, prefixOption, onInput, baud, discovery, answer});
    parser.process(application);

    if (!parser.isSet(serial) && !parser.isSet(tcp) && !parser.isSet(discovery))
        return fail(QStringLiteral("nothing to do: give --serial, --tcp and/or --discovery"));
    const QByteArray addressBytes = QByteArray::fromHex(parser.value(address).toLatin1());
    if (addressBytes.size() != 4 || parser.value(address).size() != 8)
        return fail(QStringLiteral("--address needs 8 hex digits"));
    bool rateOk = false;
    const int framesPerSecond = parser.value(rate).toInt(&rateOk);
    bool baudOk = false;
    const int baudRate = parser.value(baud).toInt(&baudOk);
    bool countOk = false;
    const int frameCount = parser.value(count).toInt(&countOk);
    if (!rateOk || framesPerSecond < 0 || !baudOk || baudRate < 0 || !countOk || frameCount < 0)
        return fail(QStringLiteral(
            "--unsolicited-rate, --unsolicited-count and --baud need a number >= 0"));
    const QByteArray prefix = QByteArray::fromHex(parser.value(prefixOption).toLatin1());
    if (prefix.toHex() != parser.value(prefixOption).toLower().toLatin1())
        return fail(QStringLiteral("--unsolicited-prefix needs hex digits in pairs"));

    ReaderSimulator simulator;
    for (const QString &pair : parser.values(answer)) {
        const QStringList sides = pair.split(QLatin1Char('='));
        const QByteArray request = QByteArray::fromHex(sides.value(0).toLatin1());
        const QByteArray reply = QByteArray::fromHex(sides.value(1).toLatin1());
        if (sides.size() != 2 || request.isEmpty() || reply.isEmpty())
            return fail(QStringLiteral("--answer needs request=answer in hex, not %1").arg(pair));
        simulator.setAnswer(request, reply);
    }
    simulator.setAddress(addressBytes);
    simulator.setBaudRate(baudRate);
    const int frames = frameCount > 0 ? frameCount : std::numeric_limits<int>::max();
    // A benchmark connects all its readers first and then lets every simulator go at once.
    std::function<void(const std::function<void()> &)> whenGo =
        [](const std::function<void()> &start) { start(); };
#ifdef Q_OS_UNIX
    if (parser.isSet(onInput)) {
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &application);
        whenGo = [input](const std::function<void()> &start) {
            QObject::connect(input, &QSocketNotifier::activated, input, [input, start] {
                input->setEnabled(false);
                start();
            });
        };
    }
#endif

    if (parser.isSet(serial)) {
        if (!simulator.startSerial(parser.value(link)))
            return fail(QStringLiteral("cannot open a pseudo-terminal"));
        std::printf("serial: %s\n", qPrintable(simulator.serialPortName()));
        if (framesPerSecond > 0)
            whenGo([&simulator, frames, framesPerSecond, prefix] {
                simulator.startUnsolicited(frames, framesPerSecond, prefix);
            });
    }
    if (parser.isSet(tcp)) {
        bool portOk = false;
        const uint port = parser.value(tcp).toUInt(&portOk);
        if (!portOk || port > 65535 || !simulator.startTcp(quint16(port)))
            return fail(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(parser.value(tcp)));
        std::printf("tcp: 127.0.0.1:%u\n", unsigned(simulator.tcpPort()));
        if (framesPerSecond > 0)
            whenGo([&simulator, frames, framesPerSecond, prefix] {
                simulator.startTcpUnsolicited(frames, framesPerSecond, prefix);
            });
    }
    if (parser.isSet(discovery)) {
        const QString value = parser.value(discovery);
        const int colon = value.lastIndexOf(QLatin1Char(':'));
        const QHostAddress host(value.left(colon));
        bool portOk = false;
        const uint port = value.mid(colon + 1).toUInt(&portOk);
        if (colon < 0 || host.isNull() || !portOk || port > 65535 ||
            !simulator.startDiscovery(host, quint16(port)))
            return fail(QStringLiteral("cannot listen for discovery on %1").arg(value));
        std::printf("discovery: %s:%u\n", qPrintable(host.toString()),
                    unsigned(simulator.discoveryPort()));
    }
    std::fflush(stdout);

#ifdef Q_OS_UNIX
    quitOnSignals(application);
#endif
    return QCoreApplication::exec();
}
