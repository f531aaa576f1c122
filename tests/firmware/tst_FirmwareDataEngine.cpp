#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "ReaderSimulator.h"
#include "RegistryReader.h"
#include "RegistryReset.h"
#include "SrecordText.h"
#include "TableRow.h"
#include "common/DockedTabTypes.h"
#include "firmware/FirmwareChoices.h"
#include "firmware/FirmwareDataEngine.h"
#include "session/ReaderSession.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <memory>

// Firmware jobs against the simulated reader, through a reader session as the dock runs them.
class tst_FirmwareDataEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void localUpgrade_data();
    void localUpgrade();
    void resumesTheDownloadTheReaderHolds();
    void cancelLeavesTheReaderUsable();
    void silentReaderFailsTheExchange();
    void directUpgrade_data();
    void directUpgrade();
    void pushAndClone_data();
    void pushAndClone();

private:
    downloadData_t job() const;
    // Runs a job slot of the engine in its thread and waits for its last report.
    void run(const char *slot, const downloadData_t &job);
    int sent(const char *prefixHex) const;

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<ReaderSimulator> m_simulator;
    std::unique_ptr<ReaderSession> m_session;
    QThread m_engineThread;
    FirmwareDataEngine *m_engine = nullptr;
    QStringList m_reports;
    int m_jobsEnded = 0;
    QByteArray m_image;
};

void tst_FirmwareDataEngine::init()
{
    m_project = std::make_unique<ProjectFolder>();
    m_simulator = std::make_unique<ReaderSimulator>();
    QVERIFY(m_simulator->startSerial(QStringLiteral("/tmp/ovsfXXXX")));
    QVERIFY(addConnectedReader("R1", m_simulator->serialPortName()));
    m_simulator->clearRecords();
    m_session = std::make_unique<ReaderSession>(QStringLiteral("R1"), nullptr, nullptr);
    // What the dock hands to a distant job, a superset of what the local jobs get.
    m_session->setUpdateLeadingCodes(FirmwareChoices::answerLeadingCodes(15));
    m_engine = new FirmwareDataEngine;
    m_engine->setTiming({2000, 400, 10, 2000, 200});
    m_engine->moveToThread(&m_engineThread);
    connect(&m_engineThread, &QThread::finished, m_engine, &QObject::deleteLater);
    m_engineThread.start();
    connect(m_engine, &FirmwareDataEngine::sendFirmwareCommand, m_session.get(),
            [this](const QString &reader, const QString &command) {
                emit m_session->sendDataToReader(reader, command, TAB_FIRMWARE_UPGRADE);
            });
    connect(m_session.get(), &ReaderSession::receivedUpdateFrame, this, [this](const QString &hex) {
        // Another reader's "nothing is missing" comes first each time; taken for R1's, an
        // upload would end before its fragments.
        m_engine->answerReceived(true, "R2", QByteArray::fromHex("010A09270000"));
        m_engine->answerReceived(true, "R1", QByteArray::fromHex(hex.toLatin1()));
    });
    m_reports.clear();
    connect(m_engine, &FirmwareDataEngine::jobEnded, this, [this] { ++m_jobsEnded; });
    for (auto signal : {&FirmwareDataEngine::statusMessage, &FirmwareDataEngine::errorMessage})
        connect(m_engine, signal, this, [this](const QString &message) { m_reports << message; });
    QRandomGenerator random(7);
    m_image = QByteArray(40000, '\0');
    for (char &byte : m_image)
        byte = char(random.generate());
}

void tst_FirmwareDataEngine::cleanup()
{
    m_engine->cancel();
    m_engineThread.quit();
    m_engineThread.wait();
    m_session.reset();
    resetReaderRegistry();
    m_simulator.reset();
    m_project.reset();
}

downloadData_t tst_FirmwareDataEngine::job() const
{
    downloadData_t job;
    job.readerName = QStringLiteral("R1");
    job.optionsByte = QStringLiteral("E1");
    job.password = QStringLiteral("0123456789ABCDEF");
    job.firmwareNumber = QStringLiteral("0a01");
    job.firmwareVersion = QStringLiteral("00010203");
    job.firmwareBytes = srecordFile(m_image);
    return job;
}

void tst_FirmwareDataEngine::run(const char *slot, const downloadData_t &job)
{
    const int ended = m_jobsEnded;
    QVERIFY(QMetaObject::invokeMethod(m_engine, slot, Qt::QueuedConnection,
                                      Q_ARG(downloadData_t, job)));
    QTRY_COMPARE_WITH_TIMEOUT(m_jobsEnded, ended + 1, 60000);
}

int tst_FirmwareDataEngine::sent(const char *prefixHex) const
{
    int count = 0;
    for (const QByteArray &payload : m_simulator->receivedPayloads())
        count += payload.startsWith(QByteArray::fromHex(prefixHex));
    return count;
}

void tst_FirmwareDataEngine::localUpgrade_data()
{
    QTest::addColumn<int>("lossPercent");
    QTest::addColumn<QString>("lowest");
    QTest::addColumn<QString>("outcome");
    addRow("every fragment stored", 0, QString("00000000"),
           QString("Reader \"R1\" upgrade successful."));
    addRow("5 % lost, sent again in rounds", 5, QString("00000000"),
           QString("Reader \"R1\" upgrade successful."));
    addRow("version below From", 0, QString("00010204"),
           QString("Invalid firmware version for reader \"R1\"."));
}

void tst_FirmwareDataEngine::localUpgrade()
{
    QFETCH(int, lossPercent);
    QFETCH(QString, lowest);
    QFETCH(QString, outcome);
    m_simulator->setFirmwareFragmentLoss(lossPercent, 3);
    downloadData_t upgrade = job();
    upgrade.lowestAcceptedVersion = lowest;
    run("handleLocalApplicativeUpgrade", upgrade);
    QCOMPARE(m_reports.last(), outcome);
    const bool upgraded = outcome.contains("success");
    QCOMPARE(m_simulator->installedFirmwareImage(), upgraded ? m_image : QByteArray());
    QCOMPARE(m_simulator->receivedCount() == 0, !upgraded);
    // 212 fragments; lost ones go again in later rounds.
    QCOMPARE(m_simulator->firmwareMissingQuestions() > 2, lossPercent > 0);
}

void tst_FirmwareDataEngine::resumesTheDownloadTheReaderHolds()
{
    run("handleOTANodeUpload", job());
    QCOMPARE(m_reports.last(), QString("Firmware data is uploaded to reader \"R1\"."));
    const int fragments = m_simulator->firmwareFragmentsReceived();
    run("handleLocalApplicativeUpgrade", job());
    QCOMPARE(m_reports.last(), QString("Reader \"R1\" upgrade successful."));
    QCOMPARE(sent("01090902"), 1);
    QCOMPARE(m_simulator->firmwareFragmentsReceived(), fragments);
    QCOMPARE(m_simulator->installedFirmwareImage(), m_image);
}

void tst_FirmwareDataEngine::cancelLeavesTheReaderUsable()
{
    m_simulator->setAckDelay(20);
    connect(m_engine, &FirmwareDataEngine::updateProgressBar, this, [this](int value) {
        if (value > 0 && value < 50)
            m_engine->cancel();
    });
    run("handleLocalApplicativeUpgrade", job());
    QCOMPARE(m_reports.last(), QString("Error: Firmware job on reader \"R1\" was cancelled."));
    QVERIFY(m_simulator->installedFirmwareImage().isEmpty());
    disconnect(m_engine, &FirmwareDataEngine::updateProgressBar, this, nullptr);
    m_simulator->setAckDelay(0);
    run("handleLocalApplicativeUpgrade", job());
    QCOMPARE(m_reports.last(), QString("Reader \"R1\" upgrade successful."));
}

// The question for a pending download and the entry into download mode each wait out the
// answer time (2 s here), and the job ends before any fragment.
void tst_FirmwareDataEngine::silentReaderFailsTheExchange()
{
    m_simulator->setSilent(true);
    QElapsedTimer clock;
    clock.start();
    run("handleLocalApplicativeUpgrade", job());
    QCOMPARE(m_reports, QStringList("Reader \"R1\" could not enter download mode."));
    QVERIFY2(clock.elapsed() >= 2 * 2000 - 20, qPrintable(QString::number(clock.elapsed())));
    // The link repeats a frame that is not acknowledged.
    QVERIFY(sent("01090903") > 0 && sent("01090902") > 0);
    QCOMPARE(sent("01090921"), 0);
}

// The devices 11111111 and 22222222 are behind the reader.
void tst_FirmwareDataEngine::directUpgrade_data()
{
    QTest::addColumn<QString>("castType");
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QByteArray>("forwardStart");
    QTest::addColumn<QByteArray>("forwardEnd");
    QTest::addColumn<QString>("outcome");
    addRow("cast list", QString("03"), QString("1111111122222222"),
           QByteArray("0109010109021111111122222222"), QByteArray(),
           QString("\"2\" devices has been successfully Upgraded."));
    addRow("unicast", QString("00"), QString("22222222"), QByteArray("01020110"),
           QByteArray("010402020301001E0109"),
           QString("\"1\" devices has been successfully Upgraded."));
    addRow("nobody answers", QString("00"), QString("33333333"), QByteArray("01020110"),
           QByteArray("010402020301001E0109"), QString("Upgrade failed."));
}

void tst_FirmwareDataEngine::directUpgrade()
{
    QFETCH(QString, castType);
    QFETCH(QString, devices);
    QFETCH(QByteArray, forwardStart);
    QFETCH(QByteArray, forwardEnd);
    QFETCH(QString, outcome);
    const QList<QByteArray> addresses{QByteArray::fromHex("11111111"),
                                      QByteArray::fromHex("22222222")};
    m_simulator->setDistantDevices(addresses);
    m_simulator->setFirmwareFragmentLoss(5, 11);
    downloadData_t upgrade = job();
    upgrade.accessCastType = upgrade.transferCastType = castType;
    upgrade.deviceList = devices;
    upgrade.targetAddress = devices.left(8);
    upgrade.accessRadioMode = upgrade.transferRadioMode = QStringLiteral("00");
    upgrade.accessChannel = upgrade.transferChannel = QStringLiteral("01");
    upgrade.accessSpreadingFactor = upgrade.transferSpreadingFactor = QStringLiteral("00");
    upgrade.wakeUpLength = QStringLiteral("0064");
    run("handleOTANodeDirectUpgrade", upgrade);
    QCOMPARE(m_reports.last(), outcome);
    int forwards = 0;
    for (const QByteArray &payload : m_simulator->receivedPayloads()) {
        const QByteArray hex = payload.toHex().toUpper();
        forwards += hex.startsWith(forwardStart) && hex.endsWith(forwardEnd);
    }
    QCOMPARE(forwards, 1);
    for (const QByteArray &address : addresses) {
        const bool listed = devices.contains(address.toHex());
        QCOMPARE(m_simulator->distantInstalledImage(address), listed ? m_image : QByteArray());
    }
}

// The reader first holds the firmware as pending (push) or as installed (clone).
void tst_FirmwareDataEngine::pushAndClone_data()
{
    QTest::addColumn<bool>("clone");
    addRow("push the pending firmware", false);
    addRow("clone the reader's firmware", true);
}

void tst_FirmwareDataEngine::pushAndClone()
{
    QFETCH(bool, clone);
    const QList<QByteArray> addresses{QByteArray::fromHex("11111111"),
                                      QByteArray::fromHex("22222222")};
    m_simulator->setDistantDevices(addresses);
    run(clone ? "handleLocalApplicativeUpgrade" : "handleOTANodeUpload", job());
    downloadData_t push = job();
    push.accessCastType = push.transferCastType = QStringLiteral("00");
    push.deviceList = QStringLiteral("1111111122222222");
    push.targetAddress = push.deviceList.left(8);
    push.accessRadioMode = push.transferRadioMode = QStringLiteral("00");
    push.accessChannel = push.transferChannel = QStringLiteral("01");
    push.accessSpreadingFactor = push.transferSpreadingFactor = QStringLiteral("00");
    push.wakeUpLength = QStringLiteral("0064");
    QStringList updated;
    connect(m_engine, &FirmwareDataEngine::finishedUpdatingDevice, this,
            [&updated](const QString &device) { updated << device; });
    m_simulator->clearRecords();
    run(clone ? "handleOTADirectFirmwareClone" : "handleUpgradeWithLoadedFW", push);
    QCOMPARE(m_reports.last(), QString("Upgrade successful."));
    QCOMPARE(updated,
             QStringList({"Updated : 010A09240011111111", "Updated : 010A09240022222222"}));
    for (const QByteArray &address : addresses)
        QCOMPARE(m_simulator->distantInstalledImage(address), m_image);
    QVERIFY(
        m_reports.contains("retransmit: \"2\" fragments of the firmware has to be retransmited"));
    // A clone enters a download of its own: no size, no CRC, any version up to FFFFFFFC.
    QCOMPARE(sent("01090902"), clone ? 1 : 0);
    for (const QByteArray &payload : m_simulator->receivedPayloads()) {
        if (payload.startsWith(QByteArray::fromHex("01090902")))
            QVERIFY(payload.toHex().toUpper().contains("00000000FFFFFFFC00000000"));
    }
}

OVS_CORE_TEST_MAIN(tst_FirmwareDataEngine)
#include "tst_FirmwareDataEngine.moc"
