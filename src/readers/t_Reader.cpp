#include "t_Reader.h"

#include <QStringList>

QString readerStateText(std::int32_t state)
{
    static const QStringList texts = {QStringLiteral("Default"),   QStringLiteral("Init"),
                                      QStringLiteral("Connected"), QStringLiteral("Disconnected"),
                                      QStringLiteral("Discover"),  QStringLiteral("Error"),
                                      QStringLiteral("OTA"),       QStringLiteral("OK")};
    return state >= 0 && state < texts.size() ? texts.at(state) : QString();
}

QString readerActionText(std::int32_t state)
{
    // Only a reader being connected, or brought back, is in state 1: a click gives that up.
    if (state == STATE_INIT)
        return QStringLiteral("Cancel");
    return state == STATE_CONNECTED || state == STATE_OTA ? QStringLiteral("Disconnect")
                                                          : QStringLiteral("Connect");
}
