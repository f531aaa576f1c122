#include "TVTableView.h"

#include "RowNumberHeader.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QModelIndexList>
#include <QResizeEvent>

#include <algorithm>
#include <iterator>

namespace {

// New rows are sized together once the window has had a moment, not one by one.
constexpr int rowSizingPauseMs = 50;

} // namespace

TVTableView::TVTableView(QWidget *parent)
    : QTableView(parent)
{
    setVerticalHeader(new RowNumberHeader(this));
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_resizeTimer.setSingleShot(true);
    m_resizeTimer.setInterval(rowSizingPauseMs);
    connect(&m_resizeTimer, &QTimer::timeout, this, &TVTableView::resizeNewRows);
    // A wider or narrower Frame column wraps long frames differently. A stretching column
    // changes with the view's width without reporting it, so the view's resizes count too.
    m_relayoutTimer.setSingleShot(true);
    m_relayoutTimer.setInterval(rowSizingPauseMs);
    connect(&m_relayoutTimer, &QTimer::timeout, this, &TVTableView::relayoutIfColumnsChanged);
    connect(horizontalHeader(), &QHeaderView::sectionResized, &m_relayoutTimer,
            qOverload<>(&QTimer::start));
}

void TVTableView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    m_relayoutTimer.start();
}

void TVTableView::relayoutIfColumnsChanged()
{
    QVector<int> widths;
    for (int column = 0; column < horizontalHeader()->count(); ++column)
        widths << columnWidth(column);
    if (widths == m_columnWidths)
        return;
    m_columnWidths = widths;
    m_oneLineHeight = 0;
    resizeRowsToContents();
    m_unsizedRows = 0;
}

void TVTableView::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *previous = this->model())
        disconnect(previous, nullptr, this, nullptr);
    QTableView::setModel(model);
    if (!model)
        return;
    m_unsizedRows = 0;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                m_unsizedRows += last - first + 1;
                if (!m_resizeTimer.isActive())
                    m_resizeTimer.start();
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_unsizedRows = 0; });
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

void TVTableView::resizeNewRows()
{
    const int rows = model() ? model()->rowCount() : 0;
    for (int row = rows - qMin(m_unsizedRows, rows); row < rows; ++row) {
        const bool oneLine = fitsOnOneLine(row);
        if (oneLine && m_oneLineHeight > 0) {
            if (rowHeight(row) != m_oneLineHeight)
                setRowHeight(row, m_oneLineHeight);
            continue;
        }
        resizeRowToContents(row);
        if (oneLine) {
            m_oneLineHeight = rowHeight(row);
            verticalHeader()->setDefaultSectionSize(m_oneLineHeight);
        }
    }
    m_unsizedRows = 0;
}

bool TVTableView::fitsOnOneLine(int row)
{
    QAbstractItemModel *packets = model();
    if (m_charWidth == 0) {
        QFont font = packets->index(row, 0).data(Qt::FontRole).value<QFont>();
        font.setBold(true);
        const QFontMetrics metrics(font);
        // Every character is this wide in a fixed-pitch font; in any other, few are wider.
        for (QChar widest : {QLatin1Char('0'), QLatin1Char('M'), QLatin1Char('W')})
            m_charWidth = qMax(m_charWidth, metrics.horizontalAdvance(widest));
    }
    constexpr int cellPadding = 12;
    for (int column = 0; column < packets->columnCount(); ++column) {
        const int length = packets->index(row, column).data().toString().size();
        if (length * m_charWidth + cellPadding > columnWidth(column))
            return false;
    }
    return true;
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
