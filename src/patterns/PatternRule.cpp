#include "PatternRule.h"

#include <QChar>
#include <QStringList>
#include <QStringView>

namespace {

// Qt reads a back-reference's number without bounds, so a large one wraps around, passes as
// valid and reads outside the captures when matched. Only numbers of existing groups pass.
bool backReferencesHaveGroups(const QString &pattern, int groups)
{
    const auto digitAt = [&pattern](int at) {
        return at < pattern.size() && pattern.at(at) >= QLatin1Char('0') &&
               pattern.at(at) <= QLatin1Char('9');
    };
    int at = 0;
    while (at < pattern.size()) {
        if (pattern.at(at++) != QLatin1Char('\\'))
            continue;
        // "\0" starts an octal character; any other escaped character is skipped whole.
        if (!digitAt(at) || pattern.at(at) == QLatin1Char('0')) {
            ++at;
            continue;
        }
        for (int number = 0; digitAt(at); ++at) {
            number = number * 10 + (pattern.at(at).unicode() - '0');
            if (number > groups)
                return false;
        }
    }
    return true;
}

// A pattern without any character that an expression treats specially matches only itself.
bool isLiteral(const QString &pattern)
{
    static const QString special = QStringLiteral("\\^$.|?*+()[]{}");
    for (const QChar character : pattern) {
        if (special.contains(character))
            return false;
    }
    return true;
}

} // namespace

PatternRule::PatternRule(const QString &line)
{
    const QStringList fields = line.split(QLatin1Char(';'));
    if (fields.size() < 3)
        return;
    m_name = fields.at(0);
    const QString &keyword = fields.at(1);
    if (keyword == QLatin1String("LEFT") || keyword == QLatin1String("RIGHT")) {
        m_kind = keyword == QLatin1String("LEFT") ? LEFT : RIGHT;
        if (fields.size() < 4)
            return;
        m_offset = fields.at(2).toInt();
        m_pattern = fields.at(3);
        m_hasAnswer = fields.size() > 4;
        m_answer = fields.value(4);
    } else if (keyword == QLatin1String("STXT")) {
        m_kind = STXT;
        m_pattern = fields.at(2);
        m_hasAnswer = fields.size() > 3;
        m_answer = fields.value(3);
    } else {
        return;
    }

    // The pattern goes into the expression as it stands. One that is no valid expression on
    // its own never matches, even where its surroundings would complete it: "0102)|(.*" would
    // otherwise recognise every frame, and a trailing backslash would escape what follows.
    const QRegExp patternAlone(m_pattern);
    if (!patternAlone.isValid() ||
        !backReferencesHaveGroups(m_pattern, patternAlone.captureCount()))
        return;
    const QString offsetText = QString::number(m_offset);
    switch (m_kind) {
    case LEFT:
        m_expression.setPattern(QStringLiteral("^.{") + offsetText + QStringLiteral("}") +
                                m_pattern + QStringLiteral(".*"));
        break;
    case RIGHT:
        m_expression.setPattern(QStringLiteral(".*") + m_pattern + QStringLiteral(".{") +
                                offsetText + QStringLiteral("}$"));
        break;
    case STXT:
        m_expression.setPattern(QStringLiteral(".*") + m_pattern + QStringLiteral(".*"));
        break;
    }
    m_valid = m_expression.isValid();
    m_literal = m_valid && isLiteral(m_pattern);
}

// The same answer as the expression, without running it: most rules are plain hex digits.
bool PatternRule::matchesLiterally(const QString &frame) const
{
    const int length = m_pattern.size();
    switch (m_kind) {
    case LEFT:
        return frame.size() >= m_offset + length &&
               QStringView(frame).mid(m_offset, length) == m_pattern;
    case RIGHT:
        return frame.size() >= m_offset + length &&
               QStringView(frame).mid(frame.size() - m_offset - length, length) == m_pattern;
    case STXT:
        return frame.contains(m_pattern);
    }
    return false;
}

bool PatternRule::matches(const QString &readerName, const QString &frame)
{
    if (!m_valid)
        return false;
    if (m_literal ? !matchesLiterally(frame) : !m_expression.exactMatch(frame))
        return false;
    ++m_counters[readerName];
    return true;
}

int PatternRule::matchCount(const QString &readerName) const
{
    if (!readerName.isEmpty())
        return m_counters.value(readerName, 0);
    int total = 0;
    for (int count : m_counters)
        total += count;
    return total;
}

void PatternRule::clearCounters()
{
    m_counters.clear();
}
