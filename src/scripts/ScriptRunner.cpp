#include "ScriptRunner.h"

#include "ScriptFile.h"
#include "ScriptLine.h"
#include "common/DeviceClock.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QWaitCondition>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr qint64 stepMs = 100;

} // namespace

ScriptRunner::ScriptRunner(const Shared &shared, SendFrame sendFrame, Report report)
    : m_shared(shared)
    , m_sendFrame(std::move(sendFrame))
    , m_report(std::move(report))
{
}

QString ScriptRunner::run(const QString &scriptFile)
{
    m_scriptFile = scriptFile;
    m_labels.clear();
    m_loopCounters.clear();
    m_answered = true;

    ScriptFile file(scriptFile);
    if (!file.open())
        return tr("Error: Could not open script file \"%1\".").arg(scriptFile);
    QString line;
    if (!file.readLine(&line) || line.isEmpty())
        return tr("Error: Syntax error in script file \"%1\". Missing script name.")
            .arg(scriptFile);
    const QString duplicate = collectLabels(file);
    if (!duplicate.isEmpty())
        return duplicate;
    file.seek(0);
    file.readLine(&line);
    m_lineNumber = 1;

    for (;;) {
        // Checked on every line, so that a loop that sends nothing stops too.
        if (stopRequested())
            return stopped();
        bool tooLong = false;
        if (!file.readLine(&line, &tooLong))
            return tr("Script file \"%1\" execution finished.").arg(scriptFile);
        ++m_lineNumber;
        line = ScriptLine::normalised(line);
        if (line.isEmpty() || ScriptLine::isComment(line))
            continue;
        bool offsetsValid = true;
        line = DeviceClock::expandPlaceholders(line, DeviceClock::systemNow(), &offsetsValid);
        if (!offsetsValid)
            return tr("Error: RTC offset parameter in script \"%1\" on line %2 is wrong.")
                .arg(scriptFile)
                .arg(m_lineNumber);
        const ScriptLine::Command command = ScriptLine::parse(line);
        Outcome outcome = Outcome::Next;
        QString last;
        switch (tooLong ? ScriptLine::Kind::ParsingError : command.kind) {
        case ScriptLine::Kind::Skipped:
            break;
        case ScriptLine::Kind::ParsingError:
            return tr("Error: Parsing error in script \"%1\" on line: %2.")
                .arg(scriptFile)
                .arg(m_lineNumber);
        case ScriptLine::Kind::Loop:
            outcome = loop(command.fields, file, &last);
            break;
        case ScriptLine::Kind::Wait:
            if (!pause(ScriptLine::number(command.fields.at(1)) * stepMs))
                return stopped();
            break;
        case ScriptLine::Kind::Frame:
            outcome = frame(command.fields, &last);
            break;
        }
        if (outcome == Outcome::End)
            return last;
    }
}

QString ScriptRunner::collectLabels(ScriptFile &file)
{
    QString line;
    bool tooLong = false;
    for (int lineNumber = 2;; ++lineNumber) {
        const qint64 position = file.position();
        if (!file.readLine(&line, &tooLong))
            return QString();
        const QString name = tooLong ? QString() : ScriptLine::labelOf(line);
        if (name.isEmpty())
            continue;
        if (m_labels.contains(name))
            return tr("Error: Label name in script \"%1\" on line %2 is already defined.")
                .arg(m_scriptFile)
                .arg(lineNumber);
        m_labels.insert(name, Label{lineNumber, position});
    }
}

ScriptRunner::Outcome ScriptRunner::loop(const QStringList &fields, ScriptFile &file, QString *last)
{
    const auto label = m_labels.constFind(fields.at(1));
    if (label == m_labels.constEnd()) {
        *last = tr("Error: Loop label in script \"%1\" on line %2 is not defined.")
                    .arg(m_scriptFile)
                    .arg(m_lineNumber);
        return Outcome::End;
    }
    // Counters are never reset, so an inner loop jumps only while its outer loop first passes.
    qint64 &jumps = m_loopCounters[m_lineNumber];
    if (jumps >= ScriptLine::number(fields.at(2)))
        return Outcome::Next;
    ++jumps;
    // The label line is read again, and skipped, as the next line.
    m_lineNumber = label->line - 1;
    file.seek(label->position);
    return Outcome::Jumped;
}

ScriptRunner::Outcome ScriptRunner::frame(const QStringList &fields, QString *last)
{
    const int count = ScriptLine::number(fields.at(1));
    if (count == 0) {
        *last = tr("Error: Repeat time parameter in script \"%1\" on line %2 is wrong.")
                    .arg(m_scriptFile)
                    .arg(m_lineNumber);
        return Outcome::End;
    }
    const int delayMs =
        int(std::clamp<qint64>(ScriptLine::number(fields.at(2)) * stepMs,
                               std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    {
        QMutexLocker lock(m_shared.workMutex);
        *m_shared.commandDelayMs = delayMs;
    }
    if (count < 0)
        return Outcome::Next;
    // The previous frame line's last answer was never checked: it is now.
    if (!m_answered) {
        *last = timedOut();
        return Outcome::End;
    }
    const QString &frameText = fields.at(0);
    for (int sent = 1; sent <= count; ++sent) {
        {
            QMutexLocker lock(m_shared.workMutex);
            if (*m_shared.stopRequested) {
                lock.unlock();
                *last = stopped();
                return Outcome::End;
            }
            // An answer counts from here on, even one that beats the wait below.
            *m_shared.answerReceived = false;
        }
        m_sendFrame(frameText);
        m_report(tr("Command on line %1 executed %2 out of %3 with delay %4 ms.")
                     .arg(m_lineNumber)
                     .arg(sent)
                     .arg(count)
                     .arg(delayMs));
        if (delayMs == 0) {
            QMutexLocker lock(m_shared.workMutex);
            const QDeadlineTimer deadline(answerTimeoutMs);
            while (!*m_shared.answerReceived && !*m_shared.stopRequested && !deadline.hasExpired())
                m_shared.answerCondition->wait(m_shared.workMutex, deadline);
            m_answered = *m_shared.answerReceived;
        } else if (!pause(delayMs)) {
            *last = stopped();
            return Outcome::End;
        }
        if (stopRequested()) {
            *last = stopped();
            return Outcome::End;
        }
        if (sent < count && !m_answered) {
            *last = timedOut();
            return Outcome::End;
        }
    }
    return Outcome::Next;
}

bool ScriptRunner::pause(qint64 milliseconds)
{
    QMutexLocker lock(m_shared.workMutex);
    if (milliseconds <= 0)
        return !*m_shared.stopRequested;
    const QDeadlineTimer deadline(milliseconds);
    while (!*m_shared.stopRequested && !deadline.hasExpired())
        m_shared.stopCondition->wait(m_shared.workMutex, deadline);
    return !*m_shared.stopRequested;
}

bool ScriptRunner::stopRequested() const
{
    QMutexLocker lock(m_shared.workMutex);
    return *m_shared.stopRequested;
}

QString ScriptRunner::stopped()
{
    QMutexLocker lock(m_shared.workMutex);
    *m_shared.stopRequested = false;
    return tr("Script file \"%1\" execution stopped.").arg(m_scriptFile);
}

QString ScriptRunner::timedOut()
{
    QMutexLocker lock(m_shared.workMutex);
    *m_shared.stopRequested = false;
    return tr("Script file \"%1\" execution stopped. Command response timed out.")
        .arg(m_scriptFile);
}
