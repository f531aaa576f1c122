#include "ControlPanelHeaders.h"

#include <QFont>
#include <QFrame>
#include <QLabel>

namespace {

QFrame *sunkenLine()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

ControlPanelHeaders::ControlPanelHeaders(const QString &title, const QString &toolTip,
                                         QWidget *parent)
    : QHBoxLayout(parent)
    , m_leftLine(sunkenLine())
    , m_title(new QLabel(title))
    , m_rightLine(sunkenLine())
{
    QFont font = m_title->font();
    font.setWeight(QFont::Bold);
    m_title->setFont(font);
    m_title->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_title->setToolTip(toolTip);

    addWidget(m_leftLine);
    addWidget(m_title);
    addWidget(m_rightLine);
}
