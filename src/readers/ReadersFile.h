#pragma once

#include "t_Reader.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The project's readers file: one reader a line, "Serial;name;port;baud;000000000000;" or
// "IPReader;name;address;port;000000000000;". Pure file logic, no registry and no widgets.
class ReadersFile
{
public:
    enum class LineKind
    {
        Reader,
        Skipped,
        Rejected
    };

    // Lines longer than this are read in pieces; fields are cut to this many bytes.
    static constexpr int maxLineBytes = 1024;
    static constexpr int maxFieldBytes = 63;

    // paths: the readers file and its "_new" and "_saved" companions.
    ReadersFile(QString readersPath, QString newPath, QString savedPath);

    // The reader's line, or an empty text for a reader that is never written (Bluetooth).
    static QString lineOf(const t_Reader &reader);
    // "Serial;" or "IPReader;" and the name: what identifies a reader's line.
    static QString keyOf(const t_Reader &reader);
    // A fresh record of the type with its defaults; false for a type without a known bit.
    static bool initRecord(t_Reader *reader, std::uint32_t type);
    // A line in UTF-8 or Latin-1, read up to its line end. Rejected when the name or address
    // has characters that Latin-1, the records' text, cannot hold.
    static LineKind parseLine(const QByteArray &line, t_Reader *reader);
    // The lines of a file's contents, each with its line end.
    static QList<QByteArray> linesOf(const QByteArray &contents);
    // The readers in a file's contents; failures counts the lines that are no reader.
    static void parse(const QByteArray &contents, QList<t_Reader> *readers, int *failures);
    // Whether the line loads as the reader of that key.
    static bool lineHasKey(const QByteArray &line, const QString &key);

    // The readers in the file; failures counts the lines that are no reader. False when the
    // file cannot be read. A readers file lost in the middle of a rewrite is restored first.
    bool load(QList<t_Reader> *readers, int *failures);
    // 0, or 1 when the file cannot be opened.
    int append(const t_Reader &reader);
    // Every line that loads as the reader of that key (keyOf) is replaced by the reader's
    // line, or dropped when replacement is null; the other lines stay as they are.
    int replace(const QString &key, const t_Reader *replacement);
    // Whether a line loads as the reader of that key.
    bool contains(const QString &key) const;

    // Puts back a readers file that a rewrite left missing: the complete new list when it was
    // written, else the backup.
    void recover();
    // For tests: the rewrite stops as if the program died after that many steps.
    void setStopAfterStep(int steps) { m_stopAfterStep = steps; }

private:
    bool stepDone();

    QString m_readersPath;
    QString m_newPath;
    QString m_savedPath;
    int m_stopAfterStep = -1;
    int m_stepsDone = 0;
};
