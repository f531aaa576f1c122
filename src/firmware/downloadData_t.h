#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// One firmware job as the upgrade dock hands it to the engine. Every text is hexadecimal:
// radio values, the options byte and versions as the dock writes them, addresses of 8 digits.
struct downloadData_t
{
    // Two digits.
    QString optionsByte;
    // "0" for the reader's own firmware area, "00" to "09" for bench firmware 1 to 10.
    QString benchSlot = QStringLiteral("0");
    // 16 characters from the firmware header.
    QString password;
    // 4 lower-case digits; empty while no firmware file is loaded.
    QString firmwareNumber;
    QString lowestAcceptedVersion = QStringLiteral("00000000");
    QString highestAcceptedVersion = QStringLiteral("FFFFFFFF");
    // 8 characters from the firmware header.
    QString firmwareVersion;
    // 4 lower-case digits, drawn by the engine for each transfer.
    QString downloadSession;
    // 8 digits each, of the image the engine builds from firmwareBytes.
    QString firmwareSize;
    QString firmwareCrc;
    // How the reader reaches the devices, 2 digits each.
    QString accessRadioMode;
    QString accessChannel;
    QString accessCastType;
    QString accessSpreadingFactor;
    // Milliseconds as 4 upper-case digits.
    QString wakeUpLength;
    QString targetAddress;
    // "00000000" where there is no relay.
    QString relay1Address = QStringLiteral("00000000");
    QString relay2Address = QStringLiteral("00000000");
    // The addresses to update, one after the other without blanks.
    QString deviceList;
    // How the firmware travels to the devices, 2 digits each; the cast type repeats the
    // access cast type.
    QString transferRadioMode;
    QString transferChannel;
    QString transferCastType;
    QString transferSpreadingFactor;
    // The loaded firmware file as read.
    QByteArray firmwareBytes;
    // The connected reader the job runs through; empty when none is connected.
    QString readerName;
};

Q_DECLARE_METATYPE(downloadData_t)

// Lets jobs travel through queued connections; call once before the first one.
void registerDownloadDataType();
