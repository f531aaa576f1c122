#pragma once

#include "project/ProjectPaths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// One S-record line of the type with its byte count and checksum.
inline QByteArray srecord(const QByteArray &type, const QByteArray &addressAndData)
{
    quint8 sum = quint8(addressAndData.size() + 1);
    for (const char byte : addressAndData)
        sum = quint8(sum + quint8(byte));
    return type + QByteArray::number(addressAndData.size() + 1, 16).rightJustified(2, '0') +
           addressAndData.toHex() + QByteArray::number(quint8(~sum), 16).rightJustified(2, '0') +
           "\r\n";
}

// A firmware file of the image at 0x08000000 in records of 16 bytes, behind the header text.
inline QByteArray srecordFile(const QByteArray &image,
                              const QByteArray &header = "0A01-00010203-0123456789ABCDEF-Bench-"
                                                         "ABCDEF0322-0")
{
    QByteArray file = srecord("S0", QByteArray(2, '\0') + header);
    for (int at = 0; at < image.size(); at += 16) {
        const quint32 address = 0x08000000u + quint32(at);
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = char(address >> (24 - 8 * i));
        file += srecord("S3", bytes + image.mid(at, 16));
    }
    return file + srecord("S7", QByteArray(4, '\0'));
}

// The path of a file of the project's firmware folder, written with contents unless they are
// empty.
inline QString firmwareFile(const QString &name, const QByteArray &contents = QByteArray())
{
    QFile file(ProjectPaths::firmwarePath() + "/" + name);
    if (!contents.isEmpty() && QDir().mkpath(ProjectPaths::firmwarePath()) &&
        file.open(QIODevice::WriteOnly))
        file.write(contents);
    return file.fileName();
}
