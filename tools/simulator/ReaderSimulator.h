#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>

#include <type_traits>
#include <utility>

class SimulatorEngine;

// A simulated radio reader for tests, benchmarks and the demo: the TSL protocol on a
// pseudo-terminal, raw payloads on a loopback TCP port and a gateway's answer to discovery
// over UDP. All I/O runs in the simulator's own thread, so a caller may block while waiting
// for an answer; every method is thread-safe and returns copies.
class ReaderSimulator : public QObject
{
    Q_OBJECT

public:
    enum : int
    {
        NoAck = -1
    };

    explicit ReaderSimulator(QObject *parent = nullptr);
    ~ReaderSimulator() override;

    // Serial side (POSIX only) ---------------------------------------------------------------
    // Opens a pseudo-terminal; linkPath, if given, becomes a symlink to its slave (a trailing
    // XXXX is replaced by a unique suffix). False on failure.
    bool startSerial(const QString &linkPath = QString());
    // The symlink if one was given, else the slave's /dev/pts/N.
    QString serialPortName() const;
    // The device vanishes: the pseudo-terminal and the symlink go, the client sees a hang-up.
    void closeSerial();
    // The device is plugged in again: a new pseudo-terminal behind the same symlink.
    bool reopenSerial();

    // TCP side -----------------------------------------------------------------------------
    // Listens on 127.0.0.1; port 0 lets the system choose.
    bool startTcp(quint16 port = 0);
    // The port listened on, 0 when not listening.
    quint16 tcpPort() const;
    // The gateway goes away: it stops listening and hangs up on every client. startTcp() with
    // the same port brings it back.
    void closeTcp();

    // Discovery side -----------------------------------------------------------------------
    // Listens for UDP on address and port (0 lets the system choose) and answers every
    // datagram that is exactly "Hello?" with a 44-byte gateway answer carrying the address in
    // bytes 35..38, least significant byte first. False on failure.
    bool startDiscovery(const QHostAddress &address, quint16 port = 0);
    // The UDP port listened on, 0 when not listening.
    quint16 discoveryPort() const;
    // A gateway answer nobody asked for, from the discovery socket.
    void sendDiscoveryAnswer(const QHostAddress &to, quint16 port);
    // Any datagram, from the discovery socket.
    void sendDatagram(const QHostAddress &to, quint16 port, const QByteArray &bytes);

    // Answers ------------------------------------------------------------------------------
    // The 4 bytes that 01 06 02 answers with (after 01 07 02) and that the discovery answer
    // carries; default 0A 1B 2C 3D.
    void setAddress(const QByteArray &address);
    // The 3 UART configuration bytes that 01 01 06 reads and 01 01 07 writes; default 05 10 03.
    void setUartConfiguration(const QByteArray &config);
    // The UART configuration bytes as last set or written by the PC.
    QByteArray uartConfiguration() const;
    // Answers request with answer on both sides; takes precedence over the built-in commands.
    void setAnswer(const QByteArray &request, const QByteArray &answer);

    // Behaviours ----------------------------------------------------------------------------
    // Acknowledgement code for every data frame from now on; NoAck never acknowledges. Only
    // 0x06 and 0x07 are followed by an answer.
    void setAckCode(int code);
    // One code per following data frame (NoAck allowed), then back to setAckCode's code.
    void queueAckCodes(const QList<int> &codes);
    // No acknowledgements, answers or echoes at all; explicit sends still go out.
    void setSilent(bool silent);
    // Delay before each acknowledgement and its answer.
    void setAckDelay(int milliseconds);
    // Every serial output byte in its own write, about 1 ms apart.
    void setSplitIntoSingleBytes(bool split);
    // Bytes written before every frame the simulator sends.
    void setGarbage(const QByteArray &garbage);
    // The answer frame and then its acknowledgement, in one write.
    void setAnswerBeforeAck(bool on);
    // The acknowledgement and the answer frame in one write (default: two writes).
    void setAckAndAnswerTogether(bool on);
    // 0: unpaced; else serial output paced at baud / 10 bytes per second, and every received
    // frame taken only once its bytes could have come at that rate.
    void setBaudRate(int baud);
    // The next frame the simulator sends stops after half its bytes and the line hangs up
    // (closeSerial) shortly after.
    void closeInMiddleOfNextFrame();

    // Sending on its own ---------------------------------------------------------------------
    // An unsolicited data frame with the next simulator session number.
    void sendFrame(const QByteArray &payload);
    // Exact bytes on the serial line, without garbage.
    void sendRaw(const QByteArray &bytes);
    // An acknowledgement frame with code 0x09 for the session.
    void sendRecoveredNotice(quint16 session);
    // count data frames with payload prefix + 4-byte big-endian sequence number from 0;
    // framesPerSecond 0 sends them as fast as the line takes them.
    void startUnsolicited(int count, int framesPerSecond, const QByteArray &prefix);
    // One chunk to every connected TCP client.
    void sendTcpChunk(const QByteArray &chunk);
    // As startUnsolicited, as raw chunks to every connected TCP client.
    void startTcpUnsolicited(int count, int chunksPerSecond, const QByteArray &prefix);
    // Whether TCP chunks without an answer are echoed back; default true.
    void setTcpEcho(bool echo);

    // Firmware (docs/firmware-protocol.md) -----------------------------------------------------
    // Of the fragments stored, percent are lost (seeded), to show up as missing.
    void setFirmwareFragmentLoss(int percent, quint32 seed);
    // What the firmware information answer names as installed: number (2 bytes), version
    // (4 bytes) and stack version (2 bytes).
    void setInstalledFirmware(const QByteArray &number, const QByteArray &version,
                              const QByteArray &stackVersion);
    // The image that the last successful "apply" installed.
    QByteArray installedFirmwareImage() const;
    // The count and flag bytes of the capability answer.
    void setFirmwareCapabilities(const QByteArray &fields);
    // The devices behind the reader, by their 4-byte addresses, and what one installed last.
    void setDistantDevices(const QList<QByteArray> &addresses);
    QByteArray distantInstalledImage(const QByteArray &address) const;
    // Fragment commands received, and missing-fragment questions answered.
    int firmwareFragmentsReceived() const;
    int firmwareMissingQuestions() const;

    // Records --------------------------------------------------------------------------------
    // Payloads of the PC's serial data frames and TCP chunks, in arrival order.
    QList<QByteArray> receivedPayloads() const;
    // Arrival time of each received payload, in ms of std::chrono::steady_clock.
    QList<qint64> receivedTimesMs() const;
    // Number of received payloads.
    int receivedCount() const;
    // Session numbers of the PC's serial data frames.
    QList<quint16> receivedSessions() const;
    // Sessions of the simulator's frames that the PC acknowledged, in order.
    QList<quint16> ackedSessions() const;
    // Per acknowledged frame sent on its own: microseconds from the end of writing it to
    // receiving its acknowledgement.
    QList<qint64> ackLatenciesUs() const;
    // Frames and TCP chunks sent on its own and fully written so far.
    int unsolicitedSent() const;
    // Discovery questions received ("Hello?" exactly).
    int discoveryQuestions() const;
    // Forgets all records.
    void clearRecords();

private:
    // Runs function in the simulator thread and waits for it.
    template<typename Function>
    auto inThread(Function function) const
    {
        const auto type = QThread::currentThread() == &m_thread ? Qt::DirectConnection
                                                                : Qt::BlockingQueuedConnection;
        using Result = decltype(function());
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(m_engine, std::move(function), type);
        } else {
            Result result{};
            QMetaObject::invokeMethod(m_engine, std::move(function), type, &result);
            return result;
        }
    }

    QThread m_thread;
    SimulatorEngine *m_engine;
};
