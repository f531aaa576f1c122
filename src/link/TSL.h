#pragma once

#include "TSL_AckFrame.h"
#include "TSL_Frame.h"
#include "TSL_PayloadPointer.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class QEventLoop;
class QTimer;
class TSL_MasterThread;

// The TSL protocol over one serial port: sends one numbered frame at a time and waits for
// its acknowledgement, transmitting it up to the retry count; between sends it sleeps while
// the serial worker waits on the port, acknowledges every frame from the reader and hands it
// up, and restarts the worker when it ended on a port failure.
class TSL : public QThread
{
    Q_OBJECT

public:
    TSL(const QString &portName, int baudRate, int retryCount, int ackWait,
        QObject *parent = nullptr);
    ~TSL() override;

    // 0 when the port can be opened, -1 when not; starts nothing.
    int open();
    // Final: a send waiting for its acknowledgement ends at once with result 8, and the thread
    // leaves its loop.
    int close();
    // Blocks the caller until the send cycle ends; returns a send result code (0 to 8).
    int send_frame(const QByteArray &payload, int size, int session);

signals:
    // The array holds the payload and lives until the emission returns: receivers in other
    // threads connect directly and copy what they need.
    void TSL_frameReceived(QByteArray *appPayload, int sessionNumber);
    void TSL_frameRecovered(int sessionNumber);
    void TSL_acked();
    void TSL_timeout();
    // The serial port vanished, or came back under its name; emitted in the worker's thread.
    void TSL_portLost(QString portName);
    void TSL_portRestored(QString portName);

public slots:
    void handleResponse(QByteArray ba);
    void handleTimeout(QString s);
    void handleError(QString s);

protected:
    void run() override;

private:
    void sendCycle();
    bool waitOnce(QEventLoop &loop, int milliseconds);
    void traceFrame(const QByteArray &bytes, bool sent) const;
    void traceAck(const TSL_AckFrame &ack, bool sent) const;
    void resynchronise(QByteArray &buffer);

    int baudRate;
    QString portName;
    int m_retryCount;
    int m_ackWaitMs;
    std::atomic<bool> stop{false};
    TSL_MasterThread *m_serialWorker = nullptr;
    TSL_Frame m_rxFrame;
    TSL_Frame m_txFrame;
    TSL_AckFrame m_ackFrame;
    QByteArray m_leftover;
    QTimer *m_timer = nullptr;
    QMutex m_mutex;
    QWaitCondition m_waitCondition;
    bool m_sendPending = false;

    // The code of the last acknowledgement, written by the worker's thread and read by the
    // engine and the caller.
    std::atomic<int> m_ackCode{0};
    // One caller at a time owns the transmit record.
    QMutex m_sendMutex;
    // The idle wait that a new send interrupts and the acknowledgement wait that close()
    // interrupts; guarded by m_mutex.
    QEventLoop *m_idleWait = nullptr;
    QEventLoop *m_ackWait = nullptr;
};
