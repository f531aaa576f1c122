#include "TextEditor.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QProcess>
#include <QStringList>
#else
#include <QDesktopServices>
#include <QUrl>
#endif

bool TextEditor::open(const QString &filePath)
{
#ifdef Q_OS_WIN
    return QProcess::startDetached(QStringLiteral("C:\\Windows\\System32\\notepad.exe"),
                            QStringList{filePath});
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(filePath));
#endif
}
