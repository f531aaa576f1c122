#pragma once

#include "ReaderSession.h"
#include "common/DockedTabTypes.h"
#include "patterns/T_matchSnapshot.h"
#include "project/LogFileOwner.h"
#include "readerPacket_t.h"

#include <QByteArray>
#include <QDockWidget>
#include <QList>
#include <QModelIndex>
#include <QString>

#include <memory>

class AllReadersTab;
class ConnectedReaderModel;
class DataSender;
class FrameAnalyser;
class LineEditAutoComplete;
class QCompleter;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QVBoxLayout;
class TVTableView;

// The tab of one connected reader: where a typed command becomes traffic, and where every
// frame of the reader becomes a table row. What needs no window, its session does.
class ConnectedReaderTab : public QDockWidget, public LogFileOwner
{
    Q_OBJECT

public:
    ConnectedReaderTab(const QString &readerName, AllReadersTab *allReadersTab,
                       FrameAnalyser *controlPanelPackets, QWidget *parent = nullptr);
    ~ConnectedReaderTab() override;

    QString readerName() const { return m_readerName; }
    QString logFileName() const override { return m_session->logFileName(); }
    ConnectedReaderModel *model() const { return m_model; }
    // Null when the reader was not in the registry: such a tab cannot send.
    DataSender *dataSender() const { return m_session->dataSender(); }

    bool isScriptRunning() const { return m_session->isScriptRunning(); }
    void setScriptRunning(bool running) { m_session->setScriptRunning(running); }
    void requestScriptStop() { m_session->requestScriptStop(); }

    void setUpdateFilterPrimary(const QString &filter)
    {
        m_session->setUpdateFilterPrimary(filter);
    }
    void setUpdateFilterSecondary(const QString &filter)
    {
        m_session->setUpdateFilterSecondary(filter);
    }
    void setClearFiltersOnMatch(bool clear) { m_session->setClearFiltersOnMatch(clear); }
    void setUpdateLeadingCodes(const QStringList &codes)
    {
        m_session->setUpdateLeadingCodes(codes);
    }
    void setAwaitingSession(bool awaiting) { m_session->setAwaitingSession(awaiting); }

    // Sends a command on behalf of another dock, which tabType names.
    void sendCommandForDock(const QString &command, int tabType);

    bool isRepeating() const { return m_repeating; }
    LineEditAutoComplete *commandEntry() const { return m_commandEntry; }
    QLineEdit *intervalField() const { return m_intervalField; }
    QPushButton *sendButton() const { return m_sendButton; }
    TVTableView *tableView() const { return m_tableView; }

signals:
    void statusMessage(QString aMessage);
    void sendDataToReader(QString readerName, QString readerCmd, int tabType);
    void selectedTab(QDockWidget *selectedTab, DockedTabTypes type);
    void startReaderRepeatMode(QString readerName, QString readerCmd, int repeatInterval);
    void stopReaderRepeatMode();
    void startReaderScriptMode(QString readerName, QString scriptFile);
    void readerScriptExecutionFinished();
    void receivedUpdateFrame(QString frameData);

public slots:
    void logAndDisplayPacket(readerPacket_t &dataPacket, int tabType);
    void logAndDisplayPacket(readerPacket_t &dataPacket);
    void addPacketToTable(readerPacket_t &dataPacket);
    void addPacketToLogFile(readerPacket_t &dataPacket, QString &dateTime,
                            QList<T_matchSnapshot> matchList);
    void addStringToLogFile(QString &stringToAdd);
    void receivedNewFrame(QByteArray *frameData, int sessionNumber);
    void recoveredFrame(int sessionNumber);
    void sendCommandToReader();
    void handleStartRepeatModeResult(bool result);
    void handleStopRepeatModeResult(bool result);
    void handleTableDoubleClick(QModelIndex index);
    void moveScrollBarToBottom(int min, int max);
    void handleVisibilityChanged(bool visible);
    void setCmdSessionNum(int sessionNum);
    bool newFrameForUpdate(QByteArray *frameData, int sessionNumber);
    // Left unconnected: no link signal carries an acknowledgement's code and session, and the
    // sender's result report already turns a Tx row's status into the acknowledgement's outcome.
    void sessionGotAck(char ackValue, int sessionNumber);
    void processAcks();

private:
    void buildWidgets();
    void connectSession();

    // Its own copy: the session's last outcomes reach the tab while the session goes.
    const QString m_readerName;
    bool m_repeating = false;
    std::unique_ptr<ReaderSession> m_session;
    QWidget *m_centralWidget = nullptr;
    QVBoxLayout *m_layout = nullptr;
    QHBoxLayout *m_repeatRow = nullptr;
    QLabel *m_repeatLabel = nullptr;
    QLineEdit *m_intervalField = nullptr;
    QHBoxLayout *m_commandRow = nullptr;
    LineEditAutoComplete *m_commandEntry = nullptr;
    QPushButton *m_sendButton = nullptr;
    QCompleter *m_completer = nullptr;
    TVTableView *m_tableView = nullptr;
    ConnectedReaderModel *m_model = nullptr;
    QList<readerPacket_t> pendingAcks;
    QTimer *ackTimer = nullptr;
};
