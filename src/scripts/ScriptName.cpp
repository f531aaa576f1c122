#include "ScriptName.h"

#include "common/Utf8Text.h"

#include <QByteArray>
#include <QFile>

namespace {

// Enough for maximumLength characters and one more in UTF-8.
constexpr qint64 readLimit = 1024;

} // namespace

QString ScriptName::read(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray start = file.read(readLimit);
    // The first line as the script engine reads it: UTF-8, ended by "\n", "\r\n" or "\r".
    for (int index = 0; index < start.size(); ++index) {
        if (start.at(index) == '\n' || start.at(index) == '\r') {
            start.truncate(index);
            break;
        }
    }
    const QString name = utf8UpToZero(start);
    if (name.size() > maximumLength)
        return name.left(maximumLength) + QStringLiteral(" ...");
    return name;
}
