#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QRandomGenerator>

#include <optional>

// The firmware memory of the simulated reader, answering the firmware commands as
// docs/firmware-protocol.md describes them. Written from that page alone: it shares no code with
// the workbench's firmware engine, so that the two can only agree through the page.
class SimulatedFirmware
{
public:
    // The answer payloads to a firmware or parameter command (several when distant devices
    // answer); nothing for any other request.
    std::optional<QList<QByteArray>> answer(const QByteArray &request);

    // The devices behind the reader, by 4-byte address; they answer distant commands.
    void setDistantDevices(const QList<QByteArray> &addresses);
    // The image that a distant device installed last.
    QByteArray distantInstalledImage(const QByteArray &address) const;
    // Reports the reader sends unasked after its last answer, each with its delay in ms from
    // the one before; taken once.
    QList<QPair<int, QByteArray>> takeReports();

    // Stored fragments that are dropped, in percent, drawn from a generator with this seed:
    // the fragment is answered as stored and then missing, as a flash write that failed.
    void setFragmentLoss(int percent, quint32 seed);
    // The installed firmware that the information answer names.
    void setCapabilities(const QByteArray &fields) { m_capabilities = fields; }
    void setInstalled(const QByteArray &number, const QByteArray &version,
                      const QByteArray &stackVersion);
    // The image installed by the last successful "apply".
    QByteArray installedImage() const { return m_installedImage; }
    // How many fragment commands arrived, in all.
    int fragmentsReceived() const { return m_fragmentsReceived; }
    // The missing-fragment questions answered so far.
    int missingQuestions() const { return m_missingQuestions; }

private:
    struct Download
    {
        QByteArray password;
        QByteArray number;
        QByteArray version;
        quint32 size = 0;
        quint32 crc = 0;
        quint16 session = 0;
        QMap<int, QByteArray> fragments;
    };

    struct DistantDevice
    {
        std::optional<Download> download;
        QByteArray installedImage;
    };

    QByteArray readerAnswer(const QByteArray &request);
    QList<QByteArray> distantAnswers(const QByteArray &command);
    QByteArray forward(const QByteArray &command);
    QByteArray push(const QByteArray &request);
    QList<QByteArray> pushResult();
    QByteArray enterDownload(const QByteArray &request, int headerSize);
    QByteArray storeFragment(const QByteArray &request);
    QByteArray missingFragments(const QByteArray &request) const;
    QByteArray apply(const QByteArray &request);
    QByteArray pendingInformation() const;
    QByteArray information() const;
    QByteArray parameters(const QByteArray &request);
    bool storeIn(Download &download, const QByteArray &numberCheckAndData);
    static int fragmentCount(const Download &download);
    static QByteArray assembledImage(const Download &download);
    static QByteArray missingRanges(const Download &download);

    std::optional<Download> m_download;
    QMap<QByteArray, DistantDevice> m_distant;
    QByteArray m_routeTarget;
    QList<QPair<int, QByteArray>> m_reports;
    QList<QByteArray> m_pushedDevices;
    QByteArray m_installedNumber = QByteArray::fromHex("0A01");
    QByteArray m_installedVersion = QByteArray::fromHex("01020304");
    QByteArray m_installedStack = QByteArray::fromHex("0322");
    // Every element: over the air, rescue, bootloader, bench slots, clone.
    QByteArray m_capabilities = QByteArray::fromHex("091F");
    QByteArray m_installedImage;
    QByteArray m_dynamicWord = QByteArray::fromHex("0001");
    int m_lossPercent = 0;
    QRandomGenerator m_lossRandom;
    int m_fragmentsReceived = 0;
    mutable int m_missingQuestions = 0;
};
