#include "FirmwareBenchmark.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "EventLoopWait.h"
#include "ReaderSimulator.h"
#include "SrecordText.h"
#include "StallMeter.h"
#include "app/OVSViewer.h"
#include "common/DockedTabTypes.h"
#include "firmware/FirmwareDataEngine.h"
#include "session/ConnectedReaderTab.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

namespace {

constexpr int imageBytes = 256 * 1000;
constexpr double unpacedTargetS = 2;
// 189 firmware bytes per 238 bytes on the line (docs/firmware-protocol.md).
constexpr double pacedCeilingBytesPerS = 189.0 / (238 * 10 / 115200.0);
constexpr double stallTargetMs = 100;
const QString readerName = QStringLiteral("Bench");

struct Upload
{
    bool upgraded = false;
    double seconds = 0;
    double stallMs = 0;
    int missingQuestions = 0;
};

} // namespace

bool FirmwareBenchmark::run()
{
    report(QStringLiteral("firmware: local upgrades of %1 bytes of firmware through the engine, "
                          "the simulated serial reader in a shown window")
               .arg(imageBytes));
    QTemporaryDir project;
    ReaderSimulator simulator;
    if (!project.isValid() || !simulator.startSerial(QStringLiteral("/tmp/ovsuXXXX"))) {
        report(QStringLiteral("  the reader could not be set up"));
        return false;
    }
    auto window = windowWithSerialReader(project.path(), simulator.serialPortName(), readerName);
    if (!window)
        return false;
    ConnectedReaderTab *tab = window->connectedReaderTab(readerName);
    tab->setUpdateFilterPrimary(QStringLiteral("010A09"));

    QThread engineThread;
    auto *engine = new FirmwareDataEngine;
    engine->moveToThread(&engineThread);
    QObject::connect(&engineThread, &QThread::finished, engine, &QObject::deleteLater);
    engineThread.start();
    QObject::connect(engine, &FirmwareDataEngine::sendFirmwareCommand, tab,
                     [tab](const QString &, const QString &command) {
                         tab->sendCommandForDock(command, TAB_FIRMWARE_UPGRADE);
                     });
    QObject::connect(
        tab, &ConnectedReaderTab::receivedUpdateFrame, tab, [engine](const QString &hex) {
            engine->answerReceived(true, readerName, QByteArray::fromHex(hex.toLatin1()));
        });
    int ended = 0;
    QString last;
    QObject::connect(engine, &FirmwareDataEngine::jobEnded, tab, [&ended] { ++ended; });
    for (auto signal : {&FirmwareDataEngine::statusMessage, &FirmwareDataEngine::errorMessage})
        QObject::connect(engine, signal, tab, [&last](const QString &message) { last = message; });

    QByteArray image(imageBytes, '\0');
    QRandomGenerator random(5);
    for (char &byte : image)
        byte = char(random.generate());
    downloadData_t job;
    job.readerName = readerName;
    job.optionsByte = QStringLiteral("E1");
    job.password = QStringLiteral("0123456789ABCDEF");
    job.firmwareNumber = QStringLiteral("0a01");
    job.firmwareVersion = QStringLiteral("00010203");
    job.firmwareBytes = srecordFile(image);

    const auto upload = [&](int baud, int lossPercent) {
        simulator.setBaudRate(baud);
        simulator.setFirmwareFragmentLoss(lossPercent, 9);
        simulator.clearRecords();
        const int questionsBefore = simulator.firmwareMissingQuestions();
        StallMeter stalls;
        stalls.start();
        QElapsedTimer clock;
        clock.start();
        const int endedBefore = ended;
        QMetaObject::invokeMethod(engine,
                                  [engine, job] { engine->handleLocalApplicativeUpgrade(job); });
        processUntil([&] { return ended > endedBefore; }, 600000);
        Upload result;
        result.seconds = clock.nsecsElapsed() / 1e9;
        result.stallMs = stalls.stop();
        result.upgraded = last.contains(QStringLiteral("successful")) &&
                          simulator.installedFirmwareImage() == image;
        result.missingQuestions = simulator.firmwareMissingQuestions() - questionsBefore;
        return result;
    };

    const Upload unpaced = upload(0, 0);
    const Upload paced = upload(115200, 0);
    const Upload lossy = upload(0, 1);
    const double pacedRate = imageBytes / paced.seconds;
    const bool met = unpaced.upgraded && unpaced.seconds <= unpacedTargetS && paced.upgraded &&
                     pacedRate >= 0.9 * pacedCeilingBytesPerS && lossy.upgraded &&
                     lossy.missingQuestions <= 3 &&
                     qMax(unpaced.stallMs, qMax(paced.stallMs, lossy.stallMs)) < stallTargetMs;
    report(QStringLiteral("  unpaced: %1 s (%2 kB/s), longest stall %3 ms (target <= %4 s)")
               .arg(unpaced.seconds, 0, 'f', 2)
               .arg(imageBytes / unpaced.seconds / 1000, 0, 'f', 1)
               .arg(unpaced.stallMs, 0, 'f', 1)
               .arg(unpacedTargetS, 0, 'f', 0));
    report(QStringLiteral("  115200 baud both ways: %1 s, %2 kB/s of a %3 kB/s ceiling (%4 %), "
                          "longest stall %5 ms (target >= 90 %)")
               .arg(paced.seconds, 0, 'f', 2)
               .arg(pacedRate / 1000, 0, 'f', 2)
               .arg(pacedCeilingBytesPerS / 1000, 0, 'f', 2)
               .arg(100 * pacedRate / pacedCeilingBytesPerS, 0, 'f', 1)
               .arg(paced.stallMs, 0, 'f', 1));
    report(QStringLiteral("  1 % lost: %1 s, %2 missing-fragment rounds, longest stall %3 ms "
                          "(target: done by round 3)")
               .arg(lossy.seconds, 0, 'f', 2)
               .arg(lossy.missingQuestions)
               .arg(lossy.stallMs, 0, 'f', 1));
    report(QStringLiteral("  -> %1").arg(met ? QStringLiteral("targets met")
                                             : QStringLiteral("TARGET MISSED")));
    engine->cancel();
    engineThread.quit();
    engineThread.wait();
    window->close();
    return met;
}
