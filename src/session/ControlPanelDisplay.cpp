#include "ControlPanelDisplay.h"

#include "app/ControlPanelHeaders.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

ControlPanelDisplay::ControlPanelDisplay(QWidget *parent)
    : QVBoxLayout(parent)
    , m_header(new ControlPanelHeaders(tr("Display"), tr("Clear the packet table in front")))
    , m_grid(new QGridLayout)
    , m_clearButton(new QPushButton(QIcon(QStringLiteral(":Icons/chisel_blue.ico")), tr("Clear")))
    , m_versionLabel(new QLabel(QStringLiteral("V" OVS_VERSION)))
{
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_versionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_grid->addWidget(m_clearButton, 0, 0);
    m_grid->addWidget(m_versionLabel, 1, 0);
    addLayout(m_header);
    addLayout(m_grid);
    connect(m_clearButton, &QPushButton::released, this, &ControlPanelDisplay::clearButtonClicked);
}

// The window knows the tab in front: it clears that and the pattern counters.
void ControlPanelDisplay::clearButtonClicked()
{
    emit clearRequest();
}
