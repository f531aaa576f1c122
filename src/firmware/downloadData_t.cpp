#include "downloadData_t.h"

void registerDownloadDataType()
{
    qRegisterMetaType<downloadData_t>("downloadData_t");
}
