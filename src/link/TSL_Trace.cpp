#include "TSL_Trace.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QTime>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<std::FILE *> &destination()
{
    static std::atomic<std::FILE *> file{stdout};
    return file;
}

QMutex &outputMutex()
{
    static QMutex mutex;
    return mutex;
}

void write(const QString &text, bool endLine)
{
    const QByteArray bytes = text.toLocal8Bit();
    const QMutexLocker locker(&outputMutex());
    std::FILE *file = destination();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file);
    if (endLine)
        std::fputc('\n', file);
    std::fflush(file);
}

} // namespace

bool TSL_Trace::enabled()
{
    static const bool on = qgetenv("OVS_LINK_TRACE") != "0";
    return on && destination() != nullptr;
}

void TSL_Trace::setDestination(std::FILE *file)
{
    destination() = file;
}

void TSL_Trace::line(const QString &text)
{
    if (enabled())
        write(text, true);
}

void TSL_Trace::text(const QString &text)
{
    if (enabled())
        write(text, false);
}

void TSL_Trace::debug(const QString &text)
{
    if (enabled())
        qDebug().noquote() << text;
}

QString TSL_Trace::timeNow()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.z"));
}

QString TSL_Trace::hexBytes(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size() * 5);
    for (char byte : bytes)
        text += QStringLiteral("0x%1-").arg(uint(std::uint8_t(byte)), 0, 16);
    return text;
}
