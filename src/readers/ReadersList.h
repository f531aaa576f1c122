#pragma once

#include "ReaderLink.h"
#include "t_Reader.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class QThread;
class QTimer;

// The process-wide registry of readers: owns their records, connects and disconnects them
// through the link layer and keeps the project's readers file. Used from the window thread
// only; the work that blocks (opening a link, its start-up exchanges) runs in threads of its
// own, which never touch a record.
class ReadersList : public QObject
{
    Q_OBJECT

public:
    static ReadersList *instance();
    ~ReadersList() override;

    const QList<t_Reader *> &readers() const { return m_readers; }
    t_Reader *readerAt(int index) const;
    bool findReader(t_Reader **reader, const QByteArray &name) const;
    bool addReader(const t_Reader &reader);
    // Removes the record from the registry and frees it, disconnecting it first.
    bool removeReader(t_Reader *reader);
    static bool initReader(t_Reader *reader, std::uint32_t type);
    // Connects (2) or disconnects (3) the reader; 1, or the link's negative open() result.
    // Connecting this way blocks the caller until the reader answered or gave up; the window
    // uses connectInBackground().
    int setReaderState(t_Reader *reader, int state);

    // Connects in a thread of its own. Meanwhile the reader is in state 1 ("Init"); the
    // attempt ends with connectedToReader, or with connectionFailed and state 0.
    void connectInBackground(t_Reader *reader);
    // Gives up the attempt under way, and the reader goes back to the state it had before;
    // a reader whose lost link is being brought back is disconnected.
    void cancelConnection(t_Reader *reader);
    // An attempt is under way, or a lost link is being brought back.
    bool isConnecting(const t_Reader *reader) const;
    // The link of a connected reader, also while it is being brought back; null otherwise.
    ReaderLink linkOf(const t_Reader *reader) const;
    // Disconnects every reader and waits for the attempts under way, so that no link or
    // thread outlives the window. The links go with the next deferred deletions.
    void disconnectAll();

    // "0A 1B 2C 3D": the first four bytes of an address, missing ones as 00.
    static QString addressText(const QByteArray &address);
    // Where the reader is reached: its port name, or its address and TCP port.
    static QString whereText(const t_Reader &reader);

    // The readers file of the current project.
    // The number of lines that could not be added, or 1 when the file cannot be read.
    int loadReadersFile();
    int appendReaderToFile(const t_Reader &reader);
    int replaceReaderInFile(const QString &key, const t_Reader &reader);
    int removeReaderFromFile(const QString &key);
    bool isReaderInFile(const QString &key) const;

signals:
    void connectedToReader(QString readerName, QString macAddr);
    void disconnectedFromReader(QString readerName);
    // A background attempt failed with the result of opening the link.
    void connectionFailed(QString readerName, int result);
    // The reader's state changed without anybody asking just now.
    void readerStateChanged(QString readerName);
    // A connected reader's link went away, or came back; it stays connected meanwhile.
    void linkLost(QString readerName);
    void linkRestored(QString readerName);

private:
    // What a reader being connected or connected has besides its record.
    struct Connection
    {
        ReaderLink link;
        // The attempt under way and the link it brings up.
        QThread *attempt = nullptr;
        ReaderLink attemptLink;
        bool reconnecting = false;
        std::int32_t stateBefore = STATE_DEFAULT;
        QTimer *retryTimer = nullptr;
    };

    ReadersList() = default;

    static ReaderLink makeLink(const t_Reader &reader);
    int connectNow(t_Reader *reader);
    void disconnectReader(t_Reader *reader);
    void watchLink(const ReaderLink &link);
    void startAttempt(t_Reader *reader, const ReaderLink &link);
    void closeLink(t_Reader *reader, const ReaderLink &link);
    void attemptFinished(QThread *attempt, const ReaderLink &link, int result);
    void becomeConnected(t_Reader *reader, const ReaderLink &link);
    void tcpLinkLost(QObject *link);
    void noticeLossDuringAttempt(t_Reader *reader);
    void retryConnection(t_Reader *reader);
    t_Reader *readerOfLink(const QObject *link) const;
    t_Reader *readerOfAttempt(const QThread *attempt) const;

    QList<t_Reader *> m_readers;
    QHash<t_Reader *, Connection> m_connections;
    // The last link each reader closed, kept until its next link has waited for it: a serial
    // port is free only once the old link has let go of it.
    QHash<t_Reader *, ReaderLink> m_closing;
    // Every attempt thread that has not finished yet, given-up ones too.
    QSet<QThread *> m_attempts;
};
