#pragma once

#include <QString>

#include <memory>

class OVSViewer;

// A shown window on the project at projectPath, whose one serial reader readerName is on
// serialPort and connected from the readers table; null, reported, when it does not connect.
std::unique_ptr<OVSViewer> windowWithSerialReader(const QString &projectPath,
                                                  const QString &serialPort,
                                                  const QString &readerName);
