#include "app/OVSViewer.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    OVSViewer window;
    window.show();
    return application.exec();
}
