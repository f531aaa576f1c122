#include "LineEditAutoComplete.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStringListModel>
#include <QTextStream>

#include <algorithm>

namespace {

// The longest command a reader frame carries, in hexadecimal characters.
constexpr int maxPastedLength = 480;

void setMode(QCompleter *completer, QCompleter::CompletionMode mode)
{
    if (completer)
        completer->setCompletionMode(mode);
}

bool isEnter(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

LineEditAutoComplete::LineEditAutoComplete(QWidget *parent, const QString &completionFilePath)
    : QLineEdit(parent)
    , m_completionFilePath(completionFilePath)
{
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^[a-fA-F0-9 ]+$")), this));
}

void LineEditAutoComplete::setCompleter(QCompleter *completer)
{
    if (m_completer && m_completer != completer)
        disconnect(m_completer, nullptr, this, nullptr);
    m_completer = completer;
    setMode(m_completer, QCompleter::UnfilteredPopupCompletion);
    QLineEdit::setCompleter(m_completer);
}

void LineEditAutoComplete::reloadCompletionList()
{
    if (!m_completer)
        return;
    QStringList entries = readEntries().value_or(QStringList());
    // The file grows at its end; the pop-up shows the latest command first.
    std::reverse(entries.begin(), entries.end());
    // Parented to the completer, which deletes the model of its own it replaces.
    m_completer->setModel(new QStringListModel(entries, m_completer));
}

std::optional<QStringList> LineEditAutoComplete::readEntries() const
{
    QFile file(m_completionFilePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStringList entries;
    QTextStream stream(&file);
    while (!stream.atEnd())
        entries << stream.readLine().trimmed();
    QApplication::restoreOverrideCursor();
    return entries;
}

void LineEditAutoComplete::addCurrentCommand()
{
    const QString command = text().trimmed();
    // A blank command is refused by the tab; remembering it would only clutter the pop-up.
    if (command.isEmpty())
        return;
    const std::optional<QStringList> entries = readEntries();
    if (entries && entries->contains(command))
        return;
    QFile file(m_completionFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(command.toUtf8() + '\n');
    file.close();
    reloadCompletionList();
}

void LineEditAutoComplete::removeCurrentCommand()
{
    const std::optional<QStringList> entries = readEntries();
    if (!entries)
        return;
    const QString command = text().trimmed();
    QByteArray kept;
    for (const QString &entry : *entries) {
        if (entry != command)
            kept += entry.toUtf8() + '\n';
    }
    QFile file(m_completionFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(kept);
    file.close();
    clear();
    reloadCompletionList();
}

bool LineEditAutoComplete::popupVisible() const
{
    return m_completer && m_completer->popup()->isVisible();
}

bool LineEditAutoComplete::popupHasSelection() const
{
    const QAbstractItemView *popup = m_completer->popup();
    return (popup->selectionModel() && popup->selectionModel()->hasSelection()) ||
           popup->currentIndex().isValid();
}

void LineEditAutoComplete::pasteClipboard()
{
    static const QRegularExpression notHexOrLineEnd(QStringLiteral("[^a-fA-F0-9\\n]"));
    if (hasSelectedText())
        del();
    QString pasted = QApplication::clipboard()->text();
    pasted.remove(notHexOrLineEnd);
    for (const QChar character : qAsConst(pasted)) {
        if (character == QLatin1Char('\n')) {
            if (text().isEmpty())
                continue;
            addCurrentCommand();
            emit keyPressEnteredSignal();
            // Whatever the tab left in the entry stays behind the next pasted line.
            setCursorPosition(0);
        } else if (text().size() < maxPastedLength) {
            insert(QString(character));
        }
    }
}

void LineEditAutoComplete::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        // A held Ctrl+V would send the clipboard's commands again and again.
        if (!event->isAutoRepeat())
            pasteClipboard();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Undo)) {
        undo();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Redo)) {
        redo();
        event->accept();
        return;
    }
    if (text().isEmpty()) {
        setMode(m_completer, QCompleter::UnfilteredPopupCompletion);
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (popupVisible()) {
        switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Ignored keys come back to the completer's pop-up filter, which acts on them.
            event->ignore();
            return;
        case Qt::Key_Delete:
            if (popupHasSelection()) {
                removeCurrentCommand();
                event->accept();
                return;
            }
            break;
        default:
            break;
        }
    } else if (isEnter(event) && !event->isAutoRepeat()) {
        addCurrentCommand();
        emit keyPressEnteredSignal();
        event->accept();
        return;
    }
    setMode(m_completer, QCompleter::PopupCompletion);
    QLineEdit::keyPressEvent(event);
}

void LineEditAutoComplete::mousePressEvent(QMouseEvent *event)
{
    QLineEdit::mousePressEvent(event);
    if (m_completer && !m_completer->popup()->isVisible() && text().isEmpty()) {
        m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
        m_completer->complete();
    }
}
