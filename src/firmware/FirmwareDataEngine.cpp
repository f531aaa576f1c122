#include "FirmwareDataEngine.h"

#include "FirmwareAnswers.h"
#include "FirmwareCommands.h"
#include "FirmwareFile.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <optional>

FirmwareDataEngine::FirmwareDataEngine(QObject *parent)
    : QObject(parent)
    , m_exchange([this](const QString &command) {
        QString readerName;
        {
            QMutexLocker lock(&m_readerMutex);
            readerName = m_readerName;
        }
        emit sendFirmwareCommand(readerName, command);
    })
    , m_random(QRandomGenerator::securelySeeded())
{
    registerDownloadDataType();
}

void FirmwareDataEngine::answerReceived(bool success, const QString &readerName,
                                        const QByteArray &payload)
{
    {
        QMutexLocker lock(&m_readerMutex);
        if (readerName != m_readerName)
            return;
    }
    m_exchange.answerReceived(success, payload);
}

void FirmwareDataEngine::cancel()
{
    m_exchange.cancel();
}

bool FirmwareDataEngine::startJob(const downloadData_t &job, bool needsFirmware)
{
    if (needsFirmware && job.firmwareNumber.isEmpty()) {
        emit errorMessage(tr("There is no loaded firmware file."));
        return false;
    }
    if (job.readerName.isEmpty()) {
        emit errorMessage(tr("There is no connected reader."));
        return false;
    }
    QMutexLocker lock(&m_readerMutex);
    m_readerName = job.readerName;
    m_exchange.reset();
    return true;
}

bool FirmwareDataEngine::exchange(const QString &command, QByteArray *answer, bool statusCounts)
{
    QByteArray payload;
    const bool answered = m_exchange.exchange(command, m_timing.answerMs, &payload);
    if (answer)
        *answer = payload;
    return answered && (!statusCounts || FirmwareAnswers::status(payload).value_or(0) == 0);
}

bool FirmwareDataEngine::reportIfCancelled()
{
    if (!m_exchange.isCancelled())
        return false;
    emit setProgressBarRange(0, 100);
    emit enableAutoProgressBar(false, 0);
    emit statusMessage(tr("Error: Firmware job on reader \"%1\" was cancelled.").arg(m_readerName));
    return true;
}

bool FirmwareDataEngine::uploadFirmwareToReader(downloadData_t &job)
{
    const std::optional<QByteArray> image = FirmwareFile::image(job.firmwareBytes);
    if (!image || image->isEmpty()) {
        emit errorMessage(tr("There is no loaded firmware file."));
        return false;
    }
    job.downloadSession = FirmwareCommands::drawDownloadSession(m_random);
    job.firmwareSize = FirmwareCommands::firmwareSize(*image);
    job.firmwareCrc = FirmwareCommands::firmwareCrc(*image);

    QByteArray answer;
    bool resumed = false;
    if (exchange(FirmwareCommands::pendingInformationCommand(job), &answer)) {
        const auto pending = FirmwareAnswers::pendingDownload(answer);
        resumed = pending && pending->password.compare(job.password, Qt::CaseInsensitive) == 0 &&
                  pending->firmwareNumber.compare(job.firmwareNumber, Qt::CaseInsensitive) == 0 &&
                  pending->firmwareVersion.compare(job.firmwareVersion, Qt::CaseInsensitive) == 0 &&
                  pending->size == quint32(image->size());
        if (resumed)
            job.downloadSession = FirmwareCommands::downloadSessionText(pending->session);
    }
    if (reportIfCancelled())
        return false;
    if (!resumed && !exchange(FirmwareCommands::enterDownloadModeCommand(job))) {
        if (!reportIfCancelled())
            emit errorMessage(tr("Reader \"%1\" could not enter download mode.").arg(m_readerName));
        return false;
    }
    const QStringList fragments = FirmwareCommands::readerFragmentCommands(job, *image);
    emit setProgressBarRange(0, 0);
    return sendMissingRounds(fragments, image->size(),
                             FirmwareCommands::missingFragmentsCommand(job));
}

bool FirmwareDataEngine::sendMissingRounds(const QStringList &fragments, int imageBytes,
                                           const QString &missingCommand)
{
    QElapsedTimer clock;
    clock.start();
    qint64 bytesSent = 0;
    bool missingNamed = true;
    for (int round = 1; round <= rounds && missingNamed; ++round) {
        emit statusMessage(tr("Send get missing fragment to distant devices"));
        std::optional<QList<int>> missing;
        for (int attempt = 0; attempt < tries && !missing; ++attempt) {
            QByteArray answer;
            if (exchange(missingCommand, &answer))
                missing = FirmwareAnswers::missingFragments(answer, fragments.size());
            if (reportIfCancelled())
                return false;
        }
        if (!missing) {
            emit setProgressBarRange(0, 100);
            emit errorMessage(tr("Cannot send the get missing fragment request."));
            return false;
        }
        if (round == 1) {
            emit statusMessage(
                tr("The firmware contains \"%1\" fragments that are under transmission")
                    .arg(fragments.size()));
            emit statusMessage(
                tr("We have to resend \"%1\" fragments missed").arg(missing->size()));
        }
        missingNamed = !missing->isEmpty();
        emit setProgressBarRange(0, 100);
        const auto fragmentSize = [imageBytes](int fragment) {
            return qMin<qint64>(FirmwareCommands::fragmentBytes,
                                imageBytes -
                                    qint64(fragment - 1) * FirmwareCommands::fragmentBytes);
        };
        qint64 roundBytes = 0, roundSent = 0;
        for (const int fragment : qAsConst(*missing))
            roundBytes += fragmentSize(fragment);
        for (int index = 0; index < missing->size(); ++index) {
            const int fragment = missing->at(index);
            bool sent = false;
            for (int attempt = 0; attempt < tries && !sent; ++attempt) {
                sent = exchange(fragments.at(fragment - 1));
                if (reportIfCancelled())
                    return false;
            }
            if (!sent) {
                emit errorMessage(tr("Cannot send fragment \"%1\" to reader \"%2\".")
                                      .arg(fragment)
                                      .arg(m_readerName));
                return false;
            }
            bytesSent += fragmentSize(fragment);
            roundSent += fragmentSize(fragment);
            emit updateProgressBar(int((index + 1) * 100LL / missing->size()));
            emit transferProgress(roundSent, roundBytes,
                                  bytesSent * 1000.0 / qMax<qint64>(1, clock.elapsed()));
        }
    }
    return true;
}

void FirmwareDataEngine::handleLocalApplicativeUpgrade(downloadData_t job)
{
    localUpgrade(job);
    emit jobEnded();
}

void FirmwareDataEngine::handleOTANodeUpload(downloadData_t job)
{
    nodeUpload(job);
    emit jobEnded();
}

void FirmwareDataEngine::localUpgrade(downloadData_t &job)
{
    if (!startJob(job))
        return;
    if (!FirmwareCommands::firmwareVersionAccepted(job)) {
        emit errorMessage(tr("Invalid firmware version for reader \"%1\".").arg(m_readerName));
        return;
    }
    if (!uploadFirmwareToReader(job)) {
        emit setProgressBarRange(0, 100);
        return;
    }
    if (exchange(FirmwareCommands::applyCommand(job))) {
        emit updateProgressBar(100);
        emit statusMessage(tr("Reader \"%1\" upgrade successful.").arg(m_readerName));
    } else if (!reportIfCancelled()) {
        emit setProgressBarRange(0, 100);
        emit errorMessage(tr("Reader \"%1\" upgrade failed.").arg(m_readerName));
    }
}

void FirmwareDataEngine::nodeUpload(downloadData_t &job)
{
    if (!startJob(job))
        return;
    if (!uploadFirmwareToReader(job)) {
        emit setProgressBarRange(0, 100);
        return;
    }
    emit finishUploadFirmware();
    emit updateProgressBar(100);
    emit statusMessage(tr("Firmware data is uploaded to reader \"%1\".").arg(m_readerName));
}

void FirmwareDataEngine::handleOTANodeDirectUpgrade(downloadData_t job)
{
    directUpgrade(job);
    emit jobEnded();
}

bool FirmwareDataEngine::checkDistantParameters(const downloadData_t &job)
{
    if (const std::optional<QString> error = FirmwareCommands::distantParametersError(job)) {
        emit errorMessage(*error);
        return false;
    }
    return true;
}

bool FirmwareDataEngine::setDistantRadioParameters(const downloadData_t &job)
{
    QByteArray answer;
    if (!exchange(FirmwareCommands::readDynamicWordCommand(), &answer, false)) {
        emit errorMessage(
            tr("Could not read dynamic configuration word of reader \"%1\".").arg(m_readerName));
        return false;
    }
    const std::optional<std::uint16_t> word = FirmwareCommands::dynamicConfigurationWord(answer);
    if (!word) {
        emit errorMessage(
            tr("Wrong format of dynamic configuration word of reader \"%1\".").arg(m_readerName));
        return false;
    }
    if (!exchange(FirmwareCommands::radioParameterSetCommand(job, *word))) {
        emit errorMessage(
            tr("Could not set configuration parameters on reader \"%1\".").arg(m_readerName));
        return false;
    }
    return true;
}

void FirmwareDataEngine::directUpgrade(downloadData_t &job)
{
    if (!startJob(job) || !checkDistantParameters(job))
        return;
    downloadData_t direct = job;
    direct.relay1Address = direct.relay2Address = QStringLiteral("00000000");
    if (!exchange(FirmwareCommands::accessRadioParametersCommand(direct))) {
        if (!reportIfCancelled())
            emit errorMessage(
                tr("Could not set configuration parameters for reader \"%1\".").arg(m_readerName));
        return;
    }
    emit setProgressBarRange(0, 0);
    if (!exchange(FirmwareCommands::connectDistantDeviceCommand())) {
        emit setProgressBarRange(0, 100);
        if (!reportIfCancelled())
            emit errorMessage(tr("Could not establish connection with distant device \"%1\".")
                                  .arg(job.targetAddress));
        return;
    }
    const std::optional<QByteArray> image = FirmwareFile::image(job.firmwareBytes);
    if (!image || image->isEmpty()) {
        emit setProgressBarRange(0, 100);
        emit errorMessage(tr("There is no loaded firmware file."));
        return;
    }
    direct.downloadSession = FirmwareCommands::drawDownloadSession(m_random);
    direct.firmwareSize = FirmwareCommands::firmwareSize(*image);
    direct.firmwareCrc = FirmwareCommands::firmwareCrc(*image);
    if (!exchange(FirmwareCommands::directForwardCommand(direct))) {
        emit setProgressBarRange(0, 100);
        if (!reportIfCancelled())
            emit errorMessage(tr("Reader \"%1\" could not enter download mode.").arg(m_readerName));
        return;
    }
    // The devices get ready; a cancel still ends the pause.
    if (!m_exchange.pause(m_timing.forwardPauseMs)) {
        reportIfCancelled();
        return;
    }
    emit setProgressBarRange(0, 100);
    direct.wakeUpLength = FirmwareCommands::directTransferWakeUpLength;
    if (!setDistantRadioParameters(direct))
        return;
    const QStringList fragments = FirmwareCommands::distantFragmentCommands(direct, *image);
    if (!sendDistantRounds(direct, fragments))
        return;

    int updated = 0;
    m_exchange.collect(FirmwareCommands::distantApplyCommand(direct), m_timing.collectMs,
                       [this, &updated](const QByteArray &answer) {
                           if (!answer.startsWith(QByteArray::fromHex("01030223")))
                               return;
                           ++updated;
                           emit finishedUpdatingDevice(
                               QStringLiteral("Updated : ") +
                               QString::fromLatin1(answer.toHex().toUpper()));
                       });
    if (reportIfCancelled())
        return;
    if (!exchange(FirmwareCommands::accessRadioParametersCommand(job)))
        emit errorMessage(
            tr("Could not set configuration parameters for reader \"%1\".").arg(m_readerName));
    if (updated == 0) {
        emit updateProgressBar(0);
        emit errorMessage(tr("Upgrade failed."));
        return;
    }
    emit updateProgressBar(100);
    emit statusMessage(tr("\"%1\" devices has been successfully Upgraded.").arg(updated));
}

bool FirmwareDataEngine::sendDistantRounds(const downloadData_t &job, const QStringList &fragments)
{
    for (int round = 1; round <= rounds; ++round) {
        emit statusMessage(tr("Send get missing fragment to distant devices"));
        QSet<int> merged;
        m_exchange.collect(FirmwareCommands::distantMissingFragmentsCommand(job),
                           m_timing.collectMs, [&](const QByteArray &answer) {
                               const auto missing = FirmwareAnswers::distantMissingFragments(
                                   answer, fragments.size());
                               if (missing)
                                   merged.unite(QSet<int>(missing->begin(), missing->end()));
                           });
        if (reportIfCancelled())
            return false;
        QList<int> missing = merged.values();
        std::sort(missing.begin(), missing.end());
        if (round == 1) {
            emit statusMessage(
                tr("The firmware contains \"%1\" fragments that are under transmission")
                    .arg(fragments.size()));
            emit statusMessage(tr("We have to resend \"%1\" fragments missed").arg(missing.size()));
        }
        if (missing.isEmpty())
            return true;
        emit setProgressBarRange(0, 100);
        for (int index = 0; index < missing.size(); ++index) {
            if (!exchange(fragments.at(missing.at(index) - 1))) {
                if (!reportIfCancelled())
                    emit errorMessage(tr("Cannot resend fragment \"%1\".").arg(missing.at(index)));
                return false;
            }
            emit updateProgressBar(int((index + 1) * 100LL / missing.size()));
        }
        emit setProgressBarRange(0, 0);
    }
    return true;
}

void FirmwareDataEngine::handleUpgradeWithLoadedFW(downloadData_t job)
{
    pushPending(job);
    emit jobEnded();
}

void FirmwareDataEngine::handleOTADirectFirmwareClone(downloadData_t job)
{
    cloneFirmware(job);
    emit jobEnded();
}

void FirmwareDataEngine::pushPending(downloadData_t &job)
{
    if (!startJob(job, false) || !checkDistantParameters(job))
        return;
    runPush(job);
}

void FirmwareDataEngine::cloneFirmware(downloadData_t &job)
{
    job = FirmwareCommands::cloneJob(job, m_random);
    if (!startJob(job, false) || !checkDistantParameters(job))
        return;
    emit setProgressBarRange(0, 0);
    if (!exchange(FirmwareCommands::enterDownloadModeCommand(job))) {
        emit setProgressBarRange(0, 100);
        if (!reportIfCancelled())
            emit errorMessage(tr("Reader \"%1\" could not enter download mode.").arg(m_readerName));
        return;
    }
    if (!exchange(FirmwareCommands::formatExternalMemoryCommand(job))) {
        emit setProgressBarRange(0, 100);
        if (!reportIfCancelled())
            emit errorMessage(
                tr("Could not format external memory of reader \"%1\".").arg(m_readerName));
        return;
    }
    runPush(job);
}

void FirmwareDataEngine::failPush(const QString &error)
{
    emit setProgressBarRange(0, 100);
    emit enableAutoProgressBar(false, 0);
    if (!reportIfCancelled())
        emit errorMessage(error);
}

void FirmwareDataEngine::runPush(const downloadData_t &job)
{
    const QString setFailed =
        tr("Could not set configuration parameters for reader \"%1\".").arg(m_readerName);
    if (!exchange(FirmwareCommands::accessRadioParametersCommand(job))) {
        if (!reportIfCancelled())
            emit errorMessage(setFailed);
        return;
    }
    emit setProgressBarRange(0, 0);
    if (!exchange(FirmwareCommands::connectDistantDeviceCommand())) {
        failPush(tr("Could not establish connection with distant device \"%1\".")
                     .arg(job.targetAddress));
        return;
    }
    QByteArray answer;
    if (!exchange(FirmwareCommands::pendingInformationCommand(job), &answer)) {
        failPush(tr("Reader \"%1\" could not enter download mode.").arg(m_readerName));
        return;
    }
    // The push names the download the reader holds.
    downloadData_t pushed = job;
    const auto pending = FirmwareAnswers::pendingDownload(answer);
    if (pending)
        pushed.downloadSession = FirmwareCommands::downloadSessionText(pending->session);
    if (!exchange(FirmwareCommands::upgradeWithLoadedFirmwareCommand(pushed))) {
        failPush(tr("Could not forward firmware from reader \"%1\".").arg(m_readerName));
        return;
    }
    const FirmwareCommands::TransferEstimate estimate =
        FirmwareCommands::transferEstimate(job, pending ? int(pending->size) : 0);
    emit statusMessage(FirmwareCommands::autoProgressMessage(estimate));
    emit setProgressBarRange(0, 100);
    emit enableAutoProgressBar(true, estimate.timeToFull);
    if (!followPushReports(job))
        return;

    if (!exchange(FirmwareCommands::pushResultCommand(), &answer, false) ||
        !answer.startsWith(QByteArray::fromHex("010308"))) {
        failPush(tr("Upgrade failed. Reader returns info '0 device upgraded'"));
        return;
    }
    while (m_exchange.nextAnswer(m_timing.deviceMs, &answer) &&
           answer.startsWith(QByteArray::fromHex("010A0924")))
        emit finishedUpdatingDevice(QStringLiteral("Updated : ") +
                                    QString::fromLatin1(answer.toHex().toUpper()));
    if (reportIfCancelled())
        return;
    if (!exchange(FirmwareCommands::accessRadioParametersCommand(job))) {
        if (!reportIfCancelled())
            emit errorMessage(setFailed);
        return;
    }
    emit setProgressBarRange(0, 100);
    emit updateProgressBar(100);
    emit statusMessage(tr("Upgrade successful."));
}

bool FirmwareDataEngine::followPushReports(const downloadData_t &job)
{
    for (int attempt = 1;; ++attempt) {
        QByteArray report;
        if (!m_exchange.nextAnswer(m_timing.reportMs, &report)) {
            failPush(tr("Upgrade failed. We were on try n°%1 and the reader didn't gave "
                        "infomation anymore. Timeout appears!!")
                         .arg(attempt));
            return false;
        }
        if (report.startsWith(QByteArray::fromHex("010308")))
            return true;
        constexpr int progressSize = 10;
        if (report.startsWith(QByteArray::fromHex("010A0914")) && report.size() >= progressSize) {
            const auto value = [&report](int at) {
                return int(quint8(report.at(at))) << 8 | quint8(report.at(at + 1));
            };
            emit enableAutoProgressBar(false, 0);
            emit setProgressBarRange(value(4), value(6));
            emit updateProgressBar(value(8));
        } else if (report.startsWith(QByteArray::fromHex("010A0922")) && report.size() >= 6) {
            const int fragments = int(quint8(report.at(4))) << 8 | quint8(report.at(5));
            emit statusMessage(
                tr("retransmit: \"%1\" fragments of the firmware has to be retransmited")
                    .arg(fragments));
            const FirmwareCommands::TransferEstimate estimate = FirmwareCommands::transferEstimate(
                job, fragments * FirmwareCommands::fragmentBytes);
            emit statusMessage(FirmwareCommands::autoProgressMessage(estimate));
            emit enableAutoProgressBar(true, estimate.timeToFull);
        }
    }
}
