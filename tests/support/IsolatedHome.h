#pragma once

#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

// Points HOME and the XDG folders at a fresh temporary folder before Qt reads them,
// so that a test never touches the user's settings or files.
class IsolatedHome
{
public:
    IsolatedHome();

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// QTEST_MAIN with an isolated home and the offscreen platform.
#define OVS_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        IsolatedHome isolatedHome;                                                                 \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication application(argc, argv);                                                      \
        TestObject testObject;                                                                     \
        return QTest::qExec(&testObject, argc, argv);                                              \
    }
