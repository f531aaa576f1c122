#include "ConnectedReaderTab.h"

#include "AllReadersTab.h"
#include "ConnectedReaderModel.h"
#include "DataSender.h"
#include "LineEditAutoComplete.h"
#include "PacketText.h"
#include "TVTableView.h"
#include "app/StyleSheet.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"
#include "project/ProjectPaths.h"
#include "readers/ReadersList.h"

#include <QCompleter>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int maximumCommandLength = 480;
constexpr int buttonWidth = 80;
constexpr int commandEntryHeight = 25;
constexpr int ackCollectionMs = 1000;

QString withoutBlanks(QString text)
{
    return text.remove(QLatin1Char(' '));
}

} // namespace

ConnectedReaderTab::ConnectedReaderTab(const QString &readerName, AllReadersTab *allReadersTab,
                                       FrameAnalyser *controlPanelPackets, QWidget *parent)
    : QDockWidget(parent)
    , m_readerName(readerName)
    , m_allReadersTab(allReadersTab)
    , m_controlPanelPackets(controlPanelPackets)
    , m_senderThread(new QThread)
{
    setObjectName(QStringLiteral("connectedReaderTab_") + readerName);
    buildWidgets();

    m_logFile.open(ProjectPaths::logsPath() + QStringLiteral("trace_") + readerName +
                   QStringLiteral(".log"));
    setWindowTitle(readerName);
    setAllowedAreas(Qt::RightDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetFloatable);
    setStyleSheet(loadStyleSheet(QStringLiteral("ConnectedReaderTabStyleSheet")));
    connect(this, &QDockWidget::visibilityChanged, this,
            &ConnectedReaderTab::handleVisibilityChanged);

    ackTimer = new QTimer(this);
    ackTimer->setSingleShot(true);
    ackTimer->setInterval(ackCollectionMs);
    connect(ackTimer, &QTimer::timeout, this, &ConnectedReaderTab::processAcks);

    connectToReader();
}

void ConnectedReaderTab::buildWidgets()
{
    m_centralWidget = new QWidget(this);
    m_layout = new QVBoxLayout(m_centralWidget);

    m_commandRow = new QHBoxLayout;
    m_commandEntry =
        new LineEditAutoComplete(m_centralWidget, ProjectPaths::commandCompletionPath());
    m_commandEntry->setObjectName(QStringLiteral("commandEntry"));
    m_commandEntry->setFixedHeight(commandEntryHeight);
    m_commandEntry->setStyleSheet(loadStyleSheet(QStringLiteral("StyleSheetLineEdit")));
    m_sendButton = new QPushButton(QIcon(QStringLiteral(":Icons/arrow_green.ico")), tr("Send"),
                                   m_centralWidget);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setFixedWidth(buttonWidth);
    m_commandRow->addWidget(m_commandEntry);
    m_commandRow->addWidget(m_sendButton);

    m_repeatRow = new QHBoxLayout;
    m_repeatLabel = new QLabel(tr("Repeat mode x100 ms: "), m_centralWidget);
    m_intervalField = new QLineEdit(m_centralWidget);
    m_intervalField->setObjectName(QStringLiteral("repeatInterval"));
    m_intervalField->setFixedWidth(buttonWidth);
    m_intervalField->setAlignment(Qt::AlignRight);
    m_intervalField->setValidator(new QIntValidator(0, 999999, m_intervalField));
    m_repeatRow->addWidget(m_repeatLabel);
    m_repeatRow->addWidget(m_intervalField);
    m_repeatRow->addStretch();

    m_completer = new QCompleter(this);
    m_commandEntry->setCompleter(m_completer);
    m_commandEntry->reloadCompletionList();

    m_tableView = new TVTableView(m_centralWidget);
    m_tableView->setObjectName(QStringLiteral("connectedReadersTableLog"));
    m_model = new ConnectedReaderModel(this);
    m_tableView->setModel(m_model);
    m_tableView->setPacketColumnWidths(0);

    m_layout->addLayout(m_commandRow);
    m_layout->addLayout(m_repeatRow);
    m_layout->addWidget(m_tableView);
    setWidget(m_centralWidget);

    connect(m_sendButton, &QPushButton::released, this, &ConnectedReaderTab::sendCommandToReader);
    connect(m_commandEntry, &LineEditAutoComplete::keyPressEnteredSignal, this,
            &ConnectedReaderTab::sendCommandToReader);
    connect(m_tableView, &QAbstractItemView::doubleClicked, this,
            &ConnectedReaderTab::handleTableDoubleClick);
    connect(m_tableView->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &ConnectedReaderTab::moveScrollBarToBottom);
}

void ConnectedReaderTab::connectToReader()
{
    t_Reader *reader = nullptr;
    if (!ReadersList::instance()->findReader(&reader, m_readerName.toLatin1()) || !reader) {
        // Queued: whoever creates the tab connects to its messages only after construction.
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
        connect(serialLink, &TSL_CMD::frameReceived, this, &ConnectedReaderTab::receivedNewFrame);
        connect(serialLink, &TSL_CMD::frameRecovered, this, &ConnectedReaderTab::recoveredFrame);
    } else if (TSL_CMD_TCP *tcpLink = link.tcpLink()) {
        connect(tcpLink, &TSL_CMD_TCP::frameReceived, this, &ConnectedReaderTab::receivedNewFrame);
        connect(tcpLink, &TSL_CMD_TCP::frameRecovered, this, &ConnectedReaderTab::recoveredFrame);
    }
    registerReaderPacketType();

    m_dataSender = new DataSender(m_readerName, link);
    connect(this, &ConnectedReaderTab::sendDataToReader, m_dataSender,
            &DataSender::sendDataToReader);
    connect(this, &ConnectedReaderTab::startReaderRepeatMode, m_dataSender,
            &DataSender::startReaderRepeatMode);
    connect(this, &ConnectedReaderTab::stopReaderRepeatMode, m_dataSender,
            &DataSender::stopReaderRepeatMode);
    connect(m_dataSender, &DataSender::startRepeatModeResult, this,
            &ConnectedReaderTab::handleStartRepeatModeResult);
    connect(m_dataSender, &DataSender::stopRepeatModeResult, this,
            &ConnectedReaderTab::handleStopRepeatModeResult);
    connect(m_dataSender, &DataSender::readerScriptExecutionFinished, this,
            &ConnectedReaderTab::readerScriptExecutionFinished);
    connect(m_dataSender, &DataSender::cmdSessionNumber, this,
            &ConnectedReaderTab::setCmdSessionNum);
    connect(m_dataSender, &DataSender::messageSent, this,
            qOverload<readerPacket_t &, int>(&ConnectedReaderTab::logAndDisplayPacket));
    connect(m_senderThread, &QThread::finished, m_dataSender, &QObject::deleteLater);
    m_dataSender->moveToThread(m_senderThread);
    m_senderThread->start();
}

ConnectedReaderTab::~ConnectedReaderTab()
{
    m_senderThread->quit();
    // A running script ends at its next check; the sender goes with the thread's "finished".
    m_senderThread->wait();
    delete m_senderThread;
    // The outcome of a send that the closing link ended is still on its way: it belongs in
    // the logs.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_logFile.close();
}

void ConnectedReaderTab::requestScriptStop()
{
    if (!m_dataSender)
        return;
    QMutexLocker lock(&m_dataSender->workMutex);
    m_dataSender->stopRequested = true;
    m_dataSender->stopCondition.wakeAll();
}

void ConnectedReaderTab::sendCommandForDock(const QString &command, int tabType)
{
    emit sendDataToReader(m_readerName, command, tabType);
}

void ConnectedReaderTab::sendCommandToReader()
{
    QString command = m_commandEntry->text();
    if (command.isEmpty()) {
        emit statusMessage(tr("Error: There is no command to send."));
        return;
    }
    if (command.size() > maximumCommandLength) {
        command.truncate(maximumCommandLength);
        m_commandEntry->setText(command);
    }
    if (m_intervalField->text().isEmpty()) {
        emit sendDataToReader(m_readerName, withoutBlanks(command), TAB_CONNECTED_READER);
        return;
    }
    if (m_repeating) {
        emit stopReaderRepeatMode();
        return;
    }
    const int interval = m_intervalField->text().toInt();
    if (interval == 0) {
        emit statusMessage(tr("Error: Please enter valid value for repeat interval."));
        return;
    }
    emit startReaderRepeatMode(m_readerName, withoutBlanks(command), interval);
}

void ConnectedReaderTab::handleStartRepeatModeResult(bool result)
{
    if (!result) {
        emit statusMessage(
            tr("Error: Starting repeat mode of reader \"%1\" failed.").arg(m_readerName));
        return;
    }
    m_repeating = true;
    m_intervalField->setEnabled(false);
    m_sendButton->setIcon(QIcon(QStringLiteral(":Icons/arrow_red.ico")));
    m_sendButton->setText(tr("Stop"));
    emit statusMessage(tr("Starting repeat mode of reader \"%1\" successful.").arg(m_readerName));
}

void ConnectedReaderTab::handleStopRepeatModeResult(bool result)
{
    if (!result) {
        emit statusMessage(
            tr("Error: Stoping repeat mode of reader \"%1\" failed.").arg(m_readerName));
        return;
    }
    m_repeating = false;
    m_intervalField->setEnabled(true);
    m_intervalField->clear();
    m_sendButton->setIcon(QIcon(QStringLiteral(":Icons/arrow_green.ico")));
    m_sendButton->setText(tr("Send"));
    emit statusMessage(tr("Stoping repeat mode of reader \"%1\" successful.").arg(m_readerName));
}

void ConnectedReaderTab::logAndDisplayPacket(readerPacket_t &dataPacket)
{
    logAndDisplayPacket(dataPacket, TAB_CONNECTED_READER);
}

void ConnectedReaderTab::logAndDisplayPacket(readerPacket_t &dataPacket, int tabType)
{
    QString dateTime = PacketText::stamp(PacketText::localNow());
    QList<T_matchSnapshot> matchList;
    if (dataPacket.direction == QLatin1String("Rx") && m_controlPanelPackets)
        matchList = m_controlPanelPackets->analyseFrame(m_readerName, dataPacket.frame);
    if (tabType != TAB_FIRMWARE_UPGRADE) {
        addPacketToTable(dataPacket);
        if (m_allReadersTab)
            m_allReadersTab->addPacketToTable(dataPacket);
    }
    if (dataPacket.status == PacketText::inProgress)
        return;
    addPacketToLogFile(dataPacket, dateTime, matchList);
    if (m_allReadersTab)
        m_allReadersTab->addPacketToLogFile(dataPacket, dateTime, matchList);
}

void ConnectedReaderTab::addPacketToTable(readerPacket_t &dataPacket)
{
    m_model->addPacket(dataPacket);
}

void ConnectedReaderTab::addPacketToLogFile(readerPacket_t &dataPacket, QString &dateTime,
                                            QList<T_matchSnapshot> matchList)
{
    m_logFile.writePacket(dataPacket, dateTime, matchList);
}

void ConnectedReaderTab::addStringToLogFile(QString &stringToAdd)
{
    m_logFile.writeText(stringToAdd);
}

readerPacket_t ConnectedReaderTab::receivedPacket(const QString &frame, const QString &status,
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

void ConnectedReaderTab::receivedNewFrame(QByteArray *frameData, int sessionNumber)
{
    if (!newFrameForUpdate(frameData, sessionNumber)) {
        readerPacket_t packet =
            receivedPacket(PacketText::bytesToHexText(*frameData, QStringLiteral(" ")),
                           PacketText::received, sessionNumber);
        logAndDisplayPacket(packet, TAB_CONNECTED_READER);
    }
    // A script waiting for an answer runs without a command delay; the delay is the engine's,
    // so it is read under the lock the engine writes it under.
    if (m_dataSender) {
        QMutexLocker lock(&m_dataSender->workMutex);
        if (m_dataSender->commandDelayMs == 0)
            m_dataSender->answerCondition.wakeOne();
    }
    frameData->clear();
}

bool ConnectedReaderTab::newFrameForUpdate(QByteArray *frameData, int sessionNumber)
{
    const bool awaited = awaitingSession && sessionNumber == awaitedSession;
    if (updateFilterPrimary.isEmpty() && updateFilterSecondary.isEmpty() && !awaited)
        return false;
    const QString hex = QString::fromLatin1(frameData->toHex().toUpper());
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

void ConnectedReaderTab::recoveredFrame(int sessionNumber)
{
    readerPacket_t packet = receivedPacket(QString(), PacketText::recovered, sessionNumber);
    logAndDisplayPacket(packet, TAB_CONNECTED_READER);
}

void ConnectedReaderTab::setCmdSessionNum(int sessionNum)
{
    awaitingSession = true;
    awaitedSession = sessionNum;
}

void ConnectedReaderTab::handleTableDoubleClick(QModelIndex index)
{
    if (index.column() != m_model->frameColumn())
        return;
    m_commandEntry->setText(withoutBlanks(index.data(Qt::DisplayRole).toString()));
    m_commandEntry->setFocus();
}

void ConnectedReaderTab::moveScrollBarToBottom(int, int max)
{
    m_tableView->verticalScrollBar()->setValue(max);
}

void ConnectedReaderTab::handleVisibilityChanged(bool visible)
{
    if (visible)
        emit selectedTab(this, TAB_CONNECTED_READER);
}

void ConnectedReaderTab::sessionGotAck(char ackValue, int sessionNumber)
{
    readerPacket_t packet = receivedPacket(QStringLiteral("0") + QString::number(int(ackValue)),
                                           PacketText::sent, sessionNumber);
    packet.cntlFrame = true;
    pendingAcks.append(packet);
    ackTimer->start();
}

void ConnectedReaderTab::processAcks()
{
    while (!pendingAcks.isEmpty()) {
        readerPacket_t packet = pendingAcks.takeFirst();
        m_model->addPacket(packet);
    }
}
