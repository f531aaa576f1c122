#include "ReaderSession.h"

#include "DataSender.h"
#include "PacketSink.h"
#include "PacketText.h"
#include "common/DockedTabTypes.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"
#include "patterns/FrameAnalyser.h"
#include "project/ProjectPaths.h"
#include "readers/ReadersList.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLatin1String>
#include <QList>
#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

#include <cstdint>

ReaderSession::ReaderSession(const QString &readerName, PacketSink *mergedSink,
                             FrameAnalyser *frameAnalyser, QObject *parent)
    : QObject(parent)
    , m_readerName(readerName)
    , m_mergedSink(mergedSink)
    , m_frameAnalyser(frameAnalyser)
    , m_senderThread(new QThread)
{
    logFile.open(ProjectPaths::traceLogPath(readerName));
    connectToReader();
}

void ReaderSession::connectToReader()
{
    t_Reader *reader = nullptr;
    if (!ReadersList::instance()->findReader(&reader, m_readerName.toLatin1())) {
        // Queued: whoever creates the session connects to its messages only after construction.
        const QString message =
            tr("Error: Reader \"%1\" is not found in the TSL list.").arg(m_readerName);
        QMetaObject::invokeMethod(
            this, [this, message] { emit statusMessage(message); }, Qt::QueuedConnection);
        return;
    }
    // The sender keeps this link for as long as it may send on it; when the reader comes back
    // after a hang-up it is still the same link.
    const ReaderLink link = ReadersList::instance()->linkOf(reader);
    if (TSL_CMD *serialLink = link.serialLink()) {
        connect(serialLink, &TSL_CMD::frameReceived, this, &ReaderSession::receivedNewFrame);
        connect(serialLink, &TSL_CMD::frameRecovered, this, &ReaderSession::recoveredFrame);
    } else if (TSL_CMD_TCP *tcpLink = link.tcpLink()) {
        connect(tcpLink, &TSL_CMD_TCP::frameReceived, this, &ReaderSession::receivedNewFrame);
        connect(tcpLink, &TSL_CMD_TCP::frameRecovered, this, &ReaderSession::recoveredFrame);
    }
    registerReaderPacketType();

    m_dataSender = new DataSender(m_readerName, link);
    connect(this, &ReaderSession::sendDataToReader, m_dataSender, &DataSender::sendDataToReader);
    connect(this, &ReaderSession::startReaderRepeatMode, m_dataSender,
            &DataSender::startReaderRepeatMode);
    connect(this, &ReaderSession::stopReaderRepeatMode, m_dataSender,
            &DataSender::stopReaderRepeatMode);
    connect(this, &ReaderSession::startReaderScriptMode, m_dataSender,
            &DataSender::startReaderScriptMode);
    connect(m_dataSender, &DataSender::statusMessage, this, &ReaderSession::statusMessage);
    connect(m_dataSender, &DataSender::startRepeatModeResult, this,
            &ReaderSession::startRepeatModeResult);
    connect(m_dataSender, &DataSender::stopRepeatModeResult, this,
            &ReaderSession::stopRepeatModeResult);
    connect(m_dataSender, &DataSender::readerScriptExecutionFinished, this,
            &ReaderSession::readerScriptExecutionFinished);
    connect(m_dataSender, &DataSender::cmdSessionNumber, this, &ReaderSession::setCmdSessionNum);
    connect(m_dataSender, &DataSender::messageSent, this, &ReaderSession::logAndDisplayPacket);
    connect(m_senderThread, &QThread::finished, m_dataSender, &QObject::deleteLater);
    m_dataSender->moveToThread(m_senderThread);
    m_senderThread->start();
}

ReaderSession::~ReaderSession()
{
    requestScriptStop();
    m_senderThread->quit();
    // The sender goes with the thread's "finished".
    m_senderThread->wait();
    delete m_senderThread;
    // The outcome of a send that the closing link ended is still on its way: it belongs in
    // the logs.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    logFile.close();
}

void ReaderSession::requestScriptStop()
{
    if (!m_dataSender)
        return;
    QMutexLocker lock(&m_dataSender->workMutex);
    m_dataSender->stopRequested = true;
    m_dataSender->stopCondition.wakeAll();
    m_dataSender->answerCondition.wakeAll();
}

void ReaderSession::setCmdSessionNum(int sessionNum)
{
    awaitingSession = true;
    awaitedSession = sessionNum;
}

void ReaderSession::logAndDisplayPacket(readerPacket_t &dataPacket, int tabType)
{
    const QString dateTime = PacketText::stamp(PacketText::localNow());
    QList<T_matchSnapshot> matchList;
    if (dataPacket.direction == QLatin1String("Rx") && m_frameAnalyser)
        matchList = m_frameAnalyser->analyseFrame(m_readerName, dataPacket.frame);
    if (tabType != TAB_FIRMWARE_UPGRADE) {
        emit packetToDisplay(dataPacket);
        if (m_mergedSink)
            m_mergedSink->addPacketToTable(dataPacket);
    }
    if (dataPacket.status == PacketText::inProgress)
        return;
    addPacketToLogFile(dataPacket, dateTime, matchList);
    if (m_mergedSink)
        m_mergedSink->addPacketToLogFile(dataPacket, dateTime, matchList);
}

void ReaderSession::addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                                       const PacketLogFile::MatchList &matchList)
{
    logFile.writePacket(dataPacket, dateTime, matchList);
}

void ReaderSession::addStringToLogFile(const QString &stringToAdd)
{
    logFile.writeText(stringToAdd);
}

readerPacket_t ReaderSession::receivedPacket(const QString &frame, const QString &status,
                                             int sessionNumber) const
{
    readerPacket_t packet;
    packet.readerName = m_readerName;
    packet.time = PacketText::displayTime(PacketText::localNow());
    packet.direction = QStringLiteral("Rx");
    packet.frame = frame;
    packet.status = status;
    packet.sessionNumber = std::uint16_t(sessionNumber);
    packet.cntlFrame = false;
    return packet;
}

void ReaderSession::receivedNewFrame(QByteArray *frameData, int sessionNumber)
{
    if (!newFrameForUpdate(frameData, sessionNumber)) {
        readerPacket_t packet =
            receivedPacket(PacketText::bytesToHexText(*frameData, QStringLiteral(" ")),
                           PacketText::received, sessionNumber);
        logAndDisplayPacket(packet, TAB_CONNECTED_READER);
    }
    // A script waiting for an answer runs without a command delay. The flag keeps an answer
    // that comes before the script starts to wait.
    if (m_dataSender) {
        QMutexLocker lock(&m_dataSender->workMutex);
        if (m_dataSender->commandDelayMs == 0) {
            m_dataSender->answerReceived = true;
            m_dataSender->answerCondition.wakeOne();
        }
    }
    frameData->clear();
}

bool ReaderSession::newFrameForUpdate(QByteArray *frameData, int sessionNumber)
{
    const bool awaited = awaitingSession && sessionNumber == awaitedSession;
    if (updateFilterPrimary.isEmpty() && updateFilterSecondary.isEmpty() && !awaited &&
        m_updateLeadingCodes.isEmpty())
        return false;
    const QString hex = QString::fromLatin1(frameData->toHex().toUpper());
    for (const QString &code : qAsConst(m_updateLeadingCodes)) {
        if (hex.startsWith(code, Qt::CaseInsensitive)) {
            emit receivedUpdateFrame(hex);
            return true;
        }
    }
    const bool primaryMatches =
        !updateFilterPrimary.isEmpty() && hex.contains(updateFilterPrimary.toUpper());
    const bool secondaryMatches =
        !updateFilterSecondary.isEmpty() && hex.contains(updateFilterSecondary.toUpper());
    if (primaryMatches || secondaryMatches) {
        if (clearFiltersOnMatch) {
            updateFilterPrimary.clear();
            updateFilterSecondary.clear();
        }
        emit receivedUpdateFrame(hex);
        return true;
    }
    if (awaited) {
        awaitingSession = false;
        emit receivedUpdateFrame(hex);
        return true;
    }
    return false;
}

void ReaderSession::recoveredFrame(int sessionNumber)
{
    readerPacket_t packet = receivedPacket(QString(), PacketText::recovered, sessionNumber);
    logAndDisplayPacket(packet, TAB_CONNECTED_READER);
}
