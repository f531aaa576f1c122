#include "DataSender.h"

#include "PacketText.h"
#include "common/DockedTabTypes.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"
#include "scripts/ScriptRunner.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimer>

namespace {

constexpr int repeatUnitMs = 100;

} // namespace

DataSender::DataSender(const QString &readerName, const ReaderLink &link, QObject *parent)
    : QObject(parent)
    , m_readerName(readerName)
    , m_link(link)
{
    registerReaderPacketType();
}

DataSender::~DataSender()
{
    delete repeatTimer;
}

void DataSender::sendDataToReader(QString readerName, QString readerCmd, int tabType)
{
    if (readerCmd.isEmpty()) {
        emit statusMessage(tr("Error: Command for reader \"%1\" is empty.").arg(readerName));
        return;
    }
    if (m_readerName.isEmpty() || readerName != m_readerName) {
        emit statusMessage(
            tr("Error: Reader \"%1\" is not found in the TSL list.").arg(readerName));
        return;
    }
    if (!m_link.isConnected()) {
        emit statusMessage(tr("Error: Reader \"%1\" is not connected.").arg(readerName));
        return;
    }
    QByteArray bytes = PacketText::hexToBytes(readerCmd);
    bytes.truncate(readerCmd.size() / 2);

    readerPacket_t packet;
    packet.readerName = readerName;
    packet.time = PacketText::displayTime(PacketText::localNow());
    packet.direction = QStringLiteral("Tx");
    packet.frame = PacketText::spaceHexPairs(readerCmd);
    int session = 0;
    if (TSL_CMD_TCP *link = m_link.tcpLink()) {
        session = link->sessionNumber();
        packet.status = PacketText::sent;
        packet.sessionNumber = std::uint16_t(session);
        emit messageSent(packet, tabType);
        link->write(&bytes);
    } else if (TSL_CMD *link = m_link.serialLink()) {
        session = link->sessionNumber();
        packet.status = PacketText::inProgress;
        packet.sessionNumber = std::uint16_t(session);
        emit messageSent(packet, tabType);
        const int result = link->send_frame(bytes, bytes.size(), session);
        packet.status = PacketText::sendResultStatus(result);
        emit messageSent(packet, tabType);
    }
    if (tabType == TAB_FIRMWARE_UPGRADE)
        emit cmdSessionNumber(session);
}

void DataSender::startReaderRepeatMode(QString readerName, QString readerCmd, int repeatInterval)
{
    if (!repeatTimer) {
        repeatTimer = new QTimer;
        connect(repeatTimer, &QTimer::timeout, this, &DataSender::timerFinctionTimeout);
    }
    repeatReaderName = readerName;
    repeatCommand = readerCmd;
    repeatTimer->start(repeatInterval * repeatUnitMs);
    emit startRepeatModeResult(true);
}

void DataSender::stopReaderRepeatMode()
{
    if (!repeatTimer) {
        emit stopRepeatModeResult(false);
        return;
    }
    repeatReaderName.clear();
    repeatCommand.clear();
    repeatTimer->stop();
    emit stopRepeatModeResult(true);
}

void DataSender::timerFinctionTimeout()
{
    sendDataToReader(repeatReaderName, repeatCommand, TAB_CONNECTED_READER);
}

void DataSender::startReaderScriptMode(QString readerName, QString scriptFile)
{
    ScriptRunner runner(
        {&workMutex, &stopCondition, &answerCondition, &commandDelayMs, &stopRequested,
         &answerReceived},
        [this, readerName](const QString &frame) {
            sendDataToReader(readerName, frame, TAB_CONNECTED_READER);
        },
        [this](const QString &message) { emit statusMessage(message); });
    const QString lastMessage = runner.run(scriptFile);
    emit readerScriptExecutionFinished();
    emit statusMessage(lastMessage);
}
