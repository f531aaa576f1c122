#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <deque>

class QSocketNotifier;
class QTimer;

// The device end of a pseudo-terminal; the client opens the slave as its serial port.
// Output is queued in segments: unpaced, a segment is one write; paced, it trickles out.
class PtyLine : public QObject
{
    Q_OBJECT

public:
    explicit PtyLine(QObject *parent = nullptr);
    ~PtyLine() override;

    // A path ending in XXXX gets those characters replaced by a unique suffix.
    bool open(const QString &linkPath);
    // A new pseudo-terminal behind the same link.
    bool reopen();
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString portName() const { return m_linkPath.isEmpty() ? m_slaveName : m_linkPath; }

    // A tag >= 0 comes back in segmentWritten once the last byte is out; closeAfter hangs
    // the line up shortly after the segment.
    void write(const QByteArray &bytes, int tag = -1, bool closeAfter = false);
    bool isIdle() const { return m_output.empty(); }

    void setSplitIntoSingleBytes(bool split);
    void setBaudRate(int baud);

signals:
    void received(const QByteArray &bytes);
    // Receivers must not write from these: the output queue is being worked on.
    void segmentWritten(int tag);
    void drained();

private:
    struct Segment
    {
        QByteArray bytes;
        int offset = 0;
        int tag = -1;
        bool closeAfter = false;
    };

    bool openPty();
    void closeFds();
    void onReadable();
    qint64 writeFd(const char *data, qint64 size);
    void startOutput();
    qint64 writeOut(qint64 budget);
    void onPaceTick();
    bool isPaced() const { return m_split || m_bytesPerSecond > 0; }

    QString m_linkPath;
    QString m_slaveName;
    int m_master = -1;
    int m_slave = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    std::deque<Segment> m_output;
    bool m_split = false;
    int m_bytesPerSecond = 0;
    QTimer *m_paceTimer;
    QElapsedTimer m_paceClock;
    qint64 m_pacedBytes = 0;
    QTimer *m_hangUpTimer;
};
