#include "FuzzCheck.h"
#include "patterns/PatternRule.h"

#include <QLatin1Char>
#include <QLatin1String>
#include <QRegExp>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

// Frames tried against every part of them stay short: the pattern is matched once per part.
constexpr int longestComparedFrame = 24;

// Whether an alternative reaches the pattern's outer level ("01|FF"). The pattern goes into
// the rule's expression as it stands, so such an alternative takes the surroundings with it.
bool hasOuterAlternative(const QString &pattern)
{
    int depth = 0;
    bool inClass = false;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar character = pattern.at(i);
        if (character == QLatin1Char('\\')) {
            ++i;
        } else if (inClass) {
            inClass = character != QLatin1Char(']');
        } else if (character == QLatin1Char('[')) {
            inClass = true;
            // "[]" and "[^]" begin a class that holds "]".
            if (pattern.mid(i + 1, 1) == QLatin1String("^"))
                ++i;
            if (pattern.mid(i + 1, 1) == QLatin1String("]"))
                ++i;
        } else if (character == QLatin1Char('(')) {
            ++depth;
        } else if (character == QLatin1Char(')')) {
            --depth;
        } else if (character == QLatin1Char('|') && depth == 0) {
            return true;
        }
    }
    return false;
}

// A pattern without anchors, look-aheads, word boundaries and outer alternatives means the same
// on its own as inside a longer expression: those look at what lies around the text they match.
bool isContextFree(const QString &pattern)
{
    return !pattern.contains(QLatin1Char('^')) && !pattern.contains(QLatin1Char('$')) &&
           !pattern.contains(QLatin1String("(?")) && !pattern.contains(QLatin1String("\\b")) &&
           !pattern.contains(QLatin1String("\\B")) && !hasOuterAlternative(pattern);
}

// Whether the pattern alone matches a part of the frame where the rule looks: right after
// offset characters (LEFT), right before the last offset characters (RIGHT) or anywhere.
bool patternFound(const PatternRule &rule, const QString &frame)
{
    QRegExp pattern(rule.pattern());
    const int length = frame.size();
    const int offset = rule.offset();
    switch (rule.kind()) {
    case PatternRule::LEFT:
        for (int end = offset; end <= length; ++end) {
            if (pattern.exactMatch(frame.mid(offset, end - offset)))
                return true;
        }
        return false;
    case PatternRule::RIGHT:
        for (int start = 0; start <= length - offset; ++start) {
            if (pattern.exactMatch(frame.mid(start, length - offset - start)))
                return true;
        }
        return false;
    case PatternRule::STXT:
        for (int start = 0; start <= length; ++start) {
            for (int end = start; end <= length; ++end) {
                if (pattern.exactMatch(frame.mid(start, end - start)))
                    return true;
            }
        }
        return false;
    }
    return false;
}

void checkParsed(const PatternRule &rule, const QString &line)
{
    const QStringList fields = line.split(QLatin1Char(';'));
    const QString keyword = fields.value(1);
    const bool positioned = keyword == QLatin1String("LEFT") || keyword == QLatin1String("RIGHT");
    const int patternField = positioned ? 3 : 2;
    if (fields.size() <= patternField || (!positioned && keyword != QLatin1String("STXT"))) {
        FUZZ_CHECK(!rule.isValid());
        return;
    }
    if (!rule.isValid())
        return;
    FUZZ_CHECK(rule.name() == fields.at(0));
    FUZZ_CHECK(rule.kind() == (keyword == QLatin1String("LEFT")    ? PatternRule::LEFT
                               : keyword == QLatin1String("RIGHT") ? PatternRule::RIGHT
                                                                   : PatternRule::STXT));
    FUZZ_CHECK(rule.offset() == (positioned ? fields.at(2).toInt() : 0));
    FUZZ_CHECK(rule.offset() >= 0);
    FUZZ_CHECK(rule.pattern() == fields.at(patternField));
    FUZZ_CHECK(rule.hasAnswer() == (fields.size() > patternField + 1));
    FUZZ_CHECK(rule.answer() == fields.value(patternField + 1));
}

} // namespace

// The first line of the input is the rule, the next ones are frames.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QString line = lines.first();
    PatternRule rule(line);
    checkParsed(rule, line);

    // The pattern as a frame of its own, and where the rule's offset puts it.
    QStringList frames = lines.mid(1, 2);
    const int padding = qBound(0, rule.offset(), longestComparedFrame);
    frames << rule.pattern()
           << QString(padding, QLatin1Char('0')) + rule.pattern() +
                  QString(padding, QLatin1Char('F'));

    const QString first = QStringLiteral("R1");
    const QString second = QStringLiteral("R2");
    for (const QString &frame : frames) {
        const int firstBefore = rule.matchCount(first);
        const int secondBefore = rule.matchCount(second);
        const bool matched = rule.matches(first, frame);
        FUZZ_CHECK(!matched || rule.isValid());
        FUZZ_CHECK(rule.matchCount(first) == firstBefore + int(matched));
        FUZZ_CHECK(rule.matchCount(second) == secondBefore);
        FUZZ_CHECK(rule.matches(second, frame) == matched);
        FUZZ_CHECK(rule.matchCount(second) == secondBefore + int(matched));
        FUZZ_CHECK(rule.matchCount() == rule.matchCount(first) + rule.matchCount(second));
        if (rule.isValid() && isContextFree(rule.pattern()) && frame.size() <= longestComparedFrame)
            FUZZ_CHECK(matched == patternFound(rule, frame));
    }

    rule.clearCounters();
    FUZZ_CHECK(rule.matchCount() == 0 && rule.matchCount(first) == 0 &&
               rule.matchCount(second) == 0);
    return 0;
}
