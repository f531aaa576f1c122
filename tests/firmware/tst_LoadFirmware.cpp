#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "SrecordText.h"
#include "TableRow.h"
#include "firmware/LoadFirmware.h"
#include "project/ProjectPaths.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QtTest>

// The firmware panel over files in the project's firmware folder, and its option boxes.
class tst_LoadFirmware : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_project = std::make_unique<ProjectFolder>(); }
    void cleanup() { m_project.reset(); }
    void choosingAFile_data();
    void choosingAFile();
    void saveOptions_data();
    void saveOptions();

private:
    std::unique_ptr<ProjectFolder> m_project;
    QWidget m_host;
    LoadFirmware *m_panel = new LoadFirmware(&m_host);
};

void tst_LoadFirmware::choosingAFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents"); // empty: the file is not there
    QTest::addColumn<QString>("message");
    const QByteArray good = srecordFile(QByteArray(3200, 'x'));
    QByteArray badSum = QByteArray(good).replace("7878787878", "7878787879");
    addRow("crlf", QString("a.srec"), good, "Firmware file \"a.srec\" has been selected.");
    addRow("lf", QString("b.srec"), QByteArray(good).replace("\r", ""),
           "Firmware file \"b.srec\" has been selected.");
    addRow("checksum", QString("c.srec"), badSum, "Error: Invalid firmware data \"c.srec\".");
    addRow("five fields", QString("d.srec"), srecordFile("x", "0A01-00010203-0123456789ABCDEF-P-S"),
           "Error: Invalid firmware header \"d.srec\".");
    addRow("missing", QString("e.srec"), QByteArray(),
           "Error: Could not open firmware file \"e.srec\".");
    addRow("none chosen", QString(), QByteArray(), "Error: Please select existing file.");
}

void tst_LoadFirmware::choosingAFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    QSignalSpy messages(m_panel, &LoadFirmware::statusMessage);
    // A file held before is dropped whatever comes next.
    const QByteArray held = srecordFile("y", "0B02-00000001-FEDCBA9876543210-Old-ABCDEF0400-1");
    for (auto [file, text] : {std::pair(QString("held.srec"), held), std::pair(name, contents)}) {
        const QString path = file.isEmpty() ? file : ProjectPaths::firmwarePath() + "/" + file;
        QFile srec(path);
        QVERIFY(text.isEmpty() || (QDir().mkpath(ProjectPaths::firmwarePath()) &&
                                   srec.open(QIODevice::WriteOnly) && srec.write(text) > 0));
        srec.close();
        m_panel->chooseFile = [path] { return path; };
        m_panel->disableCheckBox()->setChecked(true);
        m_panel->loadFwBtnClicked();
    }
    QCOMPARE(messages.last().at(0).toString(), message);
    QVERIFY(!m_panel->disableCheckBox()->isChecked());
    const bool ok = !message.startsWith("Error");
    QCOMPARE(m_panel->firmwareBytes(), ok ? contents : QByteArray());
    QCOMPARE(
        (m_panel->selectedFirmware() + m_panel->selectedDetails() << m_panel->password()).join(','),
        ok ? "0A01,00010203,0322,3,Bench,ABCDEF0322,0,0123456789ABCDEF" : ",,,,,,,");
}

// Each row: the situation, the installed firmware number (stack version 0300), the answer to
// "Distant stack version?", and the boxes then shown (checked but the last), "advised" when
// "Update Reader" was shown.
void tst_LoadFirmware::saveOptions_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<QString>("shown");
    const QString full = "Appli param save,LRWAN param save,";
    addRow("local", 0, QString("0A01"), false, full + "Disable firmware number check");
    addRow("local, old stack", 0, QString("0002"), false, "Allow downgrade,");
    addRow("upload", 1, QString("0A01"), false, "Disable firmware number check");
    addRow("clone, yes", 3, QString("0A01"), true, full + "Disable firmware number check");
    addRow("clone, no", 3, QString("0A01"), false, "Allow downgrade,");
    addRow("push, yes", 2, QString("0A01"), true, full);
    addRow("push, yes, old stack", 2, QString("0002"), true, "Appli param save,advised");
    addRow("unknown", 7, QString("0A01"), true, "");
}

void tst_LoadFirmware::saveOptions()
{
    QFETCH(int, code);
    QFETCH(QString, installed);
    QFETCH(bool, answerYes);
    int asked = 0;
    QString shown;
    m_panel->askDistantStackVersion = [&] { return ++asked, answerYes; };
    m_panel->adviseReaderUpdate = [&] { shown += "advised"; };
    m_panel->setInstalledFirmware(installed, "00000001", "0300");
    m_panel->disableCheckBox()->setChecked(true);
    m_panel->setupSaveOptions(code);
    QCOMPARE(asked, code >= 2 && code <= 4 ? 1 : 0);
    const QList<QCheckBox *> boxes = {m_panel->firstOptionBox(), m_panel->lrwanOptionBox(),
                                      m_panel->disableCheckBox()};
    QString boxesShown;
    for (QCheckBox *box : boxes) {
        QCOMPARE(box->isChecked(), !box->isHidden() && box != boxes.last());
        boxesShown += box->isHidden() ? "" : box->text() + (box != boxes.last() ? "," : "");
    }
    QTEST(boxesShown + shown, "shown");
}

OVS_TEST_MAIN(tst_LoadFirmware)
#include "tst_LoadFirmware.moc"
