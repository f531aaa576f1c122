#pragma once

#include "readerPacket_t.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QModelIndex>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <deque>

// The packet table of one reader: the newest 200 packets, oldest first. A packet that
// reports the outcome of an earlier one (same session and direction) updates its row.
// Packets become rows at once, or in batches when the table is shown: a flood of frames
// then costs one insertion and one paint per batch instead of one per frame.
class ConnectedReaderModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int maximumRows = 200;
    // About as often as a reader of the table can follow a flood.
    static constexpr int shownBatchIntervalMs = 40;

    explicit ConnectedReaderModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void addPacket(readerPacket_t &packet);
    void clear();
    // From now on packets become rows at most every intervalMs, a lone one at the next pass
    // of the event loop.
    void publishInBatches(int intervalMs = shownBatchIntervalMs);
    // Turns the packets added since the last batch into rows now.
    void publishPendingRows();
    const readerPacket_t &packetAt(int row) const { return m_packets.at(std::size_t(row)); }

    // The index of the Frame column; the merged table puts the reader name in front.
    int frameColumn() const { return m_firstPacketColumn + 2; }

    // The status an acknowledgement stands for: "06", "07", "08", "09", anything else NAK.
    static QString statusFromAck(const QString &ackText, const QString &direction,
                                 int sessionNumber);

protected:
    // firstPacketColumn: the number of columns in front of "Time".
    ConnectedReaderModel(int firstPacketColumn, QObject *parent);

    // The reader-name column of the merged table.
    virtual QVariant leadingColumnData(const readerPacket_t &packet, int column) const;
    virtual QString leadingColumnHeader(int column) const;
    // Whether a row may take the outcome of the packet.
    virtual bool isRowOfPacket(const readerPacket_t &row, const readerPacket_t &packet) const;

private:
    void addApplicationPacket(readerPacket_t &packet);
    void addControlPacket(readerPacket_t &packet);
    int findRowToUpdate(const readerPacket_t &packet) const;
    void appendRow(const readerPacket_t &packet);
    void rowChanged(int row);
    void setStatus(int row, const QString &status);
    void dropOldest(int count);
    void schedulePublishing();
    QVariant displayData(const readerPacket_t &packet, int packetColumn) const;

    int m_firstPacketColumn;
    // The rows, then the packets not yet published as rows. The oldest row leaves with every
    // append once the table is full.
    std::deque<readerPacket_t> m_packets;
    int m_shownRows = 0;
    // Packets are numbered from the first ever added; the front one has m_firstSerial.
    qint64 m_firstSerial = 0;
    // The packets still in progress or recovered, oldest first: the only ones that a later
    // packet may update, so finding them costs no scan of the table.
    std::deque<qint64> m_openSerials;
    QTimer m_publishTimer;
    QElapsedTimer m_sinceLastBatch;
    int m_batchIntervalMs = 0;
    QVariant m_font;
    QVariant m_boldFont;
};
