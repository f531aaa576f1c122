#pragma once

#include <QLineEdit>
#include <QTimer>

class QFocusEvent;

// A line edit that reports, a moment after it gains the focus, that it has it: the route panel
// and the firmware dock act on the field the user has just entered.
class QCustomLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit QCustomLineEdit(QWidget *parent = nullptr);

signals:
    void focusedIn(QCustomLineEdit *widget);

protected:
    void focusInEvent(QFocusEvent *event) override;

private:
    QTimer m_focusTimer;
};
