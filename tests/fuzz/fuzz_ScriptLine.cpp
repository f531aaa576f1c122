#include "FuzzCheck.h"
#include "common/DeviceClock.h"
#include "scripts/ScriptLine.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

// A token the expansion must not leave behind: "RTC", then a sign and one or two digits or
// nothing, then a quote, all inside quotes.
bool holdsToken(const QString &line)
{
    for (int at = line.indexOf(QLatin1String("\"RTC")); at >= 0;
         at = line.indexOf(QLatin1String("\"RTC"), at + 1)) {
        int end = at + 4;
        if (end < line.size() &&
            (line.at(end) == QLatin1Char('+') || line.at(end) == QLatin1Char('-'))) {
            int digits = 0;
            while (end + 1 + digits < line.size() && line.at(end + 1 + digits).isDigit() &&
                   line.at(end + 1 + digits).unicode() < 128 && digits < 3)
                ++digits;
            if (digits == 0 || digits > 2)
                continue;
            end += 1 + digits;
        }
        if (end < line.size() && line.at(end) == QLatin1Char('"'))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));

    const QString label = ScriptLine::labelOf(line);
    if (!label.isEmpty()) {
        FUZZ_CHECK(line == label + QLatin1Char(':'));
        for (const QChar c : label)
            FUZZ_CHECK(c.unicode() < 128 && c.isLetterOrNumber());
    }

    const QString normalised = ScriptLine::normalised(line);
    FUZZ_CHECK(ScriptLine::normalised(normalised) == normalised);
    for (const QChar c : normalised)
        FUZZ_CHECK(!c.isSpace());

    static const QDateTime now(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    bool valid = false;
    const QString expanded = DeviceClock::expandPlaceholders(normalised, now, &valid);
    FUZZ_CHECK(!holdsToken(expanded));
    FUZZ_CHECK(DeviceClock::expandPlaceholders(expanded, now) == expanded);
    FUZZ_CHECK(valid || normalised.contains(QLatin1String("\"RTC")));

    const ScriptLine::Command command = ScriptLine::parse(expanded);
    const int fields = command.fields.size();
    if (expanded.isEmpty() || expanded.startsWith(QLatin1String("//"))) {
        FUZZ_CHECK(command.kind == ScriptLine::Kind::Skipped && fields == 0);
        return 0;
    }
    FUZZ_CHECK(command.fields.join(QLatin1Char(';')) == expanded);
    const bool wait = command.fields.first() == QLatin1String("WAIT");
    switch (command.kind) {
    case ScriptLine::Kind::Skipped:
        FUZZ_CHECK(fields == 1);
        break;
    case ScriptLine::Kind::Wait:
        FUZZ_CHECK(wait && (fields == 2 || fields == 3));
        break;
    case ScriptLine::Kind::Loop:
        FUZZ_CHECK(fields == 3 && command.fields.first() == QLatin1String("LOOP"));
        break;
    case ScriptLine::Kind::Frame:
        FUZZ_CHECK(fields == 3 && !wait && command.fields.first() != QLatin1String("LOOP"));
        break;
    case ScriptLine::Kind::ParsingError:
        FUZZ_CHECK(fields > 3 || (fields == 2 && !wait));
        break;
    }
    for (const QString &field : command.fields) {
        const int value = ScriptLine::number(field);
        FUZZ_CHECK(value == 0 || QString::number(value).toInt() == value);
    }
    return 0;
}
