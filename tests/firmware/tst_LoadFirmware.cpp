#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "SrecordText.h"
#include "TableRow.h"
#include "firmware/LoadFirmware.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The firmware panel over files in the project's firmware folder, and its option boxes.
class tst_LoadFirmware : public QObject
{
    Q_OBJECT

private slots:
    void choosingAFile_data();
    void choosingAFile();
    void saveOptions_data();
    void saveOptions();

private:
    ProjectFolder m_project;
    QWidget m_host;
    LoadFirmware *m_panel = new LoadFirmware(&m_host);
};

void tst_LoadFirmware::choosingAFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    const QByteArray good = srecordFile(QByteArray(3200, 'x'));
    const QString selected = "Firmware file \"%1\" has been selected.";
    addRow("crlf", firmwareFile("a.srec", good), selected.arg("a.srec"));
    addRow("lf", firmwareFile("b.srec", QByteArray(good).replace("\r", "")),
           selected.arg("b.srec"));
    addRow("checksum", firmwareFile("c.srec", QByteArray(good).replace("78787878", "78787879")),
           "Error: Invalid firmware data \"c.srec\".");
    addRow("five fields",
           firmwareFile("d.srec", srecordFile("x", "0A01-00010203-0123456789ABCDEF-P")),
           "Error: Invalid firmware header \"d.srec\".");
    addRow("missing", firmwareFile("e.srec"), "Error: Could not open firmware file \"e.srec\".");
    QByteArray binary;
    for (int i = 0; i < 100000; ++i)
        binary += char(i * 7 % 251);
    addRow("binary", firmwareFile("g.bin", binary), "Error: Invalid firmware data \"g.bin\".");
    // Every record valid: only its size refuses it.
    const QByteArray record = srecord("S3", QByteArray(4 + 32, 'z'));
    addRow("50 MB", firmwareFile("h.srec", good + record.repeated(50000000 / record.size())),
           "Error: Invalid firmware data \"h.srec\".");
    addRow("none chosen", QString(), "Error: Please select existing file.");
}

void tst_LoadFirmware::choosingAFile()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    // A file held before is dropped whatever comes next.
    const QString held =
        firmwareFile("held.srec", srecordFile("y", "0B02-00000001-FEDCBA9876543210-O-S-1"));
    QSignalSpy messages(m_panel, &LoadFirmware::statusMessage);
    for (const QString &chosen : {held, path}) {
        m_panel->chooseFile = [chosen] { return chosen; };
        m_panel->disableCheckBox()->setChecked(true);
        const int before = messages.count();
        m_panel->loadFwBtnClicked();
        QVERIFY(!m_panel->selectButton()->isEnabled());
        QTRY_COMPARE(messages.count(), before + 1);
        QVERIFY(m_panel->selectButton()->isEnabled());
    }
    QCOMPARE(messages.last().at(0).toString(), message);
    QVERIFY(!m_panel->disableCheckBox()->isChecked());
    const bool ok = !message.startsWith("Error");
    QCOMPARE(m_panel->firmwareBytes().size(), ok ? QFileInfo(path).size() : 0);
    QCOMPARE(
        (m_panel->selectedFirmware() + m_panel->selectedDetails() << m_panel->password()).join(','),
        ok ? "0A01,00010203,0322,3,Bench,ABCDEF0322,0,0123456789ABCDEF" : ",,,,,,,");
}

// Each row: the situation, the installed firmware number (stack version 0300), the answer to
// "Distant stack version?", and the first box shown ("-": none), then L for "LRWAN param save"
// and D for "Disable firmware number check" shown, ! when "Update Reader" was shown.
void tst_LoadFirmware::saveOptions_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<QString>("shown");
    addRow("local", 0, QString("0A01"), false, "Appli param save LD");
    addRow("local, old stack", 0, QString("0002"), false, "Allow downgrade ");
    addRow("upload", 1, QString("0A01"), false, "- D");
    addRow("clone, no", 3, QString("0A01"), false, "Allow downgrade ");
    addRow("push, yes", 2, QString("0A01"), true, "Appli param save L");
    addRow("push, yes, old stack", 2, QString("0002"), true, "Appli param save !");
}

void tst_LoadFirmware::saveOptions()
{
    QFETCH(int, code);
    QFETCH(QString, installed);
    QFETCH(bool, answerYes);
    QString advised;
    m_panel->askDistantStackVersion = [&] { return answerYes; };
    m_panel->adviseReaderUpdate = [&] { advised = "!"; };
    m_panel->setInstalledFirmware(installed, "00000001", "0300");
    m_panel->disableCheckBox()->setChecked(true);
    m_panel->setupSaveOptions(code);
    QCheckBox *first = m_panel->firstOptionBox(), *lrwan = m_panel->lrwanOptionBox();
    QCOMPARE(first->isChecked(), !first->isHidden());
    QCOMPARE(lrwan->isChecked(), !lrwan->isHidden());
    QVERIFY(!m_panel->disableCheckBox()->isChecked());
    QTEST(QString(first->isHidden() ? "-" : first->text()) + " " + (lrwan->isHidden() ? "" : "L") +
              (m_panel->disableCheckBox()->isHidden() ? "" : "D") + advised,
          "shown");
}

OVS_TEST_MAIN(tst_LoadFirmware)
#include "tst_LoadFirmware.moc"
