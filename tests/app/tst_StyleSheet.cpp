#include "IsolatedHome.h"
#include "app/StyleSheet.h"

#include <QtTest>

class tst_StyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void styleSheets();
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

OVS_TEST_MAIN(tst_StyleSheet)
#include "tst_StyleSheet.moc"
