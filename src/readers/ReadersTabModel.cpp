#include "ReadersTabModel.h"

#include "ReadersList.h"

namespace {

const QStringList headers = {QStringLiteral("Friendly Name"), QStringLiteral("Port/IP"),
                             QStringLiteral("Baudrate/Port"), QStringLiteral("State"),
                             QStringLiteral("Action"),        QStringLiteral("MAC Address")};

} // namespace

ReadersTabModel::ReadersTabModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    for (int row = 0; row < rowCount(); ++row)
        m_macAddresses << QString();
}

int ReadersTabModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ReadersList::instance()->readers().size();
}

int ReadersTabModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : headers.size();
}

t_Reader *ReadersTabModel::readerOfRow(int row) const
{
    return ReadersList::instance()->readerAt(row);
}

QVariant ReadersTabModel::data(const QModelIndex &index, int role) const
{
    const t_Reader *reader = index.isValid() ? readerOfRow(index.row()) : nullptr;
    if (!reader)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    const QString mac = m_macAddresses.value(index.row());
    if (role == Qt::CheckStateRole && index.column() == ActionColumn)
        return mac.isEmpty() ? Qt::Unchecked : Qt::Checked;
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();

    const bool serial = reader->type == READER_SERIAL;
    const bool ip = reader->type == READER_IP;
    switch (index.column()) {
    case NameColumn:
        return QString::fromLatin1(readerText(reader->name));
    case PortColumn:
        if (serial)
            return QString::fromLatin1(readerText(reader->comPort));
        return ip ? QString::fromLatin1(readerText(reader->ipAddress)) : QString();
    case SettingColumn:
        if (serial)
            return QString::number(reader->baudRate);
        return ip ? QString::number(reader->ipPort) : QString();
    case StateColumn:
        return readerStateText(reader->state);
    case ActionColumn:
        return readerActionText(reader->state);
    case MacColumn:
        return mac;
    default:
        return QVariant();
    }
}

QVariant ReadersTabModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    return headers.value(section);
}

Qt::ItemFlags ReadersTabModel::flags(const QModelIndex &index) const
{
    const t_Reader *reader = index.isValid() ? readerOfRow(index.row()) : nullptr;
    if (!reader)
        return Qt::NoItemFlags;
    Qt::ItemFlags itemFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const bool editableColumn = index.column() == PortColumn || index.column() == SettingColumn;
    const bool knownType = reader->type == READER_SERIAL || reader->type == READER_IP;
    const bool inUse = reader->state == STATE_CONNECTED || reader->state == STATE_INIT;
    if (editableColumn && knownType && !inUse)
        itemFlags |= Qt::ItemIsEditable;
    return itemFlags;
}

bool ReadersTabModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    t_Reader *reader = index.isValid() ? readerOfRow(index.row()) : nullptr;
    if (role != Qt::EditRole || !reader || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const bool serial = reader->type == READER_SERIAL;
    if (index.column() == PortColumn) {
        const QByteArray text = value.toString().toLatin1();
        if (serial)
            setReaderText(reader->comPort, text);
        else
            setReaderText(reader->ipAddress, text);
    } else {
        const int number = value.toString().toInt();
        if (serial)
            reader->baudRate = number;
        else
            reader->ipPort = std::uint32_t(number);
    }
    emit dataChanged(index, index);
    emit readerEdited(reader);
    return true;
}

int ReadersTabModel::rowOfReader(const QString &readerName) const
{
    const QList<t_Reader *> &readers = ReadersList::instance()->readers();
    for (int row = 0; row < readers.size(); ++row) {
        if (QString::fromLatin1(readerText(readers.at(row)->name)) == readerName)
            return row;
    }
    return -1;
}

void ReadersTabModel::setMacAddress(int row, const QString &macAddress)
{
    if (row < 0 || row >= m_macAddresses.size())
        return;
    m_macAddresses[row] = macAddress;
    refreshRow(row);
}

void ReadersTabModel::refreshRow(int row)
{
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int ReadersTabModel::addReader(const t_Reader &reader)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    const bool added = ReadersList::instance()->addReader(reader);
    if (added)
        m_macAddresses << QString();
    endInsertRows();
    return added ? 0 : 1;
}

bool ReadersTabModel::removeReader(int row)
{
    t_Reader *reader = readerOfRow(row);
    if (!reader)
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    const bool removed = ReadersList::instance()->removeReader(reader);
    m_macAddresses.removeAt(row);
    endRemoveRows();
    return removed;
}
