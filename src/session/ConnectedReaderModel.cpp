#include "ConnectedReaderModel.h"

#include "PacketText.h"

#include <QFontDatabase>

namespace {

enum PacketColumn
{
    TimeColumn,
    DirColumn,
    FrameColumn,
    StatusColumn,
    SessionColumn,
    PacketColumnCount
};

constexpr int maximumTimeLength = 15;
constexpr int keptTimeLength = 10;
constexpr int firstAnswerSession = 32767;

} // namespace

ConnectedReaderModel::ConnectedReaderModel(QObject *parent)
    : ConnectedReaderModel(0, parent)
{
}

ConnectedReaderModel::ConnectedReaderModel(int firstPacketColumn, QObject *parent)
    : QAbstractTableModel(parent)
    , m_firstPacketColumn(firstPacketColumn)
    , m_font(QFontDatabase::systemFont(QFontDatabase::FixedFont))
    , m_boldFont(m_font)
{
    m_boldFont.setWeight(QFont::Bold);
}

int ConnectedReaderModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_packets.size());
}

int ConnectedReaderModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_firstPacketColumn + PacketColumnCount;
}

QVariant ConnectedReaderModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const readerPacket_t &packet = packetAt(index.row());
    const int packetColumn = index.column() - m_firstPacketColumn;
    switch (role) {
    case Qt::DisplayRole:
        return packetColumn < 0 ? leadingColumnData(packet, index.column())
                                : displayData(packet, packetColumn);
    case Qt::FontRole:
        return packetColumn == FrameColumn && packet.direction == QLatin1String("Tx") ? m_boldFont
                                                                                      : m_font;
    case Qt::TextAlignmentRole:
        return packetColumn == FrameColumn ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                           : int(Qt::AlignCenter);
    case Qt::BackgroundRole:
        return PacketText::rowColor(packet.sessionNumber);
    default:
        return {};
    }
}

QVariant ConnectedReaderModel::displayData(const readerPacket_t &packet, int packetColumn) const
{
    switch (packetColumn) {
    case TimeColumn:
        return packet.time;
    case DirColumn:
        return packet.direction;
    case FrameColumn:
        return packet.status == PacketText::recovered ? QString() : packet.frame;
    case StatusColumn:
        return packet.status;
    case SessionColumn:
        return int(packet.sessionNumber);
    default:
        return {};
    }
}

QVariant ConnectedReaderModel::leadingColumnData(const readerPacket_t &, int) const
{
    return {};
}

QString ConnectedReaderModel::leadingColumnHeader(int) const
{
    return {};
}

bool ConnectedReaderModel::isRowOfPacket(const readerPacket_t &row,
                                         const readerPacket_t &packet) const
{
    return row.sessionNumber == packet.sessionNumber && row.direction == packet.direction;
}

QVariant ConnectedReaderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    static const char *const headers[PacketColumnCount] = {"Time", "Dir", "Frame", "Status",
                                                           "Session"};
    const int packetColumn = section - m_firstPacketColumn;
    if (packetColumn < 0)
        return leadingColumnHeader(section);
    if (packetColumn >= PacketColumnCount)
        return {};
    return tr(headers[packetColumn]);
}

void ConnectedReaderModel::addPacket(readerPacket_t &packet)
{
    if (packet.cntlFrame)
        addControlPacket(packet);
    else
        addApplicationPacket(packet);
}

void ConnectedReaderModel::addApplicationPacket(readerPacket_t &packet)
{
    if (packet.time.size() > maximumTimeLength)
        packet.time = packet.time.right(keptTimeLength);
    const int row = findRowToUpdate(packet);
    if (row < 0) {
        appendRow(packet);
        return;
    }
    readerPacket_t &updated = m_packets[std::size_t(row)];
    updated.frame = packet.frame;
    updated.time = packet.time;
    updated.status = packet.status;
    rowChanged(row);
}

int ConnectedReaderModel::findRowToUpdate(const readerPacket_t &packet) const
{
    for (int row = 0; row < rowCount(); ++row) {
        const readerPacket_t &candidate = packetAt(row);
        if (isRowOfPacket(candidate, packet) && (candidate.status == PacketText::recovered ||
                                                 candidate.status == PacketText::inProgress))
            return row;
    }
    return -1;
}

void ConnectedReaderModel::appendRow(const readerPacket_t &packet)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_packets.push_back(packet);
    endInsertRows();
    if (rowCount() > maximumRows) {
        const int excess = rowCount() - maximumRows;
        beginRemoveRows(QModelIndex(), 0, excess - 1);
        m_packets.erase(m_packets.begin(), m_packets.begin() + excess);
        endRemoveRows();
    }
}

void ConnectedReaderModel::rowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

QString ConnectedReaderModel::statusFromAck(const QString &ackText, const QString &direction,
                                            int sessionNumber)
{
    if (ackText == QLatin1String("06")) {
        if (direction == QLatin1String("Rx"))
            return PacketText::sent;
        return sessionNumber < firstAnswerSession ? PacketText::answered : PacketText::received;
    }
    if (ackText == QLatin1String("07"))
        return PacketText::buffered;
    if (ackText == QLatin1String("08"))
        return PacketText::dropped;
    if (ackText == QLatin1String("09"))
        return PacketText::recovered;
    return PacketText::nak;
}

void ConnectedReaderModel::addControlPacket(readerPacket_t &packet)
{
    packet.status = statusFromAck(packet.frame, packet.direction, packet.sessionNumber);
    if (packet.status == PacketText::recovered) {
        appendRow(packet);
        return;
    }
    for (int row = 0; row < rowCount(); ++row) {
        readerPacket_t &candidate = m_packets[std::size_t(row)];
        if (candidate.status != PacketText::nak)
            continue;
        if (packet.status == PacketText::buffered) {
            candidate.status = packet.status;
            rowChanged(row);
            return;
        }
        if (candidate.sessionNumber == packet.sessionNumber) {
            candidate.status = packet.status;
            rowChanged(row);
        }
    }
}

void ConnectedReaderModel::clear()
{
    if (m_packets.empty())
        return;
    beginResetModel();
    m_packets.clear();
    endResetModel();
}
