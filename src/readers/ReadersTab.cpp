#include "ReadersTab.h"

#include "QComboBoxItemDelegate.h"
#include "ReadersFile.h"
#include "ReadersList.h"
#include "ReadersTabModel.h"
#include "TesselGatewayDetector.h"
#include "app/StyleSheet.h"
#include "session/DataSender.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTableView>
#include <QWidget>

namespace {

const QString serialType = QStringLiteral("Serial Reader");
const QString ipType = QStringLiteral("IP Reader");
const QString bluetoothType = QStringLiteral("Bluetooth Reader");
constexpr int inputHeight = 20;
constexpr int wideInputWidth = 250;

QString nameOf(const t_Reader &reader)
{
    return QString::fromLatin1(readerText(reader.name));
}

} // namespace

ReadersTab::ReadersTab(QWidget *parent)
    : QDockWidget(tr("Readers"), parent)
    , m_table(new QTableView)
    , m_typeCombo(new QComboBox)
    , m_nameEdit(new QLineEdit)
    , m_portLabel(new QLabel(tr("COM port")))
    , m_comPortCombo(new QComboBox)
    , m_ipAddressEdit(new QLineEdit)
    , m_settingLabel(new QLabel(tr("Baudrate")))
    , m_baudRateCombo(new QComboBox)
    , m_ipPortEdit(new QLineEdit)
    , m_addButton(new QPushButton(tr("Add reader")))
    , m_removeButton(new QPushButton(tr("Remove reader")))
    , m_detectionButton(new QPushButton(tr("Start")))
    , m_dataSender(new DataSender)
{
    setObjectName(QStringLiteral("readersTab"));
    m_typeCombo->setObjectName(QStringLiteral("readerTypeCombo"));
    m_nameEdit->setObjectName(QStringLiteral("readerNameEdit"));
    m_comPortCombo->setObjectName(QStringLiteral("comPortCombo"));
    m_ipAddressEdit->setObjectName(QStringLiteral("ipAddressEdit"));
    m_baudRateCombo->setObjectName(QStringLiteral("baudRateCombo"));
    m_ipPortEdit->setObjectName(QStringLiteral("ipPortEdit"));
    auto *contents = new QWidget;
    contents->setObjectName(QStringLiteral("readersWidget"));
    auto *layout = new QGridLayout(contents);

    buildInputs();
    layout->addWidget(new QLabel(tr("Connection type")), 0, 0);
    layout->addWidget(m_typeCombo, 0, 1);
    layout->addWidget(new QLabel(tr("Friendly name")), 1, 0);
    layout->addWidget(m_nameEdit, 1, 1);
    layout->addWidget(m_portLabel, 2, 0);
    layout->addWidget(m_comPortCombo, 2, 1);
    layout->addWidget(m_ipAddressEdit, 2, 1);
    layout->addWidget(m_settingLabel, 3, 0);
    layout->addWidget(m_baudRateCombo, 3, 1);
    layout->addWidget(m_ipPortEdit, 3, 1);
    layout->addWidget(m_addButton, 0, 2);
    layout->addWidget(m_removeButton, 1, 2);
    auto *detection = new QGroupBox(tr("Gateway detection"));
    auto *detectionLayout = new QGridLayout(detection);
    detectionLayout->addWidget(m_detectionButton, 0, 0);
    layout->addWidget(detection, 2, 2, 2, 1);
    layout->setColumnStretch(3, 1);
    layout->addWidget(m_table, 4, 0, 1, 4);

    m_table->setItemDelegateForColumn(ReadersTabModel::PortColumn, new QComboBoxItemDelegate(this));
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked);
    setWidget(contents);
    setAllowedAreas(Qt::RightDockWidgetArea);
    setFeatures(QDockWidget::NoDockWidgetFeatures);
    setStyleSheet(loadStyleSheet(QStringLiteral("ReadersTabStyleSheet")));

    connect(m_table, &QTableView::clicked, this, &ReadersTab::onTableClicked);
    connect(m_typeCombo, &QComboBox::currentTextChanged, this, &ReadersTab::connectionTypeChanged);
    connect(m_addButton, &QPushButton::released, this, &ReadersTab::addReaderToList);
    connect(m_removeButton, &QPushButton::released, this,
            qOverload<>(&ReadersTab::removeReaderFromList));
    connect(m_detectionButton, &QPushButton::released, this, &ReadersTab::toggleGatewayDetection);
    connect(this, &QDockWidget::visibilityChanged, this, &ReadersTab::handleVisibilityChanged);
    connectionTypeChanged(m_typeCombo->currentText());

    ReadersList *registry = ReadersList::instance();
    connect(registry, &ReadersList::readerStateChanged, this, &ReadersTab::refreshReaderRow);
    connect(registry, &ReadersList::connectionFailed, this, &ReadersTab::reportFailedConnection);
    connect(registry, &ReadersList::linkLost, this, &ReadersTab::reportLostLink);
    connect(registry, &ReadersList::linkRestored, this, &ReadersTab::reportRestoredLink);

    m_dataSender->moveToThread(&m_senderThread);
    connect(this, &ReadersTab::sendDataToReader, m_dataSender, &DataSender::sendDataToReader);
    connect(&m_senderThread, &QThread::finished, m_dataSender, &QObject::deleteLater);
    m_senderThread.start();
}

ReadersTab::~ReadersTab()
{
    m_senderThread.quit();
    m_senderThread.wait();
    m_detectionThread.quit();
    m_detectionThread.wait();
}

void ReadersTab::buildInputs()
{
    m_typeCombo->addItems({serialType, ipType, bluetoothType});
    // Bluetooth readers are listed but cannot be added.
    if (auto *items = qobject_cast<QStandardItemModel *>(m_typeCombo->model()))
        items->item(2)->setEnabled(false);

    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        m_comPortCombo->addItem(port.portName() + QStringLiteral(" ( ") + port.description() +
                                QStringLiteral(" )"));
    // A port that is not plugged in yet, or a device of another kind, can be typed in.
    m_comPortCombo->setEditable(true);
    m_baudRateCombo->addItems({QStringLiteral("115200"), QStringLiteral("57600"),
                               QStringLiteral("38400"), QStringLiteral("19200"),
                               QStringLiteral("9600"), QStringLiteral("4800")});
    m_ipAddressEdit->setInputMask(QStringLiteral("000.000.000.000; "));
    m_ipPortEdit->setValidator(new QIntValidator(0, 65535, m_ipPortEdit));

    for (QWidget *input :
         {static_cast<QWidget *>(m_typeCombo), static_cast<QWidget *>(m_nameEdit),
          static_cast<QWidget *>(m_comPortCombo), static_cast<QWidget *>(m_ipAddressEdit),
          static_cast<QWidget *>(m_baudRateCombo), static_cast<QWidget *>(m_ipPortEdit)}) {
        input->setMinimumHeight(inputHeight);
        input->setMinimumWidth(wideInputWidth);
    }
}

void ReadersTab::setDiscoveryTarget(const QHostAddress &target, quint16 targetPort,
                                    quint16 localPort)
{
    m_discoveryTarget = target;
    m_discoveryTargetPort = targetPort;
    m_discoveryLocalPort = localPort;
}

bool ReadersTab::isSerialSelected() const
{
    return m_typeCombo->currentText() == serialType;
}

void ReadersTab::connectionTypeChanged(QString type)
{
    const bool serial = type == serialType;
    m_portLabel->setText(serial ? tr("COM port") : tr("IP address"));
    m_settingLabel->setText(serial ? tr("Baudrate") : tr("Port"));
    m_comPortCombo->setVisible(serial);
    m_baudRateCombo->setVisible(serial);
    m_ipAddressEdit->setVisible(!serial);
    m_ipPortEdit->setVisible(!serial);
}

void ReadersTab::loadReaders()
{
    const int failures = ReadersList::instance()->loadReadersFile();
    if (failures == 0)
        emit statusMessage(tr("Parsing readers file successfull."));
    else
        emit statusMessage(tr("Error: \"%1\" readers could not be parsed.").arg(failures));

    ReadersTabModel *previous = m_model;
    m_model = new ReadersTabModel(this);
    m_table->setModel(m_model);
    delete previous;
    connect(m_model, &ReadersTabModel::readerEdited, this, &ReadersTab::readerEditedFinished);
}

void ReadersTab::reloadProject()
{
    while (m_model && m_model->rowCount() > 0) {
        const int before = m_model->rowCount();
        removeReaderFromList(0, false);
        // A connected reader stays; the new project's readers come on top of it.
        if (m_model->rowCount() == before)
            break;
    }
    loadReaders();
}

void ReadersTab::areReadersConnected()
{
    int connected = 0;
    for (int row = 0; m_model && row < m_model->rowCount(); ++row) {
        const QString name = m_model->index(row, ReadersTabModel::NameColumn).data().toString();
        t_Reader *reader = nullptr;
        if (!ReadersList::instance()->findReader(&reader, name.toLatin1())) {
            emit statusMessage(tr("Error: Reader \"%1\" is not found in the TSL list.").arg(name));
            return;
        }
        // A reader on its way to connecting holds the project as a connected one does.
        connected +=
            reader->state == STATE_CONNECTED || ReadersList::instance()->isConnecting(reader);
    }
    emit readersConnectionCount(connected);
}

void ReadersTab::onTableClicked(QModelIndex index)
{
    if (!index.isValid()) {
        emit statusMessage(tr("Error: There is no valid selected table index."));
        return;
    }
    if (index.column() == ReadersTabModel::ActionColumn)
        connectOrDisconnect(
            index.sibling(index.row(), ReadersTabModel::NameColumn).data().toString());
}

void ReadersTab::connectOrDisconnect(const QString &readerName)
{
    ReadersList *registry = ReadersList::instance();
    t_Reader *reader = nullptr;
    if (!registry->findReader(&reader, readerName.toLatin1())) {
        emit statusMessage(
            tr("Error: Reader \"%1\" is not found in the TSL list.").arg(readerName));
        return;
    }
    if (!reader) {
        emit statusMessage(tr("Error: There is no valid reader data."));
        return;
    }
    if (reader->state == STATE_CONNECTED) {
        if (registry->setReaderState(reader, STATE_DISCONNECTED) < 0)
            emit statusMessage(tr("Error: Disconnecting of reader \"%1\" failed.").arg(readerName));
    } else if (registry->isConnecting(reader)) {
        registry->cancelConnection(reader);
    } else {
        registry->connectInBackground(reader);
    }
    m_model->refreshRow(m_model->rowOfReader(readerName));
}

void ReadersTab::refreshReaderRow(const QString &readerName)
{
    if (m_model)
        m_model->refreshRow(m_model->rowOfReader(readerName));
}

void ReadersTab::reportFailedConnection(const QString &readerName, int result)
{
    if (result == -1)
        emit statusMessage(tr("Error: Connecting to reader \"%1\" was rejected.").arg(readerName));
    else if (result == -2)
        emit statusMessage(tr("Error: Connection was done but it is not a tessel Gateway!"));
}

void ReadersTab::reportLostLink(const QString &readerName)
{
    t_Reader *reader = nullptr;
    if (!ReadersList::instance()->findReader(&reader, readerName.toLatin1()))
        return;
    if (reader->type == READER_IP)
        emit statusMessage(tr("Error: Reader \"%1\" closed the connection.").arg(readerName));
    else
        emit statusMessage(tr("Error: Reader \"%1\" lost its port \"%2\".")
                               .arg(readerName, ReadersList::whereText(*reader)));
}

void ReadersTab::reportRestoredLink(const QString &readerName)
{
    t_Reader *reader = nullptr;
    if (ReadersList::instance()->findReader(&reader, readerName.toLatin1()))
        emit statusMessage(tr("Reader \"%1\" is back on \"%2\".")
                               .arg(readerName, ReadersList::whereText(*reader)));
}

void ReadersTab::addReaderToList()
{
    const bool serial = isSerialSelected();
    if (!serial && m_typeCombo->currentText() != ipType)
        return;
    QString name = m_nameEdit->text();
    QString port;
    if (serial) {
        const QString current = m_comPortCombo->currentText();
        if (current.isEmpty()) {
            emit statusMessage(tr("Error: There is no valid COM port."));
            return;
        }
        port = current.section(QLatin1Char(' '), 0, 0);
        if (name.isEmpty()) {
            name = port;
            m_nameEdit->setText(name);
        }
    } else {
        if (name.isEmpty()) {
            emit statusMessage(tr("Error: Please enter valid reader name."));
            return;
        }
        port = m_ipAddressEdit->text();
        const QHostAddress address(port);
        if (address.isNull() || address.protocol() != QAbstractSocket::IPv4Protocol) {
            emit statusMessage(tr("Error: Invalid IP address: \"%1\".").arg(port));
            return;
        }
        bool isNumber = false;
        m_ipPortEdit->text().toUInt(&isNumber);
        if (!isNumber) {
            emit statusMessage(tr("Error: Please enter valid connection port."));
            return;
        }
    }
    // Names are kept as Latin-1: anything else would come back from the file changed.
    if (QString::fromLatin1(name.toLatin1()) != name) {
        emit statusMessage(
            tr("Error: Reader name \"%1\" has characters that cannot be saved.").arg(name));
        return;
    }

    t_Reader reader;
    const bool initialised = ReadersList::initReader(&reader, serial ? READER_SERIAL : READER_IP);
    setReaderText(reader.name, name.toLatin1());
    t_Reader *existing = nullptr;
    if (ReadersList::instance()->findReader(&existing, name.toLatin1())) {
        emit statusMessage(tr("Error: Reader \"%1\" is already in the TSL list.").arg(name));
        return;
    }
    if (ReadersList::instance()->isReaderInFile(ReadersFile::keyOf(reader))) {
        emit statusMessage(tr("Error: Reader \"%1\" is already in the file.").arg(name));
        return;
    }
    if (serial) {
        setReaderText(reader.comPort, port.toLatin1());
        reader.baudRate = m_baudRateCombo->currentText().toInt();
    } else {
        setReaderText(reader.ipAddress, port.toLatin1());
        reader.ipPort = m_ipPortEdit->text().toUInt();
    }
    if (portAlreadyUsed(reader))
        return;
    if (!initialised) {
        emit statusMessage(tr("Error: Filling reader with default values failed."));
        return;
    }
    if (m_model->addReader(reader) != 0) {
        emit statusMessage(serial
                               ? tr("Error: Add COM reader \"%1\" to the list failed.").arg(name)
                               : tr("Error: Add IP reader \"%1\" to the list failed.").arg(name));
        return;
    }
    ReadersList::instance()->appendReaderToFile(reader);
    emit statusMessage(tr("Reader \"%1\" added to readers list.").arg(name));
}

bool ReadersTab::portAlreadyUsed(const t_Reader &reader)
{
    for (const t_Reader *other : ReadersList::instance()->readers()) {
        if (other->type != reader.type)
            continue;
        if (reader.type == READER_SERIAL &&
            readerText(other->comPort) == readerText(reader.comPort)) {
            emit statusMessage(tr("Error: Reader with serial port \"%1\" already exist.")
                                   .arg(QString::fromLatin1(readerText(reader.comPort))));
            return true;
        }
        if (reader.type == READER_IP &&
            readerText(other->ipAddress) == readerText(reader.ipAddress) &&
            other->ipPort == reader.ipPort) {
            emit statusMessage(tr("Error: Reader with IP address \"%1:%2\" already exist.")
                                   .arg(QString::fromLatin1(readerText(reader.ipAddress)))
                                   .arg(reader.ipPort));
            return true;
        }
    }
    return false;
}

void ReadersTab::removeReaderFromList()
{
    const QModelIndexList selected =
        m_table->selectionModel() ? m_table->selectionModel()->selectedRows() : QModelIndexList();
    if (selected.isEmpty()) {
        emit statusMessage(tr("Error: There is no selected reader to delete."));
        return;
    }
    removeReaderFromList(selected.first().row(), true);
}

void ReadersTab::removeReaderFromList(int selectedReaderRow, bool removeFromFile)
{
    const QString name =
        m_model->index(selectedReaderRow, ReadersTabModel::NameColumn).data().toString();
    t_Reader *reader = nullptr;
    if (!ReadersList::instance()->findReader(&reader, name.toLatin1())) {
        emit statusMessage(tr("Error: Reader \"%1\" is not in the TSL list.").arg(name));
        return;
    }
    if (ReadersList::instance()->isConnecting(reader)) {
        emit statusMessage(tr("Error: Reader \"%1\" is connecting.").arg(name));
        return;
    }
    if (reader->state == STATE_CONNECTED) {
        emit statusMessage(
            tr("Error: Reader \"%1\" is still connected. Please disconnect it first.").arg(name));
        return;
    }
    const QString key = ReadersFile::keyOf(*reader);
    if (!m_model->removeReader(selectedReaderRow)) {
        emit statusMessage(tr("Error: Remove COM reader \"%1\" from the list failed.").arg(name));
        return;
    }
    if (removeFromFile) {
        ReadersList::instance()->removeReaderFromFile(key);
        emit statusMessage(tr("Reader \"%1\" is removed from readers list.").arg(name));
    }
}

void ReadersTab::readerEditedFinished(t_Reader *reader)
{
    if (!m_table->selectionModel() || !m_table->selectionModel()->hasSelection()) {
        emit statusMessage(tr("Error: There is no selected reader to delete."));
        return;
    }
    const QString name = nameOf(*reader);
    if (reader->state == STATE_CONNECTED) {
        emit statusMessage(
            tr("Error: Reader \"%1\" is still connected. Please disconnect it first.").arg(name));
        return;
    }
    ReadersList::instance()->replaceReaderInFile(ReadersFile::keyOf(*reader), *reader);
    emit statusMessage(tr("Reader \"%1\" have been edited.").arg(name));
}

void ReadersTab::handleVisibilityChanged(bool visible)
{
    if (visible)
        emit selectedTab(this, TAB_READERS);
}

void ReadersTab::toggleGatewayDetection()
{
    if (m_detectionThread.isRunning()) {
        m_detectionThread.quit();
        m_detectionThread.wait();
        m_detector = nullptr;
        m_detectionButton->setText(tr("Start"));
        return;
    }
    m_detector =
        new TesselGatewayDetector(m_discoveryTarget, m_discoveryTargetPort, m_discoveryLocalPort);
    m_detector->moveToThread(&m_detectionThread);
    connect(m_detector, &TesselGatewayDetector::newTesselGatewayFound, this,
            &ReadersTab::tesselGatewayFound);
    connect(m_detector, &TesselGatewayDetector::detectionTimedOut, this,
            &ReadersTab::toggleGatewayDetection);
    connect(&m_detectionThread, &QThread::finished, m_detector, &QObject::deleteLater);
    m_detectionThread.start(QThread::InheritPriority);
    m_detectionButton->setText(tr("Stop"));
}

void ReadersTab::tesselGatewayFound(QString gatewayIP, QString gatewayMAC, ushort gatewayPort)
{
    const QString name = QStringLiteral("IP") + gatewayMAC.toUpper();
    t_Reader *existing = nullptr;
    if (ReadersList::instance()->findReader(&existing, name.toLatin1())) {
        emit statusMessage(tr("Error: Reader \"%1\" is already in the TSL list.").arg(name));
        return;
    }
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->index(row, ReadersTabModel::PortColumn).data().toString() == gatewayIP) {
            emit statusMessage(
                tr("Error: Reader with IP address \"%1\" already exist.").arg(gatewayIP));
            return;
        }
    }
    t_Reader reader;
    if (!ReadersList::initReader(&reader, READER_IP)) {
        emit statusMessage(tr("Error: Filling reader with default values failed."));
        return;
    }
    setReaderText(reader.name, name.toLatin1());
    setReaderText(reader.ipAddress, gatewayIP.toLatin1());
    reader.ipPort = gatewayPort;
    reader.discoveredAddress = gatewayMAC.toUInt(nullptr, 16);
    if (m_model->addReader(reader) != 0) {
        emit statusMessage(tr("Error: Add IP reader \"%1\" to the list failed.").arg(name));
        return;
    }
    ReadersList::instance()->appendReaderToFile(reader);
}
