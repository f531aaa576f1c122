#include "IsolatedHome.h"
#include "ModalWatcher.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "app/OVSViewer.h"
#include "project/ControlPanelTracePath.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString cell(ReadersTabModel *model, int row, int column, int role = Qt::DisplayRole)
{
    return model->index(row, column).data(role).toString();
}

QPushButton *buttonWithText(QWidget *parent, const QString &text)
{
    for (QPushButton *button : parent->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return probe.localPort();
}

} // namespace

class tst_ReadersTab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tableShowsTheReadersFile();
    void connectThroughTheActionCell_data();
    void connectThroughTheActionCell();
    void failedConnections_data();
    void failedConnections();
    void bluetoothRowDoesNothing();
    void addRefusals_data();
    void addRefusals();
    void addSerialAndIpReaders();
    void removeReader();
    void editWritesTheFile();
    void reloadProjectKeepsTheFile();
    void portEditors();
    void countsConnectedReaders();
    void discoveredGatewaysBecomeReaders();

private:
    // Writes the readers file, then opens the window on it.
    void openWindow(const QByteArray &readersFile);
    QString statusText() const;
    void click(int row);
    // The readers tab's inputs, by name; a missing one ends the test program with its name.
    QComboBox *combo(const QString &name) const;
    QLineEdit *lineEdit(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<OVSViewer> m_window;
    ReadersTab *m_tab = nullptr;
    ReadersTabModel *m_model = nullptr;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_ReadersTab::init()
{
    m_project = std::make_unique<QTemporaryDir>();
    QVERIFY(m_project->isValid());
    setStartProject(m_project->path());
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovstXXXX")));
    QVERIFY(m_simulator->startTcp());
}

void tst_ReadersTab::cleanup()
{
    m_tester.reset();
    m_window.reset();
    resetReaderRegistry();
    m_simulator.reset();
    m_model = nullptr;
}

void tst_ReadersTab::openWindow(const QByteArray &readersFile)
{
    QFile file(m_project->path() + QStringLiteral("/readers_list.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(readersFile);
    file.close();
    m_window = std::make_unique<OVSViewer>();
    m_tab = m_window->readersDock();
    m_model = m_tab->model();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}

QComboBox *tst_ReadersTab::combo(const QString &name) const
{
    auto *found = m_tab->findChild<QComboBox *>(name);
    if (!found)
        qFatal("the readers tab has no input \"%s\"", qPrintable(name));
    return found;
}

QLineEdit *tst_ReadersTab::lineEdit(const QString &name) const
{
    auto *found = m_tab->findChild<QLineEdit *>(name);
    if (!found)
        qFatal("the readers tab has no input \"%s\"", qPrintable(name));
    return found;
}

QString tst_ReadersTab::statusText() const
{
    return m_window->findChild<QLabel *>(QStringLiteral("statusLabel"))->text();
}

void tst_ReadersTab::click(int row)
{
    m_tab->onTableClicked(m_model->index(row, ReadersTabModel::ActionColumn));
}

void tst_ReadersTab::tableShowsTheReadersFile()
{
    openWindow("Serial;Bench;COM3;57600;000000000000;\n"
               "IPReader;Roof;192.168.1.40;5000;000000000000;\n");
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(m_model->columnCount(), 6);
    const QStringList headers{"Friendly Name", "Port/IP", "Baudrate/Port",
                              "State",         "Action",  "MAC Address"};
    for (int column = 0; column < 6; ++column)
        QCOMPARE(m_model->headerData(column, Qt::Horizontal).toString(), headers.at(column));
    QCOMPARE(m_model->headerData(1, Qt::Vertical).toInt(), 2);
    QCOMPARE(cell(m_model, 0, 1), QStringLiteral("COM3"));
    QCOMPARE(cell(m_model, 0, 2), QStringLiteral("57600"));
    QCOMPARE(cell(m_model, 1, 1), QStringLiteral("192.168.1.40"));
    QCOMPARE(cell(m_model, 1, 3), QStringLiteral("Disconnected"));
    QCOMPARE(cell(m_model, 1, 4), QStringLiteral("Connect"));
    QCOMPARE(m_model->index(0, 4).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(m_model->index(0, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    QVERIFY(m_model->flags(m_model->index(0, 1)) & Qt::ItemIsEditable);
    QVERIFY(!(m_model->flags(m_model->index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(statusText().contains(QStringLiteral("Parsing readers file successfull.")));
    QCOMPARE(m_tab->windowTitle(), QStringLiteral("Readers"));
    QCOMPARE(m_window->dockWidgetArea(m_tab), Qt::RightDockWidgetArea);
    QVERIFY(m_tab->widget()->objectName() == QLatin1String("readersWidget"));
}

void tst_ReadersTab::connectThroughTheActionCell_data()
{
    QTest::addColumn<bool>("serial");

    QTest::newRow("serial reader on a pty") << true;
    QTest::newRow("ip reader on loopback") << false;
}

void tst_ReadersTab::connectThroughTheActionCell()
{
    QFETCH(bool, serial);
    const QByteArray line =
        serial ? "Serial;Bench;" + m_simulator->serialPortName().toLatin1() + ";115200;0;\n"
               : "IPReader;Roof;127.0.0.1;" + QByteArray::number(m_simulator->tcpPort()) + ";0;\n";
    openWindow(line);
    QSignalSpy connected(ReadersList::instance(), &ReadersList::connectedToReader);
    QSignalSpy disconnected(ReadersList::instance(), &ReadersList::disconnectedFromReader);

    click(0);
    // The window goes on while the reader connects in the background.
    QCOMPARE(cell(m_model, 0, 3), QStringLiteral("Init"));
    QCOMPARE(cell(m_model, 0, 4), QStringLiteral("Cancel"));
    QVERIFY(!(m_model->flags(m_model->index(0, 1)) & Qt::ItemIsEditable));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    QCOMPARE(cell(m_model, 0, 3), QStringLiteral("Connected"));
    QCOMPARE(cell(m_model, 0, 4), QStringLiteral("Disconnect"));
    QCOMPARE(cell(m_model, 0, 5), QStringLiteral("0A 1B 2C 3D"));
    QCOMPARE(m_model->index(0, 4).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!(m_model->flags(m_model->index(0, 1)) & Qt::ItemIsEditable));
    QVERIFY(statusText().contains(QStringLiteral("connected successfully.")));

    click(0);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(cell(m_model, 0, 3), QStringLiteral("Disconnected"));
    QCOMPARE(cell(m_model, 0, 4), QStringLiteral("Connect"));
    QCOMPARE(cell(m_model, 0, 5), QString());
    QCOMPARE(m_model->index(0, 4).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
}

void tst_ReadersTab::failedConnections_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("message");

    QTest::newRow("gateway with a zero address")
        << false << "Error: Connection was done but it is not a tessel Gateway!";
    QTest::newRow("missing serial device")
        << true << "Error: Connecting to reader \"Gone\" was rejected.";
}

void tst_ReadersTab::failedConnections()
{
    QFETCH(bool, serial);
    QFETCH(QString, message);
    m_simulator->setAddress(QByteArray(4, '\0'));
    openWindow(serial ? QByteArray("Serial;Gone;/tmp/ovs-no-such-port;115200;0;\n")
                      : "IPReader;Gone;127.0.0.1;" + QByteArray::number(m_simulator->tcpPort()) +
                            ";0;\n");
    QSignalSpy connected(ReadersList::instance(), &ReadersList::connectedToReader);
    click(0);
    QTRY_VERIFY2_WITH_TIMEOUT(statusText().contains(message), qPrintable(statusText()), 10000);
    QVERIFY(statusText().contains(QStringLiteral("#ff0000")));
    QCOMPARE(cell(m_model, 0, 3), QStringLiteral("Default"));
    QCOMPARE(cell(m_model, 0, 5), QString());
    QCOMPARE(connected.count(), 0);
}

void tst_ReadersTab::bluetoothRowDoesNothing()
{
    openWindow("BlueTooth;Blue;x;y;0;\n");
    QSignalSpy connected(ReadersList::instance(), &ReadersList::connectedToReader);
    const QString before = cell(m_model, 0, 3);
    click(0);
    QCOMPARE(cell(m_model, 0, 3), before);
    QCOMPARE(cell(m_model, 0, 1), QString());
    QCOMPARE(connected.count(), 0);
}

void tst_ReadersTab::addRefusals_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("message");

    QTest::newRow("name in the registry") << "Serial Reader"
                                          << "A"
                                          << "COM9"
                                          << "115200"
                                          << "Error: Reader \"A\" is already in the TSL list.";
    QTest::newRow("name in the file only") << "Serial Reader"
                                           << "F"
                                           << "COM8"
                                           << "115200"
                                           << "Error: Reader \"F\" is already in the file.";
    QTest::newRow("same serial port") << "Serial Reader"
                                      << "B"
                                      << "COM1"
                                      << "115200"
                                      << "Error: Reader with serial port \"COM1\" already exist.";
    QTest::newRow("same address and port")
        << "IP Reader"
        << "S"
        << "127.0.0.1"
        << "5000"
        << "Error: Reader with IP address \"127.0.0.1:5000\" already exist.";
    QTest::newRow("invalid address") << "IP Reader"
                                     << "S"
                                     << ""
                                     << "5000"
                                     << "Error: Invalid IP address: ";
    QTest::newRow("empty name") << "IP Reader"
                                << ""
                                << "127.0.0.2"
                                << "5000"
                                << "Error: Please enter valid reader name.";
    QTest::newRow("empty port") << "IP Reader"
                                << "S"
                                << "127.0.0.2"
                                << ""
                                << "Error: Please enter valid connection port.";
    QTest::newRow("name Latin-1 cannot hold")
        << "IP Reader"
        << "Ω 日本"
        << "127.0.0.2"
        << "5000"
        << "Error: Reader name \"Ω 日本\" has characters that cannot be saved.";
    QTest::newRow("no serial port") << "Serial Reader"
                                    << "B"
                                    << ""
                                    << "115200"
                                    << "Error: There is no valid COM port.";
}

void tst_ReadersTab::addRefusals()
{
    QFETCH(QString, type);
    QFETCH(QString, name);
    QFETCH(QString, port);
    QFETCH(QString, setting);
    QFETCH(QString, message);
    const QByteArray original("Serial;A;COM1;115200;000000000000;\n"
                              "IPReader;R;127.0.0.1;5000;000000000000;\n");
    openWindow(original);
    const QString readersFile = ControlPanelTracePath::readersFilePath();
    QFile file(readersFile);
    QVERIFY(file.open(QIODevice::Append));
    file.write("Serial;F;COM5;115200;000000000000;\n");
    file.close();
    const QByteArray before = contentsOf(readersFile);

    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    combo(QStringLiteral("readerTypeCombo"))->setCurrentText(type);
    lineEdit(QStringLiteral("readerNameEdit"))->setText(name);
    if (type == QLatin1String("Serial Reader")) {
        combo(QStringLiteral("comPortCombo"))->setEditText(port);
        combo(QStringLiteral("baudRateCombo"))->setCurrentText(setting);
    } else {
        lineEdit(QStringLiteral("ipAddressEdit"))->setText(port);
        lineEdit(QStringLiteral("ipPortEdit"))->setText(setting);
    }
    m_tab->addReaderToList();

    QCOMPARE(messages.count(), 1);
    const QString shown = messages.first().first().toString();
    QVERIFY2(shown.startsWith(message), qPrintable(shown));
    QCOMPARE(contentsOf(readersFile), before);
    QCOMPARE(m_model->rowCount(), 2);
}

void tst_ReadersTab::addSerialAndIpReaders()
{
    openWindow(QByteArray());
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    combo(QStringLiteral("readerTypeCombo"))->setCurrentText(QStringLiteral("Serial Reader"));
    combo(QStringLiteral("comPortCombo"))->setEditText(QStringLiteral("COM4 ( USB adapter )"));
    combo(QStringLiteral("baudRateCombo"))->setCurrentText(QStringLiteral("9600"));
    m_tab->addReaderToList();
    // Without a name the reader is named after its port.
    QCOMPARE(lineEdit(QStringLiteral("readerNameEdit"))->text(), QStringLiteral("COM4"));

    combo(QStringLiteral("readerTypeCombo"))->setCurrentText(QStringLiteral("IP Reader"));
    lineEdit(QStringLiteral("readerNameEdit"))->setText(QStringLiteral("Roof"));
    lineEdit(QStringLiteral("ipAddressEdit"))->setText(QStringLiteral("192.168.1.40"));
    lineEdit(QStringLiteral("ipPortEdit"))->setText(QStringLiteral("5000"));
    m_tab->addReaderToList();

    QCOMPARE(messages.count(), 2);
    QCOMPARE(messages.at(0).first().toString(),
             QStringLiteral("Reader \"COM4\" added to readers list."));
    QCOMPARE(messages.at(1).first().toString(),
             QStringLiteral("Reader \"Roof\" added to readers list."));
    QCOMPARE(contentsOf(ControlPanelTracePath::readersFilePath()),
             QByteArray("Serial;COM4;COM4;9600;000000000000;\n"
                        "IPReader;Roof;192.168.1.40;5000;000000000000;\n"));
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(cell(m_model, 1, 2), QStringLiteral("5000"));
}

void tst_ReadersTab::removeReader()
{
    openWindow("Serial;Bench;" + m_simulator->serialPortName().toLatin1() +
               ";115200;000000000000;\nSerial;Spare;COM2;9600;000000000000;\n");
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    m_tab->removeReaderFromList();
    QCOMPARE(messages.last().first().toString(),
             QStringLiteral("Error: There is no selected reader to delete."));

    m_simulator->setSilent(true);
    click(0);
    m_tab->table()->selectRow(0);
    m_tab->removeReaderFromList();
    QCOMPARE(messages.last().first().toString(),
             QStringLiteral("Error: Reader \"Bench\" is connecting."));
    // A second click gives the attempt up; the reader is as it was before.
    click(0);
    QCOMPARE(cell(m_model, 0, 3), QStringLiteral("Disconnected"));
    QCOMPARE(cell(m_model, 0, 4), QStringLiteral("Connect"));

    // The given-up attempt let go of the port: the next one has it.
    m_simulator->setSilent(false);
    click(0);
    QTRY_VERIFY2_WITH_TIMEOUT(cell(m_model, 0, 3) == QLatin1String("Connected"),
                              qPrintable(statusText()), 10000);
    m_tab->removeReaderFromList();
    QCOMPARE(messages.last().first().toString(),
             QStringLiteral("Error: Reader \"Bench\" is still connected. Please disconnect it "
                            "first."));
    QCOMPARE(m_model->rowCount(), 2);

    m_tab->table()->selectRow(1);
    m_tab->removeReaderFromList();
    QCOMPARE(messages.last().first().toString(),
             QStringLiteral("Reader \"Spare\" is removed from readers list."));
    QCOMPARE(m_model->rowCount(), 1);
    QVERIFY(!contentsOf(ControlPanelTracePath::readersFilePath()).contains("Spare"));
}

void tst_ReadersTab::editWritesTheFile()
{
    openWindow("Serial;Bench;COM3;115200;000000000000;\n"
               "IPReader;Roof;192.168.1.40;5000;000000000000;\n");
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    m_tab->table()->selectRow(1);
    QVERIFY(m_model->setData(m_model->index(1, 1), QStringLiteral("192.168.1.41")));
    QVERIFY(m_model->setData(m_model->index(1, 2), QStringLiteral("6000")));
    QVERIFY(!m_model->setData(m_model->index(1, 2), QStringLiteral("7000"), Qt::DisplayRole));
    QCOMPARE(messages.last().first().toString(),
             QStringLiteral("Reader \"Roof\" have been edited."));
    QCOMPARE(contentsOf(ControlPanelTracePath::readersFilePath()),
             QByteArray("Serial;Bench;COM3;115200;000000000000;\n"
                        "IPReader;Roof;192.168.1.41;6000;000000000000;\n"));
}

void tst_ReadersTab::portEditors()
{
    openWindow("Serial;Bench;COM3;115200;000000000000;\n"
               "IPReader;Roof;192.168.1.40;5000;000000000000;\n");
    QTableView *table = m_tab->table();
    QAbstractItemDelegate *delegate = table->itemDelegateForColumn(ReadersTabModel::PortColumn);
    QVERIFY(delegate);
    QStyleOptionViewItem option;
    option.rect = QRect(10, 20, 120, 24);

    std::unique_ptr<QWidget> ipEditor(
        delegate->createEditor(table->viewport(), option, m_model->index(1, 1)));
    auto *addressEdit = qobject_cast<QLineEdit *>(ipEditor.get());
    QVERIFY(addressEdit);
    QVERIFY(addressEdit->inputMask().startsWith(QStringLiteral("000.000.000.000")));
    delegate->setEditorData(addressEdit, m_model->index(1, 1));
    QCOMPARE(addressEdit->text(), QStringLiteral("192.168.1.40"));
    delegate->updateEditorGeometry(addressEdit, option, m_model->index(1, 1));
    QCOMPARE(addressEdit->geometry(), option.rect);

    std::unique_ptr<QWidget> serialEditor(
        delegate->createEditor(table->viewport(), option, m_model->index(0, 1)));
    auto *portCombo = qobject_cast<QComboBox *>(serialEditor.get());
    QVERIFY(portCombo);
    delegate->setEditorData(portCombo, m_model->index(0, 1));
    QCOMPARE(portCombo->currentText(), QStringLiteral("COM3"));
}

void tst_ReadersTab::reloadProjectKeepsTheFile()
{
    const QByteArray list("Serial;A;COM1;9600;000000000000;\n"
                          "IPReader;B;10.0.0.1;5000;000000000000;\n");
    openWindow(list);
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    m_tab->reloadProject();
    // The table gets a model of its own for the reloaded project.
    m_model = m_tab->model();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(contentsOf(ControlPanelTracePath::readersFilePath()), list);
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().first().toString(),
             QStringLiteral("Parsing readers file successfull."));
}

void tst_ReadersTab::countsConnectedReaders()
{
    openWindow("Serial;Bench;" + m_simulator->serialPortName().toLatin1() + ";115200;0;\n");
    QSignalSpy count(m_tab, &ReadersTab::readersConnectionCount);
    QPushButton *browse = m_window->projectPanel()->browseButton();
    const QString project = ControlPanelTracePath::projectPath();

    // Nothing connected: Browse opens the folder chooser.
    QString opened;
    ModalWatcher chooser(ModalWatcher::ModalDialog, [&opened](QWidget *dialog) {
        opened = QString::fromLatin1(dialog->metaObject()->className());
        dialog->close();
    });
    emit browse->released();
    QVERIFY(chooser.handled());
    QCOMPARE(opened, QStringLiteral("QFileDialog"));

    // One reader connected: Browse only explains why it cannot switch.
    click(0);
    QString title;
    ModalWatcher refusal(ModalWatcher::ModalDialog, [&title](QWidget *dialog) {
        title = dialog->windowTitle();
        dialog->close();
    });
    emit browse->released();
    QVERIFY(refusal.handled());
    QCOMPARE(title, QStringLiteral("Disconnect readers"));
    QCOMPARE(ControlPanelTracePath::projectPath(), project);

    QCOMPARE(count.count(), 2);
    QCOMPARE(count.at(0).first().toInt(), 0);
    QCOMPARE(count.at(1).first().toInt(), 1);
}

void tst_ReadersTab::discoveredGatewaysBecomeReaders()
{
    openWindow(QByteArray());
    QVERIFY(m_simulator->startDiscovery(QHostAddress(QStringLiteral("127.0.0.2"))));
    ReaderSimulator second;
    second.setAddress(QByteArray::fromHex("11223344"));
    QVERIFY(second.startDiscovery(QHostAddress(QStringLiteral("127.0.0.3"))));
    const quint16 localPort = freeUdpPort();
    m_tab->setDiscoveryTarget(QHostAddress(QStringLiteral("127.0.0.2")),
                              m_simulator->discoveryPort(), localPort);
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);

    m_tab->toggleGatewayDetection();
    QVERIFY(m_tab->isDetecting());
    QVERIFY(buttonWithText(m_tab, QStringLiteral("Stop")));
    QTRY_COMPARE(m_model->rowCount(), 1);
    QCOMPARE(cell(m_model, 0, 0), QStringLiteral("IP0A1B2C3D"));
    QCOMPARE(cell(m_model, 0, 1), QStringLiteral("127.0.0.2"));

    second.sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_COMPARE(m_model->rowCount(), 2);
    QCOMPARE(cell(m_model, 1, 0), QStringLiteral("IP11223344"));
    QCOMPARE(cell(m_model, 1, 1), QStringLiteral("127.0.0.3"));

    m_simulator->sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_VERIFY(!messages.isEmpty());
    QCOMPARE(messages.last().first().toString(),
             QStringLiteral("Error: Reader \"IP0A1B2C3D\" is already in the TSL list."));
    QCOMPARE(m_model->rowCount(), 2);

    // Another gateway behind an address that the table already has.
    m_simulator->setAddress(QByteArray::fromHex("55667788"));
    m_simulator->sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_COMPARE(messages.last().first().toString(),
                 QStringLiteral("Error: Reader with IP address \"127.0.0.2\" already exist."));
    QCOMPARE(m_model->rowCount(), 2);
    QVERIFY(contentsOf(ControlPanelTracePath::readersFilePath()).contains("IPReader;IP11223344;"));

    m_tab->toggleGatewayDetection();
    QVERIFY(!m_tab->isDetecting());
    QVERIFY(buttonWithText(m_tab, QStringLiteral("Start")));
}

OVS_TEST_MAIN(tst_ReadersTab)
#include "tst_ReadersTab.moc"
