#pragma once

#include "common/DockedTabTypes.h"
#include "firmware/FirmwareChoices.h"
#include "firmware/downloadData_t.h"

#include <QDockWidget>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <functional>

class ConnectedReaderTab;
class FirmwareDataEngine;
class LabeledComboBox;
class LineEditAutoComplete;
class LoadFirmware;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class ReaderTabs;

// The "Firmware Upgrade" dock: turns the user's choices into a firmware job, hands it to the
// engine it runs in a thread of its own, routes the engine's commands to the job's reader and
// the reader's answers back, and shows the job's progress.
class FirmwareUpgrade : public QDockWidget
{
    Q_OBJECT

public:
    explicit FirmwareUpgrade(ReaderTabs *readerTabs, QWidget *parent = nullptr);
    ~FirmwareUpgrade() override;

    // Shows an error of the engine or of the choices; the default opens a box that does not
    // block.
    std::function<void(const QString &)> showError;

    FirmwareDataEngine *engine() const { return m_engine; }
    LoadFirmware *firmwarePanel() const { return m_firmwarePanel; }
    QComboBox *readerSelection() const { return m_readerSelection; }
    QRadioButton *transferButton(bool ota) const { return ota ? m_otaButton : m_localButton; }
    QRadioButton *firmwareTypeButton(int type) const;
    QComboBox *actionSelection() const { return m_actionSelection; }
    LabeledComboBox *accessSettings() const { return m_accessSettings; }
    LabeledComboBox *transmissionSettings() const { return m_transmissionSettings; }
    QLineEdit *deviceList() const;
    QPushButton *startButton() const { return m_startButton; }
    QProgressBar *progressBar() const { return m_progressBar; }
    QLabel *progressText() const { return m_progressText; }
    QListWidget *updatedDevices() const { return m_updatedDevices; }
    bool isRunning() const { return m_running; }
    // Fills "Reader selection" with the connected readers, as a press on it does.
    void refreshReaderSelection();

signals:
    void statusMessage(QString message);
    void sendCommandToReader(ConnectedReaderTab *reader, QString cmdToSend);
    void selectedTab(QDockWidget *selectedTab, DockedTabTypes type);
    void localApplicativeUpgrade(downloadData_t job);
    void OTADirectFirmwareClone(downloadData_t job);
    void OTANodeUpload(downloadData_t job);
    void upgradeWithLoadedFW(downloadData_t job);
    void OTANodeDirectUpgrade(downloadData_t job);
    // The route panel's inputs are off while the dock is in front or a job runs.
    void routeInputsDisabled();
    void routeInputsEnabled();

public slots:
    void handleReceivedData(QString data);
    void updateUi();
    void handleVisibilityChanged(bool visible);
    void connectedReadersChanged(QString readerName);
    void txRadioModeDeviceAccessChange(QString newRadioMode);
    void txRadioModeUpdateTransmissionChange(QString newRadioMode);
    void upgradeButtonClicked();
    void progressBarValueChanegd(int value);
    void progressBarRange(int minValue, int maxValue);
    void firmwareUpgradeStatus(QString message);
    void firmwareUpgradeError(QString message);
    void propagateStatusMessage(QString message);
    void onNewLoadedFirmware();
    int getUploadType();
    void addUpdatedDevice(QString updatedDeviceID);
    void updatePendingFirmwareInfo();
    void updatedDevicesClicked();
    QString getTxComType();
    void progressBarAutoUpdateEnable(bool enable, int timeout);
    void progressBarAutoUpdate();
    void actionSelectChange(QString action);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWidgets();
    void connectEngine();
    int firmwareType() const;
    bool fillJob(int uploadType, downloadData_t &job);
    void sendToReader(const QString &readerName, const QString &command);
    void setUpdateFilters(const QString &readerName, const QStringList &filters,
                          const QStringList &leadingCodes);
    void askForReaderAnswer(const QString &readerName, const QString &command,
                            const QString &answerCode);
    void takeCapabilities(const QString &answerHex);
    void setCapabilities(const FirmwareChoices::Capabilities &capabilities);
    void jobEnded();
    void readerDisconnected(const QString &readerName);
    void setStartButton(const QString &text, const QString &icon);
    void updateRouteInputs();
    void showTransferProgress(qint64 bytesSent, qint64 bytesToSend, double bytesPerSecond);
    static void fillRadioSettings(LabeledComboBox *settings, bool withCastType);
    static void showSpreadingFactor(LabeledComboBox *settings, const QString &radioMode);

    ReaderTabs *m_readerTabs;
    QThread m_engineThread;
    FirmwareDataEngine *m_engine;
    QComboBox *m_readerSelection = nullptr;
    QRadioButton *m_localButton = nullptr;
    QRadioButton *m_otaButton = nullptr;
    QRadioButton *m_appliButton = nullptr;
    QRadioButton *m_rescueButton = nullptr;
    QRadioButton *m_bootloaderButton = nullptr;
    QComboBox *m_actionSelection = nullptr;
    LoadFirmware *m_firmwarePanel = nullptr;
    QLineEdit *m_lowestVersion = nullptr;
    QLineEdit *m_highestVersion = nullptr;
    LabeledComboBox *m_accessSettings = nullptr;
    LabeledComboBox *m_transmissionSettings = nullptr;
    QSpinBox *m_wakeUpLength = nullptr;
    LineEditAutoComplete *m_deviceList = nullptr;
    QPushButton *m_startButton = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressText = nullptr;
    QListWidget *m_updatedDevices = nullptr;
    QTimer m_progressTimer;
    QElapsedTimer m_autoProgressClock;
    bool m_autoProgress = false;
    int m_autoProgressTimeout = 0;
    bool m_chunkYellow = false;
    bool m_running = false;
    bool m_visible = false;
    // The reader the running job talks to.
    QString m_jobReader;
    // The reader's installed firmware number, which a clone job sends.
    QString m_keptFirmwareNumber;
    FirmwareChoices::Capabilities m_capabilities;
};
