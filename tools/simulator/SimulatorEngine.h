#pragma once

#include "SimulatedFirmware.h"
#include "SimulatorRecords.h"
#include "SimulatorSettings.h"
#include "link/TSL_StreamExtractor.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class PtyLine;
class QHostAddress;
class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class UnsolicitedFlood;

// The simulated reader itself. Lives in the simulator thread; ReaderSimulator calls into it.
class SimulatorEngine : public QObject
{
    Q_OBJECT

public:
    explicit SimulatorEngine(QObject *parent = nullptr);

    SimulatorSettings &settings() { return m_settings; }
    SimulatorRecords &records() { return m_records; }
    PtyLine &line() { return *m_line; }
    SimulatedFirmware &firmware() { return m_firmware; }

    bool startSerial(const QString &linkPath);
    void closeSerial();
    bool reopenSerial();
    bool startTcp(quint16 port);
    quint16 tcpPort() const;
    void closeTcp();
    bool startDiscovery(const QHostAddress &address, quint16 port);
    quint16 discoveryPort() const;

    void closeInMiddleOfNextFrame() { m_cutNextFrame = true; }
    void sendFrame(const QByteArray &payload);
    void sendRaw(const QByteArray &bytes);
    void sendRecoveredNotice(quint16 session);
    void startUnsolicited(int count, int perSecond, const QByteArray &prefix);
    void sendTcpChunk(const QByteArray &chunk);
    void startTcpUnsolicited(int count, int perSecond, const QByteArray &prefix);
    void sendDiscoveryAnswer(const QHostAddress &to, quint16 port);
    void sendDatagram(const QHostAddress &to, quint16 port, const QByteArray &bytes);

private:
    void onSerialBytes(const QByteArray &bytes);
    void handleFrame(const QByteArray &frame);
    void respond(const QByteArray &request, quint16 session, int code);
    // Answers to a request, each a payload of its own; several devices may answer one.
    QList<QByteArray> answersTo(const QByteArray &request);
    QByteArray nextDataFrame(const QByteArray &payload);
    void writeFrames(const QList<QByteArray> &frames, int tag = -1);
    void record(const QByteArray &payload);
    void onFrameWritten(int session);
    void onNewConnection();
    void onTcpReadyRead(QTcpSocket *socket);
    bool tcpHasRoom() const;
    void onDiscoveryReadyRead();

    SimulatorSettings m_settings;
    SimulatorRecords m_records;
    SimulatedFirmware m_firmware;
    PtyLine *m_line;
    TSL_StreamExtractor m_extractor;
    quint16 m_session = 0x8000;
    bool m_cutNextFrame = false;
    // Frames that have come faster than the input baud rate, and when the line is free again.
    QList<QByteArray> m_pacedInput;
    qint64 m_inputFreeAtUs = 0;
    // When each of our own frames was fully written, for the PC's acknowledgement latency.
    QHash<quint16, qint64> m_writtenAtUs;
    UnsolicitedFlood *m_serialFlood;
    QTcpServer *m_server;
    QList<QTcpSocket *> m_clients;
    UnsolicitedFlood *m_tcpFlood;
    QUdpSocket *m_discovery;
};
