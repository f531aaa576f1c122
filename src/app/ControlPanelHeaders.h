#pragma once

#include <QHBoxLayout>
#include <QString>

class QFrame;
class QLabel;

// The title row that begins every control-panel section.
class ControlPanelHeaders : public QHBoxLayout
{
    Q_OBJECT

public:
    ControlPanelHeaders(const QString &title, const QString &toolTip, QWidget *parent = nullptr);

private:
    QFrame *m_leftLine;
    QLabel *m_title;
    QFrame *m_rightLine;
};
