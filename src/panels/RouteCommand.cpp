#include "RouteCommand.h"

#include <QLatin1Char>
#include <QRegularExpression>

namespace RouteCommand {

namespace {

constexpr int pastedLineLength = 39;
const QString noAddress(addressLength, QLatin1Char('0'));

QString withoutBlanks(QString text)
{
    return text.remove(QLatin1Char(' '));
}

} // namespace

QString addressFieldText(const QString &edited)
{
    static const QRegularExpression notHex(QStringLiteral("[^a-fA-F0-9]"));
    return QString(edited).remove(notHex).left(addressLength);
}

QString paddedAddress(const QString &address)
{
    return address.leftJustified(qMax(addressLength, address.size()), QLatin1Char('0'));
}

std::optional<QString> pastedTarget(const QString &typed)
{
    if (typed.size() != pastedLineLength)
        return std::nullopt;
    for (int blank : {8, 17, 25, 30}) {
        if (typed.at(blank) != QLatin1Char(' '))
            return std::nullopt;
    }
    return typed.mid(9, addressLength);
}

std::optional<QString> command(QString target, QString relay1, QString relay2)
{
    target = withoutBlanks(target);
    relay1 = withoutBlanks(relay1);
    relay2 = withoutBlanks(relay2);
    if (target.size() != addressLength)
        return std::nullopt;
    const QString prefix = QStringLiteral("01040201010D");
    if (relay1.size() != addressLength)
        return prefix + QStringLiteral("00") + target + noAddress + noAddress;
    if (relay2.size() != addressLength)
        return prefix + QStringLiteral("01") + target + relay1 + noAddress;
    return prefix + QStringLiteral("02") + target + relay1 + relay2;
}

} // namespace RouteCommand
