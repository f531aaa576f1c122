#pragma once

#include "project/ProjectPaths.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

// The frames, rules, projects and log checks that the window benchmarks share.
namespace BenchFrames {

// With the 4-byte sequence number a 12-byte payload: a 20-byte frame on the line.
QByteArray framePrefix();
QByteArray framePayload(int sequence);

// Fifty rules of the three kinds, three of which recognise the benchmark's frames.
bool writePatternRules();
bool writeReadersFile(const QByteArray &contents);

// A throwaway project made current the way the window makes one: stored as the start
// project in the settings and opened by a project section.
struct Project
{
    QTemporaryDir folder;
    QSettings settings{QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
                       QStringLiteral("tesselViewer")};
    ProjectPaths paths{&settings};

    bool open();
};

// The Rx lines of a log, per reader: the sequence numbers of the benchmark frames.
struct LogContents
{
    int lines = 0;
    int malformed = 0;
    int otherFrames = 0;
    int duplicates = 0;
    QHash<QString, QSet<int>> sequences;

    // Frames 0 .. count-1 of the reader that the log lacks.
    int missingOf(const QString &reader, int count) const;
    // Frames of the reader that it never sent.
    int outOfRangeOf(const QString &reader, int count) const;

private:
    int inRangeOf(const QString &reader, int count) const;
};

LogContents readLog(const QString &fileName);

} // namespace BenchFrames
