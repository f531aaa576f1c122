#include "ControlPanelDisplay.h"

#include "AllReadersTab.h"
#include "AllReadersTabModel.h"
#include "ConnectedReaderModel.h"
#include "ConnectedReaderTab.h"
#include "app/ControlPanelHeaders.h"
#include "app/OVSViewer.h"

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

void ControlPanelDisplay::clearButtonClicked()
{
    const OVSViewer *window = OVSViewer::of(m_clearButton);
    if (!window)
        return;
    switch (window->currentDockType()) {
    case TAB_READERS:
        emit statusMessage(tr("Error: You could not clear the contents of readers table."));
        break;
    case TAB_ALL_READERS:
        if (AllReadersTab *allReaders = window->allReadersDock())
            allReaders->model()->clear();
        emit statusMessage(tr("Data packets table for all readers has been cleared."));
        break;
    case TAB_FIRMWARE_UPGRADE:
        return;
    case TAB_CONNECTED_READER: {
        auto *tab = qobject_cast<ConnectedReaderTab *>(window->currentDock());
        if (tab) {
            tab->model()->clear();
            emit statusMessage(tr("Data packets table for reader \"%1\" has been cleared.")
                                   .arg(tab->readerName()));
        }
        break;
    }
    default:
        emit statusMessage(tr("Error: Unknown tab is selected."));
        break;
    }
    emit clearRequest();
}
