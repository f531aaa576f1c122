#include "IsolatedHome.h"
#include "app/StyleSheet.h"

#include <QIcon>
#include <QImage>
#include <QtTest>

class tst_StyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void styleSheets();
    void icons();
};

void tst_StyleSheet::styleSheets()
{
    // The ones the tabs load, from the application's resources.
    for (const char *name : {"ReadersTabStyleSheet", "ConnectedReaderTabStyleSheet",
                             "AllReadersTabStyleSheet", "StyleSheetLineEdit"}) {
        const QString styleSheet = loadStyleSheet(QLatin1String(name));
        QVERIFY2(styleSheet.contains(QLatin1Char('{')), name);
        QCOMPARE(styleSheet.count(QLatin1Char('{')), styleSheet.count(QLatin1Char('}')));
    }
    QVERIFY(loadStyleSheet(QStringLiteral("NoSuchStyleSheet")).isEmpty());
    // From the test's own resources.
    QCOMPARE(loadStyleSheet(QStringLiteral("ZeroByteStyleSheet")),
             QStringLiteral("QLabel { color: #4C6C69; } /* caf\u00e9 */"));
}

// The buttons' icons: each there and drawn, not an empty canvas.
void tst_StyleSheet::icons()
{
    for (const char *path : {":/Icons/ovra.ico", ":Icons/arrow_green.ico", ":Icons/arrow_red.ico",
                             ":Icons/chisel_blue.ico"}) {
        const QImage small = QIcon(QLatin1String(path)).pixmap(16, 16).toImage();
        QImage blank(QSize(16, 16), small.format());
        blank.fill(Qt::transparent);
        QVERIFY2(small.size() == blank.size() && small != blank, path);
    }
}

OVS_TEST_MAIN(tst_StyleSheet)
#include "tst_StyleSheet.moc"
