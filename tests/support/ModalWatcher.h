#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// Waits for a modal dialog or a pop-up menu to open and hands it to a handler, which
// must close it. Modal loops block the test's own code, so this runs from a timer.
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    enum Kind
    {
        ModalDialog,
        PopupMenu
    };

    ModalWatcher(Kind kind, std::function<void(QWidget *)> handler);

    bool handled() const { return m_handled; }

private:
    void poll();

    Kind m_kind;
    std::function<void(QWidget *)> m_handler;
    QTimer m_timer;
    bool m_handled = false;
};
