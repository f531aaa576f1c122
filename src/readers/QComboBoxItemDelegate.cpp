#include "QComboBoxItemDelegate.h"

#include "ReadersTabModel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSerialPortInfo>

namespace {

bool isAddress(const QModelIndex &index)
{
    return index.data(Qt::EditRole).toString().contains(QLatin1Char('.'));
}

} // namespace

QComboBoxItemDelegate::QComboBoxItemDelegate(QObject *parent)
    : QItemDelegate(parent)
{
}

QWidget *QComboBoxItemDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                             const QModelIndex &index) const
{
    if (index.column() != ReadersTabModel::PortColumn)
        return QItemDelegate::createEditor(parent, option, index);
    if (isAddress(index)) {
        auto *edit = new QLineEdit(parent);
        edit->setInputMask(QStringLiteral("000.000.000.000;"));
        return edit;
    }
    auto *combo = new QComboBox(parent);
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        combo->addItem(port.portName());
    // A port that is not plugged in now stays choosable.
    const QString current = index.data(Qt::EditRole).toString();
    if (combo->findText(current) < 0)
        combo->addItem(current);
    return combo;
}

void QComboBoxItemDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        combo->setCurrentIndex(combo->findText(text));
    else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        edit->setText(text);
    else
        QItemDelegate::setEditorData(editor, index);
}

void QComboBoxItemDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                         const QModelIndex &index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        model->setData(index, combo->currentText(), Qt::EditRole);
    else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        model->setData(index, edit->text(), Qt::EditRole);
    else
        QItemDelegate::setModelData(editor, model, index);
}

void QComboBoxItemDelegate::updateEditorGeometry(QWidget *editor,
                                                 const QStyleOptionViewItem &option,
                                                 const QModelIndex &index) const
{
    Q_UNUSED(index)
    editor->setGeometry(option.rect);
}
