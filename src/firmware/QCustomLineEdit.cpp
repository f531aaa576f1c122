#include "QCustomLineEdit.h"

#include <QFocusEvent>

namespace {

// Long enough for the click or tab that gave the focus to have been handled.
constexpr int focusReportDelayMs = 100;

} // namespace

QCustomLineEdit::QCustomLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    m_focusTimer.setSingleShot(true);
    m_focusTimer.setInterval(focusReportDelayMs);
    connect(&m_focusTimer, &QTimer::timeout, this, [this] { emit focusedIn(this); });
}

void QCustomLineEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    m_focusTimer.start();
}
