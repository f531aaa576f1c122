#pragma once

#include <QGuiApplication>
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
#define OVS_TEST_MAIN_WITH(Application, TestObject)                                                \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        IsolatedHome isolatedHome;                                                                 \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        Application application(argc, argv);                                                       \
        TestObject testObject;                                                                     \
        return QTest::qExec(&testObject, argc, argv);                                              \
    }

// For the classes of the core, which run without widgets.
#define OVS_CORE_TEST_MAIN(TestObject) OVS_TEST_MAIN_WITH(QGuiApplication, TestObject)

#ifdef QT_WIDGETS_LIB
#include <QApplication>
#define OVS_TEST_MAIN(TestObject) OVS_TEST_MAIN_WITH(QApplication, TestObject)
#endif
