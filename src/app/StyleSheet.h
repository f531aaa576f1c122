#pragma once

#include <QString>

// Text of the resource ":/StyleSheet/<name>.qss"; empty when there is none.
QString loadStyleSheet(const QString &styleSheetName);
