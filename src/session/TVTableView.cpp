#include "TVTableView.h"

#include "RowNumberHeader.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QModelIndexList>
#include <QPair>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <iterator>

namespace {

// Column widths settle while a window is being laid out; rows are sized again once they have.
constexpr int relayoutPauseMs = 50;
// Enough for every length of frame in a flood; forgotten all at once beyond that.
constexpr int maximumShapes = 2000;

// Cells wrap where lines may break only: a time or a single word that is too wide is cut,
// not wrapped. Text layout also breaks at every blank, where the finder may see no break.
bool canWrap(const QString &text)
{
    if (std::any_of(text.begin(), text.end(), [](QChar character) { return character.isSpace(); }))
        return true;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    const int firstBreak = breaks.toNextBoundary();
    return firstBreak > 0 && firstBreak < text.size();
}

} // namespace

TVTableView::TVTableView(QWidget *parent)
    : QTableView(parent)
{
    setVerticalHeader(new RowNumberHeader(this));
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // A wider or narrower Frame column wraps long frames differently. A stretching column
    // changes with the view's width without reporting it, so the view's resizes count too.
    m_relayoutTimer.setSingleShot(true);
    m_relayoutTimer.setInterval(relayoutPauseMs);
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
    m_heightOfShape.clear();
    resizeNewRows(0, model() ? model()->rowCount() - 1 : -1);
}

void TVTableView::showEvent(QShowEvent *event)
{
    QTableView::showEvent(event);
    if (!m_rowsWaitForShow)
        return;
    m_rowsWaitForShow = false;
    resizeNewRows(0, model() ? model()->rowCount() - 1 : -1);
}

void TVTableView::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *previous = this->model())
        disconnect(previous, nullptr, this, nullptr);
    QTableView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { resizeNewRows(first, last); });
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

void TVTableView::resizeNewRows(int first, int last)
{
    // A reader tab behind another has columns of no use for sizing, and nobody sees its rows.
    if (!isVisible()) {
        m_rowsWaitForShow = true;
        return;
    }
    for (int row = first; row <= last; ++row) {
        const bool oneLine = fitsOnOneLine(row);
        if (oneLine && m_oneLineHeight > 0) {
            if (rowHeight(row) != m_oneLineHeight)
                setRowHeight(row, m_oneLineHeight);
            continue;
        }
        // Frames of one length and digits of one width wrap alike: one of them is laid out.
        const quint64 shape = rowShape(row);
        const auto known = m_heightOfShape.constFind(shape);
        if (known != m_heightOfShape.cend()) {
            if (rowHeight(row) != *known)
                setRowHeight(row, *known);
            continue;
        }
        resizeRowToContents(row);
        if (m_heightOfShape.size() >= maximumShapes)
            m_heightOfShape.clear();
        m_heightOfShape.insert(shape, rowHeight(row));
        if (oneLine)
            m_oneLineHeight = rowHeight(row);
    }
}

void TVTableView::measureCharacters(int row)
{
    QFont font = model()->index(row, 0).data(Qt::FontRole).value<QFont>();
    const QFontMetrics plain(font);
    font.setBold(true);
    const QFontMetrics bold(font);
    QHash<QPair<int, int>, QChar> firstOfWidths;
    for (int code = 0; code < 256; ++code) {
        const QChar character(code);
        const QPair<int, int> widths(plain.horizontalAdvance(character),
                                     bold.horizontalAdvance(character));
        m_charWidths << qMax(widths.first, widths.second);
        // Line breaks fall between words, never between two letters or digits: those of the
        // same widths stand for each other.
        if (!character.isLetterOrNumber()) {
            m_sameWidthAs << character;
            continue;
        }
        if (!firstOfWidths.contains(widths))
            firstOfWidths.insert(widths, character);
        m_sameWidthAs << firstOfWidths.value(widths);
    }
}

// What decides the row's height: the width of each character, where lines may break, the
// fonts and the digits of the row number.
quint64 TVTableView::rowShape(int row) const
{
    // FNV-1a over the shape's characters: a key of eight bytes however long the frame.
    quint64 shape = 14695981039346656037ULL;
    const auto add = [&shape](ushort unit) { shape = (shape ^ unit) * 1099511628211ULL; };
    add(ushort(QString::number(row + 1).size()));
    QAbstractItemModel *packets = model();
    for (int column = 0; column < packets->columnCount(); ++column) {
        const QModelIndex cell = packets->index(row, column);
        add(cell.data(Qt::FontRole).value<QFont>().bold() ? 'B' : 'P');
        for (const QChar character : cell.data().toString())
            add(character.unicode() < 256 ? m_sameWidthAs.at(character.unicode()).unicode()
                                          : character.unicode());
        add(0);
    }
    return shape;
}

bool TVTableView::fitsOnOneLine(int row)
{
    QAbstractItemModel *packets = model();
    if (m_charWidths.isEmpty())
        measureCharacters(row);
    constexpr int cellPadding = 12;
    for (int column = 0; column < packets->columnCount(); ++column) {
        const QString text = packets->index(row, column).data().toString();
        if (textWidth(text) + cellPadding > columnWidth(column) && canWrap(text))
            return false;
    }
    return true;
}

int TVTableView::textWidth(const QString &text)
{
    // Characters beyond Latin-1 count as the widest: such a row is laid out to be sure.
    static constexpr int beyondLatin1 = 1 << 16;
    int width = 0;
    for (const QChar character : text)
        width += character.unicode() < 256 ? m_charWidths.at(character.unicode()) : beyondLatin1;
    return width;
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
