#include "RunOutput.h"

#include "common/StatusLine.h"
#include "firmware/FirmwareChoices.h"
#include "session/PacketLogFile.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>

#include <algorithm>

namespace {

constexpr int barWidth = 30;

} // namespace

RunOutput::RunOutput(QIODevice *out, QIODevice *progress, bool json, bool progressTerminal)
    : m_out(out)
    , m_progress(progress)
    , m_json(json)
    , m_progressTerminal(progressTerminal)
{
}

void RunOutput::write(const QByteArray &line)
{
    m_out->write(line + '\n');
}

void RunOutput::writeJson(const QList<QPair<QString, QString>> &fields)
{
    QJsonObject object;
    for (const auto &field : fields)
        object.insert(field.first, field.second);
    write(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void RunOutput::status(const QString &message, const QTime &time)
{
    if (m_json)
        writeJson({{"type", "status"}, {"time", StatusLine::timeText(time)}, {"message", message}});
    else
        write(StatusLine::stampedText(message, time).toUtf8());
}

void RunOutput::frame(const readerPacket_t &packet, const QString &dateTime,
                      const QList<T_matchSnapshot> &matchList)
{
    if (!m_json) {
        write(PacketLogFile::line(packet, dateTime, matchList).trimmed().toUtf8());
        return;
    }
    QString frame = packet.frame;
    frame.remove(QLatin1Char(' '));
    writeJson(
        {{"type", "frame"},
         {"time", dateTime},
         {"reader", packet.readerName},
         {"direction", packet.direction},
         {"frame", frame},
         {"status", packet.status},
         {"rule", matchList.isEmpty() ? QString() : matchList.first().ruleName},
         {"count", QString::number(matchList.isEmpty() ? 0 : matchList.first().readerMatchCount)}});
}

void RunOutput::sendResult(const QString &result)
{
    if (m_json)
        writeJson({{"type", "result"}, {"result", result}});
    else
        write(QStringLiteral("Result: %1").arg(result).toUtf8());
}

void RunOutput::gateway(const QString &name, const QString &address, quint16 port)
{
    if (m_json)
        writeJson({{"type", "gateway"},
                   {"name", name},
                   {"address", address},
                   {"port", QString::number(port)}});
    else
        write(QStringLiteral("%1 %2 %3").arg(name, address).arg(port).toUtf8());
}

void RunOutput::progress(qint64 bytesSent, qint64 bytesToSend, double bytesPerSecond)
{
    const int percent =
        bytesToSend > 0 ? int(std::clamp<qint64>(bytesSent * 100 / bytesToSend, 0, 100)) : 0;
    const QString rate =
        FirmwareChoices::transferProgressText(bytesSent, bytesToSend, bytesPerSecond);
    if (!m_progressTerminal) {
        if (percent != m_lastPercent)
            m_progress->write(QStringLiteral("%1 %\n").arg(percent).toUtf8());
        m_lastPercent = percent;
        return;
    }
    const int filled = percent * barWidth / 100;
    const QString bar =
        QStringLiteral("\r[%1%2] %3 % %4\x1b[K")
            .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('.')))
            .arg(percent, 3)
            .arg(rate);
    m_progress->write(bar.toUtf8());
    m_barShown = true;
}

void RunOutput::endProgress()
{
    if (m_barShown)
        m_progress->write("\n");
    m_barShown = false;
    m_lastPercent = -1;
}
