#pragma once

#include "TSL_PayloadPointer.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <deque>

class TSL;

// The serial reader connection as the rest of the workbench sees it: numbers the frames,
// runs the start-up exchanges and relays received frames into the object's own thread.
// open(), the start-up exchanges and send_frame() block their caller and may be called from
// any thread; close() may be called from any thread and ends whatever blocks.
class TSL_CMD : public QObject
{
    Q_OBJECT

public:
    TSL_CMD(const QString &portName, int baudRate, QObject *parent = nullptr);
    ~TSL_CMD() override;

    // Stores the session number used into sessionOut; returns the send result code.
    int send_frame(const QByteArray &payload, int size, int &sessionOut);
    // The session number that the next frame will carry.
    int sessionNumber() const;
    QByteArray address() const;
    QByteArray uartConfiguration() const;

    int request_address();
    void request_ack_conf();

    // Final: a send or start-up exchange in progress ends at once, and nothing is sent after.
    void close();
    // After close(): blocks until the engine and its worker have ended and the port is closed.
    void waitUntilClosed();
    // Opened and not closed; a port that vanished for a while does not change it.
    bool isConnected() const;
    // Received frames and recovery notices reach frameReceived and frameRecovered only while
    // this is on (the default). Whoever owns the link keeps them back while nobody can take
    // them yet. Called in the object's thread.
    void setHandingUp(bool on) { m_handingUp = on; }

public slots:
    int open();
    void propagateReceiveSignal(QByteArray *appPayload, int sessionNumber);
    void propagateRecoveredSignal(int sessionNumber);
    void read_address(QByteArray *appPayload, int sessionNumber);
    void recover_reader_ack_conf(QByteArray *appPayload, int sessionNumber);

signals:
    // The array is valid while the signal is delivered: take what is needed, then empty it.
    void frameReceived(QByteArray *appPayload, int sessionNumber);
    void frameRecovered(int sessionNumber);
    void finish();
    // The device behind the port vanished, or is back under the same name.
    void portLost(QString portName);
    void portRestored(QString portName);

private:
    using AnswerSlot = void (TSL_CMD::*)(QByteArray *, int);

    // A received frame or a recovery notice on its way to this object's thread.
    struct Arrival
    {
        QByteArray payload;
        int session = 0;
        bool recovered = false;
    };

    void queueArrival(Arrival arrival);
    void deliverArrivals();

    int runStartupExchange(const QByteArray &request, AnswerSlot answerSlot);
    int nextSession();
    // Takes an answer of the exchange under way; the first one long enough wins.
    bool takeAnswer();

    TSL *engine;
    QByteArray m_readerAddress;
    QByteArray m_uartConfig;
    int m_sessionCounter = 0;
    // The answer slots write from the engine's worker thread; the exchange waits on the
    // condition until its answer came, its time is up or the link is closed.
    mutable QMutex m_answerMutex;
    QWaitCondition m_answerCondition;
    bool m_exchangeAnswered = false;
    bool m_closed = false;
    bool m_opened = false;
    // open() tries the port; once closed, nothing else will.
    bool m_opening = false;
    mutable QMutex m_sessionMutex;
    bool m_handingUp = true;
    // Filled by the engine's worker thread, emptied in this object's thread.
    QMutex m_arrivalMutex;
    std::deque<Arrival> m_arrivals;
    bool m_deliveryPosted = false;
};
