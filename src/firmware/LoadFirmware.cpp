#include "LoadFirmware.h"

#include "FirmwareFile.h"
#include "app/ControlPanelHeaders.h"
#include "project/ProjectPaths.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <memory>

namespace {

enum Rows
{
    HeaderRow,
    SelectRow,
    OptionsRow,
    InstalledRow,
    PendingRow,
    SelectedRow,
    SizeRow,
    PasswordRow,
    ProductRow,
    StackRow,
    CryptedRow,
};

} // namespace

LoadFirmware::LoadFirmware(QWidget *parent)
    : QGridLayout(parent)
    , m_header(new ControlPanelHeaders(tr("Firmware information"), QString()))
    , m_selectButton(new QPushButton(tr("Select firmware")))
    , m_optionsGroup(new QGroupBox)
    , m_firstOption(new QCheckBox(tr("Appli param save")))
    , m_lrwanOption(new QCheckBox(tr("LRWAN param save")))
    , m_disableCheck(new QCheckBox(tr("Disable firmware number check")))
    , m_size(new QLabel)
    , m_password(new QLineEdit)
    , m_product(new QLabel)
    , m_stackInformation(new QLabel)
    , m_crypted(new QLabel)
{
    chooseFile = [] {
        return QFileDialog::getOpenFileName(nullptr, tr("Please select firmware file!"),
                                            ProjectPaths::firmwarePath(), tr("SREC (*.srec)"));
    };
    askDistantStackVersion = [] {
        return QMessageBox::question(
                   nullptr, tr("Distant stack version?"),
                   tr("Does device(s) to update is(are) equipped by a Tessel-Diroz V2 or a "
                      "Tessel-Diroz V1 with a stack version: >= 0x0321 or >= 0x0395 or >= 0x03B0"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    adviseReaderUpdate = [] {
        QMessageBox::information(nullptr, tr("Update Reader"),
                                 tr("It is better to update the reader!"), QMessageBox::Ok);
    };

    addLayout(m_header, HeaderRow, 0, 1, 2);
    addWidget(m_selectButton, SelectRow, 0, 1, 2);
    auto *options = new QHBoxLayout(m_optionsGroup);
    options->addWidget(m_firstOption);
    options->addWidget(m_lrwanOption);
    options->addWidget(m_disableCheck);
    addWidget(m_optionsGroup, OptionsRow, 0, 1, 2);
    m_firstOption->setChecked(true);
    m_lrwanOption->setChecked(true);

    m_installed = addFirmwareRow(InstalledRow, tr("Reader fw number, fw version, stck version:"));
    m_pending = addFirmwareRow(PendingRow, tr("Pending firmware number and version:"));
    m_selected = addFirmwareRow(SelectedRow, tr("Selected firmware number and version:"));
    m_selectionWidgets << m_selectButton << m_selected.caption << m_selected.number
                       << m_selected.version << m_selected.stackVersion;
    for (QLabel *separator : qAsConst(m_selected.separators))
        m_selectionWidgets << separator;
    addValueRow(SizeRow, tr("Firmware size (Kb):"), m_size);
    addValueRow(PasswordRow, tr("Password:"), m_password);
    addValueRow(ProductRow, tr("Product name:"), m_product);
    addValueRow(StackRow, tr("Stack information:"), m_stackInformation);
    addValueRow(CryptedRow, tr("Firmware crypted:"), m_crypted);

    connect(m_selectButton, &QPushButton::released, this, &LoadFirmware::loadFwBtnClicked);
}

LoadFirmware::FirmwareRow LoadFirmware::addFirmwareRow(int row, const QString &caption)
{
    FirmwareRow firmware{new QLabel(caption), new QLabel, new QLabel, new QLabel, {}};
    auto *values = new QHBoxLayout;
    values->addWidget(firmware.number);
    for (QLabel *value : {firmware.version, firmware.stackVersion}) {
        firmware.separators << new QLabel(QStringLiteral("|"));
        values->addWidget(firmware.separators.last());
        values->addWidget(value);
    }
    addWidget(firmware.caption, row, 0);
    addLayout(values, row, 1);
    return firmware;
}

void LoadFirmware::addValueRow(int row, const QString &caption, QWidget *value)
{
    auto *label = new QLabel(caption);
    addWidget(label, row, 0);
    addWidget(value, row, 1);
    m_selectionWidgets << label << value;
}

QStringList LoadFirmware::texts(const FirmwareRow &row)
{
    return {row.number->text(), row.version->text(), row.stackVersion->text()};
}

QStringList LoadFirmware::installedFirmware() const
{
    return texts(m_installed);
}

QStringList LoadFirmware::pendingFirmware() const
{
    return texts(m_pending);
}

QStringList LoadFirmware::selectedFirmware() const
{
    return texts(m_selected);
}

QStringList LoadFirmware::selectedDetails() const
{
    return {m_size->text(), m_product->text(), m_stackInformation->text(), m_crypted->text()};
}

QString LoadFirmware::firmwareNumberField() const
{
    return FirmwareFile::firmwareNumberField(m_selected.number->text(), m_disableCheck->isChecked())
        .value_or(QString());
}

QString LoadFirmware::optionsByteField(int value) const
{
    return FirmwareFile::optionsByteField(value, m_firstOption->isChecked(),
                                          m_lrwanOption->isChecked());
}

QString LoadFirmware::firmwareVersion() const
{
    return m_selected.version->text();
}

QString LoadFirmware::password() const
{
    return m_password->text();
}

void LoadFirmware::setSelectionRowsVisible(bool visible)
{
    for (QWidget *widget : qAsConst(m_selectionWidgets))
        widget->setVisible(visible);
}

void LoadFirmware::clearSelection()
{
    m_firmwareBytes.clear();
    for (QLabel *label : {m_selected.number, m_selected.version, m_selected.stackVersion, m_size,
                          m_product, m_stackInformation, m_crypted})
        label->clear();
    m_password->clear();
}

LoadFirmware::~LoadFirmware()
{
    if (m_loader)
        m_loader->wait();
}

void LoadFirmware::loadFwBtnClicked()
{
    if (m_loader)
        return;
    m_disableCheck->setChecked(false);
    clearSelection();
    const QString path = chooseFile();
    auto selection = std::make_shared<FirmwareFile::Selection>();
    m_loader = QThread::create([path, selection] { *selection = FirmwareFile::load(path); });
    m_loader->setParent(this);
    connect(m_loader, &QThread::finished, this, [this, selection] {
        m_loader->deleteLater();
        m_loader = nullptr;
        m_selectButton->setEnabled(true);
        takeSelection(*selection);
    });
    m_selectButton->setEnabled(false);
    m_loader->start();
}

void LoadFirmware::takeSelection(const FirmwareFile::Selection &selection)
{
    if (!selection.bytes.isEmpty()) {
        m_firmwareBytes = selection.bytes;
        const FirmwareFile::Header &header = selection.header;
        m_selected.number->setText(header.firmwareNumber);
        m_selected.version->setText(header.firmwareVersion);
        m_selected.stackVersion->setText(header.stackVersion);
        m_size->setNum(selection.sizeKb);
        m_password->setText(header.password);
        m_product->setText(header.productName);
        m_stackInformation->setText(header.stackInformation);
        m_crypted->setText(header.crypted);
    }
    emit statusMessage(selection.message);
}

void LoadFirmware::setInstalledFirmware(QString fwNumber, QString fwVersion, QString stckVersion)
{
    m_installed.number->setText(fwNumber);
    m_installed.version->setText(fwVersion);
    m_installed.stackVersion->setText(stckVersion);
    emit newFwLoaded();
}

void LoadFirmware::setPendingFirmware(QString fwNumber, QString fwVersion, QString stckVersion)
{
    m_pending.number->setText(fwNumber);
    m_pending.version->setText(fwVersion);
    m_pending.stackVersion->setText(stckVersion);
}

void LoadFirmware::setLoadedFwInfoInPending()
{
    setPendingFirmware(m_selected.number->text(), m_selected.version->text(),
                       m_selected.stackVersion->text());
    emit newFwLoaded();
}

void LoadFirmware::setupSaveOptions(int code)
{
    const bool yes = FirmwareFile::asksDistantStackVersion(code) && askDistantStackVersion();
    const FirmwareFile::SaveOptionsSetup setup = FirmwareFile::saveOptionsSetup(
        code, m_installed.number->text(), m_installed.stackVersion->text(), yes);
    if (setup.outcome == FirmwareFile::SaveOptions::UpdateReader)
        adviseReaderUpdate();
    const bool firstShown = setup.outcome != FirmwareFile::SaveOptions::None;
    m_firstOption->setText(setup.outcome == FirmwareFile::SaveOptions::Downgrade
                               ? tr("Allow downgrade")
                               : tr("Appli param save"));
    m_firstOption->setChecked(firstShown);
    m_firstOption->setVisible(firstShown);
    const bool lrwan = setup.outcome == FirmwareFile::SaveOptions::Full;
    m_lrwanOption->setChecked(lrwan);
    m_lrwanOption->setVisible(lrwan);
    m_disableCheck->setChecked(false);
    m_disableCheck->setVisible(setup.disableCheckShown);
}
