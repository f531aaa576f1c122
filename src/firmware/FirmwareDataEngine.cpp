#include "FirmwareDataEngine.h"

#include "FirmwareAnswers.h"
#include "FirmwareCommands.h"
#include "FirmwareFile.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QStringList>

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

bool FirmwareDataEngine::startJob(const downloadData_t &job)
{
    if (job.firmwareNumber.isEmpty()) {
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

bool FirmwareDataEngine::exchange(const QString &command, QByteArray *answer)
{
    QByteArray payload;
    const bool answered = m_exchange.exchange(command, m_timing.answerMs, &payload);
    if (answer)
        *answer = payload;
    // An answer with a status says whether the reader did what was asked.
    return answered && FirmwareAnswers::status(payload).value_or(0) == 0;
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
        const qint64 roundBytes = qint64(missing->size()) * FirmwareCommands::fragmentBytes;
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
            bytesSent +=
                qMin<qint64>(FirmwareCommands::fragmentBytes,
                             imageBytes - qint64(fragment - 1) * FirmwareCommands::fragmentBytes);
            emit updateProgressBar(int((index + 1) * 100LL / missing->size()));
            emit transferProgress(bytesSent, roundBytes,
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
