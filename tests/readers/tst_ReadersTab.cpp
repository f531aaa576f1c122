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
#include <QTableView>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

QByteArray readersFile()
{
    QFile file(ControlPanelTracePath::readersFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

int errorsIn(const QSignalSpy &messages)
{
    int errors = 0;
    for (const QList<QVariant> &message : messages)
        errors += message.first().toString().startsWith(QLatin1String("Error: "));
    return errors;
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
    void failedConnectionIsShown();
    void addRefusals_data();
    void addRefusals();
    void addSerialAndIpReaders();
    void removeReader();
    void editWritesTheFile();
    void reloadProjectKeepsTheFile();
    void portEditors();
    void browseDependsOnConnectedReaders();
    void discoveredGatewaysBecomeReaders();

private:
    // Writes the readers file, then opens the window on it.
    void openWindow(const QByteArray &readersFile);
    void watchModel();
    QString statusText() const
    {
        return m_window->findChild<QLabel *>(QStringLiteral("statusLabel"))->text();
    }
    QString cell(int row, int column) const
    {
        return m_model->index(row, column).data().toString();
    }
    QString state(int row) const { return cell(row, ReadersTabModel::StateColumn); }
    void click(int row)
    {
        m_tab->onTableClicked(m_model->index(row, ReadersTabModel::ActionColumn));
    }
    bool isEditable(int row) const
    {
        return m_model->flags(m_model->index(row, ReadersTabModel::PortColumn)) &
               Qt::ItemIsEditable;
    }
    QByteArray simulatorLine(uint type, const char *name) const;
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
    watchModel();
}

void tst_ReadersTab::watchModel()
{
    m_model = m_tab->model();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}

QByteArray tst_ReadersTab::simulatorLine(uint type, const char *name) const
{
    if (type == READER_SERIAL)
        return QByteArray("Serial;") + name + ';' + m_simulator->serialPortName().toLatin1() +
               ";115200;0;\n";
    return QByteArray("IPReader;") + name + ";127.0.0.1;" +
           QByteArray::number(m_simulator->tcpPort()) + ";0;\n";
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

void tst_ReadersTab::tableShowsTheReadersFile()
{
    openWindow("Serial;Bench;COM3;57600;000000000000;\nOther;X;\n"
               "IPReader;Roof;192.168.1.40;5000;000000000000;\n");
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(cell(0, ReadersTabModel::PortColumn), QStringLiteral("COM3"));
    QCOMPARE(cell(0, ReadersTabModel::SettingColumn), QStringLiteral("57600"));
    QCOMPARE(cell(1, ReadersTabModel::PortColumn), QStringLiteral("192.168.1.40"));
    QCOMPARE(state(1), readerStateText(STATE_DISCONNECTED));
    QVERIFY(isEditable(0));
    QVERIFY(!(m_model->flags(m_model->index(0, ReadersTabModel::NameColumn)) & Qt::ItemIsEditable));
    // The line that is no reader is reported as a failure.
    QVERIFY2(statusText().contains(QLatin1String("Error: ")), qPrintable(statusText()));
}

void tst_ReadersTab::connectThroughTheActionCell_data()
{
    QTest::addColumn<uint>("type");

    QTest::newRow("serial reader on a pty") << uint(READER_SERIAL);
    QTest::newRow("ip reader on loopback") << uint(READER_IP);
}

void tst_ReadersTab::connectThroughTheActionCell()
{
    QFETCH(uint, type);
    openWindow(simulatorLine(type, "Bench"));
    QSignalSpy connected(ReadersList::instance(), &ReadersList::connectedToReader);
    const auto checked = [this] {
        return m_model->index(0, ReadersTabModel::ActionColumn).data(Qt::CheckStateRole).toInt();
    };

    click(0);
    // The window goes on while the reader connects in the background.
    QCOMPARE(state(0), readerStateText(STATE_INIT));
    QVERIFY(!isEditable(0));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    QCOMPARE(state(0), readerStateText(STATE_CONNECTED));
    QCOMPARE(cell(0, ReadersTabModel::MacColumn), QStringLiteral("0A 1B 2C 3D"));
    QCOMPARE(checked(), int(Qt::Checked));
    QVERIFY(!isEditable(0));

    click(0);
    QCOMPARE(state(0), readerStateText(STATE_DISCONNECTED));
    QCOMPARE(cell(0, ReadersTabModel::MacColumn), QString());
    QCOMPARE(checked(), int(Qt::Unchecked));
    QVERIFY(isEditable(0));
}

void tst_ReadersTab::failedConnectionIsShown()
{
    m_simulator->setAddress(QByteArray(4, '\0'));
    openWindow(simulatorLine(READER_IP, "Zero"));
    QSignalSpy failed(ReadersList::instance(), &ReadersList::connectionFailed);
    click(0);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    QVERIFY2(statusText().contains(QLatin1String("Error: ")), qPrintable(statusText()));
    QCOMPARE(state(0), readerStateText(STATE_DEFAULT));
    QCOMPARE(cell(0, ReadersTabModel::MacColumn), QString());
}

void tst_ReadersTab::addRefusals_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("setting");

    const QString serial = QStringLiteral("Serial Reader");
    const QString ip = QStringLiteral("IP Reader");
    QTest::newRow("name in the registry") << serial << "A"
                                          << "COM9"
                                          << "115200";
    QTest::newRow("name in the file only") << serial << "F"
                                           << "COM8"
                                           << "115200";
    QTest::newRow("same serial port") << serial << "B"
                                      << "COM1"
                                      << "115200";
    QTest::newRow("no serial port") << serial << "B"
                                    << ""
                                    << "115200";
    QTest::newRow("same address and port") << ip << "S"
                                           << "127.0.0.1"
                                           << "5000";
    QTest::newRow("invalid address") << ip << "S"
                                     << ""
                                     << "5000";
    QTest::newRow("empty name") << ip << ""
                                << "127.0.0.2"
                                << "5000";
    QTest::newRow("empty port") << ip << "S"
                                << "127.0.0.2"
                                << "";
    QTest::newRow("name Latin-1 cannot hold") << ip << "Ω 日本"
                                              << "127.0.0.2"
                                              << "5000";
}

void tst_ReadersTab::addRefusals()
{
    QFETCH(QString, type);
    QFETCH(QString, name);
    QFETCH(QString, port);
    QFETCH(QString, setting);
    openWindow("Serial;A;COM1;115200;000000000000;\nIPReader;R;127.0.0.1;5000;000000000000;\n");
    // A reader that was added to the file behind the window's back.
    QFile file(ControlPanelTracePath::readersFilePath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("Serial;F;COM5;115200;000000000000;\n");
    file.close();
    const QByteArray before = readersFile();

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
    QCOMPARE(errorsIn(messages), 1);
    QCOMPARE(readersFile(), before);
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
    QCOMPARE(errorsIn(messages), 0);
    QCOMPARE(readersFile(), QByteArray("Serial;COM4;COM4;9600;000000000000;\n"
                                       "IPReader;Roof;192.168.1.40;5000;000000000000;\n"));
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(cell(1, ReadersTabModel::SettingColumn), QStringLiteral("5000"));
}

void tst_ReadersTab::removeReader()
{
    openWindow(simulatorLine(READER_SERIAL, "Bench") + "Serial;Spare;COM2;9600;000000000000;\n");
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    // Nothing selected.
    m_tab->removeReaderFromList();

    // Neither a reader on its way to connecting nor a connected one goes.
    m_simulator->setSilent(true);
    click(0);
    m_tab->table()->selectRow(0);
    m_tab->removeReaderFromList();
    QCOMPARE(m_model->rowCount(), 2);
    // A second click gives the attempt up.
    click(0);
    QCOMPARE(state(0), readerStateText(STATE_DISCONNECTED));
    m_simulator->setSilent(false);
    click(0);
    QTRY_COMPARE_WITH_TIMEOUT(state(0), readerStateText(STATE_CONNECTED), 10000);
    m_tab->removeReaderFromList();
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(errorsIn(messages), 3);

    m_tab->table()->selectRow(1);
    m_tab->removeReaderFromList();
    QCOMPARE(errorsIn(messages), 3);
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(readersFile(), simulatorLine(READER_SERIAL, "Bench"));
}

void tst_ReadersTab::editWritesTheFile()
{
    openWindow("Serial;Bench;COM3;115200;000000000000;\n"
               "IPReader;Roof;192.168.1.40;5000;000000000000;\n");
    m_tab->table()->selectRow(1);
    QVERIFY(m_model->setData(m_model->index(1, 1), QStringLiteral("192.168.1.41")));
    QVERIFY(m_model->setData(m_model->index(1, 2), QStringLiteral("6000")));
    QCOMPARE(readersFile(), QByteArray("Serial;Bench;COM3;115200;000000000000;\n"
                                       "IPReader;Roof;192.168.1.41;6000;000000000000;\n"));
}

void tst_ReadersTab::reloadProjectKeepsTheFile()
{
    const QByteArray list("Serial;A;COM1;9600;000000000000;\n"
                          "IPReader;B;10.0.0.1;5000;000000000000;\n");
    openWindow(list);
    m_tab->reloadProject();
    // The table gets a model of its own for the reloaded project.
    watchModel();
    QCOMPARE(readersFile(), list);
    QCOMPARE(m_model->rowCount(), 2);
}

void tst_ReadersTab::portEditors()
{
    openWindow("Serial;Bench;COM3;115200;000000000000;\n"
               "IPReader;Roof;192.168.1.40;5000;000000000000;\n");
    QTableView *table = m_tab->table();
    QAbstractItemDelegate *delegate = table->itemDelegateForColumn(ReadersTabModel::PortColumn);
    QVERIFY(delegate);
    const auto editorOf = [&](int row) {
        const QModelIndex index = m_model->index(row, ReadersTabModel::PortColumn);
        QWidget *editor = delegate->createEditor(table->viewport(), {}, index);
        delegate->setEditorData(editor, index);
        return std::unique_ptr<QWidget>(editor);
    };

    const auto serialEditor = editorOf(0);
    auto *portCombo = qobject_cast<QComboBox *>(serialEditor.get());
    QVERIFY(portCombo);
    QCOMPARE(portCombo->currentText(), QStringLiteral("COM3"));
    const auto ipEditor = editorOf(1);
    auto *addressEdit = qobject_cast<QLineEdit *>(ipEditor.get());
    QVERIFY(addressEdit);
    QCOMPARE(addressEdit->text(), QStringLiteral("192.168.1.40"));
}

// Browse opens the folder chooser only while no reader is connected or connecting.
void tst_ReadersTab::browseDependsOnConnectedReaders()
{
    openWindow(simulatorLine(READER_SERIAL, "Bench"));
    QSignalSpy count(m_tab, &ReadersTab::readersConnectionCount);
    QPushButton *browse = m_window->projectPanel()->browseButton();
    const QString project = ControlPanelTracePath::projectPath();
    QStringList opened;
    const auto browseOpensADialog = [&] {
        ModalWatcher watcher(ModalWatcher::ModalDialog, [&opened](QWidget *dialog) {
            opened << QString::fromLatin1(dialog->metaObject()->className());
            dialog->close();
        });
        emit browse->released();
        return watcher.handled();
    };

    QVERIFY(browseOpensADialog());
    click(0);
    QVERIFY(browseOpensADialog());
    QCOMPARE(opened, (QStringList{"QFileDialog", "QMessageBox"}));
    QCOMPARE(ControlPanelTracePath::projectPath(), project);
    QCOMPARE(count.count(), 2);
    QCOMPARE(count.at(0).first().toInt(), 0);
    QCOMPARE(count.at(1).first().toInt(), 1);
}

void tst_ReadersTab::discoveredGatewaysBecomeReaders()
{
    openWindow(QByteArray());
    // Not 127.0.0.1: the detector takes the machine's own addresses for its own broadcast.
    const QHostAddress gateway(QStringLiteral("127.0.0.2"));
    QVERIFY(m_simulator->startDiscovery(gateway));
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 localPort = probe.localPort();
    probe.close();
    m_tab->setDiscoveryTarget(gateway, m_simulator->discoveryPort(), localPort);
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);

    m_tab->toggleGatewayDetection();
    QVERIFY(m_tab->isDetecting());
    QTRY_COMPARE(m_model->rowCount(), 1);
    QCOMPARE(cell(0, ReadersTabModel::NameColumn), QStringLiteral("IP0A1B2C3D"));
    QCOMPARE(cell(0, ReadersTabModel::PortColumn), gateway.toString());
    QCOMPARE(readersFile(), "IPReader;IP0A1B2C3D;127.0.0.2;" +
                                QByteArray::number(m_simulator->discoveryPort()) +
                                ";000000000000;\n");

    // The same gateway again, then another one behind an address the table already has.
    m_simulator->sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_COMPARE(errorsIn(messages), 1);
    m_simulator->setAddress(QByteArray::fromHex("55667788"));
    m_simulator->sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_COMPARE(errorsIn(messages), 2);
    QCOMPARE(m_model->rowCount(), 1);

    m_tab->toggleGatewayDetection();
    QVERIFY(!m_tab->isDetecting());
}

OVS_TEST_MAIN(tst_ReadersTab)
#include "tst_ReadersTab.moc"
