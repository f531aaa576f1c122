#pragma once

#include <QByteArray>
#include <QString>

// Text read from a user's file ends at its first zero byte, as a C string would: the same with
// Qt 5, whose fromUtf8(QByteArray) stopped there, and Qt 6, which reads on.
inline QString utf8UpToZero(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(),
                             int(qstrnlen(bytes.constData(), uint(bytes.size()))));
}
