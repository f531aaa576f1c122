#include "ControlPanelScripts.h"

#include "ScriptName.h"
#include "app/ControlPanelHeaders.h"
#include "common/DockedTabTypes.h"
#include "common/TextEditor.h"
#include "common/Utf8Text.h"
#include "project/ProjectPaths.h"
#include "session/ConnectedReaderTab.h"
#include "session/ReaderTabs.h"

#include <QAction>
#include <QByteArray>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <optional>

namespace {

const QString helpText = QStringLiteral(
    "<html><head></head><body style='font-size:7pt;'><p><span style='font-size:10pt; "
    "font-weight:600;'>Script Commands:</span></p><p>- <span style='font-weight:600;'>Frame;nb "
    "iteration;delay</span> (mul of 100ms, if 0 wait answer)<br>- <span "
    "style='font-weight:600;'>&quot;RTC + N&quot;</span> chain is replaced by GMT RTC + N hours "
    "(from -12/+14)<br>- a label is defined on a single line and finish by &quot;:&quot; -&gt; "
    "<span style='font-weight:600;'>my_label:</span><br>- <span "
    "style='font-weight:600;'>LOOP;label;nb iteration</span> -&gt; branch to a label in the "
    "script N times<br>- <span style='font-weight:600;'>WAIT;delay</span> -&gt; delay in "
    "multiple of 100ms</p></body></html>");

// What the control panel reckons one character of a script name takes.
constexpr int nameCharacterWidth = 7;
// Preferred button texts wider than this, in the button's font, are cut and end in "...";
// two buttons share a row of the narrowest control panel.
constexpr int preferredTextWidth = 80;
// More than ten paths of any sensible length; the rest of a larger file is not read.
constexpr qint64 preferredFileLimit = 64 * 1024;

// The preferred scripts file: one path per line, "\n" after each, line n for button n - 1.
// An empty line names no file: it goes the way of the line of a deleted script, so
// RefreshPreferedScriptBtn skips it and writes the file back without it, and
// removeLastPrefered takes the last line that names something.
std::optional<QStringList> preferredLines()
{
    QFile file(ProjectPaths::preferredScriptPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList lines = utf8UpToZero(file.read(preferredFileLimit)).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast(); // what follows the last line end
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines.mid(0, ControlPanelScripts::preferredButtonCount);
}

void writePreferredLines(const QStringList &lines)
{
    QFile file(ProjectPaths::preferredScriptPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + '\n';
    file.write(bytes);
}

bool isClockScript(const QString &path)
{
    return QFileInfo(path) == QFileInfo(ProjectPaths::rtcScriptPath());
}

QString fittedText(const QString &name, const QFontMetrics &metrics)
{
    if (metrics.horizontalAdvance(name) <= preferredTextWidth)
        return name;
    const QString ellipsis = QStringLiteral("...");
    QString text = name;
    while (!text.isEmpty() && metrics.horizontalAdvance(text + ellipsis) > preferredTextWidth)
        text.chop(1);
    return text + ellipsis;
}

} // namespace

ControlPanelScripts::ControlPanelScripts(ReaderTabs *readerTabs, QWidget *parent)
    : QVBoxLayout(parent)
    , m_readerTabs(readerTabs)
    , m_runIcon(QStringLiteral(":Icons/arrow_green.ico"))
    , m_stopIcon(QStringLiteral(":Icons/arrow_red.ico"))
    , m_header(new ControlPanelHeaders(tr("Scripts  ?"), helpText))
    , m_preferredGrid(new QGridLayout)
    , m_scriptList(new QComboBox)
    , m_runButton(new QPushButton(m_runIcon, tr("Script test reader")))
{
    m_scriptList->setObjectName(QStringLiteral("scriptList"));
    m_runButton->setObjectName(QStringLiteral("scriptRunButton"));
    m_runButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_scriptList, &QComboBox::currentTextChanged, this, &ControlPanelScripts::updateUi);
    connect(m_runButton, &QPushButton::clicked, this,
            &ControlPanelScripts::scriptButtonClicked_btnGen);
    connect(m_runButton, &QPushButton::customContextMenuRequested, this,
            &ControlPanelScripts::customMenuRequestedManagementButton);

    // The buttons get a parent at once: showing one that has none would open a window.
    auto *preferredArea = new QWidget;
    preferredArea->setLayout(m_preferredGrid);
    m_preferredGrid->setContentsMargins(0, 0, 0, 0);
    using Click = void (ControlPanelScripts::*)();
    const Click clicks[preferredButtonCount] = {
        &ControlPanelScripts::scriptButtonClicked_0, &ControlPanelScripts::scriptButtonClicked_1,
        &ControlPanelScripts::scriptButtonClicked_2, &ControlPanelScripts::scriptButtonClicked_3,
        &ControlPanelScripts::scriptButtonClicked_4, &ControlPanelScripts::scriptButtonClicked_5,
        &ControlPanelScripts::scriptButtonClicked_6, &ControlPanelScripts::scriptButtonClicked_7,
        &ControlPanelScripts::scriptButtonClicked_8, &ControlPanelScripts::scriptButtonClicked_9};
    for (int index = 0; index < preferredButtonCount; ++index) {
        auto *button = new QPushButton(m_runIcon, QString(), preferredArea);
        button->setObjectName(QStringLiteral("preferedScriptButton%1").arg(index));
        button->hide();
        connect(button, &QPushButton::clicked, this, clicks[index]);
        m_preferredGrid->addWidget(button, index / 2, index % 2 + 1);
        m_preferredButtons << button;
    }

    addLayout(m_header);
    addWidget(m_scriptList);
    addWidget(m_runButton);
    addWidget(preferredArea);
    loadScriptsFromProject();
}

std::unique_ptr<QMenu> ControlPanelScripts::createManagementMenu(QWidget *parent)
{
    auto menu = std::make_unique<QMenu>(parent);
    if (m_scriptList->currentIndex() >= 0) {
        int shown = 0;
        while (shown < preferredButtonCount && !m_preferredButtons.at(shown)->isHidden())
            ++shown;
        for (int index = 0; index <= qMin(shown, preferredButtonCount - 1); ++index)
            menu->addAction(tr("Set in prefered scirpt %1").arg(index + 1))->setData(index);
    }
    connect(menu.get(), &QMenu::triggered, this, &ControlPanelScripts::setPreferedScript);
    menu->addAction(tr("Remove last prefered button"), this,
                    &ControlPanelScripts::removeLastPrefered);
    menu->addAction(tr("Open"), this, &ControlPanelScripts::openScript);
    menu->addAction(tr("Browse folder"), this, &ControlPanelScripts::browseToScripts);
    menu->addAction(tr("Reparse"), this, &ControlPanelScripts::loadScriptsFromProject);
    return menu;
}

void ControlPanelScripts::loadScriptsFromProject()
{
    m_scriptList->clear();
    int widest = 0;
    const QString folder = ProjectPaths::scriptsPath();
    for (const QString &fileName : QDir(folder).entryList(QDir::Files, QDir::Name)) {
        const QString path = folder + fileName;
        if (!isClockScript(path))
            widest = qMax(widest, addNewScript(path));
    }
    m_widestNameWidth = widest;
    RefreshPreferedScriptBtn();
    emit scriptReparsed(widest);
}

int ControlPanelScripts::addNewScript(QString fileNameFullPath)
{
    if (fileNameFullPath.isEmpty()) {
        emit statusMessage(tr("Error: Please select existing script file."));
        return 0;
    }
    const QString name = ScriptName::read(fileNameFullPath);
    if (name.isEmpty()) {
        emit statusMessage(
            tr("Error: Could not get script name from file \"%1\".").arg(fileNameFullPath));
        return 0;
    }
    m_scriptList->addItem(name, fileNameFullPath);
    emit statusMessage(tr("File \"%1\" has been selected.").arg(fileNameFullPath));
    return name.size() * nameCharacterWidth;
}

bool ControlPanelScripts::callScriptByName(QString readerName, QString frame)
{
    const int index = m_scriptList->findText(frame, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    if (ConnectedReaderTab *tab = m_readerTabs->connectedReaderTab(readerName))
        emit tab->startReaderScriptMode(tab->readerName(),
                                        m_scriptList->itemData(index).toString());
    return true;
}

void ControlPanelScripts::scriptExecutionFinished()
{
    if (ConnectedReaderTab *tab = m_readerTabs->connectedReaderTab(m_runningReaderName)) {
        tab->setScriptRunning(false);
        disconnect(tab, &ConnectedReaderTab::readerScriptExecutionFinished, this,
                   &ControlPanelScripts::scriptExecutionFinished);
    } else {
        emit statusMessage(tr("Error: Script has been finished but reader \"%1\" could not be "
                              "found.")
                               .arg(m_runningReaderName));
    }
    m_runningReaderName.clear();
    setAllButtonsIdle();
}

void ControlPanelScripts::updateUi()
{
    m_runButton->setText(m_scriptList->currentIndex() >= 0 ? m_scriptList->currentText()
                                                           : tr("Script test reader"));
}

void ControlPanelScripts::customMenuRequestedManagementButton(QPoint point)
{
    Q_UNUSED(point)
    if (!m_runningReaderName.isEmpty())
        return;
    createManagementMenu(m_runButton)->exec(QCursor::pos());
}

void ControlPanelScripts::scriptButtonClicked_btnGen()
{
    scriptButtonClicked(preferredButtonCount);
}

void ControlPanelScripts::scriptButtonClicked_0()
{
    scriptButtonClicked(0);
}

void ControlPanelScripts::scriptButtonClicked_1()
{
    scriptButtonClicked(1);
}

void ControlPanelScripts::scriptButtonClicked_2()
{
    scriptButtonClicked(2);
}

void ControlPanelScripts::scriptButtonClicked_3()
{
    scriptButtonClicked(3);
}

void ControlPanelScripts::scriptButtonClicked_4()
{
    scriptButtonClicked(4);
}

void ControlPanelScripts::scriptButtonClicked_5()
{
    scriptButtonClicked(5);
}

void ControlPanelScripts::scriptButtonClicked_6()
{
    scriptButtonClicked(6);
}

void ControlPanelScripts::scriptButtonClicked_7()
{
    scriptButtonClicked(7);
}

void ControlPanelScripts::scriptButtonClicked_8()
{
    scriptButtonClicked(8);
}

void ControlPanelScripts::scriptButtonClicked_9()
{
    scriptButtonClicked(9);
}

void ControlPanelScripts::scriptButtonClicked(int btn_index)
{
    QPushButton *pressed = buttonOfIndex(btn_index);
    if (!pressed)
        return;
    QString path;
    if (pressed == m_runButton) {
        path = m_scriptList->currentData().toString();
    } else {
        const std::optional<QStringList> lines = preferredLines();
        if (!lines) {
            emit statusMessage(tr("Error: This script file can't be open"));
            return;
        }
        if (lines->size() <= btn_index) {
            emit statusMessage(tr("Error: description file of prefered button is corrupted !"));
            return;
        }
        path = lines->at(btn_index);
    }

    // While a script runs, every run button stops it.
    if (!m_runningReaderName.isEmpty()) {
        if (ConnectedReaderTab *tab = m_readerTabs->connectedReaderTab(m_runningReaderName)) {
            tab->requestScriptStop();
        } else {
            emit statusMessage(tr("Error: This script has been started for reader \"%1\" which "
                                  "is not connected at the moment.")
                                   .arg(m_runningReaderName));
            m_runningReaderName.clear();
            setAllButtonsIdle();
        }
        return;
    }

    auto *tab = m_readerTabs->currentDockType() == TAB_CONNECTED_READER
                    ? qobject_cast<ConnectedReaderTab *>(m_readerTabs->currentDock())
                    : nullptr;
    if (!tab) {
        emit statusMessage(tr("Error: Please select connected reader tab."));
        return;
    }
    if (tab->isScriptRunning())
        return;
    if (path.isEmpty()) {
        emit statusMessage(tr("Error: There is not script file to execute."));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        emit statusMessage(tr("Error: File \"%1\" does not exist.").arg(path));
        return;
    }

    // The state is set before the start, so that a run that ends at once finds it.
    connect(tab, &ConnectedReaderTab::readerScriptExecutionFinished, this,
            &ControlPanelScripts::scriptExecutionFinished, Qt::UniqueConnection);
    m_runningReaderName = tab->readerName();
    tab->setScriptRunning(true);
    pressed->setIcon(m_stopIcon);
    emit tab->startReaderScriptMode(tab->readerName(), path);
}

void ControlPanelScripts::openScript()
{
    const QString path = m_scriptList->currentData().toString();
    if (path.isEmpty()) {
        emit statusMessage(tr("Error: There is not script file to open."));
        return;
    }
    if (TextEditor::open(path))
        emit statusMessage(tr("File \"%1\" has been opened.").arg(path));
    else
        emit statusMessage(tr("Error: Could not open file \"%1\".").arg(path));
}

void ControlPanelScripts::browseToScripts()
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(ProjectPaths::scriptsPath())))
        emit statusMessage(tr("Error: Could not open script folder."));
}

void ControlPanelScripts::unLoadScript()
{
    const int index = m_scriptList->currentIndex();
    if (index < 0) {
        emit statusMessage(tr("Error: There is no file to unload."));
        return;
    }
    const QString path = m_scriptList->itemData(index).toString();
    m_scriptList->removeItem(index);
    emit statusMessage(tr("File \"%1\" has been unloaded.").arg(path));
}

void ControlPanelScripts::emptyScriptList()
{
    if (m_scriptList->count() == 0) {
        emit statusMessage(tr("Error: There is no file to unload."));
        return;
    }
    while (m_scriptList->count() > 0) {
        const QString path = m_scriptList->itemData(0).toString();
        m_scriptList->removeItem(0);
        emit statusMessage(tr("File \"%1\" has been unloaded.").arg(path));
    }
}

void ControlPanelScripts::setPreferedScript(QAction *my_action)
{
    if (!my_action || !my_action->text().contains(QStringLiteral("Set in prefered scirpt")))
        return;
    const int index = my_action->data().toInt();
    const QString path = m_scriptList->currentData().toString();
    if (index < 0 || index >= preferredButtonCount || !QFileInfo(path).isFile() ||
        isClockScript(path))
        return;
    QStringList lines = preferredLines().value_or(QStringList());
    while (lines.size() <= index)
        lines << QString();
    lines[index] = path;
    writePreferredLines(lines);
    RefreshPreferedScriptBtn();
}

void ControlPanelScripts::removeLastPrefered()
{
    std::optional<QStringList> lines = preferredLines();
    if (!lines)
        return;
    while (!lines->isEmpty() && lines->last().isEmpty())
        lines->removeLast();
    if (lines->isEmpty())
        return;
    lines->removeLast();
    writePreferredLines(*lines);
    RefreshPreferedScriptBtn();
}

void ControlPanelScripts::RefreshPreferedScriptBtn()
{
    const std::optional<QStringList> lines = preferredLines();
    QStringList kept;
    for (const QString &line : lines.value_or(QStringList())) {
        if (QFileInfo(line).isFile())
            kept << line;
    }
    for (int index = 0; index < preferredButtonCount; ++index) {
        QPushButton *button = m_preferredButtons.at(index);
        if (index >= kept.size()) {
            button->hide();
            continue;
        }
        QString name = ScriptName::read(kept.at(index));
        if (name.isEmpty())
            name = QFileInfo(kept.at(index)).fileName();
        button->setText(fittedText(name, button->fontMetrics()));
        button->setToolTip(name);
        button->show();
    }
    if (lines && kept != *lines)
        writePreferredLines(kept);
}

QPushButton *ControlPanelScripts::buttonOfIndex(int btn_index) const
{
    if (btn_index == preferredButtonCount)
        return m_runButton;
    return btn_index >= 0 && btn_index < preferredButtonCount ? m_preferredButtons.at(btn_index)
                                                              : nullptr;
}

void ControlPanelScripts::setAllButtonsIdle()
{
    m_runButton->setIcon(m_runIcon);
    for (QPushButton *button : qAsConst(m_preferredButtons))
        button->setIcon(m_runIcon);
}
