#include "TVTableView.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QModelIndexList>

#include <algorithm>
#include <iterator>

TVTableView::TVTableView(QWidget *parent)
    : QTableView(parent)
{
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // A wider or narrower Frame column wraps long frames differently.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this] { resizeRowsToContents(); });
}

void TVTableView::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *previous = this->model())
        disconnect(previous, nullptr, this, nullptr);
    QTableView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { resizeRows(first, last); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                resizeRows(topLeft.row(), bottomRight.row());
            });
}

void TVTableView::setPacketColumnWidths(int leadingColumns)
{
    static const int packetColumnWidths[] = {100, 40, 0, 100, 100};
    constexpr int frameColumn = 2;
    QHeaderView *header = horizontalHeader();
    for (int column = 0; column < leadingColumns; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, packetColumnWidths[0]);
    }
    for (int column = 0; column < int(std::size(packetColumnWidths)); ++column) {
        const int section = leadingColumns + column;
        if (column == frameColumn) {
            header->setSectionResizeMode(section, QHeaderView::Stretch);
            continue;
        }
        header->setSectionResizeMode(section, QHeaderView::Fixed);
        header->resizeSection(section, packetColumnWidths[column]);
    }
}

void TVTableView::resizeRows(int first, int last)
{
    for (int row = first; row <= last; ++row)
        resizeRowToContents(row);
}

QString TVTableView::selectionText() const
{
    QModelIndexList cells =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    std::sort(cells.begin(), cells.end(), [](const QModelIndex &a, const QModelIndex &b) {
        return a.row() != b.row() ? a.row() < b.row() : a.column() < b.column();
    });
    QString text;
    int previousRow = -1;
    for (const QModelIndex &cell : qAsConst(cells)) {
        if (!text.isEmpty())
            text += cell.row() != previousRow ? QLatin1Char('\n') : QLatin1Char('\t');
        text += cell.data(Qt::DisplayRole).toString();
        previousRow = cell.row();
    }
    return text;
}

void TVTableView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(selectionText());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
