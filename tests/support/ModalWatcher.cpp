#include "ModalWatcher.h"

#include <QApplication>
#include <QWidget>

ModalWatcher::ModalWatcher(Kind kind, std::function<void(QWidget *)> handler)
    : m_kind(kind)
    , m_handler(std::move(handler))
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll()
{
    QWidget *widget = m_kind == ModalDialog ? QApplication::activeModalWidget()
                                            : QApplication::activePopupWidget();
    if (!widget || !widget->isVisible())
        return;
    m_timer.stop();
    m_handled = true;
    m_handler(widget);
}
