#include "AllReadersTabModel.h"

AllReadersTabModel::AllReadersTabModel(QObject *parent)
    : ConnectedReaderModel(1, parent)
{
}

QVariant AllReadersTabModel::leadingColumnData(const readerPacket_t &packet, int) const
{
    return packet.readerName;
}

QString AllReadersTabModel::leadingColumnHeader(int) const
{
    return tr("Reader");
}

bool AllReadersTabModel::isRowOfPacket(const readerPacket_t &row,
                                       const readerPacket_t &packet) const
{
    return ConnectedReaderModel::isRowOfPacket(row, packet) && row.readerName == packet.readerName;
}
