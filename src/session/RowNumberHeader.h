#pragma once

#include <QHeaderView>
#include <QSize>

class QEvent;

// The row numbers of a packet table. Qt's header measures every number for its width whenever
// a row comes or goes, which a busy table does hundreds of times a second; the largest number
// is as wide as any, so one measurement per count of digits gives the same width.
class RowNumberHeader : public QHeaderView
{
    Q_OBJECT

public:
    explicit RowNumberHeader(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    mutable int m_measuredCount = 0;
    mutable QSize m_hint;
};
