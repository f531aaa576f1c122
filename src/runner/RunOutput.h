#pragma once

#include "patterns/T_matchSnapshot.h"
#include "session/readerPacket_t.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QTime>

class QIODevice;

// What the bench runner prints: status messages stamped as in the window's status line and
// frames as in the logs on one device, or one JSON object per line; progress on the other,
// as a bar on a terminal and as plain percentage lines otherwise.
class RunOutput
{
public:
    RunOutput(QIODevice *out, QIODevice *progress, bool json, bool progressTerminal);

    void status(const QString &message, const QTime &time = QTime::currentTime());
    void frame(const readerPacket_t &packet, const QString &dateTime,
               const QList<T_matchSnapshot> &matchList);
    // The outcome of a send ("Sent", or what went wrong).
    void sendResult(const QString &result);
    void gateway(const QString &name, const QString &address, quint16 port);
    void progress(qint64 bytesSent, qint64 bytesToSend, double bytesPerSecond);
    // Ends a progress bar's line.
    void endProgress();

private:
    void write(const QByteArray &line);
    void writeJson(const QList<QPair<QString, QString>> &fields);

    QIODevice *m_out;
    QIODevice *m_progress;
    bool m_json;
    bool m_progressTerminal;
    int m_lastPercent = -1;
    bool m_barShown = false;
};
