#pragma once

#include "readerPacket_t.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QModelIndex>
#include <QString>
#include <QVariant>

#include <deque>

// The packet table of one reader: the newest 200 packets, oldest first. A packet that
// reports the outcome of an earlier one (same session and direction) updates its row.
class ConnectedReaderModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int maximumRows = 200;

    explicit ConnectedReaderModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void addPacket(readerPacket_t &packet);
    void clear();
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
    QVariant displayData(const readerPacket_t &packet, int packetColumn) const;

    int m_firstPacketColumn;
    // The oldest row leaves with every append once the table is full.
    std::deque<readerPacket_t> m_packets;
    QFont m_font;
    QFont m_boldFont;
};
