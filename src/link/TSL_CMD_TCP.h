#pragma once

#include "TSL_PayloadPointer.h"
#include "TSL_TcpLinkState.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <atomic>

class TSL_TcpTransport;

// The link of a reader reached over TCP. No framing: payloads go out as they are and every
// chunk read from the socket comes up as one frame. open() and write() block their caller and
// may be called from any thread; the socket lives in the thread this object runs. A link whose
// peer hung up stays usable: open() connects it again, until close() ends it for good. Whoever
// made the object deletes it.
class TSL_CMD_TCP : public QThread, private TSL_TcpLinkState
{
    Q_OBJECT

public:
    TSL_CMD_TCP(const QString &host, quint16 port, QObject *parent = nullptr);
    ~TSL_CMD_TCP() override;

    // The session number that the next write's answer will carry.
    int sessionNumber() const;
    QByteArray address() const;
    // Opened, and neither closed nor hung up since.
    bool isConnected() const;
    // Received chunks reach frameReceived only while this is on (the default); chunks that
    // arrive while it is off are dropped, and so is a chunk that nobody has taken yet. Called
    // in the object's thread.
    void setHandingUp(bool on);

    // Chunks read but held back until the receiver takes the current frame.
    int waitingChunks() const { return m_waitingChunks; }
    // Chunks that never reached a receiver: kept back, or lost because the receiver kept the
    // current frame while the queue was full.
    int droppedChunks() const { return m_droppedChunks; }

    // For tests: the session number of the next unsolicited chunk. Only before open().
    void presetUnsolicitedCounter(int sessionNumber);

public slots:
    int open();
    int write(QByteArray *ba);
    // Final: ends a connection attempt, a write and the thread, and no open() works after it.
    int close();

signals:
    // appPayload belongs to the link and is valid during the emission only; the receiver
    // empties it once taken, which lets the next waiting chunk come up.
    void frameReceived(QByteArray *appPayload, int sessionNumber);
    void frameRecovered(int sessionNumber);
    // The peer closed an opened connection, or it broke; emitted in the link's thread.
    void connectionLost();

protected:
    void run() override;

private:
    // Has the transport thread write the bytes and wait for their answer; the bytes written,
    // or -1 when the connection is not (or no longer) there. A user's command takes a session
    // number and its answer is handed up; the start-up's address read does neither.
    qint64 transact(const QByteArray &bytes, bool userCommand);
    void wakeTransport();
    // Ends the current connection without closing the link, and waits for its thread.
    void endRun();

    // Called in the transport thread.
    bool stopRequested() const override;
    bool pendingWrite(QByteArray *bytes) const override;
    void setConnected() override;
    void finishWrite(qint64 written, const QByteArray &answer) override;
    bool takeFrameTaken() override;
    void setWaitingChunks(int count) override { m_waitingChunks = count; }
    void countDroppedChunk() override { ++m_droppedChunks; }
    void handUpChunk(const QByteArray &chunk, int sessionNumber) override;

    // Called in this object's thread.
    void deliverAnswer(const QByteArray &answer, int sessionNumber);
    void deliverChunk(const QByteArray &chunk, int sessionNumber);
    void checkFrameTaken();

    QString m_host;
    quint16 m_port;
    int m_connectTimeout = 30000;
    QByteArray m_address;
    bool m_stop = false;
    // Ends the current run only; open() clears it.
    bool m_endRun = false;
    // open() succeeded and the connection has not ended since.
    bool m_opened = false;
    bool m_writePending = false;
    // Held by one caller of transact() from its request until it has read the result.
    bool m_writeBusy = false;
    QWaitCondition m_condition;
    mutable QMutex m_mutex;
    QByteArray m_request;
    int m_requestSession = 0;
    bool m_requestHandsUp = true;
    qint64 m_bytesWritten = -1;
    int m_connectionState = 0;
    int m_writeCounter = 0;
    int m_unsolicitedCounter = 32768;
    TSL_TcpTransport *m_transport = nullptr;

    QByteArray m_currentFrame;
    QByteArray m_answerFrame;
    std::atomic<bool> m_frameTaken{false};
    std::atomic<int> m_waitingChunks{0};
    std::atomic<int> m_droppedChunks{0};
    bool m_handingUp = true;
    // A byte array cannot tell when it is emptied: while a receiver keeps the current frame,
    // it is looked at on this timer.
    QTimer m_takenCheck;
};
