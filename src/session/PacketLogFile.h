#pragma once

#include "patterns/T_matchSnapshot.h"
#include "readerPacket_t.h"

#include <QFile>
#include <QList>
#include <QString>

// A trace log of packets. Every line is flushed at once, so that a killed program has logged
// every packet it showed. A file that cannot be opened silently logs nothing.
class PacketLogFile
{
public:
    using MatchList = QList<T_matchSnapshot>;

    PacketLogFile() = default;
    PacketLogFile(const PacketLogFile &) = delete;
    PacketLogFile &operator=(const PacketLogFile &) = delete;

    // Closes the open file and appends to the new one; an empty name leaves it closed.
    void open(const QString &fileName);
    void close();
    QString fileName() const { return m_fileName; }

    void writePacket(const readerPacket_t &packet, const QString &dateTime,
                     const MatchList &matchList);
    void writeText(const QString &text);

    // "[dateTime]:reader:direction:frame:rule:count" and CR LF.
    static QString line(const readerPacket_t &packet, const QString &dateTime,
                        const MatchList &matchList);

private:
    QString m_fileName;
    QFile m_file;
};
