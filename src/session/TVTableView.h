#pragma once

#include <QHash>
#include <QTableView>
#include <QTimer>
#include <QVector>

class QAbstractItemModel;
class QKeyEvent;
class QResizeEvent;
class QShowEvent;

// The view of the packet tables. Copies the selection as tab- and line-separated text, and
// sizes only the rows that change, a batch at a time as the model publishes them: sizing rows
// on every append makes a busy table crawl.
class TVTableView : public QTableView
{
    Q_OBJECT

public:
    explicit TVTableView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // Fixed widths for every packet column, the Frame column taking the rest; leading columns
    // (the merged table's reader name) are as wide as the Time column.
    void setPacketColumnWidths(int leadingColumns);

    // The selected cells, by row then column; tabs between cells, line ends between rows.
    QString selectionText() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void resizeRows(int first, int last);
    void resizeNewRows(int first, int last);
    void relayoutIfColumnsChanged();
    // Whether every cell of the row is narrower than its column or cannot wrap: a cheap test
    // that adds up character widths measured once, without laying out any text.
    bool fitsOnOneLine(int row);
    int textWidth(const QString &text);
    void measureCharacters(int row);
    quint64 rowShape(int row) const;

    // Measured on the first row that fits on one line, then given to such rows without laying
    // out their text.
    int m_oneLineHeight = 0;
    // Rows came while the view was hidden; all are sized when it is shown.
    bool m_rowsWaitForShow = false;
    // The advance of each Latin-1 character in the table's font, plain or bold, whichever is
    // wider; empty until the first row is sized.
    QVector<int> m_charWidths;
    // For each Latin-1 letter or digit, the first one as wide in both fonts; others stand
    // for themselves.
    QVector<QChar> m_sameWidthAs;
    // The height that a row of this shape was laid out to, while the column widths stay.
    QHash<quint64, int> m_heightOfShape;
    QTimer m_relayoutTimer;
    QVector<int> m_columnWidths;
};
