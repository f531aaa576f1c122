#include "StyleSheet.h"

#include <QByteArray>
#include <QFile>

QString loadStyleSheet(const QString &styleSheetName)
{
    QFile file(QStringLiteral(":/StyleSheet/") + styleSheetName + QStringLiteral(".qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray contents = file.readAll();
    // Style sheets are Latin-1 texts that end at the first zero byte, like C strings.
    const int end = contents.indexOf('\0');
    return QString::fromLatin1(end < 0 ? contents : contents.left(end));
}
