#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "SrecordText.h"
#include "StallMeter.h"
#include "TableRow.h"
#include "app/OVSViewer.h"
#include "firmware/FirmwareUpgrade.h"
#include "firmware/LoadFirmware.h"
#include "panels/ControlPanelMac.h"
#include "readers/ReadersList.h"
#include "session/ConnectedReaderTab.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

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

private:
    std::unique_ptr<ProjectFolder> m_project = std::make_unique<ProjectFolder>();
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<OVSViewer> m_window;
    FirmwareUpgrade *m_dock = nullptr;
    QStringList m_messages;
};

void tst_FirmwareUpgrade::init()
{
    m_window = std::make_unique<OVSViewer>();
    m_window->show();
    // R2 is the same simulated reader over TCP.
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsuXXXX")) && m_simulator->startTcp());
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()) &&
            addConnectedReader("R2", QString(), m_simulator->tcpPort()));
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
    m_simulator.reset();
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
    QByteArray image;
    for (int i = 0; i < 4000; ++i)
        image += QByteArray::number(i * 7919).right(5);
    const QString path = firmwareFile("fw.srec", srecordFile(image));
    m_dock->firmwarePanel()->chooseFile = [path] { return path; };
    m_dock->firmwarePanel()->loadFwBtnClicked();
    m_dock->actionSelection()->setCurrentText("Update reader");
    m_dock->raise();
    QTRY_VERIFY(!m_window->routePanel()->setRouteButton()->isEnabled());
    m_simulator->setAckDelay(stop ? 20 : 0);
    StallMeter stall;
    stall.start();
    m_dock->startButton()->click();
    QCOMPARE(m_dock->startButton()->text(), QString("Cancel"));
    QTRY_VERIFY_WITH_TIMEOUT(m_dock->progressBar()->value() > 0, 30000);
    if (stop == 1)
        m_dock->startButton()->click();
    if (stop == 2)
        ReadersList::instance()->disconnectAll();
    QTRY_VERIFY_WITH_TIMEOUT(!m_dock->isRunning(), 60000);
    qInfo("Longest stall of the window during the job: %.1f ms", stall.stop());
    QVERIFY(m_messages.contains(outcome));
    QCOMPARE(m_simulator->installedFirmwareImage(), stop ? QByteArray() : image);
    QVERIFY(m_dock->progressText()->text().contains(" kB/s"));
    QCOMPARE(m_dock->startButton()->text(), QString("Update"));
}

// Choosing R1 asks it for its firmware information; R2's answers are not R1's.
void tst_FirmwareUpgrade::answersOfTheSelectedReaderOnly()
{
    m_simulator->setInstalledFirmware(QByteArray::fromHex("0A01"), QByteArray::fromHex("00010203"),
                                      QByteArray::fromHex("0322"));
    const QString information = "010701" + QString(222, '1');
    emit m_window->connectedReaderTab("R2")->receivedUpdateFrame(information);
    QCOMPARE(m_dock->firmwarePanel()->installedFirmware().join(','), QString(",,"));
    m_dock->connectedReadersChanged("R1");
    QTRY_COMPARE(m_dock->firmwarePanel()->installedFirmware().join(','),
                 QString("0A01,00010203,0322"));
}

OVS_TEST_MAIN(tst_FirmwareUpgrade)
#include "tst_FirmwareUpgrade.moc"
