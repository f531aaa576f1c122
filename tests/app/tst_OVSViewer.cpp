#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "app/OVSViewer.h"
#include "patterns/ControlPanelPackets.h"
#include "project/ControlPanelTracePath.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_OVSViewer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void statusMessage_data();
    void statusMessage();
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
    setStartProject(m_projectsFolder->path() + QStringLiteral("/project"));
}

void tst_OVSViewer::statusMessage_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("color");
    QTest::newRow("success") << "Reader \"A\" connected."
                             << "#008000";
    QTest::newRow("failure, placeholders kept") << "Error: %1 %2"
                                                << "#ff0000";
}

// The latest message alone, stamped and coloured, exactly as it was given.
void tst_OVSViewer::statusMessage()
{
    QFETCH(QString, message);
    OVSViewer window;
    auto *label = window.findChild<QLabel *>(QStringLiteral("statusLabel"));
    QVERIFY(label);
    for (const QString &shown : {QStringLiteral("Error: earlier"), message})
        QVERIFY(QMetaObject::invokeMethod(&window, "setStatusMessage", Q_ARG(QString, shown)));

    const QRegularExpression shape(
        QStringLiteral("^<font color='(#[0-9a-f]{6})'>(\\d\\d:\\d\\d:\\d\\d\\.\\d): (.*)</font>$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = shape.match(label->text());
    QVERIFY2(match.hasMatch(), qPrintable(label->text()));
    QTEST(match.captured(1), "color");
    QCOMPARE(match.captured(3), message);
    const QTime stamp = QTime::fromString(match.captured(2), QStringLiteral("HH:mm:ss.z"));
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.msecsTo(QTime::currentTime())) < 60 * 1000);
}

void tst_OVSViewer::projectSurvivesRestart()
{
    const QString chosen = m_projectsFolder->path() + QStringLiteral("/chosen project");
    {
        OVSViewer window;
        window.projectPanel()->setProjectPath(chosen);
    }
    OVSViewer restarted;
    QCOMPARE(ControlPanelTracePath::projectPath(), chosen);
    QCOMPARE(restarted.projectPanel()->pathLabel()->text(), chosen);
}

void tst_OVSViewer::packetsPanelFollowsTheProject()
{
    OVSViewer window;
    ControlPanelPackets *packets = window.packetsPanel();
    QVERIFY(packets->rules().isEmpty());
    const QString next = m_projectsFolder->path() + QStringLiteral("/with rules");
    QVERIFY(QDir().mkpath(next));
    QFile rules(next + QStringLiteral("/frame_recognize_pattern.txt"));
    QVERIFY(rules.open(QIODevice::WriteOnly));
    rules.write("Hello;STXT;0102\nBye;STXT;0304\n");
    rules.close();
    window.projectPanel()->setProjectPath(next);
    QCOMPARE(packets->rules().size(), 2);
    QCOMPARE(packets->patternFile(), rules.fileName());
}

OVS_TEST_MAIN(tst_OVSViewer)
#include "tst_OVSViewer.moc"
