#pragma once

#include <QDateTime>
#include <QPoint>
#include <QString>
#include <QVBoxLayout>

#include <functional>
#include <utility>

class ConnectedReaderTab;
class ControlPanelHeaders;
class QGridLayout;
class QMenu;
class QPushButton;
class ReaderTabs;

// The clock section of the control panel: sets the clock of the selected tab's reader, or of a
// device behind it with the project's clock script.
class ControlPanelRTC : public QVBoxLayout
{
    Q_OBJECT

public:
    // The current UTC time.
    using Clock = std::function<QDateTime()>;

    explicit ControlPanelRTC(ReaderTabs *readerTabs, QWidget *parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The reader clock value offsetSeconds from now.
    QString rtcValue(qint64 offsetSeconds) const;

    QPushButton *setLocalButton() const { return m_setLocalButton; }
    QPushButton *setDistantButton() const { return m_setDistantButton; }
    // The "Set Distant" button's menu.
    QMenu *contextMenu() const { return m_contextMenu; }

signals:
    void statusMessage(QString message);

public slots:
    void setLocalRTCClicked();
    void setDistantRTCClicked();
    void customMenuRequested(QPoint pos);
    void customContextMenuOpen();

private:
    // The selected reader tab; null, after saying so when it is another kind of dock.
    ConnectedReaderTab *selectedReaderTab();

    ReaderTabs *m_readerTabs;
    Clock m_clock;
    ControlPanelHeaders *m_header;
    QGridLayout *m_grid;
    QPushButton *m_setLocalButton;
    QPushButton *m_setDistantButton;
    QMenu *m_contextMenu;
};
