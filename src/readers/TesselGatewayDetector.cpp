#include "TesselGatewayDetector.h"

#include <QAbstractSocket>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

namespace {

constexpr int detectionIntervalMs = 20000;
constexpr int answerSize = 44;
// The radio address sits in bytes 35 to 38, least significant byte first.
constexpr int radioAddressOffset = 35;
constexpr int radioAddressSize = 4;
const QByteArray question = QByteArrayLiteral("Hello?");
const QString mappedPrefix = QStringLiteral("::ffff:");

// Dotted text for IPv4 and IPv4-mapped addresses alike, as the sender text is compared.
QString ipv4Text(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4).toString() : address.toString();
}

} // namespace

TesselGatewayDetector::TesselGatewayDetector(const QHostAddress &target, quint16 targetPort,
                                             quint16 localPort, QObject *parent)
    : QObject(parent)
    , m_socket(new QUdpSocket(this))
    , m_timer(new QTimer(this))
{
    const QList<QHostAddress> ownAddresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : ownAddresses)
        m_ownAddresses.append(ipv4Text(address));

    // A failed bind or send is not reported: the run then simply finds nothing.
    m_socket->bind(QHostAddress::AnyIPv4, localPort, QAbstractSocket::ShareAddress);
    m_socket->writeDatagram(question, target, targetPort);

    m_timer->setInterval(detectionIntervalMs);
    m_timer->setSingleShot(false);
    connect(m_timer, &QTimer::timeout, this, &TesselGatewayDetector::detectionTimeout);
    m_timer->start();

    connect(m_socket, &QUdpSocket::readyRead, this,
            &TesselGatewayDetector::processPendingDatagrams);
}

quint16 TesselGatewayDetector::localPort() const
{
    return m_socket->localPort();
}

void TesselGatewayDetector::setDetectionInterval(int milliseconds)
{
    m_timer->setInterval(milliseconds);
}

void TesselGatewayDetector::processPendingDatagrams()
{
    while (m_socket->hasPendingDatagrams()) {
        QByteArray datagram(int(std::max<qint64>(m_socket->pendingDatagramSize(), 0)), '\0');
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read =
            m_socket->readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
        datagram.resize(int(std::max<qint64>(read, 0)));
        const QString senderText = sender.toString().remove(mappedPrefix);

        // Foreign datagrams must never hide the next answer: a whole answer replaces what the
        // buffer held, a datagram that would make the buffer longer than an answer starts it
        // afresh, and one longer than an answer on its own is dropped.
        if (datagram.size() == answerSize || m_buffer.size() + datagram.size() > answerSize)
            m_buffer.clear();
        if (datagram.size() <= answerSize)
            m_buffer.append(datagram);

        // The machine hears its own broadcast.
        if (isOwnAddress(senderText))
            m_buffer.clear();

        if (m_buffer.size() == answerSize) {
            QByteArray radioAddress = m_buffer.mid(radioAddressOffset, radioAddressSize);
            std::reverse(radioAddress.begin(), radioAddress.end());
            m_buffer.clear();
            emit newTesselGatewayFound(senderText, QString::fromLatin1(radioAddress.toHex()),
                                       ushort(senderPort));
        }
    }
}

void TesselGatewayDetector::detectionTimeout()
{
    emit detectionTimedOut();
}

bool TesselGatewayDetector::isOwnAddress(const QString &address) const
{
    return m_ownAddresses.contains(address);
}
