#include "TextEditor.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QProcess>
#include <QStringList>
#else
#include <QDesktopServices>
#include <QUrl>
#endif

void TextEditor::open(const QString &filePath)
{
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("C:\\Windows\\System32\\notepad.exe"),
                            QStringList{filePath});
#else
    QDesktopServices::openUrl(QUrl::fromLocalFile(filePath));
#endif
}
