#pragma once

#include "TSL_StreamExtractor.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QSerialPort>
#include <QString>
#include <QThread>
#include <QWaitCondition>

class QEventLoop;
class QObject;

// The only code that touches a reader's serial port. It runs passes: reopen the port if
// needed, then one exchange, one plain write or one poll, and delivers at most one frame
// per pass with response(). An idle poll sleeps until bytes come, a request arrives or the
// port fails, so an idle link costs nothing. A port that vanishes ends the thread like one
// that cannot be opened; the next request starts it again and reopens the port.
class TSL_MasterThread : public QThread
{
    Q_OBJECT

public:
    explicit TSL_MasterThread(QObject *parent = nullptr);
    ~TSL_MasterThread() override;

    void setBaudRate(int baud);
    // Writes the frame and waits for the acknowledgement that answers it.
    void sendAndWait(const QString &portName, int readWait, const QByteArray &frame);
    // Writes the bytes on the next pass; requests made before that pass are all written.
    void sendOnly(const QByteArray &frame);
    // Returns whether the thread runs; a port that failed is retried twice a second at most.
    bool poll(int readWait);

    // A read wait that ends only on bytes, a request or a port failure.
    static constexpr int noTimeLimit = -1;

signals:
    void response(QByteArray s);
    void error(QString s);
    void timeout(QString s);
    // A port that had been open vanished, or opened again after vanishing.
    void portLost(QString portName);
    void portRestored(QString portName);

protected:
    void run() override;

private:
    enum class Step
    {
        None,
        Exchange,
        SendOnly,
        Poll
    };

    struct Pass
    {
        Step step = Step::None;
        QString portName;
        int readWait = 0;
        QByteArray bytes;
    };

    void startOrWake();
    bool requestPending() const;
    Pass takePass();
    bool openPort(QSerialPort &port, const QString &portName);
    void exchange(QSerialPort &port, const QByteArray &frame);
    void writeOnly(QSerialPort &port, const QByteArray &bytes);
    void pollPort(QSerialPort &port, int readWait);
    QByteArray readFrame(QSerialPort &port, int firstWait, bool interruptible);
    // Waits for bytes from the port, without limit when told noTimeLimit; an interruptible
    // wait also ends when a request arrives.
    bool waitForBytes(QSerialPort &port, int milliseconds, bool interruptible);
    void handlePortError(QSerialPort::SerialPortError portError);
    void notePortFailure();
    void notePortUnavailable(const QString &name);
    void stopWaiting();

    mutable QMutex m_mutex;
    QWaitCondition m_requestCondition;
    QString portName;
    int readWait = 0;
    QByteArray request;
    QByteArray m_sendOnlyBytes;
    bool m_quit = false;
    int baudRate = 115200;
    bool m_pollFlag = true;
    bool m_sendOnlyFlag = false;
    bool m_exchangeFlag = false;
    bool m_running = false;
    QObject *m_waker = nullptr;
    QElapsedTimer m_portFailure;

    // Used by the worker thread alone.
    TSL_StreamExtractor m_extractor;
    QList<QByteArray> m_setAsideFrames;
    QEventLoop *m_currentWait = nullptr;
    bool m_currentWaitInterruptible = false;
    bool m_portLost = false;
    // Whether the port was open at the last look, and whether it vanished since it was.
    bool m_portAvailable = false;
    bool m_portVanished = false;
};
