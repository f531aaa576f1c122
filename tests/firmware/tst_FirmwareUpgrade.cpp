#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "SrecordText.h"
#include "StallMeter.h"
#include "TableRow.h"
#include "app/OVSViewer.h"
#include "firmware/FirmwareChoices.h"
#include "firmware/FirmwareDataEngine.h"
#include "firmware/FirmwareUpgrade.h"
#include "firmware/LabeledComboBox.h"
#include "firmware/LoadFirmware.h"
#include "panels/ControlPanelMac.h"
#include "readers/ReadersList.h"
#include "session/ConnectedReaderTab.h"

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
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
    void capabilitiesOfTheReader_data();
    void capabilitiesOfTheReader();
    void pushAndCloneFromTheDock_data();
    void pushAndCloneFromTheDock();
    void refusedBeforeStarting_data();
    void refusedBeforeStarting();
    void spreadingFactorOnlyForLora();
    void fullAutoProgressBlinks();

private:
    QByteArray loadFirmware();

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

QByteArray tst_FirmwareUpgrade::loadFirmware()
{
    QByteArray image;
    for (int i = 0; i < 4000; ++i)
        image += QByteArray::number(i * 7919).right(5);
    const QString path = firmwareFile("fw.srec", srecordFile(image));
    m_dock->firmwarePanel()->chooseFile = [path] { return path; };
    m_dock->firmwarePanel()->loadFwBtnClicked();
    [&] { QTRY_COMPARE(m_dock->firmwarePanel()->firmwareBytes().isEmpty(), false); }();
    return image;
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
    const QByteArray image = loadFirmware();
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

// The reader's capability answer (its fields after "010601") greys out what it cannot do:
// over the air, rescue, bootloader, bench slot 2, clone ("-" where it cannot be chosen).
void tst_FirmwareUpgrade::capabilitiesOfTheReader_data()
{
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("valid");
    addRow("rescue only", QByteArray::fromHex("0902"), "0100-", true);
    addRow("no bench slots, no clone", QByteArray::fromHex("0907"), "11100", true);
    addRow("count of another length", QByteArray::fromHex("0A00"), "11111", false);
}

void tst_FirmwareUpgrade::capabilitiesOfTheReader()
{
    QFETCH(QByteArray, fields);
    QFETCH(QString, offered);
    QFETCH(bool, valid);
    m_simulator->setFirmwareCapabilities(fields);
    const auto itemOffered = [this](const QString &action) {
        const int row = m_dock->actionSelection()->findText(action);
        auto *items = qobject_cast<QStandardItemModel *>(m_dock->actionSelection()->model());
        return row < 0 ? '-' : items->item(row)->isEnabled() ? '1' : '0';
    };
    // Clicks on greyed-out buttons do nothing.
    const auto offeredNow = [&] {
        QString flags;
        for (QRadioButton *button :
             {m_dock->transferButton(true), m_dock->firmwareTypeButton(FirmwareChoices::Rescue),
              m_dock->firmwareTypeButton(FirmwareChoices::Bootloader)})
            flags += button->isEnabled() ? '1' : '0';
        m_dock->firmwareTypeButton(FirmwareChoices::Rescue)->click();
        flags += itemOffered("Upload pending bench firmware 2");
        m_dock->firmwareTypeButton(FirmwareChoices::Appli)->click();
        m_dock->transferButton(true)->click();
        flags +=
            m_dock->transferButton(true)->isChecked() ? itemOffered("Reader firmware clone") : '-';
        m_dock->transferButton(false)->click();
        return flags;
    };
    m_dock->connectedReadersChanged("R1");
    const QString invalid = "Error: Invalid number of firmware elements.";
    QTRY_VERIFY(valid || m_messages.contains(invalid));
    QTRY_COMPARE(offeredNow(), offered);
    QCOMPARE(m_messages.contains(invalid), !valid);
}

// The reader first holds the firmware: as pending firmware for a push, installed for a clone.
void tst_FirmwareUpgrade::pushAndCloneFromTheDock_data()
{
    QTest::addColumn<bool>("clone");
    addRow("push the pending firmware", false);
    addRow("clone the reader's firmware", true);
}

void tst_FirmwareUpgrade::pushAndCloneFromTheDock()
{
    QFETCH(bool, clone);
    m_dock->engine()->setTiming({2000, 400, 10, 2000, 200});
    const QList<QByteArray> addresses{QByteArray::fromHex("11111111"),
                                      QByteArray::fromHex("22222222")};
    m_simulator->setDistantDevices(addresses);
    const QByteArray image = loadFirmware();
    m_dock->actionSelection()->setCurrentText(clone ? "Update reader" : "Upload pending firmware");
    m_dock->startButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_dock->isRunning(), 60000);
    if (clone) {
        // The clone sends the installed firmware number that the information answer gave.
        m_dock->connectedReadersChanged("R1");
        QTRY_COMPARE(m_dock->firmwarePanel()->installedFirmware().value(0), QString("0A01"));
    }
    m_messages.clear();
    m_dock->transferButton(true)->click();
    m_dock->actionSelection()->setCurrentText(clone ? "Reader firmware clone"
                                                    : "Push pending firmware");
    m_dock->accessSettings()->comboAt(3)->setCurrentText("Cast list");
    m_dock->deviceList()->setText("11111111 22222222");
    m_dock->startButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_dock->isRunning(), 60000);
    QVERIFY2(m_messages.contains("Upgrade successful."), qPrintable(m_messages.join('\n')));
    for (const QByteArray &address : addresses)
        QCOMPARE(m_simulator->distantInstalledImage(address), image);

    const QString updated = "Updated : 010A09240011111111\nUpdated : 010A09240022222222";
    QListWidget *list = m_dock->updatedDevices();
    QCOMPARE(list->count(), 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    QCOMPARE(QGuiApplication::clipboard()->text(), updated);
    QVERIFY(m_messages.contains("Copied the updated device list to the clipboard."));
}

void tst_FirmwareUpgrade::refusedBeforeStarting_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("castType");
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QString>("refusal");
    addRow("do nothing", "Do Nothing", "Unicast", "11111111",
           "Error: Invalid Action selection. can't do nothing!");
    addRow("two devices, unicast", "Direct firmware update", "Unicast", "11111111 22222222",
           "Distant device list can contain more that 1 address in Cast by list RF config only!");
    addRow("12 digits, cast list", "Push pending firmware", "Cast list", "111111112222",
           "Distant device list contains a length error! invalid list!");
    addRow("7 digits", "Reader firmware clone", "Multicast", "1111111",
           "Distant device \"1111111\"isn't a valid device.");
}

void tst_FirmwareUpgrade::refusedBeforeStarting()
{
    QFETCH(QString, action);
    QFETCH(QString, castType);
    QFETCH(QString, devices);
    loadFirmware();
    m_messages.clear();
    m_dock->transferButton(action != "Do Nothing")->click();
    m_dock->actionSelection()->setCurrentText(action);
    m_dock->accessSettings()->comboAt(3)->setCurrentText(castType);
    m_dock->deviceList()->setText(devices);
    m_dock->startButton()->click();
    // An error shows its box and is also the status message.
    QTEST(m_messages.value(0), "refusal");
    for (const QString &message : qAsConst(m_messages))
        QVERIFY2(message.endsWith(m_messages.first()), qPrintable(message));
    QVERIFY(!m_dock->isRunning());
    QVERIFY(m_dock->startButton()->text() != "Cancel");
}

void tst_FirmwareUpgrade::spreadingFactorOnlyForLora()
{
    for (LabeledComboBox *settings : {m_dock->accessSettings(), m_dock->transmissionSettings()}) {
        QComboBox *radioMode = settings->comboAt(0);
        QString shown;
        for (const QString mode : {"868Mhz LORA", "868Mhz 10Kbps", "915Mhz LORA"}) {
            radioMode->setCurrentText(mode);
            emit radioMode->textActivated(mode);
            shown += settings->comboAt(1)->isHidden() ? '0' : '1';
        }
        QCOMPARE(shown, QString("101"));
    }
}

// A 300 ms fill: full, then green and yellow by turns until it is switched off.
void tst_FirmwareUpgrade::fullAutoProgressBlinks()
{
    const QString green = "QProgressBar::chunk { background: green; }";
    const QString yellow = "QProgressBar::chunk { background: yellow; }";
    QProgressBar *bar = m_dock->progressBar();
    m_dock->progressBarRange(0, 100);
    m_dock->progressBarAutoUpdateEnable(true, 300);
    QTRY_COMPARE(bar->value(), 100);
    QTRY_COMPARE(bar->styleSheet(), yellow);
    QTRY_COMPARE(bar->styleSheet(), green);
    QTRY_COMPARE(bar->styleSheet(), yellow);
    m_dock->progressBarAutoUpdateEnable(false, 0);
    QTRY_COMPARE(bar->styleSheet(), green);
}

OVS_TEST_MAIN(tst_FirmwareUpgrade)
#include "tst_FirmwareUpgrade.moc"
