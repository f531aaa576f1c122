#pragma once

#include <QMap>
#include <QRegExp>
#include <QString>

// One line of the pattern file: recognises frame texts by a regular expression at a fixed
// place, counts the matches per reader and may carry an answer. No widget: the label that
// shows it is PatternMatchingRule.
class PatternRule
{
public:
    enum MatchKind
    {
        LEFT = 0,
        RIGHT = 1,
        STXT = 2
    };

    // "name;LEFT|RIGHT;offset;pattern[;answer]" or "name;STXT;pattern[;answer]".
    explicit PatternRule(const QString &line);

    QString name() const { return m_name; }
    // False for a line too short, with an unknown keyword or with a pattern that is no valid
    // expression: such a rule never matches.
    bool isValid() const { return m_valid; }
    MatchKind kind() const { return m_kind; }
    int offset() const { return m_offset; }
    QString pattern() const { return m_pattern; }
    bool hasAnswer() const { return m_hasAnswer; }
    QString answer() const { return m_answer; }
    // The whole expression the frame text must match.
    QString expression() const { return m_expression.pattern(); }

    // Counts a match for the reader; the frame text has no blanks.
    bool matches(const QString &readerName, const QString &frame);
    // That reader's count, or with an empty name the total over all readers.
    int matchCount(const QString &readerName = QString()) const;
    void clearCounters();

private:
    bool matchesLiterally(const QString &frame) const;

    QString m_name;
    MatchKind m_kind = STXT;
    QString m_pattern;
    int m_offset = 0;
    bool m_hasAnswer = false;
    QString m_answer;
    bool m_valid = false;
    bool m_literal = false;
    // Compiled once: every received frame goes through every rule.
    QRegExp m_expression;
    QMap<QString, int> m_counters;
};
