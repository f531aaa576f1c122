#pragma once

#include "common/DockedTabTypes.h"
#include "t_Reader.h"

#include <QDockWidget>
#include <QHostAddress>
#include <QModelIndex>
#include <QString>
#include <QThread>

class DataSender;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class ReadersTabModel;
class TesselGatewayDetector;

// The dock in which the user keeps the project's readers: add, edit, remove, discover,
// connect and disconnect.
class ReadersTab : public QDockWidget
{
    Q_OBJECT

public:
    explicit ReadersTab(QWidget *parent = nullptr);
    ~ReadersTab() override;

    ReadersTabModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }
    DataSender *dataSender() const { return m_dataSender; }

    // Where the discovery question goes and where the answers come back; broadcast on port
    // 64000 unless a test or a demo says otherwise.
    void setDiscoveryTarget(const QHostAddress &target, quint16 targetPort, quint16 localPort);
    bool isDetecting() const { return m_detectionThread.isRunning(); }

signals:
    void statusMessage(QString message);
    void sendDataToReader(QString readerName, QString readerCmd, int tabType);
    void selectedTab(QDockWidget *selectedTab, DockedTabTypes type);
    void readersConnectionCount(int nbrReadersConnected);

public slots:
    void loadReaders();
    void reloadProject();
    void areReadersConnected();
    void onTableClicked(QModelIndex index);
    void addReaderToList();
    void removeReaderFromList();
    void removeReaderFromList(int selectedReaderRow, bool removeFromFile);
    void handleVisibilityChanged(bool visible);
    void toggleGatewayDetection();
    void tesselGatewayFound(QString gatewayIP, QString gatewayMAC, ushort gatewayPort);
    void connectionTypeChanged(QString type);
    void readerEditedFinished(t_Reader *reader);

private:
    void buildInputs();
    bool isSerialSelected() const;
    void connectOrDisconnect(const QString &readerName);
    void refreshReaderRow(const QString &readerName);
    void reportFailedConnection(const QString &readerName, int result);
    void reportLostLink(const QString &readerName);
    void reportRestoredLink(const QString &readerName);
    bool portAlreadyUsed(const t_Reader &reader);

    QTableView *m_table;
    ReadersTabModel *m_model = nullptr;
    QComboBox *m_typeCombo;
    QLineEdit *m_nameEdit;
    QLabel *m_portLabel;
    QComboBox *m_comPortCombo;
    QLineEdit *m_ipAddressEdit;
    QLabel *m_settingLabel;
    QComboBox *m_baudRateCombo;
    QLineEdit *m_ipPortEdit;
    QPushButton *m_addButton;
    QPushButton *m_removeButton;
    QPushButton *m_detectionButton;
    QThread m_senderThread;
    DataSender *m_dataSender;
    QThread m_detectionThread;
    TesselGatewayDetector *m_detector = nullptr;
    QHostAddress m_discoveryTarget = QHostAddress::Broadcast;
    quint16 m_discoveryTargetPort = 64000;
    quint16 m_discoveryLocalPort = 64000;
};
