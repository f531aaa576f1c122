#pragma once

#include "t_Reader.h"

#include <QAbstractTableModel>
#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <QVariant>

// The registry's readers, one row each and in its order, with the address each connected
// reader reported.
class ReadersTabModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn,
        PortColumn,
        SettingColumn,
        StateColumn,
        ActionColumn,
        MacColumn
    };

    explicit ReadersTabModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // -1 when no row shows that reader.
    int rowOfReader(const QString &readerName) const;
    t_Reader *readerOfRow(int row) const;
    void setMacAddress(int row, const QString &macAddress);
    void refreshRow(int row);
    // Adds the record to the registry with a row of its own; 0 on success.
    int addReader(const t_Reader &reader);
    bool removeReader(int row);

signals:
    void readerEdited(t_Reader *reader);

private:
    QStringList m_macAddresses;
};
