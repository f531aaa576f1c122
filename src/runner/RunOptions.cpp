#include "RunOptions.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

constexpr int defaultDiscoverySeconds = 20;

const QStringList commandNames{QStringLiteral("send"), QStringLiteral("script"),
                               QStringLiteral("upgrade"), QStringLiteral("discover"),
                               QStringLiteral("listen")};

// Options that take a value, and the commands each belongs to (empty: every command).
struct KnownOption
{
    QString name;
    bool takesValue;
    QList<RunOptions::Command> commands;
};

const QList<KnownOption> &knownOptions()
{
    static const QList<KnownOption> options{
        {QStringLiteral("--project"), true, {}},
        {QStringLiteral("--reader"), true, {}},
        {QStringLiteral("--answer-timeout"), true, {RunOptions::Send}},
        {QStringLiteral("--seconds"), true, {RunOptions::Discover, RunOptions::Listen}},
        {QStringLiteral("--target"), true, {RunOptions::Discover}},
        {QStringLiteral("--json"), false, {}},
        {QStringLiteral("--trace"), false, {}},
    };
    return options;
}

bool readCount(const QString &text, int minimum, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < minimum)
        return false;
    *value = number;
    return true;
}

bool readTarget(RunOptions *options)
{
    const int colon = options->target.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && options->target.count(QLatin1Char(':')) == 1) {
        int port = 0;
        if (!readCount(options->target.mid(colon + 1), 1, &port) || port > 0xFFFF)
            return false;
        options->targetPort = quint16(port);
        options->targetPortGiven = true;
        options->target.truncate(colon);
    }
    return !QHostAddress(options->target).isNull();
}

} // namespace

RunOptions::Parsed RunOptions::parse(const QStringList &arguments)
{
    Parsed parsed;
    RunOptions &options = parsed.options;
    QStringList positionals;
    QHash<QString, QString> values;
    for (int at = 1; at < arguments.size(); ++at) {
        const QString &argument = arguments.at(at);
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            parsed.help = true;
            return parsed;
        }
        if (!argument.startsWith(QLatin1String("--")) || argument.size() == 2) {
            positionals << argument;
            continue;
        }
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        const auto known =
            std::find_if(knownOptions().begin(), knownOptions().end(),
                         [&name](const KnownOption &each) { return each.name == name; });
        if (known == knownOptions().end()) {
            parsed.error = QStringLiteral("Unknown option \"%1\".").arg(name);
            return parsed;
        }
        QString value;
        if (argument.contains(QLatin1Char('='))) {
            value = argument.section(QLatin1Char('='), 1);
        } else if (known->takesValue) {
            if (++at >= arguments.size()) {
                parsed.error = QStringLiteral("Option \"%1\" needs a value.").arg(name);
                return parsed;
            }
            value = arguments.at(at);
        }
        values.insert(name, value);
    }

    const int command = commandNames.indexOf(positionals.value(0));
    if (command < 0) {
        parsed.error = positionals.isEmpty()
                           ? QStringLiteral("No command given.")
                           : QStringLiteral("Unknown command \"%1\".").arg(positionals.first());
        return parsed;
    }
    options.command = Command(command);
    const bool takesArgument = command <= Upgrade;
    if (positionals.size() != (takesArgument ? 2 : 1)) {
        parsed.error =
            takesArgument
                ? QStringLiteral("Command \"%1\" takes one argument.").arg(commandNames.at(command))
                : QStringLiteral("Command \"%1\" takes no argument.").arg(commandNames.at(command));
        return parsed;
    }
    options.argument = positionals.value(1);
    for (const KnownOption &known : knownOptions()) {
        if (values.contains(known.name) && !known.commands.isEmpty() &&
            !known.commands.contains(options.command)) {
            parsed.error = QStringLiteral("Option \"%1\" does not go with \"%2\".")
                               .arg(known.name, commandNames.at(command));
            return parsed;
        }
    }

    options.project = values.value(QStringLiteral("--project"));
    options.reader = values.value(QStringLiteral("--reader"));
    options.json = values.contains(QStringLiteral("--json"));
    options.trace = values.contains(QStringLiteral("--trace"));
    options.target = values.value(QStringLiteral("--target"));
    if (options.command == Discover)
        options.seconds = defaultDiscoverySeconds;
    if (options.command != Discover && options.reader.isEmpty()) {
        parsed.error =
            QStringLiteral("Command \"%1\" needs --reader NAME.").arg(commandNames.at(command));
    } else if (values.contains(QStringLiteral("--answer-timeout")) &&
               !readCount(values.value(QStringLiteral("--answer-timeout")), 0,
                          &options.answerTimeoutMs)) {
        parsed.error = QStringLiteral("--answer-timeout takes milliseconds, 0 or more.");
    } else if (values.contains(QStringLiteral("--seconds")) &&
               !readCount(values.value(QStringLiteral("--seconds")), 1, &options.seconds)) {
        parsed.error = QStringLiteral("--seconds takes a whole number of seconds, 1 or more.");
    } else if (!options.target.isEmpty() && !readTarget(&options)) {
        parsed.error = QStringLiteral("--target takes an IP address, and a port after a colon.");
    } else if (options.command == Send && !QRegularExpression(QStringLiteral("^([0-9A-Fa-f]{2})+$"))
                                               .match(options.argument)
                                               .hasMatch()) {
        parsed.error = QStringLiteral("The command must be hexadecimal, two digits per byte.");
    }
    return parsed;
}

QString RunOptions::usage()
{
    return QStringLiteral(
        "Usage: ovs-run [options] COMMAND [ARGUMENT]\n"
        "Runs bench work on one reader of a project, without a window.\n"
        "\n"
        "Commands:\n"
        "  send HEX [--answer-timeout MS]\n"
        "        send one command; print its result and every frame that comes within MS\n"
        "        milliseconds (default 1000)\n"
        "  script FILE       run a script file, as the scripts panel does\n"
        "  upgrade FILE.srec upgrade the reader's own firmware, as the firmware dock's\n"
        "                    \"Update reader\" does\n"
        "  discover [--seconds N] [--target ADDRESS[:PORT]]\n"
        "        list the gateways that answer within N seconds (default 20): name,\n"
        "        address and port; asks the broadcast address on port 64000 unless told\n"
        "        another; needs no reader; fails when none answers\n"
        "  listen [--seconds N]\n"
        "        print every frame of the reader for N seconds, or until interrupted\n"
        "\n"
        "Options:\n"
        "  --project DIR  the project folder (default: the one the workbench opens)\n"
        "  --reader NAME  a reader of the project's readers file\n"
        "  --json         one JSON object per line on standard output\n"
        "  --trace        the link layer's traces, on standard error\n"
        "  -h, --help     this text\n"
        "\n"
        "Status messages and frames go to standard output, stamped as in the window's status\n"
        "line and logs; progress goes to standard error. The logs of the project are written\n"
        "as the window writes them.\n"
        "\n"
        "Exit codes:\n"
        "  0  success (send: the result \"Sent\")\n"
        "  1  the device failed: another send result, a script error, stop or response\n"
        "     time-out, a failed upgrade, or an interrupt (Ctrl+C)\n"
        "  2  the reader is not in the readers file or could not be connected\n"
        "  3  bad usage, or a file that cannot be read or is not valid\n");
}
