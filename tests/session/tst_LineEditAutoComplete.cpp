#include "IsolatedHome.h"
#include "ProjectFolder.h"
#include "project/ControlPanelTracePath.h"
#include "session/LineEditAutoComplete.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QFile>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QStringListModel>
#include <QtTest>

#include <memory>

namespace {

const QByteArray missing("<missing>");

} // namespace

class tst_LineEditAutoComplete : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void storing_data();
    void storing();
    void deleteFromPopup();
    void paste_data();
    void paste();

private:
    // Writes the completion file, or removes it for `missing`.
    void writeFile(const QByteArray &content);
    QByteArray fileContent() const;
    QStringList modelEntries() const;

    std::unique_ptr<ProjectFolder> m_project;
    std::unique_ptr<QWidget> m_tab;
    LineEditAutoComplete *m_edit = nullptr;
    QCompleter *m_completer = nullptr;
    QString m_path;
};

void tst_LineEditAutoComplete::init()
{
    m_project = std::make_unique<ProjectFolder>();
    m_path = ControlPanelTracePath::commandCompletionPath();
    // Stands in for the reader tab, which owns both the entry and its completer.
    m_tab = std::make_unique<QWidget>();
    m_edit = new LineEditAutoComplete(m_tab.get(), m_path);
    m_completer = new QCompleter(m_tab.get());
    m_edit->setCompleter(m_completer);
}

void tst_LineEditAutoComplete::cleanup()
{
    m_tab.reset();
    m_project.reset();
}

void tst_LineEditAutoComplete::writeFile(const QByteArray &content)
{
    QFile file(m_path);
    if (content == missing) {
        QVERIFY(!file.exists() || file.remove());
        return;
    }
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray tst_LineEditAutoComplete::fileContent() const
{
    QFile file(m_path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : missing;
}

QStringList tst_LineEditAutoComplete::modelEntries() const
{
    const auto *model = qobject_cast<QStringListModel *>(m_completer->model());
    return model ? model->stringList() : QStringList{QStringLiteral("<no model>")};
}

void tst_LineEditAutoComplete::storing_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("popup");
    QTest::newRow("appended") << QByteArray("0A1B\n") << QStringList{"2C3D", "4E"}
                              << QByteArray("0A1B\n2C3D\n4E\n")
                              << QStringList{"4E", "2C3D", "0A1B"};
    QTest::newRow("case-sensitive") << QByteArray() << QStringList{"0a", "0A"}
                                    << QByteArray("0a\n0A\n") << QStringList{"0A", "0a"};
    QTest::newRow("trimmed before comparing") << QByteArray("0A\n") << QStringList{"0A", " 0A "}
                                              << QByteArray("0A\n") << QStringList{"0A"};
    QTest::newRow("trimmed when stored")
        << QByteArray() << QStringList{" 01 02 "} << QByteArray("01 02\n") << QStringList{"01 02"};
    QTest::newRow("blank not stored")
        << QByteArray() << QStringList{"   "} << QByteArray() << QStringList();
    QTest::newRow("file made anew")
        << missing << QStringList{"1B"} << QByteArray("1B\n") << QStringList{"1B"};
    QTest::newRow("read without final line end")
        << QByteArray("A\n  B  \n\nC") << QStringList() << QByteArray("A\n  B  \n\nC")
        << QStringList{"C", "", "B", "A"};
    QTest::newRow("read CR LF") << QByteArray("A\r\nB\r\n") << QStringList()
                                << QByteArray("A\r\nB\r\n") << QStringList{"B", "A"};
    QTest::newRow("read missing file") << missing << QStringList() << missing << QStringList();
}

// Return and keypad Enter both send and remember the command; a held key does not repeat it.
// The pop-up shows the file, latest command first.
void tst_LineEditAutoComplete::storing()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, commands);
    writeFile("Z\n");
    m_edit->reloadCompletionList();
    writeFile(before);
    m_edit->reloadCompletionList();
    QSignalSpy entered(m_edit, &LineEditAutoComplete::keyPressEnteredSignal);
    for (int i = 0; i < commands.size(); ++i) {
        m_edit->setText(commands.at(i));
        QTest::keyClick(m_edit, i % 2 ? Qt::Key_Enter : Qt::Key_Return,
                        i % 2 ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(m_edit->text(), commands.at(i));
    }
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
    QApplication::sendEvent(m_edit, &held);
    QCOMPARE(entered.count(), commands.size());
    QTEST(fileContent(), "after");
    QTEST(modelEntries(), "popup");
    QVERIFY(!QApplication::overrideCursor());
}

void tst_LineEditAutoComplete::deleteFromPopup()
{
    writeFile("0A\n1B\n2C\n");
    m_edit->reloadCompletionList();
    m_tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tab.get()));
    // A click into the empty entry opens the pop-up with every command.
    QTest::mouseClick(m_edit, Qt::LeftButton);
    QAbstractItemView *popup = m_completer->popup();
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(popup->model()->rowCount(), 3);

    // Return belongs to the pop-up while it is open: nothing is sent or stored.
    QSignalSpy entered(m_edit, &LineEditAutoComplete::keyPressEnteredSignal);
    m_edit->setText(QStringLiteral("3D"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_edit, &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(entered.count(), 0);

    popup->setCurrentIndex(popup->model()->index(1, 0));
    m_edit->setText(QStringLiteral("1B"));
    QTest::keyClick(m_edit, Qt::Key_Delete);
    QCOMPARE(fileContent(), QByteArray("0A\n2C\n"));
    QCOMPARE(m_edit->text(), QString());
    QCOMPARE(modelEntries(), (QStringList{"2C", "0A"}));
}

void tst_LineEditAutoComplete::paste_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("remaining");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("non-hex, blanks and CR dropped")
        << QString() << QString(" 0a-1B\r") << QString("0a1B") << QStringList();
    QTest::newRow("480 of 500 kept")
        << QString() << QString(500, 'F') << QString(480, 'F') << QStringList();
    QTest::newRow("limit counts what is there")
        << QString("00") << QString(500, 'F') << QString(478, 'F') + "00" << QStringList();
    QTest::newRow("lone line end") << QString() << QString("\n") << QString() << QStringList();
    // What the tab leaves in the entry stays behind the next line.
    QTest::newRow("lines sent") << QString() << QString("0A1B\n2C3D\n") << QString("2C3D0A1B")
                                << QStringList{"0A1B", "2C3D0A1B"};
}

// Each pasted line is sent and remembered as if typed and entered.
void tst_LineEditAutoComplete::paste()
{
    QFETCH(QString, initial);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, sent);
    QStringList seen;
    QByteArray fileAtFirstSend;
    connect(m_edit, &LineEditAutoComplete::keyPressEnteredSignal, this, [&] {
        seen << m_edit->text();
        if (seen.size() == 1)
            fileAtFirstSend = fileContent();
    });
    m_edit->setText(initial);
    m_edit->setCursorPosition(0);
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(m_edit, Qt::Key_V, Qt::ControlModifier);
    QTEST(m_edit->text(), "remaining");
    QCOMPARE(seen, sent);
    if (!sent.isEmpty()) {
        QCOMPARE(fileAtFirstSend, sent.first().toUtf8() + '\n');
        QCOMPARE(fileContent(), sent.join(QLatin1Char('\n')).toUtf8() + '\n');
    }

    // A selection is replaced by what is pasted.
    m_edit->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("AB"));
    QTest::keyClick(m_edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_edit->text(), QStringLiteral("AB"));
}

OVS_TEST_MAIN(tst_LineEditAutoComplete)
#include "tst_LineEditAutoComplete.moc"
