#include "RowNumberHeader.h"

#include <QEvent>
#include <QString>

RowNumberHeader::RowNumberHeader(QWidget *parent)
    : QHeaderView(Qt::Vertical, parent)
{
}

QSize RowNumberHeader::sizeHint() const
{
    const int rows = count();
    if (rows == 0)
        return QHeaderView::sizeHint();
    if (QString::number(rows).size() != QString::number(m_measuredCount).size() ||
        !m_hint.isValid()) {
        m_hint = sectionSizeFromContents(rows - 1);
        m_measuredCount = rows;
    }
    return m_hint;
}

void RowNumberHeader::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_hint = QSize();
    QHeaderView::changeEvent(event);
}
