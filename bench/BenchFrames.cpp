#include "BenchFrames.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringView>

namespace BenchFrames {

namespace {

// "[ddd yyyy-MM-dd HH:mm:ss:zzz]:reader:Rx:HEX:rule:count" and CR LF.
const QRegularExpression rxLinePattern(
    QStringLiteral("^\\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \\d{4}-\\d\\d-\\d\\d "
                   "\\d\\d:\\d\\d:\\d\\d:\\d{3}\\]:([^:]*):Rx:([0-9A-F]*):([^:]*):(\\d+)\r\n$"));

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

} // namespace

QByteArray framePrefix()
{
    return QByteArray::fromHex("0BE7112233445566");
}

QByteArray framePayload(int sequence)
{
    QByteArray payload = framePrefix();
    for (int shift = 24; shift >= 0; shift -= 8)
        payload.append(char(quint32(sequence) >> shift & 0xFF));
    return payload;
}

// One rule at the frames' end for every sixteenth frame, one at their start and the last one
// in their middle.
bool writePatternRules()
{
    QByteArray rules;
    for (int i = 0; i < 50; ++i) {
        const QByteArray tag = QByteArray::number(i, 16).rightJustified(2, '0').toUpper();
        const QByteArray offset = QByteArray::number(i % 8 * 2);
        if (i == 10)
            rules += "Tens;RIGHT;0;[0-9A-F]0\n";
        else if (i == 30)
            rules += "Head;LEFT;0;0BE7\n";
        else if (i == 49)
            rules += "Body;STXT;112233\n";
        else if (i % 3 == 0)
            rules += "Left" + tag + ";LEFT;" + offset + ";FEED" + tag + "\n";
        else if (i % 3 == 1)
            rules += "Right" + tag + ";RIGHT;" + offset + ";DEAD" + tag + "\n";
        else
            rules += "Text" + tag + ";STXT;C0FFEE" + tag + "\n";
    }
    return writeFile(ProjectPaths::patternRulesPath(), rules);
}

bool writeReadersFile(const QByteArray &contents)
{
    return writeFile(ProjectPaths::readersFilePath(), contents);
}

bool Project::open()
{
    if (!folder.isValid())
        return false;
    paths.setProjectPath(folder.path());
    return ProjectPaths::projectPath() == folder.path();
}

int LogContents::missingOf(const QString &reader, int count) const
{
    return count - inRangeOf(reader, count);
}

int LogContents::outOfRangeOf(const QString &reader, int count) const
{
    return sequences.value(reader).size() - inRangeOf(reader, count);
}

int LogContents::inRangeOf(const QString &reader, int count) const
{
    int present = 0;
    for (int sequence : sequences.value(reader))
        present += sequence >= 0 && sequence < count;
    return present;
}

LogContents readLog(const QString &fileName)
{
    LogContents contents;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return contents;
    const QString prefixHex = QString::fromLatin1(framePrefix().toHex().toUpper());
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine());
        ++contents.lines;
        const QRegularExpressionMatch match = rxLinePattern.match(line);
        if (!match.hasMatch()) {
            ++contents.malformed;
            continue;
        }
        const QString hex = match.captured(3);
        if (hex.size() != prefixHex.size() + 8 || !hex.startsWith(prefixHex)) {
            ++contents.otherFrames;
            continue;
        }
        const int sequence = int(QStringView(hex).right(8).toUInt(nullptr, 16));
        QSet<int> &seen = contents.sequences[match.captured(2)];
        if (seen.contains(sequence))
            ++contents.duplicates;
        seen.insert(sequence);
    }
    return contents;
}

} // namespace BenchFrames
