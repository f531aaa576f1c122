#include "FirmwareUpgrade.h"

#include "FirmwareAnswers.h"
#include "FirmwareChoices.h"
#include "FirmwareDataEngine.h"
#include "LabeledComboBox.h"
#include "LoadFirmware.h"
#include "app/StyleSheet.h"
#include "project/ProjectPaths.h"
#include "readers/ReadersList.h"
#include "session/ConnectedReaderTab.h"
#include "session/LineEditAutoComplete.h"
#include "session/ReaderTabs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

Q_LOGGING_CATEGORY(firmwareDock, "ovs.firmware.dock", QtInfoMsg)

const QString greenArrow = QStringLiteral(":Icons/arrow_green.ico");
const QString redArrow = QStringLiteral(":Icons/arrow_red.ico");
const QString greenChunk = QStringLiteral("QProgressBar::chunk { background: green; }");
const QString yellowChunk = QStringLiteral("QProgressBar::chunk { background: yellow; }");
const QString informationAnswers = QStringLiteral("010701");
const QString informationCommand = QStringLiteral("010601");
const QString capabilityAnswer = QStringLiteral("010601");
const QString capabilityCommand = QStringLiteral("010501");
constexpr int progressTickMs = 250;
constexpr int radioModeCombo = 0;
constexpr int spreadingFactorCombo = 1;
constexpr int channelCombo = 2;
constexpr int castTypeCombo = 3;

bool readerConnected(const QString &readerName)
{
    t_Reader *reader = nullptr;
    return !readerName.isEmpty() &&
           ReadersList::instance()->findReader(&reader, readerName.toUtf8()) &&
           reader->state == STATE_CONNECTED;
}

} // namespace

FirmwareUpgrade::FirmwareUpgrade(ReaderTabs *readerTabs, QWidget *parent)
    : QDockWidget(tr("Firmware Upgrade"), parent)
    , m_readerTabs(readerTabs)
    , m_engine(new FirmwareDataEngine)
{
    setObjectName(QStringLiteral("firmwareUpgrade"));
    setStyleSheet(loadStyleSheet(QStringLiteral("FirmwareUpgradeTabStyleSheet")));
    showError = [this](const QString &message) {
        auto *box =
            new QMessageBox(QMessageBox::Critical, tr("Error"), message, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    };
    buildWidgets();
    updateUi();

    m_engine->moveToThread(&m_engineThread);
    connect(&m_engineThread, &QThread::finished, m_engine, &QObject::deleteLater);
    connectEngine();
    m_engineThread.start();

    connect(ReadersList::instance(), &ReadersList::disconnectedFromReader, this,
            &FirmwareUpgrade::readerDisconnected);
    connect(this, &QDockWidget::visibilityChanged, this, &FirmwareUpgrade::handleVisibilityChanged);
    connect(&m_progressTimer, &QTimer::timeout, this, &FirmwareUpgrade::progressBarAutoUpdate);
    m_progressTimer.start(progressTickMs);
}

FirmwareUpgrade::~FirmwareUpgrade()
{
    m_engine->cancel();
    m_engineThread.quit();
    m_engineThread.wait();
}

void FirmwareUpgrade::connectEngine()
{
    connect(this, &FirmwareUpgrade::localApplicativeUpgrade, m_engine,
            &FirmwareDataEngine::handleLocalApplicativeUpgrade);
    connect(this, &FirmwareUpgrade::OTANodeUpload, m_engine,
            &FirmwareDataEngine::handleOTANodeUpload);
    connect(this, &FirmwareUpgrade::OTANodeDirectUpgrade, m_engine,
            &FirmwareDataEngine::handleOTANodeDirectUpgrade);
    connect(this, &FirmwareUpgrade::upgradeWithLoadedFW, m_engine,
            &FirmwareDataEngine::handleUpgradeWithLoadedFW);
    connect(this, &FirmwareUpgrade::OTADirectFirmwareClone, m_engine,
            &FirmwareDataEngine::handleOTADirectFirmwareClone);
    connect(m_engine, &FirmwareDataEngine::sendFirmwareCommand, this,
            &FirmwareUpgrade::sendToReader);
    connect(m_engine, &FirmwareDataEngine::statusMessage, this,
            &FirmwareUpgrade::firmwareUpgradeStatus);
    connect(m_engine, &FirmwareDataEngine::errorMessage, this,
            &FirmwareUpgrade::firmwareUpgradeError);
    connect(m_engine, &FirmwareDataEngine::updateProgressBar, this,
            &FirmwareUpgrade::progressBarValueChanegd);
    connect(m_engine, &FirmwareDataEngine::setProgressBarRange, this,
            &FirmwareUpgrade::progressBarRange);
    connect(m_engine, &FirmwareDataEngine::enableAutoProgressBar, this,
            &FirmwareUpgrade::progressBarAutoUpdateEnable);
    connect(m_engine, &FirmwareDataEngine::finishedUpdatingDevice, this,
            &FirmwareUpgrade::addUpdatedDevice);
    connect(m_engine, &FirmwareDataEngine::finishUploadFirmware, this,
            &FirmwareUpgrade::updatePendingFirmwareInfo);
    connect(m_engine, &FirmwareDataEngine::transferProgress, this,
            &FirmwareUpgrade::showTransferProgress);
    connect(m_engine, &FirmwareDataEngine::jobEnded, this, &FirmwareUpgrade::jobEnded);
}

void FirmwareUpgrade::buildWidgets()
{
    auto *contents = new QWidget;
    auto *layout = new QVBoxLayout(contents);

    auto *readerGroup = new QGroupBox(tr("Reader selection"));
    m_readerSelection = new QComboBox;
    m_readerSelection->installEventFilter(this);
    (new QVBoxLayout(readerGroup))->addWidget(m_readerSelection);
    layout->addWidget(readerGroup);

    auto *methodGroup = new QGroupBox(tr("Upgrade method"));
    auto *method = new QFormLayout(methodGroup);
    m_localButton = new QRadioButton(tr("local"));
    m_otaButton = new QRadioButton(tr("OTA update"));
    m_localButton->setChecked(true);
    auto *transfer = new QHBoxLayout;
    transfer->addWidget(m_localButton);
    transfer->addWidget(m_otaButton);
    method->addRow(tr("Transfer type:"), transfer);
    m_appliButton = new QRadioButton(tr("Appli"));
    m_rescueButton = new QRadioButton(tr("Rescue"));
    m_bootloaderButton = new QRadioButton(tr("Bootloader"));
    m_appliButton->setChecked(true);
    auto *types = new QHBoxLayout;
    auto *typeGroup = new QButtonGroup(this);
    for (QRadioButton *button : {m_appliButton, m_rescueButton, m_bootloaderButton}) {
        types->addWidget(button);
        typeGroup->addButton(button);
        connect(button, &QRadioButton::clicked, this, &FirmwareUpgrade::updateUi);
    }
    method->addRow(tr("Firmware type:"), types);
    m_actionSelection = new QComboBox;
    method->addRow(tr("Action"), m_actionSelection);
    layout->addWidget(methodGroup);

    m_firmwarePanel = new LoadFirmware;
    layout->addLayout(m_firmwarePanel);

    auto *versionsGroup = new QGroupBox(tr("Restricted version(s)"));
    auto *versions = new QFormLayout(versionsGroup);
    m_lowestVersion = new QLineEdit(QStringLiteral("00000000"));
    m_highestVersion = new QLineEdit(QStringLiteral("FFFFFFFF"));
    for (QLineEdit *edit : {m_lowestVersion, m_highestVersion})
        edit->setInputMask(QStringLiteral("HHHHHHHH"));
    versions->addRow(tr("From"), m_lowestVersion);
    versions->addRow(tr("To"), m_highestVersion);
    layout->addWidget(versionsGroup);

    auto *accessGroup = new QGroupBox(tr("Device access settings"));
    m_accessSettings = new LabeledComboBox(
        {tr("Local modem TX"), tr("Spreading factor"), tr("Channel"), tr("Cast type")});
    fillRadioSettings(m_accessSettings, true);
    accessGroup->setLayout(m_accessSettings);
    layout->addWidget(accessGroup);
    auto *transmissionGroup = new QGroupBox(tr("Update transmission settings"));
    m_transmissionSettings =
        new LabeledComboBox({tr("Modem TX"), tr("Spreading factor"), tr("Channel")});
    fillRadioSettings(m_transmissionSettings, false);
    transmissionGroup->setLayout(m_transmissionSettings);
    layout->addWidget(transmissionGroup);

    auto *distant = new QFormLayout;
    m_wakeUpLength = new QSpinBox;
    // The lengths the engine accepts.
    m_wakeUpLength->setRange(25, 10100);
    m_wakeUpLength->setValue(100);
    distant->addRow(tr("Wup length (ms):"), m_wakeUpLength);
    m_deviceList = new LineEditAutoComplete(nullptr, ProjectPaths::firmwareDeviceCompletionPath());
    distant->addRow(tr("Mac© list to update:"), m_deviceList);
    layout->addLayout(distant);

    m_startButton = new QPushButton;
    m_startButton->setStyleSheet(
        QStringLiteral("QPushButton{ font-size: 12pt; font-weight: bold; }"));
    setStartButton(tr("Update"), greenArrow);
    layout->addWidget(m_startButton);
    m_progressBar = new QProgressBar;
    m_progressBar->setValue(0);
    layout->addWidget(m_progressBar);
    m_progressText = new QLabel;
    layout->addWidget(m_progressText);
    layout->addWidget(new QLabel(tr("Updated devices list")));
    m_updatedDevices = new QListWidget;
    layout->addWidget(m_updatedDevices);
    layout->addStretch();
    // Taller than most screens: it scrolls rather than stretch the window past the screen.
    auto *scroller = new QScrollArea;
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidget(contents);
    // The dock's own colours show through.
    scroller->viewport()->setAutoFillBackground(false);
    contents->setAutoFillBackground(false);
    setWidget(scroller);

    connect(m_firmwarePanel, &LoadFirmware::newFwLoaded, this,
            &FirmwareUpgrade::onNewLoadedFirmware);
    connect(m_firmwarePanel, &LoadFirmware::statusMessage, this,
            &FirmwareUpgrade::propagateStatusMessage);
    connect(m_localButton, &QRadioButton::clicked, this, &FirmwareUpgrade::updateUi);
    connect(m_otaButton, &QRadioButton::clicked, this, &FirmwareUpgrade::updateUi);
    connect(m_actionSelection, &QComboBox::textActivated, this,
            &FirmwareUpgrade::actionSelectChange);
    connect(m_readerSelection, &QComboBox::textActivated, this,
            &FirmwareUpgrade::connectedReadersChanged);
    connect(m_accessSettings->comboAt(radioModeCombo), &QComboBox::textActivated, this,
            &FirmwareUpgrade::txRadioModeDeviceAccessChange);
    connect(m_transmissionSettings->comboAt(radioModeCombo), &QComboBox::textActivated, this,
            &FirmwareUpgrade::txRadioModeUpdateTransmissionChange);
    connect(m_updatedDevices, &QListWidget::clicked, this, &FirmwareUpgrade::updatedDevicesClicked);
    connect(m_startButton, &QPushButton::released, this, &FirmwareUpgrade::upgradeButtonClicked);
}

void FirmwareUpgrade::fillRadioSettings(LabeledComboBox *settings, bool withCastType)
{
    settings->appendItems(radioModeCombo, FirmwareChoices::radioModeItems());
    settings->appendItems(spreadingFactorCombo, FirmwareChoices::spreadingFactorItems());
    settings->appendItems(channelCombo, FirmwareChoices::channelItems());
    if (withCastType)
        settings->appendItems(castTypeCombo, FirmwareChoices::castTypeItems());
    showSpreadingFactor(settings, settings->comboAt(radioModeCombo)->currentText());
}

void FirmwareUpgrade::showSpreadingFactor(LabeledComboBox *settings, const QString &radioMode)
{
    const bool lora =
        FirmwareChoices::isLoraMode(FirmwareChoices::radioModeItems().indexOf(radioMode));
    settings->comboAt(spreadingFactorCombo)->setVisible(lora);
    settings->captionAt(spreadingFactorCombo)->setVisible(lora);
}

QRadioButton *FirmwareUpgrade::firmwareTypeButton(int type) const
{
    return type == FirmwareChoices::Rescue       ? m_rescueButton
           : type == FirmwareChoices::Bootloader ? m_bootloaderButton
                                                 : m_appliButton;
}

QLineEdit *FirmwareUpgrade::deviceList() const
{
    return m_deviceList;
}

int FirmwareUpgrade::firmwareType() const
{
    return m_rescueButton->isChecked()       ? FirmwareChoices::Rescue
           : m_bootloaderButton->isChecked() ? FirmwareChoices::Bootloader
                                             : FirmwareChoices::Appli;
}

void FirmwareUpgrade::updateUi()
{
    m_otaButton->setEnabled(m_capabilities.ota);
    m_rescueButton->setEnabled(m_capabilities.rescue);
    m_bootloaderButton->setEnabled(m_capabilities.bootloader);
    if (!m_otaButton->isEnabled() && m_otaButton->isChecked())
        m_localButton->setChecked(true);
    if (!firmwareTypeButton(firmwareType())->isEnabled())
        m_appliButton->setChecked(true);
    m_actionSelection->clear();
    const QStringList actions =
        FirmwareChoices::actionItems(m_otaButton->isChecked(), firmwareType());
    m_actionSelection->addItems(actions);
    auto *items = qobject_cast<QStandardItemModel *>(m_actionSelection->model());
    for (int row = 0; items && row < actions.size(); ++row)
        items->item(row)->setEnabled(
            FirmwareChoices::actionOffered(actions.at(row), m_capabilities));
}

void FirmwareUpgrade::txRadioModeDeviceAccessChange(QString newRadioMode)
{
    showSpreadingFactor(m_accessSettings, newRadioMode);
}

void FirmwareUpgrade::txRadioModeUpdateTransmissionChange(QString newRadioMode)
{
    showSpreadingFactor(m_transmissionSettings, newRadioMode);
}

bool FirmwareUpgrade::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_readerSelection && event->type() == QEvent::MouseButtonPress)
        refreshReaderSelection();
    return QDockWidget::eventFilter(watched, event);
}

void FirmwareUpgrade::refreshReaderSelection()
{
    const QString selected = m_readerSelection->currentText();
    m_readerSelection->clear();
    m_readerSelection->addItem(QString());
    for (const t_Reader *reader : ReadersList::instance()->readers()) {
        if (reader->state == STATE_CONNECTED)
            m_readerSelection->addItem(QString::fromUtf8(readerText(reader->name)));
    }
    m_readerSelection->setCurrentIndex(qMax(0, m_readerSelection->findText(selected)));
}

void FirmwareUpgrade::connectedReadersChanged(QString readerName)
{
    if (!readerConnected(readerName)) {
        emit statusMessage(tr("Error: Please select connected reader."));
        return;
    }
    if (!m_readerTabs) {
        emit statusMessage(tr("Error: Cannot retrieve parent widget."));
        return;
    }
    ConnectedReaderTab *tab = m_readerTabs->connectedReaderTab(readerName);
    if (!tab) {
        emit statusMessage(tr("Error: Cannot retrieve readers` \"%1\" tab.").arg(readerName));
        return;
    }
    // The reader's firmware information fills the panel's installed and pending rows, which
    // the option boxes and the clone jobs depend on.
    if (!m_running) {
        setCapabilities(FirmwareChoices::Capabilities());
        askForReaderAnswer(readerName, informationCommand, informationAnswers);
    }
    emit statusMessage(tr("Reader successfully selected."));
}

void FirmwareUpgrade::askForReaderAnswer(const QString &readerName, const QString &command,
                                         const QString &answerCode)
{
    ConnectedReaderTab *tab = m_readerTabs ? m_readerTabs->connectedReaderTab(readerName) : nullptr;
    if (!tab)
        return;
    tab->setClearFiltersOnMatch(true);
    tab->setUpdateFilterPrimary(QString());
    tab->setUpdateFilterSecondary(answerCode);
    tab->sendCommandForDock(command, TAB_FIRMWARE_UPGRADE);
}

void FirmwareUpgrade::takeCapabilities(const QString &answerHex)
{
    const std::optional<FirmwareChoices::Capabilities> capabilities =
        FirmwareChoices::capabilities(answerHex);
    if (!capabilities) {
        emit statusMessage(tr("Error: Invalid number of firmware elements."));
        return;
    }
    setCapabilities(*capabilities);
}

void FirmwareUpgrade::setCapabilities(const FirmwareChoices::Capabilities &capabilities)
{
    // A new action list would drop the user's choice of action.
    if (capabilities == m_capabilities || m_running)
        return;
    m_capabilities = capabilities;
    updateUi();
}

void FirmwareUpgrade::actionSelectChange(QString action)
{
    Q_UNUSED(action)
    if (!readerConnected(m_readerSelection->currentText())) {
        firmwareUpgradeError(tr("Error: There is no connected reader."));
        updateUi();
        return;
    }
    const bool ota = m_otaButton->isChecked();
    const int position = m_actionSelection->currentIndex();
    QString text = tr("Update");
    bool fileRows = true;
    int code = 4;
    if (position == 1) {
        text = ota ? tr("Push") : tr("Update");
        fileRows = !ota;
        code = ota ? 2 : 0;
    } else if (position == 2) {
        text = ota ? tr("Clone") : tr("Upload");
        fileRows = !ota;
        code = ota ? 3 : 1;
    }
    m_startButton->setText(text);
    m_firmwarePanel->setSelectionRowsVisible(fileRows);
    m_firmwarePanel->setupSaveOptions(code);
}

int FirmwareUpgrade::getUploadType()
{
    const QString action = m_actionSelection->currentText();
    const std::optional<int> type =
        FirmwareChoices::uploadType(m_otaButton->isChecked(), firmwareType(), action);
    if (!type) {
        emit statusMessage(tr("Error: I do not know this action : %1.").arg(action));
        return FirmwareChoices::invalidUploadType;
    }
    return *type;
}

QString FirmwareUpgrade::getTxComType()
{
    return FirmwareChoices::castTypeValue(m_accessSettings->comboAt(castTypeCombo)->currentIndex());
}

bool FirmwareUpgrade::fillJob(int uploadType, downloadData_t &job)
{
    job.optionsByte = m_firmwarePanel->optionsByteField(FirmwareChoices::optionsValue(uploadType));
    job.benchSlot = FirmwareChoices::benchSlot(uploadType);
    job.firmwareNumber =
        FirmwareChoices::isClone(uploadType)
            ? FirmwareChoices::cloneFirmwareNumber(uploadType, m_keptFirmwareNumber)
            : m_firmwarePanel->firmwareNumberField();
    job.firmwareVersion = m_firmwarePanel->firmwareVersion();
    job.firmwareBytes = m_firmwarePanel->firmwareBytes();
    job.password = m_firmwarePanel->password();
    job.lowestAcceptedVersion = m_lowestVersion->text();
    job.highestAcceptedVersion = m_highestVersion->text();
    const QString selected = m_readerSelection->currentText();
    job.readerName = readerConnected(selected) ? selected : QString();
    if (!FirmwareChoices::isDistant(uploadType))
        return true;

    const QString castType = getTxComType();
    const FirmwareChoices::DeviceList devices =
        FirmwareChoices::deviceList(m_deviceList->text(), castType);
    if (!devices.refusal.isEmpty()) {
        firmwareUpgradeError(devices.refusal);
        return false;
    }
    const auto comboIndex = [](LabeledComboBox *settings, int combo) {
        return settings->comboAt(combo)->currentIndex();
    };
    job.accessRadioMode =
        FirmwareChoices::radioModeValue(comboIndex(m_accessSettings, radioModeCombo));
    job.accessSpreadingFactor =
        FirmwareChoices::spreadingFactorValue(comboIndex(m_accessSettings, spreadingFactorCombo));
    job.accessChannel = FirmwareChoices::channelValue(comboIndex(m_accessSettings, channelCombo));
    job.accessCastType = castType;
    job.transferRadioMode =
        FirmwareChoices::radioModeValue(comboIndex(m_transmissionSettings, radioModeCombo));
    job.transferSpreadingFactor = FirmwareChoices::spreadingFactorValue(
        comboIndex(m_transmissionSettings, spreadingFactorCombo));
    job.transferChannel =
        FirmwareChoices::channelValue(comboIndex(m_transmissionSettings, channelCombo));
    job.transferCastType = castType;
    job.wakeUpLength = FirmwareChoices::wakeUpLengthValue(m_wakeUpLength->value());
    job.deviceList = devices.addresses;
    job.targetAddress = devices.addresses.left(8);
    return true;
}

void FirmwareUpgrade::upgradeButtonClicked()
{
    if (m_running) {
        m_engine->cancel();
        return;
    }
    m_deviceList->rememberText();
    m_progressBar->setValue(0);
    m_progressText->clear();
    m_updatedDevices->clear();

    const int type = getUploadType();
    if (type == FirmwareChoices::invalidUploadType) {
        emit statusMessage(tr("Error: Invalid Action selection. can't do nothing!"));
        setStartButton(m_startButton->text(), greenArrow);
        m_running = false;
        return;
    }
    downloadData_t job;
    if (!fillJob(type, job))
        return;

    m_jobReader = job.readerName;
    setUpdateFilters(m_jobReader, FirmwareChoices::answerFilters(type),
                     FirmwareChoices::answerLeadingCodes(type));
    if (type <= 2)
        emit localApplicativeUpgrade(job);
    else if (type <= 14)
        emit OTANodeUpload(job);
    else if (type <= 17)
        emit OTANodeDirectUpgrade(job);
    else if (type <= 20)
        emit upgradeWithLoadedFW(job);
    else
        emit OTADirectFirmwareClone(job);
    emit statusMessage(tr("Upgrade started."));
    setStartButton(tr("Cancel"), redArrow);
    m_running = true;
    updateRouteInputs();
}

void FirmwareUpgrade::setUpdateFilters(const QString &readerName, const QStringList &filters,
                                       const QStringList &leadingCodes)
{
    ConnectedReaderTab *tab = m_readerTabs ? m_readerTabs->connectedReaderTab(readerName) : nullptr;
    if (!tab)
        return;
    tab->setClearFiltersOnMatch(false);
    tab->setUpdateFilterPrimary(filters.value(0));
    tab->setUpdateFilterSecondary(filters.value(1));
    tab->setUpdateLeadingCodes(leadingCodes);
}

void FirmwareUpgrade::sendToReader(const QString &readerName, const QString &command)
{
    ConnectedReaderTab *tab = m_readerTabs ? m_readerTabs->connectedReaderTab(readerName) : nullptr;
    if (!tab) {
        // The reader went away; the job ends at once instead of waiting for its answers.
        m_engine->cancel();
        return;
    }
    emit sendCommandToReader(tab, command);
    tab->sendCommandForDock(command, TAB_FIRMWARE_UPGRADE);
}

void FirmwareUpgrade::readerDisconnected(const QString &readerName)
{
    if (!m_running || readerName != m_jobReader)
        return;
    emit statusMessage(tr("Error: Reader \"%1\" is not connected.").arg(readerName));
    m_engine->cancel();
}

void FirmwareUpgrade::jobEnded()
{
    setUpdateFilters(m_jobReader, QStringList(), QStringList());
    m_jobReader.clear();
    m_running = false;
    m_autoProgress = false;
    setStartButton(tr("Update"), greenArrow);
    updateRouteInputs();
}

void FirmwareUpgrade::setStartButton(const QString &text, const QString &icon)
{
    m_startButton->setText(text);
    m_startButton->setIcon(QIcon(icon));
}

void FirmwareUpgrade::handleReceivedData(QString data)
{
    const auto *tab = qobject_cast<const ConnectedReaderTab *>(sender());
    const QString readerName =
        tab ? tab->readerName() : (m_running ? m_jobReader : m_readerSelection->currentText());
    const QString selected = m_running ? m_jobReader : m_readerSelection->currentText();
    if (readerName != selected)
        return;
    qCDebug(firmwareDock) << "Received response :" << data;
    const QByteArray payload = QByteArray::fromHex(data.toLatin1());
    const QString code = FirmwareChoices::answerCode(data);
    if (code.isEmpty()) {
        emit statusMessage(tr("Error: Unhandled command response in Firmware Tab."));
        m_engine->answerReceived(false, readerName, payload);
        return;
    }
    if (code == QLatin1String("010A010100")) {
        if (ConnectedReaderTab *readerTab =
                m_readerTabs ? m_readerTabs->connectedReaderTab(readerName) : nullptr)
            readerTab->setAwaitingSession(false);
        return;
    }
    if (code == capabilityAnswer) {
        takeCapabilities(data);
        return;
    }
    bool success = FirmwareChoices::answerSucceeded(code);
    if (code == informationAnswers) {
        const auto information = FirmwareAnswers::information(data);
        success = information.has_value();
        if (information) {
            m_keptFirmwareNumber = information->installedNumber;
            m_firmwarePanel->setPendingFirmware(information->pendingNumber,
                                                information->pendingVersion,
                                                information->pendingStackInformation);
            m_firmwarePanel->setInstalledFirmware(information->installedNumber,
                                                  information->installedVersion,
                                                  information->installedStackVersion);
        }
        if (!m_running)
            askForReaderAnswer(readerName, capabilityCommand, capabilityAnswer);
    }
    m_engine->answerReceived(success, readerName, payload);
}

void FirmwareUpgrade::progressBarValueChanegd(int value)
{
    m_progressBar->setValue(value);
}

void FirmwareUpgrade::progressBarRange(int minValue, int maxValue)
{
    m_progressBar->setRange(minValue, maxValue);
    m_progressBar->setValue(minValue);
}

void FirmwareUpgrade::showTransferProgress(qint64 bytesSent, qint64 bytesToSend,
                                           double bytesPerSecond)
{
    m_progressText->setText(
        FirmwareChoices::transferProgressText(bytesSent, bytesToSend, bytesPerSecond));
}

void FirmwareUpgrade::progressBarAutoUpdateEnable(bool enable, int timeout)
{
    m_autoProgress = enable;
    m_autoProgressTimeout = timeout;
    if (enable) {
        m_autoProgressClock.start();
        m_progressText->setText(tr("About %1 s in all").arg((timeout + 999) / 1000));
    }
}

void FirmwareUpgrade::progressBarAutoUpdate()
{
    if (!m_autoProgress) {
        if (m_progressBar->styleSheet() != greenChunk)
            m_progressBar->setStyleSheet(greenChunk);
        return;
    }
    const FirmwareChoices::AutoProgress progress = FirmwareChoices::autoProgress(
        m_progressBar->maximum(), m_autoProgressClock.elapsed(), m_autoProgressTimeout);
    m_progressBar->setValue(progress.value);
    if (progress.full) {
        m_chunkYellow = !m_chunkYellow;
        m_progressBar->setStyleSheet(m_chunkYellow ? yellowChunk : greenChunk);
    }
}

void FirmwareUpgrade::firmwareUpgradeStatus(QString message)
{
    emit statusMessage(message);
}

void FirmwareUpgrade::firmwareUpgradeError(QString message)
{
    showError(message);
    emit statusMessage(message.startsWith(QLatin1String("Error: "))
                           ? message
                           : QStringLiteral("Error: ") + message);
}

void FirmwareUpgrade::propagateStatusMessage(QString message)
{
    emit statusMessage(message);
}

void FirmwareUpgrade::onNewLoadedFirmware()
{
    // The option boxes depend on the reader's firmware; the local situations ask the user
    // nothing, so they follow it at once.
    const int position = m_actionSelection->currentIndex();
    if (!m_otaButton->isChecked() && (position == 1 || position == 2))
        m_firmwarePanel->setupSaveOptions(position - 1);
}

void FirmwareUpgrade::addUpdatedDevice(QString updatedDeviceID)
{
    m_updatedDevices->addItem(updatedDeviceID);
}

void FirmwareUpgrade::updatePendingFirmwareInfo()
{
    m_firmwarePanel->setLoadedFwInfoInPending();
}

void FirmwareUpgrade::updatedDevicesClicked()
{
    QStringList devices;
    for (int row = 0; row < m_updatedDevices->count(); ++row)
        devices << m_updatedDevices->item(row)->text();
    QApplication::clipboard()->setText(devices.join(QLatin1Char('\n')));
    emit statusMessage(tr("Copied the updated device list to the clipboard."));
}

void FirmwareUpgrade::handleVisibilityChanged(bool visible)
{
    m_visible = visible;
    if (visible)
        emit selectedTab(this, TAB_FIRMWARE_UPGRADE);
    updateRouteInputs();
}

void FirmwareUpgrade::updateRouteInputs()
{
    if (m_visible || m_running)
        emit routeInputsDisabled();
    else
        emit routeInputsEnabled();
}
