#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReset.h"
#include "SrecordText.h"
#include "StallMeter.h"
#include "TableRow.h"
#include "app/OVSViewer.h"
#include "firmware/FirmwareUpgrade.h"
#include "firmware/LabeledComboBox.h"
#include "firmware/LoadFirmware.h"
#include "firmware/QCustomLineEdit.h"
#include "panels/ControlPanelMac.h"
#include "project/ProjectPaths.h"
#include "readers/ReadersList.h"
#include "readers/ReadersTab.h"
#include "session/ConnectedReaderTab.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <array>
#include <memory>

// The firmware dock in a shown window, its jobs run on the simulated reader R1.
class tst_FirmwareUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void upgradeFromTheDock_data();
    void upgradeFromTheDock();
    void answersOfTheSelectedReaderOnly();
    void progressShown();

private:
    bool setConnected(const char *name, bool connected)
    {
        t_Reader *reader = nullptr;
        return ReadersList::instance()->findReader(&reader, name) &&
               ReadersList::instance()->setReaderState(reader, connected ? STATE_CONNECTED
                                                                         : STATE_DISCONNECTED) == 1;
    }

    std::unique_ptr<ProjectFolder> m_project;
    std::array<std::unique_ptr<ReaderSimulator>, 2> m_simulators;
    std::unique_ptr<OVSViewer> m_window;
    FirmwareUpgrade *m_dock = nullptr;
    QStringList m_messages;
};

void tst_FirmwareUpgrade::init()
{
    m_project = std::make_unique<ProjectFolder>();
    QFile readers(ProjectPaths::readersFilePath());
    QVERIFY(readers.open(QIODevice::WriteOnly));
    for (int i = 0; i < 2; ++i) {
        m_simulators[i] = std::make_unique<ReaderSimulator>();
        QVERIFY(m_simulators[i]->startSerial(QStringLiteral("/tmp/ovsuXXXX")));
        readers.write("Serial;R" + QByteArray::number(i + 1) + ";" +
                      m_simulators[i]->serialPortName().toLatin1() + ";115200;000000000000;\n");
    }
    readers.close();
    m_window = std::make_unique<OVSViewer>();
    m_window->show();
    QVERIFY(setConnected("R1", true) && setConnected("R2", true));
    m_dock = m_window->firmwareDock();
    m_dock->showError = [this](const QString &message) { m_messages << message; };
    connect(m_dock, &FirmwareUpgrade::statusMessage, this, [this](QString m) { m_messages << m; });
    m_dock->refreshReaderSelection();
    m_dock->readerSelection()->setCurrentText("R1");
}

void tst_FirmwareUpgrade::cleanup()
{
    m_messages.clear();
    m_window.reset();
    resetReaderRegistry();
    for (auto &simulator : m_simulators)
        simulator.reset();
    m_project.reset();
}

void tst_FirmwareUpgrade::upgradeFromTheDock_data()
{
    QTest::addColumn<int>("stop"); // 0 none, 1 cancel, 2 reader disconnected
    QTest::addColumn<QString>("outcome");
    addRow("upgraded", 0, "Reader \"R1\" upgrade successful.");
    addRow("cancelled", 1, "Error: Firmware job on reader \"R1\" was cancelled.");
    addRow("disconnected", 2, "Error: Reader \"R1\" is not connected.");
}

void tst_FirmwareUpgrade::upgradeFromTheDock()
{
    QFETCH(int, stop);
    QFETCH(QString, outcome);
    QByteArray image(20000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + i / 256);
    const QString path = ProjectPaths::firmwarePath() + "/fw.srec";
    QFile file(path);
    QVERIFY(QDir().mkpath(ProjectPaths::firmwarePath()) && file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(srecordFile(image)) > 0);
    file.close();
    m_dock->firmwarePanel()->chooseFile = [path] { return path; };
    m_dock->firmwarePanel()->loadFwBtnClicked();
    m_dock->actionSelection()->setCurrentText("Update reader");
    m_dock->raise();
    QTRY_VERIFY(!m_window->routePanel()->targetField()->isEnabled());
    m_simulators[0]->setAckDelay(stop ? 20 : 0);
    StallMeter stall;
    stall.start();
    m_dock->startButton()->click();
    QCOMPARE(m_dock->startButton()->text(), QString("Cancel"));
    QTRY_VERIFY_WITH_TIMEOUT(m_dock->progressBar()->value() > 0, 30000);
    if (stop == 1)
        m_dock->startButton()->click();
    if (stop == 2)
        QVERIFY(setConnected("R1", false));
    QTRY_VERIFY_WITH_TIMEOUT(!m_dock->isRunning(), 60000);
    qInfo("Longest stall of the window during the job: %.1f ms", stall.stop());
    QVERIFY2(m_messages.contains(outcome), qPrintable(m_messages.join('\n')));
    QCOMPARE(m_simulators[0]->installedFirmwareImage(), stop ? QByteArray() : image);
    QVERIFY(m_dock->progressText()->text().contains(" kB/s"));
    QCOMPARE(m_dock->startButton()->text(), QString("Update"));
    m_window->readersDock()->raise();
    QTRY_VERIFY(m_window->routePanel()->targetField()->isEnabled());
}

void tst_FirmwareUpgrade::answersOfTheSelectedReaderOnly()
{
    const QString information = "0107010A0100010203" + QString("0B0200020304") + QString(10, '0') +
                                QString(180, '1') + "03220000";
    emit m_window->connectedReaderTab("R2")->receivedUpdateFrame(information);
    QCOMPARE(m_dock->firmwarePanel()->installedFirmware().join(','), QString(",,"));
    emit m_window->connectedReaderTab("R1")->receivedUpdateFrame(information);
    QCOMPARE(m_dock->firmwarePanel()->installedFirmware().join(','), QString("0A01,00010203,0322"));
    QCOMPARE(m_dock->firmwarePanel()->pendingFirmware().mid(0, 2).join(','),
             QString("0B02,00020304"));
}

// The spreading factor is chosen for LoRa modes only; the automatic fill blinks once full.
void tst_FirmwareUpgrade::progressShown()
{
    QComboBox *factor = m_dock->accessSettings()->comboAt(1);
    m_dock->txRadioModeDeviceAccessChange("868Mhz LORA");
    QVERIFY(!factor->isHidden());
    m_dock->txRadioModeDeviceAccessChange("868Mhz 10Kbps");
    QVERIFY(factor->isHidden());
    m_dock->progressBarAutoUpdateEnable(true, 400);
    QTRY_COMPARE(m_dock->progressBar()->value(), m_dock->progressBar()->maximum());
    QTRY_VERIFY(m_dock->progressBar()->styleSheet().contains("yellow"));
    QTRY_VERIFY(m_dock->progressBar()->styleSheet().contains("green"));
}

OVS_TEST_MAIN(tst_FirmwareUpgrade)
#include "tst_FirmwareUpgrade.moc"
