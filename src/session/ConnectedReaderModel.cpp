#include "ConnectedReaderModel.h"

#include "PacketText.h"

#include <QFont>
#include <QFontDatabase>

#include <algorithm>
#include <array>

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

bool isOpen(const QString &status)
{
    return status == PacketText::recovered || status == PacketText::inProgress;
}

// Shared by every cell: a variant made for each call would build a font or a colour.
QVariant rowBackground(std::uint16_t sessionNumber)
{
    // The colour depends on the side of the first answer session and on the remainder by 4.
    static const std::array<QVariant, 8> backgrounds = [] {
        std::array<QVariant, 8> variants;
        for (std::uint16_t remainder = 0; remainder < 4; ++remainder) {
            variants[remainder] = PacketText::rowColor(remainder);
            variants[4 + remainder] =
                PacketText::rowColor(std::uint16_t(firstAnswerSession + 1 + remainder));
        }
        return variants;
    }();
    return backgrounds[(sessionNumber < firstAnswerSession ? 0 : 4) + sessionNumber % 4];
}

} // namespace

ConnectedReaderModel::ConnectedReaderModel(QObject *parent)
    : ConnectedReaderModel(0, parent)
{
}

ConnectedReaderModel::ConnectedReaderModel(int firstPacketColumn, QObject *parent)
    : QAbstractTableModel(parent)
    , m_firstPacketColumn(firstPacketColumn)
{
    const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QFont boldFont = font;
    boldFont.setWeight(QFont::Bold);
    m_font = font;
    m_boldFont = boldFont;
    m_publishTimer.setSingleShot(true);
    connect(&m_publishTimer, &QTimer::timeout, this, &ConnectedReaderModel::publishPendingRows);
}

int ConnectedReaderModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
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
        return rowBackground(packet.sessionNumber);
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
    setStatus(row, packet.status);
    rowChanged(row);
}

// Rows here are positions in m_packets, published or not.
int ConnectedReaderModel::findRowToUpdate(const readerPacket_t &packet) const
{
    for (qint64 serial : m_openSerials) {
        const int row = int(serial - m_firstSerial);
        if (isRowOfPacket(m_packets[std::size_t(row)], packet))
            return row;
    }
    return -1;
}

void ConnectedReaderModel::setStatus(int row, const QString &status)
{
    readerPacket_t &packet = m_packets[std::size_t(row)];
    const bool wasOpen = isOpen(packet.status);
    packet.status = status;
    if (!wasOpen || isOpen(status))
        return;
    const auto open = std::find(m_openSerials.begin(), m_openSerials.end(), m_firstSerial + row);
    if (open != m_openSerials.end())
        m_openSerials.erase(open);
}

void ConnectedReaderModel::appendRow(const readerPacket_t &packet)
{
    m_packets.push_back(packet);
    if (isOpen(packet.status))
        m_openSerials.push_back(m_firstSerial + qint64(m_packets.size()) - 1);
    // A flood beyond any line rate would otherwise pile up packets that are never shown.
    const bool backlogFull = int(m_packets.size()) - m_shownRows >= 2 * maximumRows;
    if (m_batchIntervalMs > 0 && !backlogFull)
        schedulePublishing();
    else
        publishPendingRows();
}

void ConnectedReaderModel::publishInBatches(int intervalMs)
{
    m_batchIntervalMs = intervalMs;
    m_sinceLastBatch.start();
}

void ConnectedReaderModel::schedulePublishing()
{
    if (m_publishTimer.isActive())
        return;
    const qint64 wait = m_batchIntervalMs - m_sinceLastBatch.elapsed();
    m_publishTimer.start(int(std::max<qint64>(0, wait)));
}

void ConnectedReaderModel::publishPendingRows()
{
    m_publishTimer.stop();
    m_sinceLastBatch.restart();
    const int total = int(m_packets.size());
    if (total == m_shownRows)
        return;
    // Rows that would leave with the same batch are never shown.
    const int excess = total - maximumRows;
    if (excess > 0) {
        const int shownLeaving = std::min(excess, m_shownRows);
        if (shownLeaving > 0) {
            beginRemoveRows(QModelIndex(), 0, shownLeaving - 1);
            dropOldest(shownLeaving);
            m_shownRows -= shownLeaving;
            endRemoveRows();
        }
        dropOldest(excess - shownLeaving);
    }
    beginInsertRows(QModelIndex(), m_shownRows, int(m_packets.size()) - 1);
    m_shownRows = int(m_packets.size());
    endInsertRows();
}

void ConnectedReaderModel::dropOldest(int count)
{
    m_packets.erase(m_packets.begin(), m_packets.begin() + count);
    m_firstSerial += count;
    while (!m_openSerials.empty() && m_openSerials.front() < m_firstSerial)
        m_openSerials.pop_front();
}

// A packet not published yet shows its latest state when it is.
void ConnectedReaderModel::rowChanged(int row)
{
    if (row < m_shownRows)
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
    for (int row = 0; row < int(m_packets.size()); ++row) {
        readerPacket_t &candidate = m_packets[std::size_t(row)];
        if (candidate.status != PacketText::nak)
            continue;
        if (packet.status == PacketText::buffered) {
            setStatus(row, packet.status);
            rowChanged(row);
            return;
        }
        if (candidate.sessionNumber == packet.sessionNumber) {
            setStatus(row, packet.status);
            rowChanged(row);
        }
    }
}

void ConnectedReaderModel::clear()
{
    if (m_packets.empty())
        return;
    beginResetModel();
    m_firstSerial += qint64(m_packets.size());
    m_packets.clear();
    m_openSerials.clear();
    m_shownRows = 0;
    m_publishTimer.stop();
    endResetModel();
}
