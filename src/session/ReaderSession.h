#pragma once

#include "PacketLogFile.h"
#include "readerPacket_t.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class DataSender;
class FrameAnalyser;
class PacketSink;
class QThread;

// Everything a connected reader does that needs no window: sending through its sender thread,
// its trace log and the merged one, the pattern rules, waking a script that waits for an
// answer, and routing the answers that the firmware upgrade filters out of the traffic.
// The reader tab shows it; a program without a window can run it alone.
class ReaderSession : public QObject
{
    Q_OBJECT

public:
    // mergedSink and frameAnalyser may be null; both must outlive the session.
    ReaderSession(const QString &readerName, PacketSink *mergedSink, FrameAnalyser *frameAnalyser,
                  QObject *parent = nullptr);
    // Joins the sender thread and logs the outcomes that were still on their way.
    ~ReaderSession() override;

    QString readerName() const { return m_readerName; }
    QString logFileName() const { return logFile.fileName(); }
    // Null when the reader was not in the registry: such a session cannot send.
    DataSender *dataSender() const { return m_dataSender; }

    // Ends the running script at once, whatever it waits for.
    void requestScriptStop();

    bool isScriptRunning() const { return scriptRunning; }
    void setScriptRunning(bool running) { scriptRunning = running; }

    void setUpdateFilterPrimary(const QString &filter) { updateFilterPrimary = filter; }
    void setUpdateFilterSecondary(const QString &filter) { updateFilterSecondary = filter; }
    void setClearFiltersOnMatch(bool clear) { clearFiltersOnMatch = clear; }
    // Frames that start with one of the codes go to the firmware dock too; a match does not
    // clear them.
    void setUpdateLeadingCodes(const QStringList &codes) { m_updateLeadingCodes = codes; }
    void setAwaitingSession(bool awaiting) { awaitingSession = awaiting; }
    void setCmdSessionNum(int sessionNum);

    // Shows (unless the firmware dock sent it), analyses and logs a packet in both logs.
    void logAndDisplayPacket(readerPacket_t &dataPacket, int tabType);
    void addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                            const PacketLogFile::MatchList &matchList);
    void addStringToLogFile(const QString &stringToAdd);

    void receivedNewFrame(QByteArray *frameData, int sessionNumber);
    void recoveredFrame(int sessionNumber);
    // Hands a frame that the firmware upgrade waits for to receivedUpdateFrame; true if it
    // took it.
    bool newFrameForUpdate(QByteArray *frameData, int sessionNumber);

    // An "Rx" packet of this reader, stamped now.
    readerPacket_t receivedPacket(const QString &frame, const QString &status,
                                  int sessionNumber) const;

signals:
    void statusMessage(QString aMessage);
    // A packet for the reader's own table, before it is logged.
    void packetToDisplay(readerPacket_t &dataPacket);
    void receivedUpdateFrame(QString frameData);
    void startRepeatModeResult(bool result);
    void stopRepeatModeResult(bool result);
    void readerScriptExecutionFinished();
    // To the sender thread, for the reader's own name.
    void sendDataToReader(QString readerName, QString readerCmd, int tabType);
    void startReaderRepeatMode(QString readerName, QString readerCmd, int repeatInterval);
    void stopReaderRepeatMode();
    void startReaderScriptMode(QString readerName, QString scriptFile);

private:
    void connectToReader();

    QString m_readerName;
    PacketSink *m_mergedSink;
    FrameAnalyser *m_frameAnalyser;
    PacketLogFile logFile;
    QThread *m_senderThread;
    DataSender *m_dataSender = nullptr;
    bool scriptRunning = false;
    bool awaitingSession = false;
    int awaitedSession = 0;
    QString updateFilterPrimary;
    QString updateFilterSecondary;
    bool clearFiltersOnMatch = false;
    QStringList m_updateLeadingCodes;
};
