#pragma once

#include <QByteArray>
#include <QtGlobal>

// What a TCP transport asks of its link, from the transport's thread: the link's state is
// locked on the link's side.
class TSL_TcpLinkState
{
public:
    virtual bool stopRequested() const = 0;
    virtual bool pendingWrite(QByteArray *bytes) const = 0;
    virtual void setConnected() = 0;
    virtual void finishWrite(qint64 written, const QByteArray &answer) = 0;
    virtual bool takeFrameTaken() = 0;
    virtual void setWaitingChunks(int count) = 0;
    virtual void countDroppedChunk() = 0;
    virtual void handUpChunk(const QByteArray &chunk, int sessionNumber) = 0;

protected:
    ~TSL_TcpLinkState() = default;
};
