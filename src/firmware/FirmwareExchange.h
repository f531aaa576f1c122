#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QWaitCondition>

#include <functional>

// One command of a firmware job and the reader's answer to it. The job's thread sends and
// waits; the thread that sees the reader's answers (the window's, or a runner's) hands them in.
// A cancel ends the wait at once and fails every later exchange, so that a job stops at its
// next exchange.
class FirmwareExchange
{
public:
    // Hands a command to the reader; called in the job's thread, so it must only queue.
    using Send = std::function<void(const QString &command)>;

    explicit FirmwareExchange(Send send);

    // Sends the command and waits at most timeoutMs for an answer: true with the answer's
    // payload when the reader answered with success.
    bool exchange(const QString &command, int timeoutMs, QByteArray *answer = nullptr);
    // Sends the command and then takes every answer for the time given, each handed to
    // onAnswer; returns when the time is up or the job is cancelled.
    void collect(const QString &command, int forMs,
                 const std::function<void(const QByteArray &answer)> &onAnswer);
    // Waits for the next answer without sending; false after timeoutMs or a cancel.
    bool nextAnswer(int timeoutMs, QByteArray *answer);
    // Lets the time pass unless the job is cancelled meanwhile; false on a cancel.
    bool pause(int milliseconds);

    // From the thread that sees the reader's answers.
    void answerReceived(bool success, const QByteArray &payload);
    void cancel();
    bool isCancelled() const;
    // A new job: no cancel, no answer kept.
    void reset();

private:
    bool waitForAnswer(int timeoutMs, QByteArray *answer);

    Send m_send;
    mutable QMutex m_mutex;
    QWaitCondition m_answered;
    // Answers not taken yet: several devices may answer one command in a burst.
    QList<QPair<bool, QByteArray>> m_answers;
    bool m_cancelled = false;
};
