#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

class QTimer;
class QUdpSocket;

// Asks the gateways on the network to announce themselves and reports each answer. It starts
// at construction; the readers tab then moves it to its detection thread.
class TesselGatewayDetector : public QObject
{
    Q_OBJECT

public:
    explicit TesselGatewayDetector(const QHostAddress &target = QHostAddress::Broadcast,
                                   quint16 targetPort = 64000, quint16 localPort = 64000,
                                   QObject *parent = nullptr);

    // The port the answers are awaited on, 0 when the bind failed.
    quint16 localPort() const;
    // For tests: a shorter run than the 20 s of the workbench. Call it before moving the
    // detector to another thread.
    void setDetectionInterval(int milliseconds);

signals:
    void newTesselGatewayFound(QString gatewayIP, QString gatewayMAC, ushort gatewayPort);
    void detectionTimedOut();

public slots:
    void processPendingDatagrams();
    void detectionTimeout();

private:
    bool isOwnAddress(const QString &address) const;

    QUdpSocket *m_socket;
    QTimer *m_timer;
    QByteArray m_buffer;
    QStringList m_ownAddresses;
};
