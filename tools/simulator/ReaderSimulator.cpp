#include "ReaderSimulator.h"

#include "PtyLine.h"
#include "SimulatorEngine.h"
#include "SimulatorRecords.h"
#include "SimulatorSettings.h"

static_assert(ReaderSimulator::NoAck == SimulatorSettings::noAck);

ReaderSimulator::ReaderSimulator(QObject *parent)
    : QObject(parent)
    , m_engine(new SimulatorEngine)
{
    m_thread.setObjectName(QStringLiteral("ReaderSimulator"));
    m_engine->moveToThread(&m_thread);
    // The engine's sockets and timers must be destroyed in the thread that owns them.
    connect(&m_thread, &QThread::finished, m_engine, &QObject::deleteLater);
    m_thread.start();
}

ReaderSimulator::~ReaderSimulator()
{
    m_thread.quit();
    m_thread.wait();
}

bool ReaderSimulator::startSerial(const QString &linkPath)
{
    return inThread([this, linkPath] { return m_engine->startSerial(linkPath); });
}

QString ReaderSimulator::serialPortName() const
{
    return inThread([this] { return m_engine->line().portName(); });
}

void ReaderSimulator::closeSerial()
{
    inThread([this] { m_engine->closeSerial(); });
}

bool ReaderSimulator::reopenSerial()
{
    return inThread([this] { return m_engine->reopenSerial(); });
}

bool ReaderSimulator::startTcp(quint16 port)
{
    return inThread([this, port] { return m_engine->startTcp(port); });
}

quint16 ReaderSimulator::tcpPort() const
{
    return inThread([this] { return m_engine->tcpPort(); });
}

void ReaderSimulator::closeTcp()
{
    inThread([this] { m_engine->closeTcp(); });
}

bool ReaderSimulator::startDiscovery(const QHostAddress &address, quint16 port)
{
    return inThread([this, address, port] { return m_engine->startDiscovery(address, port); });
}

quint16 ReaderSimulator::discoveryPort() const
{
    return inThread([this] { return m_engine->discoveryPort(); });
}

void ReaderSimulator::sendDiscoveryAnswer(const QHostAddress &to, quint16 port)
{
    inThread([this, to, port] { m_engine->sendDiscoveryAnswer(to, port); });
}

void ReaderSimulator::sendDatagram(const QHostAddress &to, quint16 port, const QByteArray &bytes)
{
    inThread([this, to, port, bytes] { m_engine->sendDatagram(to, port, bytes); });
}

void ReaderSimulator::setAddress(const QByteArray &address)
{
    inThread([this, address] { m_engine->settings().address = address; });
}

void ReaderSimulator::setUartConfiguration(const QByteArray &config)
{
    inThread([this, config] { m_engine->settings().uartConfiguration = config; });
}

QByteArray ReaderSimulator::uartConfiguration() const
{
    return inThread([this] { return m_engine->settings().uartConfiguration; });
}

void ReaderSimulator::setAnswer(const QByteArray &request, const QByteArray &answer)
{
    inThread([this, request, answer] { m_engine->settings().answers.insert(request, answer); });
}

void ReaderSimulator::setAckCode(int code)
{
    inThread([this, code] { m_engine->settings().ackCode = code; });
}

void ReaderSimulator::queueAckCodes(const QList<int> &codes)
{
    inThread([this, codes] { m_engine->settings().queuedAckCodes.append(codes); });
}

void ReaderSimulator::setSilent(bool silent)
{
    inThread([this, silent] { m_engine->settings().silent = silent; });
}

void ReaderSimulator::setAckDelay(int milliseconds)
{
    inThread([this, milliseconds] { m_engine->settings().ackDelayMs = milliseconds; });
}

void ReaderSimulator::setSplitIntoSingleBytes(bool split)
{
    inThread([this, split] { m_engine->line().setSplitIntoSingleBytes(split); });
}

void ReaderSimulator::setGarbage(const QByteArray &garbage)
{
    inThread([this, garbage] { m_engine->settings().garbage = garbage; });
}

void ReaderSimulator::setAnswerBeforeAck(bool on)
{
    inThread([this, on] { m_engine->settings().answerBeforeAck = on; });
}

void ReaderSimulator::setAckAndAnswerTogether(bool on)
{
    inThread([this, on] { m_engine->settings().ackAndAnswerTogether = on; });
}

void ReaderSimulator::setBaudRate(int baud)
{
    inThread([this, baud] {
        m_engine->line().setBaudRate(baud);
        m_engine->settings().inputBaudRate = baud;
    });
}

void ReaderSimulator::closeInMiddleOfNextFrame()
{
    inThread([this] { m_engine->closeInMiddleOfNextFrame(); });
}

void ReaderSimulator::sendFrame(const QByteArray &payload)
{
    inThread([this, payload] { m_engine->sendFrame(payload); });
}

void ReaderSimulator::sendRaw(const QByteArray &bytes)
{
    inThread([this, bytes] { m_engine->sendRaw(bytes); });
}

void ReaderSimulator::sendRecoveredNotice(quint16 session)
{
    inThread([this, session] { m_engine->sendRecoveredNotice(session); });
}

void ReaderSimulator::startUnsolicited(int count, int framesPerSecond, const QByteArray &prefix)
{
    inThread([this, count, framesPerSecond, prefix] {
        m_engine->startUnsolicited(count, framesPerSecond, prefix);
    });
}

void ReaderSimulator::sendTcpChunk(const QByteArray &chunk)
{
    inThread([this, chunk] { m_engine->sendTcpChunk(chunk); });
}

void ReaderSimulator::startTcpUnsolicited(int count, int chunksPerSecond, const QByteArray &prefix)
{
    inThread([this, count, chunksPerSecond, prefix] {
        m_engine->startTcpUnsolicited(count, chunksPerSecond, prefix);
    });
}

void ReaderSimulator::setTcpEcho(bool echo)
{
    inThread([this, echo] { m_engine->settings().tcpEcho = echo; });
}

QList<QByteArray> ReaderSimulator::receivedPayloads() const
{
    return inThread([this] { return m_engine->records().payloads; });
}

QList<qint64> ReaderSimulator::receivedTimesMs() const
{
    return inThread([this] { return m_engine->records().timesMs; });
}

int ReaderSimulator::receivedCount() const
{
    return inThread([this] { return int(m_engine->records().payloads.size()); });
}

QList<quint16> ReaderSimulator::receivedSessions() const
{
    return inThread([this] { return m_engine->records().sessions; });
}

QList<quint16> ReaderSimulator::ackedSessions() const
{
    return inThread([this] { return m_engine->records().ackedSessions; });
}

QList<qint64> ReaderSimulator::ackLatenciesUs() const
{
    return inThread([this] { return m_engine->records().ackLatenciesUs; });
}

int ReaderSimulator::unsolicitedSent() const
{
    return inThread([this] { return m_engine->records().unsolicitedSent; });
}

int ReaderSimulator::discoveryQuestions() const
{
    return inThread([this] { return m_engine->records().discoveryQuestions; });
}

void ReaderSimulator::clearRecords()
{
    inThread([this] { m_engine->records() = SimulatorRecords(); });
}

void ReaderSimulator::setFirmwareFragmentLoss(int percent, quint32 seed)
{
    inThread([this, percent, seed] { m_engine->firmware().setFragmentLoss(percent, seed); });
}

void ReaderSimulator::setInstalledFirmware(const QByteArray &number, const QByteArray &version,
                                           const QByteArray &stackVersion)
{
    inThread([this, number, version, stackVersion] {
        m_engine->firmware().setInstalled(number, version, stackVersion);
    });
}

QByteArray ReaderSimulator::installedFirmwareImage() const
{
    return inThread([this] { return m_engine->firmware().installedImage(); });
}

int ReaderSimulator::firmwareFragmentsReceived() const
{
    return inThread([this] { return m_engine->firmware().fragmentsReceived(); });
}

int ReaderSimulator::firmwareMissingQuestions() const
{
    return inThread([this] { return m_engine->firmware().missingQuestions(); });
}

void ReaderSimulator::setFirmwareCapabilities(const QByteArray &fields)
{
    inThread([this, fields] { m_engine->firmware().setCapabilities(fields); });
}

void ReaderSimulator::setDistantDevices(const QList<QByteArray> &addresses)
{
    inThread([this, addresses] { m_engine->firmware().setDistantDevices(addresses); });
}

QByteArray ReaderSimulator::distantInstalledImage(const QByteArray &address) const
{
    return inThread(
        [this, address] { return m_engine->firmware().distantInstalledImage(address); });
}
