#pragma once

#include <QMetaType>

// The values travel as the plain int tabType of sendDataToReader, so they are fixed;
// the int base keeps a stray value from elsewhere well-defined.
enum DockedTabTypes : int
{
    TAB_READERS = 0,
    TAB_ALL_READERS = 1,
    TAB_FIRMWARE_UPGRADE = 2,
    TAB_CONNECTED_READER = 3
};

Q_DECLARE_METATYPE(DockedTabTypes)
