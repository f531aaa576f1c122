#include "ScriptName.h"

#include <QByteArray>
#include <QFile>
#include <QTextStream>

namespace {

// Enough for maximumLength characters and one more, whatever their encoding.
constexpr qint64 readLimit = 1024;

} // namespace

QString ScriptName::read(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray start = file.read(readLimit);
    // UTF-8 unless a byte order mark says otherwise.
    QTextStream stream(start);
    stream.setCodec("UTF-8");
    const QString name = stream.readLine();
    if (name.size() > maximumLength)
        return name.left(maximumLength) + QStringLiteral(" ...");
    return name;
}
