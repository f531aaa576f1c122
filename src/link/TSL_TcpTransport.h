#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <array>

class TSL_TcpLinkState;

// The half of the TCP link that lives in the transport thread: the socket, the wait for the
// answer to a write and the chunks waiting for the receiver to take the current one.
class TSL_TcpTransport : public QObject
{
    Q_OBJECT

public:
    TSL_TcpTransport(TSL_TcpLinkState &link, const QString &host, quint16 port, int connectTimeout,
                     int unsolicitedCounter);

    void start();
    // Serves whatever the link asks for: stopping, a pending write, a taken frame.
    void wake();

private:
    void onConnected();
    void onReadyRead();
    void onAnswerTimeout();
    void writeRequest();
    void receiveChunk(const QByteArray &chunk);
    void enqueue(const QByteArray &chunk);
    QByteArray dequeue();
    int waitingChunks() const;
    void handUp(const QByteArray &chunk);
    void finish();

    static constexpr int QueueCapacity = 500;

    TSL_TcpLinkState &m_link;
    QString m_host;
    quint16 m_port;
    int m_connectTimeout;
    QTcpSocket m_socket;
    QTimer m_connectTimer;
    QTimer m_answerTimer;
    qint64 m_written = -1;
    bool m_awaitingAnswer = false;
    bool m_finished = false;
    // The receiver has a chunk that it has not taken yet.
    bool m_frameOut = false;
    int m_unsolicitedCounter;
    // Waiting chunks back to back; their sizes in a ring.
    QByteArray m_queue;
    std::array<int, QueueCapacity> m_queueSizes{};
    int m_queueWrite = 0;
    int m_queueRead = 0;
};
