#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the desktop: receives the files that the workbench asks it to open.
// Install with QDesktopServices::setUrlHandler("file", &openedFiles, "openUrl").
class OpenedFiles : public QObject
{
    Q_OBJECT

public:
    QStringList paths;

public slots:
    void openUrl(const QUrl &url) { paths << url.toLocalFile(); }
};
