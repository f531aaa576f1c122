#pragma once

#include "TSL_PayloadPointer.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>

class TSL;

// The serial reader connection as the rest of the workbench sees it: numbers the frames,
// runs the start-up exchanges and relays received frames into the object's own thread.
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

private:
    using AnswerSlot = void (TSL_CMD::*)(QByteArray *, int);

    int runStartupExchange(const QByteArray &request, AnswerSlot answerSlot);
    int nextSession();

    TSL *engine;
    QByteArray readerAddress;
    QByteArray uartConfig;
    int sessionCounter = 0;
    // The answer slots write from the engine's worker thread.
    mutable QMutex m_answerMutex;
    mutable QMutex m_sessionMutex;
};
