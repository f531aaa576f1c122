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
#include <QPointer>
#include <QSignalSpy>
#include <QStringListModel>
#include <QtTest>

#include <memory>

class tst_LineEditAutoComplete : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void validator_data();
    void validator();
    void enterStoresOnce();
    void storing_data();
    void storing();
    void reading_data();
    void reading();
    void missingFile();
    void deleteFromPopup();
    void paste_data();
    void paste();
    void pasteWithLineEnds_data();
    void pasteWithLineEnds();
    void mousePress_data();
    void mousePress();
    void setCompleterTwice();
    void withoutCompleter();

private:
    void writeFile(const QByteArray &content);
    QByteArray fileContent() const;
    QStringList modelEntries() const;
    void showEdit();

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
    QCOMPARE(m_path, m_project->path() + QStringLiteral("/completion_list_cmd.txt"));
    // Stands in for the reader tab, which owns both the entry and its completer.
    m_tab = std::make_unique<QWidget>();
    m_edit = new LineEditAutoComplete(m_tab.get(), m_path);
    QCOMPARE(m_edit->completionFilePath(), m_path);
    m_completer = new QCompleter(m_tab.get());
    m_edit->setCompleter(m_completer);
}

void tst_LineEditAutoComplete::cleanup()
{
    m_tab.reset();
    m_edit = nullptr;
    m_completer = nullptr;
    m_project.reset();
}

void tst_LineEditAutoComplete::writeFile(const QByteArray &content)
{
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray tst_LineEditAutoComplete::fileContent() const
{
    QFile file(m_path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList tst_LineEditAutoComplete::modelEntries() const
{
    const auto *model = qobject_cast<QStringListModel *>(m_completer->model());
    return model ? model->stringList() : QStringList{QStringLiteral("<no model>")};
}

void tst_LineEditAutoComplete::showEdit()
{
    m_tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tab.get()));
}

void tst_LineEditAutoComplete::validator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hex and spaces") << QString("0a1B 2c") << QString("0a1B 2c");
    QTest::newRow("G refused") << QString("0G") << QString("0");
    QTest::newRow("x refused") << QString("x") << QString();
    QTest::newRow("minus refused") << QString("-") << QString();
    QTest::newRow("mixed") << QString("1x-2fz") << QString("12f");
}

void tst_LineEditAutoComplete::validator()
{
    QFETCH(QString, typed);
    QTest::keyClicks(m_edit, typed);
    QTEST(m_edit->text(), "expected");
}

void tst_LineEditAutoComplete::enterStoresOnce()
{
    QSignalSpy entered(m_edit, &LineEditAutoComplete::keyPressEnteredSignal);
    m_edit->setText(QStringLiteral("0A1B"));
    QTest::keyClick(m_edit, Qt::Key_Return);
    QPointer<QAbstractItemModel> firstModel = m_completer->model();
    QVERIFY(firstModel);
    QTest::keyClick(m_edit, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(entered.count(), 2);
    QCOMPARE(m_edit->text(), QStringLiteral("0A1B"));
    QCOMPARE(fileContent(), QByteArray("0A1B\n"));

    // A held key repeats without sending again.
    QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"),
                       true);
    QApplication::sendEvent(m_edit, &repeated);
    QCOMPARE(entered.count(), 2);

    m_edit->setText(QStringLiteral("2C3D"));
    QTest::keyClick(m_edit, Qt::Key_Return);
    QCOMPARE(entered.count(), 3);
    QCOMPARE(fileContent(), QByteArray("0A1B\n2C3D\n"));
    QCOMPARE(modelEntries(), (QStringList{"2C3D", "0A1B"}));
    QVERIFY(firstModel.isNull());
}

void tst_LineEditAutoComplete::storing_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("case-sensitive") << QStringList{"0a", "0A"} << QByteArray("0a\n0A\n");
    QTest::newRow("trimmed before comparing") << QStringList{"0A", "  0A "} << QByteArray("0A\n");
    QTest::newRow("trimmed when stored") << QStringList{" 01 02 "} << QByteArray("01 02\n");
    QTest::newRow("blank not stored") << QStringList{"   "} << QByteArray();
}

void tst_LineEditAutoComplete::storing()
{
    QFETCH(QStringList, commands);
    QSignalSpy entered(m_edit, &LineEditAutoComplete::keyPressEnteredSignal);
    for (const QString &command : qAsConst(commands)) {
        m_edit->setText(command);
        QTest::keyClick(m_edit, Qt::Key_Return);
    }
    QCOMPARE(entered.count(), commands.size());
    QTEST(fileContent(), "expected");
}

void tst_LineEditAutoComplete::reading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("no final line end")
        << QByteArray("A\n  B  \n\nC") << QStringList{"C", "", "B", "A"};
    QTest::newRow("final line end") << QByteArray("A\nB\n") << QStringList{"B", "A"};
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("one blank line") << QByteArray("\n") << QStringList{""};
    QTest::newRow("CR LF") << QByteArray("A\r\nB\r\n") << QStringList{"B", "A"};
}

void tst_LineEditAutoComplete::reading()
{
    QFETCH(QByteArray, content);
    writeFile(content);
    m_edit->reloadCompletionList();
    QTEST(modelEntries(), "entries");
    QVERIFY(!QApplication::overrideCursor());
}

void tst_LineEditAutoComplete::missingFile()
{
    writeFile("0A\n");
    m_edit->reloadCompletionList();
    QCOMPARE(m_completer->model()->rowCount(), 1);
    QVERIFY(QFile::remove(m_path));
    m_edit->reloadCompletionList();
    QVERIFY(m_completer->model());
    QCOMPARE(m_completer->model()->rowCount(), 0);

    m_edit->setText(QStringLiteral("1B"));
    QTest::keyClick(m_edit, Qt::Key_Return);
    QCOMPARE(fileContent(), QByteArray("1B\n"));
    QCOMPARE(modelEntries(), QStringList{"1B"});
}

void tst_LineEditAutoComplete::deleteFromPopup()
{
    writeFile("0A\n1B\n2C\n");
    m_edit->reloadCompletionList();
    showEdit();
    m_completer->complete();
    QAbstractItemView *popup = m_completer->popup();
    QTRY_VERIFY(popup->isVisible());

    // Return belongs to the pop-up while it is open: nothing is sent or stored.
    QSignalSpy entered(m_edit, &LineEditAutoComplete::keyPressEnteredSignal);
    m_edit->setText(QStringLiteral("3D"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_edit, &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(entered.count(), 0);
    QCOMPARE(m_completer->completionMode(), QCompleter::UnfilteredPopupCompletion);

    const QModelIndex row = popup->model()->index(1, 0);
    QCOMPARE(row.data().toString(), QStringLiteral("1B"));
    popup->setCurrentIndex(row);
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
    QTest::addColumn<QString>("expected");
    QTest::newRow("non-hex dropped") << QString() << QString("0A-1B") << QString("0A1B");
    QTest::newRow("spaces and CR dropped") << QString() << QString(" 0a 1b\r") << QString("0a1b");
    QTest::newRow("480 of 500 kept") << QString() << QString(500, 'F') << QString(480, 'F');
    QTest::newRow("exactly 480") << QString() << QString(480, '1') << QString(480, '1');
    QTest::newRow("limit counts what is there")
        << QString("00") << QString(500, 'F') << QString(478, 'F') + "00";
    QTest::newRow("lone line end") << QString() << QString("\n") << QString();
}

void tst_LineEditAutoComplete::paste()
{
    QFETCH(QString, initial);
    QFETCH(QString, clipboard);
    QSignalSpy entered(m_edit, &LineEditAutoComplete::keyPressEnteredSignal);
    m_edit->setText(initial);
    m_edit->setCursorPosition(0);
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(m_edit, Qt::Key_V, Qt::ControlModifier);
    QTEST(m_edit->text(), "expected");
    QCOMPARE(entered.count(), 0);

    // A selection is replaced by what is pasted.
    m_edit->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("AB"));
    QTest::keyClick(m_edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_edit->text(), QStringLiteral("AB"));
}

void tst_LineEditAutoComplete::pasteWithLineEnds_data()
{
    QTest::addColumn<bool>("tabClears");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("remaining");
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("entry kept") << false << QStringList{"0A1B", "2C3D0A1B"} << QString("2C3D0A1B")
                                << QByteArray("0A1B\n2C3D0A1B\n");
    QTest::newRow("tab clears the entry")
        << true << QStringList{"0A1B", "2C3D"} << QString() << QByteArray("0A1B\n2C3D\n");
}

void tst_LineEditAutoComplete::pasteWithLineEnds()
{
    QFETCH(bool, tabClears);
    QStringList sent;
    QList<QByteArray> fileAtSend;
    connect(m_edit, &LineEditAutoComplete::keyPressEnteredSignal, this, [&] {
        sent << m_edit->text();
        fileAtSend << fileContent();
        if (tabClears)
            m_edit->clear();
    });
    QApplication::clipboard()->setText(QStringLiteral("0A1B\n2C3D\n"));
    QTest::keyClick(m_edit, Qt::Key_V, Qt::ControlModifier);
    QTEST(sent, "sent");
    QCOMPARE(fileAtSend.value(0), QByteArray("0A1B\n"));
    QTEST(m_edit->text(), "remaining");
    QCOMPARE(m_edit->cursorPosition(), 0);
    QTEST(fileContent(), "file");
}

void tst_LineEditAutoComplete::mousePress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("opens");
    QTest::newRow("empty entry") << QString() << true;
    QTest::newRow("entry with text") << QString("0A") << false;
}

void tst_LineEditAutoComplete::mousePress()
{
    QFETCH(QString, text);
    QFETCH(bool, opens);
    writeFile("0A\n1B\n2C\n");
    m_edit->reloadCompletionList();
    m_edit->setText(text);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    showEdit();
    QTest::mouseClick(m_edit, Qt::LeftButton);
    if (opens) {
        QTRY_VERIFY(m_completer->popup()->isVisible());
        QCOMPARE(m_completer->completionMode(), QCompleter::UnfilteredPopupCompletion);
        QCOMPARE(m_completer->popup()->model()->rowCount(), 3);
    } else {
        QVERIFY(!m_completer->popup()->isVisible());
    }
}

void tst_LineEditAutoComplete::setCompleterTwice()
{
    showEdit();
    m_tab->activateWindow();
    m_edit->setFocus();
    QTRY_VERIFY(m_edit->hasFocus());
    auto *second = new QCompleter(m_tab.get());
    m_edit->setCompleter(second);
    QCOMPARE(m_edit->completer(), second);
    QCOMPARE(static_cast<QLineEdit *>(m_edit)->completer(), second);
    QCOMPARE(second->widget(), m_edit);
    QCOMPARE(second->completionMode(), QCompleter::UnfilteredPopupCompletion);
    QVERIFY(!m_completer->widget());

    emit m_completer->activated(QStringLiteral("0A"));
    QCOMPARE(m_edit->text(), QString());
    emit second->activated(QStringLiteral("1B"));
    QCOMPARE(m_edit->text(), QStringLiteral("1B"));

    writeFile("0A\n");
    m_edit->reloadCompletionList();
    QCOMPARE(second->model()->rowCount(), 1);
    QVERIFY(!m_completer->model());
}

void tst_LineEditAutoComplete::withoutCompleter()
{
    LineEditAutoComplete edit(nullptr, m_path);
    QVERIFY(!edit.completer());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QSignalSpy entered(&edit, &LineEditAutoComplete::keyPressEnteredSignal);
    QTest::mouseClick(&edit, Qt::LeftButton);
    QTest::keyClicks(&edit, QStringLiteral("0A"));
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClick(&edit, Qt::Key_Delete);
    edit.reloadCompletionList();
    QApplication::clipboard()->setText(QStringLiteral("1B\n"));
    edit.clear();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(entered.count(), 2);
    QCOMPARE(fileContent(), QByteArray("0A\n1B\n"));
}

OVS_TEST_MAIN(tst_LineEditAutoComplete)
#include "tst_LineEditAutoComplete.moc"
