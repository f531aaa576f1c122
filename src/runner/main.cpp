#include "runner/RunProgram.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    return RunProgram::exec(QCoreApplication::arguments());
}
