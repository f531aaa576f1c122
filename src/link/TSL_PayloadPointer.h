#pragma once

#include <QByteArray>
#include <QMetaType>

// The links hand received payloads up as a pointer to a byte array they own; declared once
// here so that every link header can include it without clashing declarations.
Q_DECLARE_METATYPE(QByteArray *)
