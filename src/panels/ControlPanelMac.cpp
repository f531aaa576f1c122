#include "ControlPanelMac.h"

#include "RouteCommand.h"
#include "app/ControlPanelHeaders.h"
#include "common/Utf8Text.h"
#include "firmware/QCustomLineEdit.h"
#include "project/ProjectPaths.h"
#include "session/ConnectedReaderTab.h"
#include "session/ReaderTabs.h"

#include <QByteArray>
#include <QCompleter>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QStringList>
#include <QStringListModel>
#include <QTextStream>
#include <QWidget>

#include <optional>

namespace {

// Lets the Return that asked for the step, and the completion pop-up it may close, be
// handled first.
constexpr int stepDelayMs = 100;
// The route command's fixed start; the number of relays, then the addresses follow it.
constexpr int commandPrefixLength = 12;
constexpr int hopModeLength = 2;

void makeSingleShot(QTimer &timer)
{
    timer.setSingleShot(true);
    timer.setInterval(stepDelayMs);
}

// Leaves the cursor where it is when the edit is kept whole.
void keepAddressCharacters(QLineEdit *field, const QString &edited)
{
    const QString kept = RouteCommand::addressFieldText(edited);
    if (kept != edited)
        field->setText(kept);
}

} // namespace

ControlPanelMac::ControlPanelMac(ReaderTabs *readerTabs, QWidget *parent)
    : QVBoxLayout(parent)
    , m_readerTabs(readerTabs)
    , m_header(new ControlPanelHeaders(tr("Mac ©"), QString()))
    , m_grid(new QGridLayout)
    , m_targetLabel(new QLabel(tr(" Target:")))
    , m_targetField(new QCustomLineEdit)
    , m_relayOneLabel(new QLabel(tr("Relay 1:")))
    , m_relayOneField(new QCustomLineEdit)
    , m_relayTwoLabel(new QLabel(tr("Relay 2:")))
    , m_relayTwoField(new QCustomLineEdit)
    , m_setRouteButton(new QPushButton(tr("Set Route")))
    , m_completer(new QCompleter(this))
{
    m_targetField->setObjectName(QStringLiteral("targetField"));
    m_relayOneField->setObjectName(QStringLiteral("relayOneField"));
    m_relayTwoField->setObjectName(QStringLiteral("relayTwoField"));
    m_setRouteButton->setObjectName(QStringLiteral("setRouteButton"));

    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setFilterMode(Qt::MatchStartsWith);
    reloadMacCompletion();

    const QList<QCustomLineEdit *> fields{m_targetField, m_relayOneField, m_relayTwoField};
    const QList<QLabel *> labels{m_targetLabel, m_relayOneLabel, m_relayTwoLabel};
    for (int row = 0; row < fields.size(); ++row) {
        fields[row]->setCompleter(m_completer);
        m_grid->addWidget(labels[row], row, 1);
        m_grid->addWidget(fields[row], row, 2);
    }
    addLayout(m_header);
    addLayout(m_grid);
    addWidget(m_setRouteButton);

    connect(m_targetField, &QLineEdit::returnPressed, this, &ControlPanelMac::targetInputValidated);
    connect(m_targetField, &QLineEdit::textEdited, this, &ControlPanelMac::targetInputChanged);
    connect(m_relayOneField, &QLineEdit::returnPressed, this,
            &ControlPanelMac::relayOneInputValidated);
    connect(m_relayOneField, &QLineEdit::textEdited, this, &ControlPanelMac::relayOneInputChanged);
    connect(m_relayTwoField, &QLineEdit::returnPressed, this,
            &ControlPanelMac::relayTwoInputValidated);
    connect(m_relayTwoField, &QLineEdit::textEdited, this, &ControlPanelMac::relayTwoInputChanged);
    connect(m_setRouteButton, &QPushButton::released, this,
            &ControlPanelMac::setRouteButtonClicked);

    makeSingleShot(m_relayOneFocusTimer);
    makeSingleShot(m_relayTwoFocusTimer);
    makeSingleShot(m_routeTimer);
    connect(&m_relayOneFocusTimer, &QTimer::timeout, m_relayOneField,
            QOverload<>::of(&QWidget::setFocus));
    connect(&m_relayTwoFocusTimer, &QTimer::timeout, m_relayTwoField,
            QOverload<>::of(&QWidget::setFocus));
    connect(&m_routeTimer, &QTimer::timeout, this, &ControlPanelMac::setRouteButtonClicked);
}

void ControlPanelMac::setRouteButtonClicked()
{
    if (m_readerTabs->currentDockType() != TAB_CONNECTED_READER) {
        emit statusMessage(tr("Error: Please select connected reader tab."));
        return;
    }
    const std::optional<QString> command = RouteCommand::command(
        m_targetField->text(), m_relayOneField->text(), m_relayTwoField->text());
    if (!command) {
        emit statusMessage(tr("Error: No/Wrong target address."));
        return;
    }

    const QString route = command->mid(commandPrefixLength);
    const int relays = route.left(hopModeLength).toInt();
    for (int address = 0; address <= relays; ++address)
        addToCompletion(route.mid(hopModeLength + address * RouteCommand::addressLength,
                                  RouteCommand::addressLength));

    if (auto *tab = qobject_cast<ConnectedReaderTab *>(m_readerTabs->currentDock()))
        tab->sendCommandForDock(*command, TAB_CONNECTED_READER);
}

void ControlPanelMac::reloadMacCompletion()
{
    QStringList addresses;
    QFile file(ProjectPaths::relayCompletionPath());
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream stream(&file);
        while (!stream.atEnd())
            addresses << stream.readLine().trimmed();
    }
    // Parented to the completer, which deletes the model of its own it replaces.
    m_completer->setModel(new QStringListModel(addresses, m_completer));
}

void ControlPanelMac::targetInputChanged(QString new_text)
{
    if (new_text.isEmpty())
        m_typedCharacters.clear();
    else
        m_typedCharacters.append(new_text.back());
    keepAddressCharacters(m_targetField, new_text);

    if (const std::optional<QString> target = RouteCommand::pastedTarget(m_typedCharacters)) {
        m_targetField->setText(*target);
        m_relayOneField->clear();
        m_relayTwoField->clear();
        m_routeTimer.start();
    }
}

void ControlPanelMac::targetInputValidated()
{
    m_targetField->setText(RouteCommand::paddedAddress(m_targetField->text()));
    m_relayOneFocusTimer.start();
}

void ControlPanelMac::relayOneInputChanged(QString new_text)
{
    keepAddressCharacters(m_relayOneField, new_text);
}

void ControlPanelMac::relayOneInputValidated()
{
    if (!m_relayOneField->text().isEmpty())
        m_relayOneField->setText(RouteCommand::paddedAddress(m_relayOneField->text()));
    m_relayTwoFocusTimer.start();
}

void ControlPanelMac::relayTwoInputChanged(QString new_text)
{
    keepAddressCharacters(m_relayTwoField, new_text);
}

void ControlPanelMac::relayTwoInputValidated()
{
    if (!m_relayTwoField->text().isEmpty())
        m_relayTwoField->setText(RouteCommand::paddedAddress(m_relayTwoField->text()));
    m_routeTimer.start();
}

void ControlPanelMac::disableInputs()
{
    setInputsEnabled(false);
}

void ControlPanelMac::enableInputs()
{
    setInputsEnabled(true);
}

void ControlPanelMac::setInputsEnabled(bool enabled)
{
    const QList<QWidget *> inputs{m_targetField, m_relayOneField, m_relayTwoField,
                                  m_setRouteButton};
    for (QWidget *input : inputs)
        input->setEnabled(enabled);
}

void ControlPanelMac::addToCompletion(const QString &address)
{
    QFile file(ProjectPaths::relayCompletionPath());
    if (!file.open(QIODevice::ReadWrite | QIODevice::Text))
        return;
    const QByteArray content = file.readAll();
    for (const QByteArray &line : content.split('\n')) {
        if (utf8UpToZero(line).trimmed() == address)
            return;
    }
    // A last line that the user left unterminated must not swallow the address.
    if (!content.isEmpty() && !content.endsWith('\n'))
        file.write("\n");
    file.write(address.toUtf8() + '\n');
    file.close();
    reloadMacCompletion();
}
