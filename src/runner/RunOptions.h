#pragma once

#include <QString>
#include <QStringList>

// What the command line of the bench runner asks for, read without touching anything.
struct RunOptions
{
    enum Command
    {
        Send,
        Script,
        Upgrade,
        Discover,
        Listen,
    };

    Command command = Send;
    // The command's hexadecimal text, or the script or firmware file.
    QString argument;
    // Empty: the project that the workbench opens.
    QString project;
    QString reader;
    int answerTimeoutMs = 1000;
    // Discovery runs 20 s unless told otherwise; listening runs until interrupted (-1).
    int seconds = -1;
    // Where discovery asks; empty: the broadcast address. With a port of its own, answers are
    // awaited on any free port rather than on the workbench's.
    QString target;
    quint16 targetPort = 64000;
    bool targetPortGiven = false;
    bool json = false;
    bool trace = false;

    // The options, or a message that says what is wrong with the command line; help asked
    // for the usage text.
    struct Parsed;
    static Parsed parse(const QStringList &arguments);
    static QString usage();
};

struct RunOptions::Parsed
{
    RunOptions options;
    QString error;
    bool help = false;
};
