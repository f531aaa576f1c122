#pragma once

#include <QString>
#include <QVBoxLayout>

class ControlPanelHeaders;
class QGridLayout;
class QLabel;
class QPushButton;

// The "Display" section of the control panel: asks for the packet table in front to be
// emptied, and the pattern counters with it.
class ControlPanelDisplay : public QVBoxLayout
{
    Q_OBJECT

public:
    explicit ControlPanelDisplay(QWidget *parent = nullptr);

    QPushButton *clearButton() const { return m_clearButton; }

signals:
    void statusMessage(QString message);
    void clearRequest();

public slots:
    void clearButtonClicked();

private:
    ControlPanelHeaders *m_header;
    QGridLayout *m_grid;
    QPushButton *m_clearButton;
    QLabel *m_versionLabel;
};
