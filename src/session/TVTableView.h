#pragma once

#include <QTableView>

class QAbstractItemModel;
class QKeyEvent;

// The view of the packet tables. Copies the selection as tab- and line-separated text, and
// sizes only the rows that change: sizing every row on every append makes a busy table crawl.
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

private:
    void resizeRows(int first, int last);
};
