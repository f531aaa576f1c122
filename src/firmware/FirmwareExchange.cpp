#include "FirmwareExchange.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutexLocker>

#include <utility>

FirmwareExchange::FirmwareExchange(Send send)
    : m_send(std::move(send))
{
}

bool FirmwareExchange::exchange(const QString &command, int timeoutMs, QByteArray *answer)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_cancelled)
            return false;
        // An answer that came after a time-out belonged to the command that timed out.
        m_answers.clear();
    }
    m_send(command);
    return waitForAnswer(timeoutMs, answer);
}

bool FirmwareExchange::nextAnswer(int timeoutMs, QByteArray *answer)
{
    return waitForAnswer(timeoutMs, answer);
}

bool FirmwareExchange::waitForAnswer(int timeoutMs, QByteArray *answer)
{
    QMutexLocker lock(&m_mutex);
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    while (m_answers.isEmpty() && !m_cancelled && !deadline.hasExpired())
        m_answered.wait(&m_mutex, deadline);
    if (m_answers.isEmpty() || m_cancelled)
        return false;
    const QPair<bool, QByteArray> taken = m_answers.takeFirst();
    if (answer)
        *answer = taken.second;
    return taken.first;
}

void FirmwareExchange::collect(const QString &command, int forMs,
                               const std::function<void(const QByteArray &answer)> &onAnswer)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_cancelled)
            return;
        m_answers.clear();
    }
    m_send(command);
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    while (clock.elapsed() < forMs && !isCancelled()) {
        if (waitForAnswer(int(forMs - clock.elapsed()), &answer) && !answer.isEmpty())
            onAnswer(answer);
    }
}

bool FirmwareExchange::pause(int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    const QDeadlineTimer deadline(qMax(0, milliseconds));
    while (!m_cancelled && !deadline.hasExpired())
        m_answered.wait(&m_mutex, deadline);
    return !m_cancelled;
}

void FirmwareExchange::answerReceived(bool success, const QByteArray &payload)
{
    QMutexLocker lock(&m_mutex);
    m_answers.append(qMakePair(success, payload));
    m_answered.wakeAll();
}

void FirmwareExchange::cancel()
{
    QMutexLocker lock(&m_mutex);
    m_cancelled = true;
    m_answered.wakeAll();
}

bool FirmwareExchange::isCancelled() const
{
    QMutexLocker lock(&m_mutex);
    return m_cancelled;
}

void FirmwareExchange::reset()
{
    QMutexLocker lock(&m_mutex);
    m_cancelled = false;
    m_answers.clear();
}
