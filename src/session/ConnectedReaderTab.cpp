#include "ConnectedReaderTab.h"

#include "AllReadersTab.h"
#include "ConnectedReaderModel.h"
#include "LineEditAutoComplete.h"
#include "PacketText.h"
#include "TVTableView.h"
#include "app/StyleSheet.h"
#include "project/ProjectPaths.h"

#include <QCompleter>
#include <QHBoxLayout>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
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
    , m_session(std::make_unique<ReaderSession>(readerName, allReadersTab, controlPanelPackets))
{
    setObjectName(QStringLiteral("connectedReaderTab_") + readerName);
    buildWidgets();

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

    connectSession();
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
    m_model->publishInBatches();
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

void ConnectedReaderTab::connectSession()
{
    ReaderSession *session = m_session.get();
    connect(session, &ReaderSession::statusMessage, this, &ConnectedReaderTab::statusMessage);
    connect(session, &ReaderSession::packetToDisplay, this, &ConnectedReaderTab::addPacketToTable);
    connect(session, &ReaderSession::receivedUpdateFrame, this,
            &ConnectedReaderTab::receivedUpdateFrame);
    connect(session, &ReaderSession::readerScriptExecutionFinished, this,
            &ConnectedReaderTab::readerScriptExecutionFinished);
    connect(session, &ReaderSession::startRepeatModeResult, this,
            &ConnectedReaderTab::handleStartRepeatModeResult);
    connect(session, &ReaderSession::stopRepeatModeResult, this,
            &ConnectedReaderTab::handleStopRepeatModeResult);
    connect(this, &ConnectedReaderTab::sendDataToReader, session, &ReaderSession::sendDataToReader);
    connect(this, &ConnectedReaderTab::startReaderRepeatMode, session,
            &ReaderSession::startReaderRepeatMode);
    connect(this, &ConnectedReaderTab::stopReaderRepeatMode, session,
            &ReaderSession::stopReaderRepeatMode);
    connect(this, &ConnectedReaderTab::startReaderScriptMode, session,
            &ReaderSession::startReaderScriptMode);
}

ConnectedReaderTab::~ConnectedReaderTab()
{
    // The session's last outcomes still reach the table, so it goes while the table is there.
    m_session.reset();
}

void ConnectedReaderTab::sendCommandForDock(const QString &command, int tabType)
{
    emit sendDataToReader(readerName(), command, tabType);
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
        emit sendDataToReader(readerName(), withoutBlanks(command), TAB_CONNECTED_READER);
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
    emit startReaderRepeatMode(readerName(), withoutBlanks(command), interval);
}

void ConnectedReaderTab::handleStartRepeatModeResult(bool result)
{
    if (!result) {
        emit statusMessage(
            tr("Error: Starting repeat mode of reader \"%1\" failed.").arg(readerName()));
        return;
    }
    m_repeating = true;
    m_intervalField->setEnabled(false);
    m_sendButton->setIcon(QIcon(QStringLiteral(":Icons/arrow_red.ico")));
    m_sendButton->setText(tr("Stop"));
    emit statusMessage(tr("Starting repeat mode of reader \"%1\" successful.").arg(readerName()));
}

void ConnectedReaderTab::handleStopRepeatModeResult(bool result)
{
    if (!result) {
        emit statusMessage(
            tr("Error: Stoping repeat mode of reader \"%1\" failed.").arg(readerName()));
        return;
    }
    m_repeating = false;
    m_intervalField->setEnabled(true);
    m_intervalField->clear();
    m_sendButton->setIcon(QIcon(QStringLiteral(":Icons/arrow_green.ico")));
    m_sendButton->setText(tr("Send"));
    emit statusMessage(tr("Stoping repeat mode of reader \"%1\" successful.").arg(readerName()));
}

void ConnectedReaderTab::logAndDisplayPacket(readerPacket_t &dataPacket)
{
    logAndDisplayPacket(dataPacket, TAB_CONNECTED_READER);
}

void ConnectedReaderTab::logAndDisplayPacket(readerPacket_t &dataPacket, int tabType)
{
    m_session->logAndDisplayPacket(dataPacket, tabType);
}

void ConnectedReaderTab::addPacketToTable(readerPacket_t &dataPacket)
{
    m_model->addPacket(dataPacket);
}

void ConnectedReaderTab::addPacketToLogFile(readerPacket_t &dataPacket, QString &dateTime,
                                            QList<T_matchSnapshot> matchList)
{
    m_session->addPacketToLogFile(dataPacket, dateTime, matchList);
}

void ConnectedReaderTab::addStringToLogFile(QString &stringToAdd)
{
    m_session->addStringToLogFile(stringToAdd);
}

void ConnectedReaderTab::receivedNewFrame(QByteArray *frameData, int sessionNumber)
{
    m_session->receivedNewFrame(frameData, sessionNumber);
}

bool ConnectedReaderTab::newFrameForUpdate(QByteArray *frameData, int sessionNumber)
{
    return m_session->newFrameForUpdate(frameData, sessionNumber);
}

void ConnectedReaderTab::recoveredFrame(int sessionNumber)
{
    m_session->recoveredFrame(sessionNumber);
}

void ConnectedReaderTab::setCmdSessionNum(int sessionNum)
{
    m_session->setCmdSessionNum(sessionNum);
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
    readerPacket_t packet = m_session->receivedPacket(
        QStringLiteral("0") + QString::number(int(ackValue)), PacketText::sent, sessionNumber);
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
