#pragma once

#include "FirmwareExchange.h"
#include "downloadData_t.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QRandomGenerator>
#include <QString>

// Carries out a firmware job in a thread of its own: it sends the reader the job's commands,
// waits for each answer, cuts the image into fragments and sends again what the devices miss.
// It never holds a reader: commands go out by sendFirmwareCommand with the reader's name, and
// whoever sees the reader's answers hands them to answerReceived, from any thread.
class FirmwareDataEngine : public QObject
{
    Q_OBJECT

public:
    // How long the job waits; tests make them short.
    struct Timing
    {
        int answerMs = 10000;
        int collectMs = 15000;
        // The devices' pause after a forwarding command, before the radio is set for the
        // transfer.
        int forwardPauseMs = 3000;
        // How long a push waits for each report of the reader, and for each updated device.
        int reportMs = 30000;
        int deviceMs = 1000;
    };

    // Tries of one missing-fragment question or one fragment, and rounds of an upload.
    static constexpr int tries = 6;
    static constexpr int rounds = 6;

    explicit FirmwareDataEngine(QObject *parent = nullptr);

    void setTiming(const Timing &timing) { m_timing = timing; }

    // From any thread: an answer of the reader; answers of any other reader are ignored.
    void answerReceived(bool success, const QString &readerName, const QByteArray &payload);
    // From any thread: the running job ends at its next exchange.
    void cancel();

public slots:
    void handleLocalApplicativeUpgrade(downloadData_t job);
    void handleOTANodeUpload(downloadData_t job);
    void handleOTANodeDirectUpgrade(downloadData_t job);
    void handleUpgradeWithLoadedFW(downloadData_t job);
    void handleOTADirectFirmwareClone(downloadData_t job);

signals:
    void sendFirmwareCommand(QString readerName, QString command);
    void statusMessage(QString message);
    void errorMessage(QString message);
    void updateProgressBar(int value);
    void setProgressBarRange(int minimum, int maximum);
    void finishedUpdatingDevice(QString updatedDeviceID);
    void finishUploadFirmware();
    void enableAutoProgressBar(bool enable, int timeToFull);
    // During a transfer: the bytes of this round's fragments sent so far, out of all of them,
    // and the rate of the whole transfer.
    void transferProgress(qint64 bytesSent, qint64 bytesToSend, double bytesPerSecond);
    // After the last report of every job, whatever its outcome.
    void jobEnded();

private:
    void localUpgrade(downloadData_t &job);
    void nodeUpload(downloadData_t &job);
    void directUpgrade(downloadData_t &job);
    void pushPending(downloadData_t &job);
    void cloneFirmware(downloadData_t &job);
    // The push from its first exchange on, for a job whose reader and parameters are checked.
    void runPush(const downloadData_t &job);
    // Follows the reader's reports until it says it is done; false after a silence.
    bool followPushReports(const downloadData_t &job);
    void failPush(const QString &error);
    bool checkDistantParameters(const downloadData_t &job);
    bool setDistantRadioParameters(const downloadData_t &job);
    // The distant devices' missing fragments, merged, until none is missing or the rounds
    // are used up; false when a fragment could not be sent.
    bool sendDistantRounds(const downloadData_t &job, const QStringList &fragments);
    // Checks the reader (and, with needsFirmware, the loaded firmware) and makes the job the
    // running one.
    bool startJob(const downloadData_t &job, bool needsFirmware = true);
    // True when the reader answered with success; answers that carry a status (the firmware
    // and parameter-write answers) must also say "done" unless statusCounts is false.
    bool exchange(const QString &command, QByteArray *answer = nullptr, bool statusCounts = true);
    bool uploadFirmwareToReader(downloadData_t &job);
    bool sendMissingRounds(const QStringList &fragments, int imageBytes,
                           const QString &missingCommand);
    // False, with the cancel reported, when the job was cancelled.
    bool reportIfCancelled();

    Timing m_timing;
    FirmwareExchange m_exchange;
    QRandomGenerator m_random;
    QMutex m_readerMutex;
    QString m_readerName;
};
