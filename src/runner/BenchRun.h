#pragma once

#include "RunOptions.h"
#include "firmware/FirmwareFile.h"
#include "firmware/downloadData_t.h"
#include "session/readerPacket_t.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <memory>

class FirmwareDataEngine;
class ReaderSession;
class RunLogSink;
class RunOutput;
class TesselGatewayDetector;

// One piece of bench work without a window: connects the reader of the project's readers file
// as the window does, runs the command through the same session, script engine and firmware
// engine, and ends with an exit code.
class BenchRun : public QObject
{
    Q_OBJECT

public:
    enum ExitCode
    {
        Success = 0,
        DeviceFailed = 1,
        NotConnected = 2,
        BadUsage = 3,
    };

    BenchRun(const RunOptions &options, RunOutput *output, QObject *parent = nullptr);
    ~BenchRun() override;

    void start();
    // Ctrl+C: a script or an upgrade stops as the stop and cancel buttons stop them.
    void interrupt();

signals:
    void finished(int exitCode);
    void localUpgrade(downloadData_t job);

private:
    bool readFiles();
    void readerConnected(const QString &readerName);
    void connectionFailed(const QString &readerName, int result);
    void sessionMessage(const QString &message);
    void packetLogged(const readerPacket_t &packet);
    void runSend();
    void runScript();
    void runListen();
    void runDiscover();
    void askFirmwareInformation();
    void firmwareAnswer(const QString &answerHex);
    void startUpgrade(const QString &installedNumber, const QString &installedStackVersion);
    void finish(int exitCode);

    RunOptions m_options;
    RunOutput *m_output;
    std::unique_ptr<RunLogSink> m_sink;
    std::unique_ptr<ReaderSession> m_session;
    FirmwareFile::Selection m_firmware;
    QString m_scriptPath;
    QTimer m_timer;
    QString m_sendResult;
    bool m_scriptEnded = false;
    bool m_upgradeFailed = false;
    bool m_finished = false;
    QThread m_engineThread;
    FirmwareDataEngine *m_engine = nullptr;
    std::unique_ptr<TesselGatewayDetector> m_detector;
    int m_gateways = 0;
};
