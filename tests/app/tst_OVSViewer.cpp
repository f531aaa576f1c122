#include "IsolatedHome.h"
#include "app/OVSViewer.h"
#include "patterns/ControlPanelPackets.h"
#include "project/ControlPanelTracePath.h"

#include <QDockWidget>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QLabel *statusLabelOf(const OVSViewer &window)
{
    return window.findChild<QLabel *>(QStringLiteral("statusLabel"));
}

QDockWidget *dockOf(const OVSViewer &window, const char *name)
{
    return window.findChild<QDockWidget *>(QString::fromLatin1(name));
}

void showStatus(OVSViewer &window, const QString &message)
{
    QVERIFY(QMetaObject::invokeMethod(&window, "setStatusMessage", Q_ARG(QString, message)));
}

} // namespace

class tst_OVSViewer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void windowForm();
    void palette_data();
    void palette();
    void controlPanelDock();
    void statusDock();
    void resizeControlPannel_data();
    void resizeControlPannel();
    void statusMessage_data();
    void statusMessage();
    void onlyLatestMessageShown();
    void selectedTabIsRemembered_data();
    void selectedTabIsRemembered();
    void projectSurvivesRestart();
    void packetsPanelFollowsTheProject();

private:
    std::unique_ptr<QTemporaryDir> m_projectsFolder;
};

void tst_OVSViewer::init()
{
    // Every window starts from a project of its own, as a first run would.
    m_projectsFolder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_projectsFolder->isValid());
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
                       QStringLiteral("tesselViewer"));
    settings.setValue(QStringLiteral("startProjectPath"),
                      m_projectsFolder->path() + QStringLiteral("/project"));
}

void tst_OVSViewer::windowForm()
{
    OVSViewer window;
    QCOMPARE(window.objectName(), QStringLiteral("TesselViewer"));
    QCOMPARE(window.windowTitle(), QStringLiteral("OVS-Viewer"));
    QCOMPARE(window.size(), QSize(1010, 681));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.testAttribute(Qt::WA_AlwaysShowToolTips));
    QCOMPARE(window.tabPosition(Qt::RightDockWidgetArea), QTabWidget::North);
    QCOMPARE(window.dockOptions(), QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                                       QMainWindow::AllowTabbedDocks |
                                       QMainWindow::ForceTabbedDocks);

    QWidget *central = window.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->maximumWidth(), 3);
    auto *grid = qobject_cast<QGridLayout *>(central->layout());
    QVERIFY(grid);
    QCOMPARE(grid->spacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));
}

void tst_OVSViewer::palette_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("role");
    QTest::addColumn<QColor>("color");

    const QColor teal(152, 217, 211);
    const QColor dark(76, 108, 105);
    QTest::newRow("window") << int(QPalette::Active) << int(QPalette::Window) << teal;
    QTest::newRow("button disabled") << int(QPalette::Disabled) << int(QPalette::Button) << teal;
    QTest::newRow("light") << int(QPalette::Inactive) << int(QPalette::Light)
                           << QColor(250, 255, 255);
    QTest::newRow("midlight") << int(QPalette::Active) << int(QPalette::Midlight)
                              << QColor(201, 236, 233);
    QTest::newRow("dark") << int(QPalette::Disabled) << int(QPalette::Dark) << dark;
    QTest::newRow("mid") << int(QPalette::Active) << int(QPalette::Mid) << QColor(101, 145, 141);
    QTest::newRow("text") << int(QPalette::Active) << int(QPalette::Text) << QColor(Qt::black);
    QTest::newRow("text disabled") << int(QPalette::Disabled) << int(QPalette::Text) << dark;
    QTest::newRow("button text disabled")
        << int(QPalette::Disabled) << int(QPalette::ButtonText) << dark;
    QTest::newRow("window text inactive")
        << int(QPalette::Inactive) << int(QPalette::WindowText) << QColor(Qt::black);
    QTest::newRow("base") << int(QPalette::Active) << int(QPalette::Base) << QColor(Qt::white);
    QTest::newRow("base disabled") << int(QPalette::Disabled) << int(QPalette::Base) << teal;
    QTest::newRow("bright text disabled")
        << int(QPalette::Disabled) << int(QPalette::BrightText) << QColor(Qt::white);
    QTest::newRow("shadow") << int(QPalette::Disabled) << int(QPalette::Shadow)
                            << QColor(Qt::black);
    QTest::newRow("alternate base")
        << int(QPalette::Active) << int(QPalette::AlternateBase) << QColor(203, 236, 233);
    QTest::newRow("alternate base disabled")
        << int(QPalette::Disabled) << int(QPalette::AlternateBase) << teal;
    QTest::newRow("tool tip") << int(QPalette::Inactive) << int(QPalette::ToolTipBase)
                              << QColor(255, 255, 220);
    QTest::newRow("tool tip text")
        << int(QPalette::Active) << int(QPalette::ToolTipText) << QColor(Qt::black);
}

void tst_OVSViewer::palette()
{
    QFETCH(int, group);
    QFETCH(int, role);
    QFETCH(QColor, color);
    OVSViewer window;
    QCOMPARE(window.palette().color(QPalette::ColorGroup(group), QPalette::ColorRole(role)), color);
}

void tst_OVSViewer::controlPanelDock()
{
    OVSViewer window;
    QDockWidget *dock = dockOf(window, "controlPanelDock");
    QVERIFY(dock);
    QCOMPARE(dock->windowTitle(), QStringLiteral("Control Panel"));
    QCOMPARE(window.dockWidgetArea(dock), Qt::LeftDockWidgetArea);
    QCOMPARE(dock->allowedAreas(), Qt::LeftDockWidgetArea);
    QCOMPARE(dock->features(), QDockWidget::DockWidgetFloatable);
    QVERIFY(!dock->isFloating());
    QCOMPARE(dock->minimumSize(), QSize(226, 651));
    QCOMPARE(dock->maximumSize(), QSize(226, 524287));
    // The project section comes first in the panel.
    QVERIFY(window.projectPanel());
    QCOMPARE(window.projectPanel()->browseButton()->window(), &window);
}

void tst_OVSViewer::statusDock()
{
    OVSViewer window;
    QDockWidget *dock = dockOf(window, "statusDock");
    QVERIFY(dock);
    QCOMPARE(dock->windowTitle(), QStringLiteral("Status"));
    QCOMPARE(window.dockWidgetArea(dock), Qt::BottomDockWidgetArea);
    QCOMPARE(dock->allowedAreas(), Qt::BottomDockWidgetArea);
    QCOMPARE(dock->features(), QDockWidget::NoDockWidgetFeatures);
    QCOMPARE(dock->minimumHeight(), 50);
    QCOMPARE(dock->maximumHeight(), 50);
    QLabel *label = statusLabelOf(window);
    QCOMPARE(dock->widget(), label);
    QCOMPARE(label->indent(), 5);
    QCOMPARE(label->font().pointSize(), 12);
}

void tst_OVSViewer::resizeControlPannel_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("width");

    QTest::newRow("narrow section keeps the minimum") << 150 << 226;
    QTest::newRow("wide section adds the margin") << 300 << 320;
    QTest::newRow("just below the minimum") << 205 << 226;
    QTest::newRow("exactly the minimum") << 206 << 226;
    QTest::newRow("just above the minimum") << 207 << 227;
    QTest::newRow("zero") << 0 << 226;
    QTest::newRow("negative") << -40 << 226;
}

void tst_OVSViewer::resizeControlPannel()
{
    QFETCH(int, requested);
    QFETCH(int, width);
    OVSViewer window;
    QVERIFY(QMetaObject::invokeMethod(&window, "resizeControlPannel", Q_ARG(int, requested)));
    QDockWidget *dock = dockOf(window, "controlPanelDock");
    QCOMPARE(dock->minimumWidth(), width);
    QCOMPARE(dock->maximumWidth(), width);
}

void tst_OVSViewer::statusMessage_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("color");

    QTest::newRow("success") << "Reader \"A\" connected successfully."
                             << "#008000";
    QTest::newRow("failure") << "Error: Reader \"A\" is not connected."
                             << "#ff0000";
    QTest::newRow("lower-case error is not a failure") << "error: odd but fine"
                                                       << "#008000";
    QTest::newRow("placeholder in the text stays") << "Error: %1 %2"
                                                   << "#ff0000";
}

void tst_OVSViewer::statusMessage()
{
    QFETCH(QString, message);
    QFETCH(QString, color);
    OVSViewer window;
    showStatus(window, message);

    const QRegularExpression shape(
        QStringLiteral("^<font color='(#[0-9a-f]{6})'>(\\d\\d:\\d\\d:\\d\\d\\.\\d): (.*)</font>$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = shape.match(statusLabelOf(window)->text());
    QVERIFY2(match.hasMatch(), qPrintable(statusLabelOf(window)->text()));
    QCOMPARE(match.captured(1), color);
    QCOMPARE(match.captured(3), message);
    const QTime stamp = QTime::fromString(match.captured(2), QStringLiteral("HH:mm:ss.z"));
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.msecsTo(QTime::currentTime())) < 60 * 1000);
}

void tst_OVSViewer::onlyLatestMessageShown()
{
    OVSViewer window;
    showStatus(window, QStringLiteral("Error: first"));
    showStatus(window, QStringLiteral("second"));
    const QString text = statusLabelOf(window)->text();
    QVERIFY(text.contains(QStringLiteral(": second</font>")));
    QVERIFY(!text.contains(QStringLiteral("first")));
    QVERIFY(text.startsWith(QStringLiteral("<font color='#008000'>")));
}

void tst_OVSViewer::selectedTabIsRemembered_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("complains");

    QTest::newRow("readers") << 0 << false;
    QTest::newRow("all readers") << 1 << false;
    QTest::newRow("firmware") << 2 << false;
    QTest::newRow("reader") << 3 << false;
    QTest::newRow("unknown") << 4 << true;
    QTest::newRow("negative") << -1 << true;
}

void tst_OVSViewer::selectedTabIsRemembered()
{
    QFETCH(int, type);
    QFETCH(bool, complains);
    OVSViewer window;
    QDockWidget dock;
    QVERIFY(QMetaObject::invokeMethod(&window, "setCurrentSelectedTab", Q_ARG(QDockWidget *, &dock),
                                      Q_ARG(DockedTabTypes, DockedTabTypes(type))));
    QCOMPARE(window.currentDock(), &dock);
    QCOMPARE(int(window.currentDockType()), type);
    QCOMPARE(statusLabelOf(window)->text().contains(QStringLiteral("Could not set log file name.")),
             complains);
}

void tst_OVSViewer::projectSurvivesRestart()
{
    const QString chosen = m_projectsFolder->path() + QStringLiteral("/chosen project");
    {
        OVSViewer window;
        window.projectPanel()->setProjectPath(chosen);
    }
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovraDiroz"),
                           QStringLiteral("tesselViewer"));
        QCOMPARE(settings.value(QStringLiteral("startProjectPath")).toString(), chosen);
        QVERIFY(settings.fileName().startsWith(QDir::homePath()));
    }
    OVSViewer restarted;
    QCOMPARE(ControlPanelTracePath::projectPath(), chosen);
    QCOMPARE(restarted.projectPanel()->pathLabel()->text(), chosen);
}

void tst_OVSViewer::packetsPanelFollowsTheProject()
{
    OVSViewer window;
    ControlPanelPackets *packets = window.packetsPanel();
    QVERIFY(packets);
    QVERIFY(packets->rules().isEmpty());
    const QString next = m_projectsFolder->path() + QStringLiteral("/with rules");
    QVERIFY(QDir().mkpath(next));
    QFile rules(next + QStringLiteral("/frame_recognize_pattern.txt"));
    QVERIFY(rules.open(QIODevice::WriteOnly));
    rules.write("Hello;STXT;0102\nBye;STXT;0304\n");
    rules.close();
    window.projectPanel()->setProjectPath(next);
    QCOMPARE(packets->rules().size(), 2);
    QCOMPARE(packets->patternFile(), next + QStringLiteral("/frame_recognize_pattern.txt"));
}

OVS_TEST_MAIN(tst_OVSViewer)
#include "tst_OVSViewer.moc"
