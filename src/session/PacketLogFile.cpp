#include "PacketLogFile.h"

#include <QChar>

void PacketLogFile::open(const QString &fileName)
{
    close();
    m_fileName = fileName;
    if (fileName.isEmpty())
        return;
    m_file.setFileName(fileName);
    m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void PacketLogFile::close()
{
    if (m_file.isOpen())
        m_file.close();
}

void PacketLogFile::writePacket(const readerPacket_t &packet, const QString &dateTime,
                                const MatchList &matchList)
{
    writeText(line(packet, dateTime, matchList));
}

void PacketLogFile::writeText(const QString &text)
{
    if (!m_file.isOpen())
        return;
    m_file.write(text.toUtf8());
    m_file.flush();
}

QString PacketLogFile::line(const readerPacket_t &packet, const QString &dateTime,
                            const MatchList &matchList)
{
    QString frame = packet.frame;
    frame.remove(QLatin1Char(' '));
    const QString ruleName = matchList.isEmpty() ? QString() : matchList.first().ruleName;
    const int count = matchList.isEmpty() ? 0 : matchList.first().readerMatchCount;
    return QStringLiteral("[%1]:%2:%3:%4:%5:%6\r\n")
        .arg(dateTime, packet.readerName, packet.direction, frame, ruleName,
             QString::number(count));
}
