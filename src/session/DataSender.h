#pragma once

#include "readerPacket_t.h"
#include "readers/ReaderLink.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>

class QTimer;

// The one way out of a reader tab: validates a command, turns its hexadecimal text into bytes,
// hands them to the reader's link and reports every outgoing frame. It lives in a thread of
// its own, so that a send that blocks until the reader answers never blocks the window. It is
// given its reader's link when it is made and keeps it alive while it may send on it; it never
// looks into the registry, which belongs to the window thread.
class DataSender : public QObject
{
    Q_OBJECT

public:
    // A sender without a reader refuses every send.
    explicit DataSender(const QString &readerName = QString(),
                        const ReaderLink &link = ReaderLink(), QObject *parent = nullptr);
    ~DataSender() override;

    // Shared with the script engine and the tab (see the tab for how they are used).
    QMutex workMutex;
    QWaitCondition stopCondition;
    QWaitCondition answerCondition;
    int commandDelayMs = 0;
    bool stopRequested = false;
    // Set by a frame of the reader that a script may wait for; the script clears it before
    // each send.
    bool answerReceived = false;

public slots:
    void sendDataToReader(QString readerName, QString readerCmd, int tabType);
    void startReaderRepeatMode(QString readerName, QString readerCmd, int repeatInterval);
    void stopReaderRepeatMode();
    void timerFinctionTimeout();
    // Runs a script file to its end, blocking this sender's thread meanwhile.
    void startReaderScriptMode(QString readerName, QString scriptFile);

signals:
    void statusMessage(QString message);
    void startRepeatModeResult(bool result);
    void stopRepeatModeResult(bool result);
    void readerScriptExecutionFinished();
    void cmdSessionNumber(int sessionNum);
    void messageSent(readerPacket_t &message, int tabType);

private:
    QString m_readerName;
    ReaderLink m_link;
    QTimer *repeatTimer = nullptr;
    QString repeatReaderName;
    QString repeatCommand;
};
