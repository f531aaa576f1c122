#pragma once

#include "firmware/FirmwareFile.h"

#include <QByteArray>
#include <QGridLayout>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class ControlPanelHeaders;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;
class QWidget;

// The firmware panel of the upgrade dock: the chosen firmware file, checked and held for the
// engine, the firmware installed and pending in the reader, and the option boxes of an upgrade.
class LoadFirmware : public QGridLayout
{
    Q_OBJECT

public:
    explicit LoadFirmware(QWidget *parent = nullptr);
    ~LoadFirmware() override;

    // The user's side of the panel; each defaults to its dialog and can be replaced.
    std::function<QString()> chooseFile;
    std::function<bool()> askDistantStackVersion;
    std::function<void()> adviseReaderUpdate;

    // Nothing (empty) when the selected number is not hexadecimal.
    QString firmwareNumberField() const;
    QString optionsByteField(int value) const;
    QString firmwareVersion() const;
    QByteArray firmwareBytes() const { return m_firmwareBytes; }
    QString password() const;
    // Number, version and stack version of each row.
    QStringList installedFirmware() const;
    QStringList pendingFirmware() const;
    QStringList selectedFirmware() const;
    // Size, product name, stack information and crypted flag of the selected file.
    QStringList selectedDetails() const;
    QCheckBox *firstOptionBox() const { return m_firstOption; }
    QCheckBox *lrwanOptionBox() const { return m_lrwanOption; }
    QCheckBox *disableCheckBox() const { return m_disableCheck; }
    QPushButton *selectButton() const { return m_selectButton; }

    void setSelectionRowsVisible(bool visible);
    void setupSaveOptions(int code);

public slots:
    // The file is read and checked in a thread of its own; statusMessage tells the outcome.
    void loadFwBtnClicked();
    void setInstalledFirmware(QString fwNumber, QString fwVersion, QString stckVersion);
    void setPendingFirmware(QString fwNumber, QString fwVersion, QString stckVersion);
    void setLoadedFwInfoInPending();

signals:
    void statusMessage(QString message);
    void newFwLoaded();

private:
    struct FirmwareRow
    {
        QLabel *caption;
        QLabel *number;
        QLabel *version;
        QLabel *stackVersion;
        QList<QLabel *> separators;
    };
    FirmwareRow addFirmwareRow(int row, const QString &caption);
    void addValueRow(int row, const QString &caption, QWidget *value);
    void clearSelection();
    void takeSelection(const FirmwareFile::Selection &selection);
    static QStringList texts(const FirmwareRow &row);

    ControlPanelHeaders *m_header;
    QPushButton *m_selectButton;
    QGroupBox *m_optionsGroup;
    QCheckBox *m_firstOption;
    QCheckBox *m_lrwanOption;
    QCheckBox *m_disableCheck;
    FirmwareRow m_installed;
    FirmwareRow m_pending;
    FirmwareRow m_selected;
    QLabel *m_size;
    QLineEdit *m_password;
    QLabel *m_product;
    QLabel *m_stackInformation;
    QLabel *m_crypted;
    QByteArray m_firmwareBytes;
    // Reads the chosen file; null when no file is being read.
    QThread *m_loader = nullptr;
    // The select button and the rows of the selected file, hidden together.
    QList<QWidget *> m_selectionWidgets;
};
