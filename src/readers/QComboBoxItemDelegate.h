#pragma once

#include <QItemDelegate>

// The editor of the readers table's "Port/IP" column: a masked address edit for an IP
// reader, the serial ports present now for a serial one.
class QComboBoxItemDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    explicit QComboBoxItemDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
};
