#pragma once

#include "readers/t_Reader.h"

#include <QByteArray>
#include <QString>

// Adds a reader to the process-wide registry and connects it: over serialPort when one is
// given, else to 127.0.0.1 on tcpPort. Null when the connection fails.
t_Reader *addConnectedReader(const QByteArray &name, const QString &serialPort,
                             quint16 tcpPort = 0);
