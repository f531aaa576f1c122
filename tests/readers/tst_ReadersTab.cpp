#include "IsolatedHome.h"
#include "ModalWatcher.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "app/OVSViewer.h"
#include "project/ControlPanelTracePath.h"
#include "readers/ReadersTab.h"
#include "readers/ReadersTabModel.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

using Model = ReadersTabModel;

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
    void tableFollowsTheFile();
    void connectThroughTheActionCell_data();
    void connectThroughTheActionCell();
    void addReader_data();
    void addReader();
    void discoveredGatewaysBecomeReaders();

private:
    // Writes the readers file, then opens the window on it.
    void openWindow(const QByteArray &readersFile);
    void watchModel();
    QString cell(int row, int col) const { return m_model->index(row, col).data().toString(); }
    QString state(int row) const { return cell(row, Model::StateColumn); }
    void remove(int row) { m_tab->table()->selectRow(row), m_tab->removeReaderFromList(); }
    void click(int row) { m_tab->onTableClicked(m_model->index(row, Model::ActionColumn)); }
    bool isEditable(int row) const
    {
        return m_model->flags(m_model->index(row, Model::PortColumn)) & Qt::ItemIsEditable;
    }
    QByteArray simulatorLine(uint type) const
    {
        if (type == READER_IP)
            return "IPReader;Bench;127.0.0.1;" + QByteArray::number(m_simulator->tcpPort()) +
                   ";0;\n";
        return "Serial;Bench;" + m_simulator->serialPortName().toLatin1() + ";115200;0;\n";
    }
    // The readers tab's inputs, by name; a missing one ends the test program with its name.
    template<typename Input>
    Input *input(const char *name) const
    {
        auto *found = m_tab->findChild<Input *>(QLatin1String(name));
        if (!found)
            qFatal("the readers tab has no input \"%s\"", name);
        return found;
    }

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<OVSViewer> m_window;
    ReadersTab *m_tab = nullptr;
    ReadersTabModel *m_model = nullptr;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_ReadersTab::init()
{
    m_project = std::make_unique<ProjectFolder>();
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

void tst_ReadersTab::connectThroughTheActionCell_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<bool>("isGateway");

    QTest::newRow("serial reader on a pty") << uint(READER_SERIAL) << true;
    QTest::newRow("ip reader with a zero address, no gateway") << uint(READER_IP) << false;
}

void tst_ReadersTab::connectThroughTheActionCell()
{
    QFETCH(uint, type);
    QFETCH(bool, isGateway);
    if (!isGateway)
        m_simulator->setAddress(QByteArray(4, '\0'));
    openWindow(simulatorLine(type));
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);

    click(0);
    // The window goes on while the reader connects in the background.
    QCOMPARE(state(0), readerStateText(STATE_INIT));
    QVERIFY(!isEditable(0));
    const int endState = isGateway ? STATE_CONNECTED : STATE_DEFAULT;
    QTRY_COMPARE_WITH_TIMEOUT(state(0), readerStateText(endState), 10000);
    QCOMPARE(errorsIn(messages), int(!isGateway));
    QCOMPARE(cell(0, Model::MacColumn), isGateway ? "0A 1B 2C 3D" : QString());
    QCOMPARE(m_model->index(0, Model::ActionColumn).data(Qt::CheckStateRole).toInt(),
             int(isGateway ? Qt::Checked : Qt::Unchecked));
    QCOMPARE(isEditable(0), !isGateway);
    if (!isGateway)
        return;
    // A connected reader stays.
    remove(0);
    QCOMPARE(m_model->rowCount(), 1);

    click(0);
    QCOMPARE(state(0), readerStateText(STATE_DISCONNECTED));
    QCOMPARE(cell(0, Model::MacColumn), QString());
}

void tst_ReadersTab::addReader_data()
{
    // "type|name|port or address|rate or port", and the line added to the file.
    QTest::addColumn<QString>("form");
    QTest::addColumn<QByteArray>("added");

    QTest::newRow("name in the registry") << "Serial|A|COM9|115200" << QByteArray();
    QTest::newRow("name in the file only") << "Serial|F|COM8|115200" << QByteArray();
    QTest::newRow("same serial port") << "Serial|B|COM1|115200" << QByteArray();
    QTest::newRow("no serial port") << "Serial|B||115200" << QByteArray();
    QTest::newRow("same address and port") << "IP|S|127.0.0.1|5000" << QByteArray();
    QTest::newRow("invalid address") << "IP|S||5000" << QByteArray();
    QTest::newRow("empty name") << "IP||127.0.0.2|5000" << QByteArray();
    QTest::newRow("empty port") << "IP|S|127.0.0.2|" << QByteArray();
    QTest::newRow("name Latin-1 cannot hold") << "IP|Ω 日本|127.0.0.2|5000" << QByteArray();
    QTest::newRow("serial reader named after its port")
        << "Serial||COM4 ( USB adapter )|9600"
        << QByteArray("Serial;COM4;COM4;9600;000000000000;\n");
    QTest::newRow("ip reader") << "IP|Roof|192.168.1.40|6000"
                               << QByteArray("IPReader;Roof;192.168.1.40;6000;000000000000;\n");
}

void tst_ReadersTab::addReader()
{
    QFETCH(QString, form);
    QFETCH(QByteArray, added);
    const QStringList field = form.split(QLatin1Char('|'));
    openWindow("Serial;A;COM1;115200;000000000000;\nIPReader;R;127.0.0.1;5000;000000000000;\n");
    // A reader that was added to the file behind the window's back.
    QFile file(ControlPanelTracePath::readersFilePath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("Serial;F;COM5;115200;000000000000;\n");
    file.close();
    const QByteArray before = readersFile();

    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    input<QComboBox>("readerTypeCombo")->setCurrentText(field[0] + QStringLiteral(" Reader"));
    input<QLineEdit>("readerNameEdit")->setText(field[1]);
    if (field[0] == QLatin1String("Serial")) {
        input<QComboBox>("comPortCombo")->setEditText(field[2]);
        input<QComboBox>("baudRateCombo")->setCurrentText(field[3]);
    } else {
        input<QLineEdit>("ipAddressEdit")->setText(field[2]);
        input<QLineEdit>("ipPortEdit")->setText(field[3]);
    }
    m_tab->addReaderToList();

    QCOMPARE(messages.count(), 1);
    QCOMPARE(errorsIn(messages), int(added.isEmpty()));
    QCOMPARE(readersFile(), before + added);
    QCOMPARE(m_model->rowCount(), added.isEmpty() ? 2 : 3);
}

// The table shows the file and edits write it; a reader on its way to connecting holds its row
// and the project until a second click gives the attempt up.
void tst_ReadersTab::tableFollowsTheFile()
{
    const QByteArray bench = simulatorLine(READER_SERIAL);
    openWindow(bench + "Other;X;\nIPReader;Roof;192.168.1.40;5000;000000000000;\n");
    QSignalSpy messages(m_tab, &ReadersTab::statusMessage);
    // A reloaded project keeps its file; the table gets a model of its own.
    m_tab->reloadProject();
    watchModel();
    // The line that is no reader is reported.
    QCOMPARE(errorsIn(messages), 1);
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(cell(0, Model::PortColumn), m_simulator->serialPortName());
    QCOMPARE(cell(1, Model::PortColumn), QStringLiteral("192.168.1.40"));
    QCOMPARE(cell(1, Model::SettingColumn), QStringLiteral("5000"));
    QCOMPARE(state(1), readerStateText(STATE_DISCONNECTED));
    // Nothing selected.
    m_tab->removeReaderFromList();
    m_tab->table()->selectRow(1);
    QVERIFY(m_model->setData(m_model->index(1, Model::PortColumn), "192.168.1.41"));
    QVERIFY(m_model->setData(m_model->index(1, Model::SettingColumn), 6000));
    QCOMPARE(readersFile(), bench + "Other;X;\nIPReader;Roof;192.168.1.41;6000;000000000000;\n");

    QStringList opened;
    const auto browseOpensADialog = [&] {
        ModalWatcher watcher(ModalWatcher::ModalDialog, [&opened](QWidget *dialog) {
            opened << QString::fromLatin1(dialog->metaObject()->className());
            dialog->close();
        });
        emit m_window->projectPanel()->browseButton()->released();
        return watcher.handled();
    };
    QVERIFY(browseOpensADialog());
    m_simulator->setSilent(true);
    click(0);
    QVERIFY(browseOpensADialog());
    QCOMPARE(opened, (QStringList{"QFileDialog", "QMessageBox"}));
    remove(0);
    QCOMPARE(m_model->rowCount(), 2);
    click(0);
    QCOMPARE(state(0), readerStateText(STATE_DISCONNECTED));
    QCOMPARE(errorsIn(messages), 3);

    remove(1);
    QCOMPARE(errorsIn(messages), 3);
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(readersFile(), bench + "Other;X;\n");
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
    QVERIFY(readersFile().startsWith("IPReader;IP0A1B2C3D;127.0.0.2;"));

    // Another gateway behind an address the table already has.
    m_simulator->setAddress(QByteArray::fromHex("55667788"));
    m_simulator->sendDiscoveryAnswer(QHostAddress::LocalHost, localPort);
    QTRY_COMPARE(errorsIn(messages), 1);
    QCOMPARE(m_model->rowCount(), 1);

    m_tab->toggleGatewayDetection();
    QVERIFY(!m_tab->isDetecting());
}

OVS_TEST_MAIN(tst_ReadersTab)
#include "tst_ReadersTab.moc"
