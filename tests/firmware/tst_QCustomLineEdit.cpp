#include "IsolatedHome.h"
#include "firmware/QCustomLineEdit.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

class tst_QCustomLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void reportsTheFieldThatGainsTheFocus();
};

void tst_QCustomLineEdit::reportsTheFieldThatGainsTheFocus()
{
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *first = new QCustomLineEdit;
    auto *second = new QCustomLineEdit;
    layout->addWidget(first);
    layout->addWidget(second);
    QSignalSpy firstReports(first, &QCustomLineEdit::focusedIn);
    QSignalSpy secondReports(second, &QCustomLineEdit::focusedIn);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    first->setFocus();
    QTRY_COMPARE(firstReports.count(), 1);
    QCOMPARE(firstReports.at(0).at(0).value<QCustomLineEdit *>(), first);
    QTest::keyClick(first, Qt::Key_Tab);
    QTRY_COMPARE(secondReports.count(), 1);
    QCOMPARE(secondReports.at(0).at(0).value<QCustomLineEdit *>(), second);
    QCOMPARE(firstReports.count(), 1);
}

OVS_TEST_MAIN(tst_QCustomLineEdit)
#include "tst_QCustomLineEdit.moc"
