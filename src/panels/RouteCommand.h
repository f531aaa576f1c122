#pragma once

#include <QString>

#include <optional>

// The route panel's texts: what its address fields accept and the route command they make.
namespace RouteCommand {

// Radio addresses are 8 hexadecimal digits.
constexpr int addressLength = 8;

// An address field's text after an edit: hexadecimal digits only, at most 8.
QString addressFieldText(const QString &edited);

// An address completed on Return: "0" appended up to 8 digits.
QString paddedAddress(const QString &address);

// The target of a pasted 39-character route line: 8 characters, a blank, the target, then
// blanks at 17, 25 and 30. Nothing for any other text.
std::optional<QString> pastedTarget(const QString &typed);

// "01040201010D", the number of relays, the target and both relays ("00000000" where none).
// Relay 2 counts only behind a relay 1 of 8 digits. Blanks are ignored; a target other than
// 8 characters makes no command.
std::optional<QString> command(QString target, QString relay1, QString relay2);

} // namespace RouteCommand
