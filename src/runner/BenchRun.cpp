#include "BenchRun.h"

#include "RunLogSink.h"
#include "RunOutput.h"
#include "common/DockedTabTypes.h"
#include "firmware/FirmwareAnswers.h"
#include "firmware/FirmwareChoices.h"
#include "firmware/FirmwareDataEngine.h"
#include "readers/ReadersList.h"
#include "readers/TesselGatewayDetector.h"
#include "session/PacketText.h"
#include "session/ReaderSession.h"

#include <QFileInfo>
#include <QHostAddress>

namespace {

// How long the reader may take to tell its firmware before the upgrade goes on without.
constexpr int informationWaitMs = 2000;
constexpr quint16 workbenchDiscoveryPort = 64000;
const QString informationCommand = QStringLiteral("010601");
const QString informationAnswer = QStringLiteral("010701");

} // namespace

BenchRun::BenchRun(const RunOptions &options, RunOutput *output, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_output(output)
{
    m_timer.setSingleShot(true);
}

BenchRun::~BenchRun()
{
    if (m_engine)
        m_engine->cancel();
    m_engineThread.quit();
    m_engineThread.wait();
    m_session.reset();
    ReadersList::instance()->disconnectAll();
}

void BenchRun::start()
{
    if (m_options.command == RunOptions::Discover) {
        runDiscover();
        return;
    }
    if (!readFiles())
        return;
    ReadersList *registry = ReadersList::instance();
    if (registry->loadReadersFile() != 0)
        m_output->status(tr("Error: Readers file could not be parsed completely."));
    t_Reader *reader = nullptr;
    if (!registry->findReader(&reader, m_options.reader.toUtf8())) {
        m_output->status(
            tr("Error: Reader \"%1\" is not found in the TSL list.").arg(m_options.reader));
        finish(NotConnected);
        return;
    }
    connect(registry, &ReadersList::connectedToReader, this, &BenchRun::readerConnected);
    connect(registry, &ReadersList::connectionFailed, this, &BenchRun::connectionFailed);
    registry->connectInBackground(reader);
}

bool BenchRun::readFiles()
{
    if (m_options.command == RunOptions::Script) {
        m_scriptPath = QFileInfo(m_options.argument).absoluteFilePath();
        if (!QFileInfo(m_scriptPath).isFile()) {
            m_output->status(tr("Error: File \"%1\" does not exist.").arg(m_scriptPath));
            finish(BadUsage);
            return false;
        }
    } else if (m_options.command == RunOptions::Upgrade) {
        m_firmware = FirmwareFile::load(m_options.argument);
        m_output->status(m_firmware.message);
        if (m_firmware.bytes.isEmpty()) {
            finish(BadUsage);
            return false;
        }
    }
    return true;
}

void BenchRun::readerConnected(const QString &readerName)
{
    if (readerName != m_options.reader || m_session)
        return;
    m_sink = std::make_unique<RunLogSink>(m_output);
    m_sink->packetLogged = [this](const readerPacket_t &packet) { packetLogged(packet); };
    m_session = std::make_unique<ReaderSession>(readerName, m_sink.get(), nullptr);
    connect(m_session.get(), &ReaderSession::statusMessage, this, &BenchRun::sessionMessage);
    connect(m_session.get(), &ReaderSession::readerScriptExecutionFinished, this,
            [this] { m_scriptEnded = true; });
    connect(m_session.get(), &ReaderSession::receivedUpdateFrame, this, &BenchRun::firmwareAnswer);
    connect(ReadersList::instance(), &ReadersList::disconnectedFromReader, this,
            [this](const QString &name) {
                if (name != m_options.reader)
                    return;
                m_output->status(tr("Error: Reader \"%1\" is not connected.").arg(name));
                // A running upgrade ends at its next exchange and reports it.
                if (m_engine)
                    m_engine->cancel();
                else
                    finish(DeviceFailed);
            });
    m_output->status(tr("Reader \"%1\" connected successfully.").arg(readerName));
    switch (m_options.command) {
    case RunOptions::Send:
        runSend();
        break;
    case RunOptions::Script:
        runScript();
        break;
    case RunOptions::Upgrade:
        askFirmwareInformation();
        break;
    default:
        runListen();
    }
}

void BenchRun::connectionFailed(const QString &readerName, int result)
{
    if (readerName != m_options.reader)
        return;
    if (result == -1)
        m_output->status(tr("Error: Connecting to reader \"%1\" was rejected.").arg(readerName));
    else if (result == -2)
        m_output->status(tr("Error: Connection was done but it is not a tessel Gateway!"));
    else
        m_output->status(tr("Error: Reader \"%1\" could not be connected.").arg(readerName));
    finish(NotConnected);
}

void BenchRun::sessionMessage(const QString &message)
{
    m_output->status(message);
    if (m_options.command == RunOptions::Send && m_sendResult.isNull() &&
        message.startsWith(QLatin1String("Error")))
        finish(DeviceFailed);
    // The script's last message comes right after the end of its run.
    if (m_options.command == RunOptions::Script && m_scriptEnded)
        finish(message == tr("Script file \"%1\" execution finished.").arg(m_scriptPath)
                   ? Success
                   : DeviceFailed);
}

void BenchRun::packetLogged(const readerPacket_t &packet)
{
    if (m_options.command != RunOptions::Send || !m_sendResult.isNull() ||
        packet.direction != QLatin1String("Tx"))
        return;
    m_sendResult = packet.status;
    m_output->sendResult(m_sendResult);
    const int code = m_sendResult == PacketText::sent ? Success : DeviceFailed;
    connect(&m_timer, &QTimer::timeout, this, [this, code] { finish(code); });
    m_timer.start(m_options.answerTimeoutMs);
}

void BenchRun::runSend()
{
    emit m_session->sendDataToReader(m_options.reader, m_options.argument.toUpper(),
                                     TAB_CONNECTED_READER);
}

void BenchRun::runScript()
{
    m_session->setScriptRunning(true);
    emit m_session->startReaderScriptMode(m_options.reader, m_scriptPath);
}

void BenchRun::runListen()
{
    if (m_options.seconds > 0) {
        connect(&m_timer, &QTimer::timeout, this, [this] { finish(Success); });
        m_timer.start(m_options.seconds * 1000);
    }
}

void BenchRun::runDiscover()
{
    const QHostAddress target = m_options.target.isEmpty() ? QHostAddress(QHostAddress::Broadcast)
                                                           : QHostAddress(m_options.target);
    m_detector = std::make_unique<TesselGatewayDetector>(
        target, m_options.targetPort, m_options.targetPortGiven ? 0 : workbenchDiscoveryPort);
    if (m_detector->localPort() == 0) {
        m_output->status(tr("Error: The discovery port could not be opened."));
        finish(NotConnected);
        return;
    }
    connect(m_detector.get(), &TesselGatewayDetector::newTesselGatewayFound, this,
            [this](const QString &address, const QString &name, ushort port) {
                ++m_gateways;
                m_output->gateway(name, address, port);
            });
    connect(m_detector.get(), &TesselGatewayDetector::detectionTimedOut, this,
            [this] { finish(m_gateways > 0 ? Success : DeviceFailed); });
    m_detector->setDetectionInterval(m_options.seconds * 1000);
}

// As choosing the reader in the firmware dock does: its installed firmware sets the options.
void BenchRun::askFirmwareInformation()
{
    m_session->setClearFiltersOnMatch(true);
    m_session->setUpdateFilterSecondary(informationAnswer);
    connect(&m_timer, &QTimer::timeout, this, [this] { startUpgrade(QString(), QString()); });
    m_timer.start(informationWaitMs);
    emit m_session->sendDataToReader(m_options.reader, informationCommand, TAB_FIRMWARE_UPGRADE);
}

void BenchRun::firmwareAnswer(const QString &answerHex)
{
    const QByteArray payload = QByteArray::fromHex(answerHex.toLatin1());
    if (!m_engine) {
        const auto information = FirmwareAnswers::information(answerHex);
        if (information && m_timer.isActive()) {
            m_timer.stop();
            startUpgrade(information->installedNumber, information->installedStackVersion);
        }
        return;
    }
    const QString code = FirmwareChoices::answerCode(answerHex);
    if (code == QLatin1String("010A010100")) {
        m_session->setAwaitingSession(false);
        return;
    }
    m_engine->answerReceived(!code.isEmpty() && FirmwareChoices::answerSucceeded(code),
                             m_options.reader, payload);
}

void BenchRun::startUpgrade(const QString &installedNumber, const QString &installedStackVersion)
{
    constexpr int updateReader = 0;
    const FirmwareFile::SaveOptionsSetup setup =
        FirmwareFile::saveOptionsSetup(updateReader, installedNumber, installedStackVersion, false);
    const FirmwareFile::Header &header = m_firmware.header;
    downloadData_t job;
    job.optionsByte =
        FirmwareFile::optionsByteField(FirmwareChoices::optionsValue(updateReader),
                                       setup.outcome != FirmwareFile::SaveOptions::None,
                                       setup.outcome == FirmwareFile::SaveOptions::Full);
    job.benchSlot = FirmwareChoices::benchSlot(updateReader);
    job.firmwareNumber =
        FirmwareFile::firmwareNumberField(header.firmwareNumber, false).value_or(QString());
    job.firmwareVersion = header.firmwareVersion;
    job.firmwareBytes = m_firmware.bytes;
    job.password = header.password;
    job.lowestAcceptedVersion = QStringLiteral("00000000");
    job.highestAcceptedVersion = QStringLiteral("FFFFFFFF");
    job.readerName = m_options.reader;

    const QStringList filters = FirmwareChoices::answerFilters(updateReader);
    m_session->setClearFiltersOnMatch(false);
    m_session->setUpdateFilterPrimary(filters.value(0));
    m_session->setUpdateFilterSecondary(filters.value(1));
    m_session->setUpdateLeadingCodes(FirmwareChoices::answerLeadingCodes(updateReader));

    m_engine = new FirmwareDataEngine;
    m_engine->moveToThread(&m_engineThread);
    connect(&m_engineThread, &QThread::finished, m_engine, &QObject::deleteLater);
    connect(this, &BenchRun::localUpgrade, m_engine,
            &FirmwareDataEngine::handleLocalApplicativeUpgrade);
    connect(m_engine, &FirmwareDataEngine::sendFirmwareCommand, this,
            [this](const QString &reader, const QString &command) {
                emit m_session->sendDataToReader(reader, command, TAB_FIRMWARE_UPGRADE);
            });
    connect(m_engine, &FirmwareDataEngine::statusMessage, this,
            [this](const QString &message) { m_output->status(message); });
    connect(m_engine, &FirmwareDataEngine::errorMessage, this, [this](const QString &message) {
        m_upgradeFailed = true;
        m_output->endProgress();
        m_output->status(message);
    });
    connect(m_engine, &FirmwareDataEngine::transferProgress, this,
            [this](qint64 sent, qint64 toSend, double rate) {
                m_output->progress(sent, toSend, rate);
            });
    connect(m_engine, &FirmwareDataEngine::jobEnded, this, [this] {
        m_output->endProgress();
        finish(m_upgradeFailed ? DeviceFailed : Success);
    });
    m_engineThread.start();
    emit localUpgrade(job);
}

void BenchRun::interrupt()
{
    if (m_engine) {
        m_engine->cancel();
    } else if (m_session && m_options.command == RunOptions::Script) {
        m_session->requestScriptStop();
    } else {
        m_output->status(tr("Interrupted."));
        finish(m_options.command == RunOptions::Listen ? Success : DeviceFailed);
    }
}

void BenchRun::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    // Disconnecting at the end is no news.
    ReadersList::instance()->disconnect(this);
    emit finished(exitCode);
}
