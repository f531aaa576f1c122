#include "SimulatorEngine.h"

#include "PtyLine.h"
#include "UnsolicitedFlood.h"
#include "link/TSL_AckFrame.h"
#include "link/TSL_Crc.h"
#include "link/TSL_Frame.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>

namespace {

// Above this much unsent TCP data an unpaced run waits for the client.
constexpr qint64 tcpHighWater = 64 * 1024;

const QByteArray discoveryQuestion = QByteArrayLiteral("Hello?");
constexpr int discoveryAnswerSize = 44;
constexpr int discoveryAddressOffset = 35;

qint64 nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

quint16 sessionOf(const QByteArray &frame)
{
    return quint16(quint8(frame.at(4)) << 8 | quint8(frame.at(5)));
}

// An acknowledgement has the layout of a data frame whose payload is the code byte.
QByteArray ackFrame(quint16 session, int code)
{
    TSL_Frame frame;
    frame.build(QByteArray(1, char(code)), session);
    return frame.frameBytes;
}

// Only the address is meaningful to the workbench; the other bytes stay zero.
QByteArray discoveryAnswer(const QByteArray &address)
{
    QByteArray answer(discoveryAnswerSize, '\0');
    for (int i = 0; i < 4 && i < address.size(); ++i)
        answer[discoveryAddressOffset + i] = address.at(address.size() - 1 - i);
    return answer;
}

} // namespace

SimulatorEngine::SimulatorEngine(QObject *parent)
    : QObject(parent)
    , m_line(new PtyLine(this))
    , m_serialFlood(new UnsolicitedFlood([this] { return m_line->isOpen() && m_line->isIdle(); },
                                         [this](const QByteArray &payload) { sendFrame(payload); },
                                         this))
    , m_server(new QTcpServer(this))
    , m_tcpFlood(new UnsolicitedFlood([this] { return tcpHasRoom(); },
                                      [this](const QByteArray &payload) { sendTcpChunk(payload); },
                                      this))
    , m_discovery(new QUdpSocket(this))
{
    connect(m_line, &PtyLine::received, this, &SimulatorEngine::onSerialBytes);
    connect(m_line, &PtyLine::segmentWritten, this, &SimulatorEngine::onFrameWritten);
    connect(m_line, &PtyLine::drained, m_serialFlood, &UnsolicitedFlood::resume);
    connect(m_server, &QTcpServer::newConnection, this, &SimulatorEngine::onNewConnection);
    connect(m_discovery, &QUdpSocket::readyRead, this, &SimulatorEngine::onDiscoveryReadyRead);
}

bool SimulatorEngine::startSerial(const QString &linkPath)
{
    m_serialFlood->stop();
    m_extractor.clear();
    return m_line->open(linkPath);
}

void SimulatorEngine::closeSerial()
{
    m_serialFlood->stop();
    m_line->close();
    m_extractor.clear();
}

bool SimulatorEngine::reopenSerial()
{
    closeSerial();
    return m_line->reopen();
}

bool SimulatorEngine::startTcp(quint16 port)
{
    m_server->close();
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 SimulatorEngine::tcpPort() const
{
    return m_server->serverPort();
}

void SimulatorEngine::closeTcp()
{
    m_tcpFlood->stop();
    m_server->close();
    // abort() runs each client's disconnected handler, which lets it go.
    const QList<QTcpSocket *> clients = m_clients;
    for (QTcpSocket *client : clients)
        client->abort();
    m_clients.clear();
}

bool SimulatorEngine::startDiscovery(const QHostAddress &address, quint16 port)
{
    m_discovery->close();
    return m_discovery->bind(address, port);
}

quint16 SimulatorEngine::discoveryPort() const
{
    return m_discovery->localPort();
}

void SimulatorEngine::sendFrame(const QByteArray &payload)
{
    const quint16 session = m_session;
    writeFrames({nextDataFrame(payload)}, session);
}

void SimulatorEngine::sendRaw(const QByteArray &bytes)
{
    m_line->write(bytes);
}

void SimulatorEngine::sendRecoveredNotice(quint16 session)
{
    writeFrames({ackFrame(session, TSL_AckFrame::recovered)});
}

void SimulatorEngine::startUnsolicited(int count, int perSecond, const QByteArray &prefix)
{
    m_serialFlood->start(count, perSecond, prefix);
}

void SimulatorEngine::sendTcpChunk(const QByteArray &chunk)
{
    if (!m_clients.isEmpty())
        ++m_records.unsolicitedSent;
    for (QTcpSocket *client : qAsConst(m_clients))
        client->write(chunk);
}

void SimulatorEngine::startTcpUnsolicited(int count, int perSecond, const QByteArray &prefix)
{
    m_tcpFlood->start(count, perSecond, prefix);
}

void SimulatorEngine::sendDiscoveryAnswer(const QHostAddress &to, quint16 port)
{
    sendDatagram(to, port, discoveryAnswer(m_settings.address));
}

void SimulatorEngine::sendDatagram(const QHostAddress &to, quint16 port, const QByteArray &bytes)
{
    m_discovery->writeDatagram(bytes, to, port);
}

void SimulatorEngine::onSerialBytes(const QByteArray &bytes)
{
    for (QByteArray frame = m_extractor.extractFrame(bytes); !frame.isEmpty();
         frame = m_extractor.extractFrame()) {
        if (m_settings.inputBaudRate <= 0) {
            handleFrame(frame);
            continue;
        }
        // Ten bit times a byte, one after the other on the line.
        const qint64 now = nowUs();
        m_inputFreeAtUs = qMax(m_inputFreeAtUs, now) +
                          qint64(frame.size()) * 10 * 1000000 / m_settings.inputBaudRate;
        m_pacedInput.append(frame);
        QTimer::singleShot(int((m_inputFreeAtUs - now + 999) / 1000), Qt::PreciseTimer, this,
                           [this] { handleFrame(m_pacedInput.takeFirst()); });
    }
}

void SimulatorEngine::handleFrame(const QByteArray &frame)
{
    const quint16 session = sessionOf(frame);
    // The PC acknowledges with code 0x06 only; any other 9-byte frame is a command with a
    // one-byte payload.
    if (frame.size() == TSL_AckFrame::size && frame.at(6) == 0x02 &&
        frame.at(7) == char(TSL_AckFrame::acknowledged)) {
        m_records.ackedSessions.append(session);
        const auto written = m_writtenAtUs.constFind(session);
        if (written != m_writtenAtUs.constEnd()) {
            m_records.ackLatenciesUs.append(nowUs() - *written);
            m_writtenAtUs.erase(written);
        }
        return;
    }
    TSL_Frame parsed;
    if (parsed.parse(frame) <= 0)
        return;
    // A frame damaged on the line is dropped, as a reader would: the PC has to repeat it.
    if (tslCrc16(frame.mid(6, frame.size() - 7)) != parsed.checksum)
        return;
    record(parsed.payload);
    m_records.sessions.append(session);
    const int code = m_settings.queuedAckCodes.isEmpty() ? m_settings.ackCode
                                                         : m_settings.queuedAckCodes.takeFirst();
    if (m_settings.ackDelayMs > 0) {
        const QByteArray request = parsed.payload;
        QTimer::singleShot(m_settings.ackDelayMs, this,
                           [this, request, session, code] { respond(request, session, code); });
    } else {
        respond(parsed.payload, session, code);
    }
}

void SimulatorEngine::respond(const QByteArray &request, quint16 session, int code)
{
    if (m_settings.silent || code == SimulatorSettings::noAck)
        return;
    const QByteArray ack = ackFrame(session, code);
    // Only a frame the reader took (acknowledged or buffered) is carried out.
    const bool accepted = code == TSL_AckFrame::acknowledged || code == TSL_AckFrame::buffered;
    const QList<QByteArray> answers = accepted ? answersTo(request) : QList<QByteArray>();
    QList<QByteArray> answerFrames;
    for (const QByteArray &answer : answers)
        answerFrames << nextDataFrame(answer);
    if (answerFrames.isEmpty()) {
        writeFrames({ack});
    } else if (m_settings.answerBeforeAck) {
        writeFrames(answerFrames + QList<QByteArray>{ack});
    } else if (m_settings.ackAndAnswerTogether) {
        writeFrames(QList<QByteArray>{ack} + answerFrames);
    } else {
        writeFrames({ack});
        for (const QByteArray &frame : answerFrames)
            writeFrames({frame});
    }
    // What the reader reports on its own afterwards, one report after the other.
    int delayMs = 0;
    for (const auto &report : m_firmware.takeReports()) {
        delayMs += report.first;
        const QByteArray payload = report.second;
        QTimer::singleShot(delayMs, this,
                           [this, payload] { writeFrames({nextDataFrame(payload)}); });
    }
}

QList<QByteArray> SimulatorEngine::answersTo(const QByteArray &request)
{
    const auto extra = m_settings.answers.constFind(request);
    if (extra != m_settings.answers.constEnd())
        return {*extra};
    if (const std::optional<QList<QByteArray>> firmwareAnswers = m_firmware.answer(request))
        return *firmwareAnswers;
    if (request == QByteArrayLiteral("\x01\x06\x02"))
        return {QByteArrayLiteral("\x01\x07\x02") + m_settings.address};
    if (request == QByteArrayLiteral("\x01\x01\x06"))
        return {request + m_settings.uartConfiguration};
    if (request.size() == 6 && request.startsWith(QByteArrayLiteral("\x01\x01\x07")))
        m_settings.uartConfiguration = request.mid(3);
    return {};
}

QByteArray SimulatorEngine::nextDataFrame(const QByteArray &payload)
{
    TSL_Frame frame;
    frame.build(payload, m_session++);
    return frame.frameBytes;
}

void SimulatorEngine::writeFrames(const QList<QByteArray> &frames, int tag)
{
    QByteArray bytes;
    for (const QByteArray &frame : frames) {
        bytes += m_settings.garbage;
        if (m_cutNextFrame) {
            m_cutNextFrame = false;
            m_line->write(bytes + frame.left(frame.size() / 2), -1, true);
            return;
        }
        bytes += frame;
    }
    m_line->write(bytes, tag);
}

void SimulatorEngine::record(const QByteArray &payload)
{
    using namespace std::chrono;
    m_records.payloads.append(payload);
    m_records.timesMs.append(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SimulatorEngine::onFrameWritten(int session)
{
    m_writtenAtUs.insert(quint16(session), nowUs());
    ++m_records.unsolicitedSent;
}

void SimulatorEngine::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_clients.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onTcpReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, m_tcpFlood, &UnsolicitedFlood::resume);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_clients.removeOne(socket);
            socket->deleteLater();
        });
    }
    m_tcpFlood->resume();
}

void SimulatorEngine::onTcpReadyRead(QTcpSocket *socket)
{
    const QByteArray chunk = socket->readAll();
    if (chunk.isEmpty())
        return;
    record(chunk);
    if (m_settings.silent)
        return;
    const QList<QByteArray> answers = answersTo(chunk);
    for (const QByteArray &answer : answers)
        socket->write(answer);
    if (answers.isEmpty() && m_settings.tcpEcho)
        socket->write(chunk);
}

bool SimulatorEngine::tcpHasRoom() const
{
    if (m_clients.isEmpty())
        return false;
    for (const QTcpSocket *client : m_clients)
        if (client->bytesToWrite() >= tcpHighWater)
            return false;
    return true;
}

void SimulatorEngine::onDiscoveryReadyRead()
{
    while (m_discovery->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_discovery->receiveDatagram();
        if (datagram.data() != discoveryQuestion)
            continue;
        ++m_records.discoveryQuestions;
        if (!m_settings.silent)
            sendDiscoveryAnswer(datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}
