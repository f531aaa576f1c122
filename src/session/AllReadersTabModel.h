#pragma once

#include "ConnectedReaderModel.h"

// The merged packet table: the per-reader table with the reader's name in front. A row is
// only updated by a packet of the same reader, so readers whose session counters run in
// step never take over each other's rows.
class AllReadersTabModel : public ConnectedReaderModel
{
    Q_OBJECT

public:
    explicit AllReadersTabModel(QObject *parent = nullptr);

protected:
    QVariant leadingColumnData(const readerPacket_t &packet, int column) const override;
    QString leadingColumnHeader(int column) const override;
    bool isRowOfPacket(const readerPacket_t &row, const readerPacket_t &packet) const override;
};
