#pragma once

#include <QCoreApplication>
#include <QHash>
#include <QString>

#include <functional>

class QMutex;
class QWaitCondition;
class ScriptFile;

// Runs one script file against one reader, from its name line to its end, in the thread that
// calls run(), which it blocks meanwhile. Labels and loop counters belong to the run.
class ScriptRunner
{
    Q_DECLARE_TR_FUNCTIONS(DataSender)

public:
    // What the run shares with the reader's session. Everything but the conditions is read
    // and written under workMutex.
    struct Shared
    {
        QMutex *workMutex;
        QWaitCondition *stopCondition;
        // Woken, with answerReceived set, by each frame of the reader while commandDelayMs is 0.
        QWaitCondition *answerCondition;
        int *commandDelayMs;
        bool *stopRequested;
        bool *answerReceived;
    };
    using SendFrame = std::function<void(const QString &frame)>;
    using Report = std::function<void(const QString &message)>;

    // An answer is awaited this long after a frame sent without a delay.
    static constexpr int answerTimeoutMs = 5000;

    ScriptRunner(const Shared &shared, SendFrame sendFrame, Report report);

    // Runs the script; returns the run's last message, which the caller reports after saying
    // that the run is over. Stops as soon as a stop is requested.
    QString run(const QString &scriptFile);

private:
    struct Label
    {
        int line;
        qint64 position;
    };
    enum class Outcome
    {
        Next,
        Jumped,
        End
    };

    QString collectLabels(ScriptFile &file);
    Outcome loop(const QStringList &fields, ScriptFile &file, QString *last);
    Outcome frame(const QStringList &fields, QString *last);
    // Sleeps until the time is up or a stop is requested; false on a stop.
    bool pause(qint64 milliseconds);
    bool stopRequested() const;
    QString stopped();
    QString timedOut();

    Shared m_shared;
    SendFrame m_sendFrame;
    Report m_report;
    QString m_scriptFile;
    QHash<QString, Label> m_labels;
    QHash<int, qint64> m_loopCounters;
    int m_lineNumber = 0;
    bool m_answered = true;
};
