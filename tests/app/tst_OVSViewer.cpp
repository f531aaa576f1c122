#include "IsolatedHome.h"
#include "app/OVSViewer.h"
#include "common/StatusLine.h"

#include <QLabel>
#include <QtTest>

class tst_OVSViewer : public QObject
{
    Q_OBJECT

private slots:
    void statusMessage();
};

// The latest message alone, stamped now and coloured by its kind, exactly as it was given;
// each follows one of the other kind at once.
void tst_OVSViewer::statusMessage()
{
    OVSViewer window;
    auto *label = window.findChild<QLabel *>(QStringLiteral("statusLabel"));
    QVERIFY(label);
    const QRegularExpression shape(
        QStringLiteral("^<font color='(#[0-9a-f]{6})'>(\\d\\d:\\d\\d:\\d\\d\\.\\d): (.*)</font>$"),
        QRegularExpression::DotMatchesEverythingOption);
    for (const QString message : {"Error: earlier", "Reader \"A\" connected.", "Error: %1 %2"}) {
        QVERIFY(QMetaObject::invokeMethod(&window, "setStatusMessage", Q_ARG(QString, message)));
        // Messages that come in a burst are shown at the pace of the eye, the last one always.
        QTRY_COMPARE(shape.match(label->text()).captured(3), message);
        const QRegularExpressionMatch match = shape.match(label->text());
        QCOMPARE(match.captured(1), StatusLine::messageColor(message).name());
        const QTime stamp = QTime::fromString(match.captured(2), QStringLiteral("HH:mm:ss.z"));
        QVERIFY(stamp.isValid() && qAbs(stamp.msecsTo(QTime::currentTime())) < 60 * 1000);
    }
}

OVS_TEST_MAIN(tst_OVSViewer)
#include "tst_OVSViewer.moc"
