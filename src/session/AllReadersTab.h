#pragma once

#include "PacketLogFile.h"
#include "PacketSink.h"
#include "common/DockedTabTypes.h"
#include "project/LogFileOwner.h"
#include "readerPacket_t.h"

#include <QDockWidget>
#include <QString>

class AllReadersTabModel;
class TVTableView;

// The merged packet table and log of every connected reader, "AllReaders.log".
class AllReadersTab : public QDockWidget, public LogFileOwner, public PacketSink
{
    Q_OBJECT

public:
    explicit AllReadersTab(QWidget *parent = nullptr);
    ~AllReadersTab() override;

    QString logFileName() const override { return m_logFile.fileName(); }
    AllReadersTabModel *model() const { return m_model; }
    TVTableView *tableView() const { return m_tableView; }

    void addPacketToLogFile(const readerPacket_t &dataPacket, const QString &dateTime,
                            const PacketLogFile::MatchList &matchList) override;

    // The merged log of the current project.
    static QString logFilePath();

signals:
    void selectedTab(QDockWidget *selectedTab, DockedTabTypes type);

public slots:
    void addPacketToTable(readerPacket_t &dataPacket) override;
    void updateAllReadersLogFile();
    void handleVisibilityChanged(bool visible);
    void moveScrollBarToBottom(int min, int max);

private:
    TVTableView *m_tableView;
    AllReadersTabModel *m_model;
    PacketLogFile m_logFile;
};
