#include "IsolatedHome.h"
#include "session/LineEditAutoComplete.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QKeyEvent>
#include <QtTest>

#include <memory>

// The completion file's contents when there is no such file.
static const QByteArray missing("<missing>");

class tst_LineEditAutoComplete : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_edit = std::make_unique<LineEditAutoComplete>(nullptr, m_folder->filePath("cmd.txt"));
        m_completer = new QCompleter(m_edit.get());
        m_edit->setCompleter(m_completer);
    }
    void storing_data();
    void storing();
    void paste_data();
    void paste();
    void popupOpensAndDeletes();

private:
    void writeFile(const QByteArray &content)
    {
        QFile file(m_edit->completionFilePath());
        file.remove();
        QVERIFY(content == missing ||
                (file.open(QIODevice::WriteOnly) && file.write(content) >= 0));
    }
    QByteArray fileContent() const
    {
        QFile file(m_edit->completionFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : missing;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<LineEditAutoComplete> m_edit;
    QCompleter *m_completer = nullptr;
};

void tst_LineEditAutoComplete::storing_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("popup");
    const auto row = [](const char *name, const QByteArray &before, const QStringList &commands,
                        const QByteArray &after, const QStringList &popup) {
        QTest::newRow(name) << before << commands << after << popup;
    };
    row("appended", "0A\n", {"2C", "4E"}, "0A\n2C\n4E\n", {"4E", "2C", "0A"});
    row("case-sensitive", "", {"0a", "0A"}, "0a\n0A\n", {"0A", "0a"});
    row("trimmed before comparing", "0A\n", {"0A", " 0A "}, "0A\n", {"0A"});
    row("trimmed when stored", "", {" 01 02 "}, "01 02\n", {"01 02"});
    row("blank not stored", "", {"   "}, "", {});
    row("file made anew", missing, {"1B"}, "1B\n", {"1B"});
    row("read without final line end", "A\n  B  \n\nC", {}, "A\n  B  \n\nC", {"C", "", "B", "A"});
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
    QSignalSpy entered(m_edit.get(), &LineEditAutoComplete::keyPressEnteredSignal);
    for (int i = 0; i < commands.size(); ++i) {
        m_edit->setText(commands.at(i));
        QTest::keyClick(m_edit.get(), i % 2 ? Qt::Key_Enter : Qt::Key_Return,
                        i % 2 ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(m_edit->text(), commands.at(i));
    }
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
    QApplication::sendEvent(m_edit.get(), &held);
    QCOMPARE(entered.count(), commands.size());
    QTEST(fileContent(), "after");
    QTEST(qobject_cast<QStringListModel *>(m_completer->model())->stringList(), "popup");
    QVERIFY(!QApplication::overrideCursor());
}

void tst_LineEditAutoComplete::paste_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("remaining");
    QTest::addColumn<QStringList>("sent");
    const auto row = [](const char *name, const QString &initial, const QString &clipboard,
                        const QString &remaining, const QStringList &sent) {
        QTest::newRow(name) << initial << clipboard << remaining << sent;
    };
    row("non-hex, blanks and CR dropped", "", " 0a-1B\r", "0a1B", {});
    row("480 hexadecimal digits at most", "00", QString(500, 'F'), QString(478, 'F') + "00", {});
    row("lone line end", "", "\n", "", {});
    // What the tab leaves in the entry stays behind the next line.
    row("lines sent", "", "0A1B\n2C3D\n", "2C3D0A1B", {"0A1B", "2C3D0A1B"});
}

// Each pasted line is sent and remembered as if typed and entered.
void tst_LineEditAutoComplete::paste()
{
    QFETCH(QString, initial);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, sent);
    QStringList seen;
    QByteArray fileAtFirstSend;
    connect(m_edit.get(), &LineEditAutoComplete::keyPressEnteredSignal, this, [&] {
        seen << m_edit->text();
        if (seen.size() == 1)
            fileAtFirstSend = fileContent();
    });
    m_edit->setText(initial);
    m_edit->setCursorPosition(0);
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(m_edit.get(), Qt::Key_V, Qt::ControlModifier);
    QTEST(m_edit->text(), "remaining");
    QCOMPARE(seen, sent);
    QCOMPARE(fileContent(), sent.isEmpty() ? missing : sent.join('\n').toUtf8() + '\n');
    QCOMPARE(fileAtFirstSend, sent.isEmpty() ? QByteArray() : sent.first().toUtf8() + '\n');
}

// A click into the empty entry shows every command; while the pop-up is open, Return is its own
// and Delete removes the chosen command from the file.
void tst_LineEditAutoComplete::popupOpensAndDeletes()
{
    writeFile("0A\n1B\n2C\n");
    m_edit->reloadCompletionList();
    m_edit->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_edit.get()));
    QTest::mouseClick(m_edit.get(), Qt::LeftButton);
    QAbstractItemView *popup = m_completer->popup();
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(popup->model()->rowCount(), 3);

    QSignalSpy entered(m_edit.get(), &LineEditAutoComplete::keyPressEnteredSignal);
    m_edit->setText(QStringLiteral("3D"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_edit.get(), &enter);
    QCOMPARE(entered.count(), 0);

    popup->setCurrentIndex(popup->model()->index(1, 0));
    m_edit->setText(QStringLiteral("1B"));
    QTest::keyClick(m_edit.get(), Qt::Key_Delete);
    QCOMPARE(fileContent(), QByteArray("0A\n2C\n"));
    QCOMPARE(m_edit->text(), QString());
}

OVS_TEST_MAIN(tst_LineEditAutoComplete)
#include "tst_LineEditAutoComplete.moc"
