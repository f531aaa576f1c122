#include "IsolatedHome.h"
#include "app/StyleSheet.h"

#include <QIcon>
#include <QImage>
#include <QtTest>

class tst_StyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void styleSheetsExist_data();
    void styleSheetsExist();
    void missingStyleSheetIsEmpty();
    void stopsAtZeroByteAndReadsLatin1();
    void icons_data();
    void icons();
    void images_data();
    void images();
};

void tst_StyleSheet::styleSheetsExist_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("selector");

    QTest::newRow("readers") << "ReadersTabStyleSheet"
                             << "QDockWidget";
    QTest::newRow("reader tab") << "ConnectedReaderTabStyleSheet"
                                << "QDockWidget";
    QTest::newRow("all readers") << "AllReadersTabStyleSheet"
                                 << "QDockWidget";
    QTest::newRow("firmware") << "FirmwareUpgradeTabStyleSheet"
                              << "QDockWidget";
    QTest::newRow("command entry") << "StyleSheetLineEdit"
                                   << "QLineEdit";
}

void tst_StyleSheet::styleSheetsExist()
{
    QFETCH(QString, name);
    QFETCH(QString, selector);
    const QString styleSheet = loadStyleSheet(name);
    QVERIFY2(styleSheet.contains(selector), qPrintable(name));
    QCOMPARE(styleSheet.count(QLatin1Char('{')), styleSheet.count(QLatin1Char('}')));
}

void tst_StyleSheet::missingStyleSheetIsEmpty()
{
    QVERIFY(loadStyleSheet(QStringLiteral("NoSuchStyleSheet")).isEmpty());
    QVERIFY(loadStyleSheet(QString()).isEmpty());
}

void tst_StyleSheet::stopsAtZeroByteAndReadsLatin1()
{
    QCOMPARE(loadStyleSheet(QStringLiteral("ZeroByteStyleSheet")),
             QStringLiteral("QLabel { color: #4C6C69; } /* caf\u00e9 */"));
}

void tst_StyleSheet::icons_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("application") << ":/Icons/ovra.ico";
    QTest::newRow("send") << ":Icons/arrow_green.ico";
    QTest::newRow("stop") << ":Icons/arrow_red.ico";
    QTest::newRow("clear") << ":Icons/chisel_blue.ico";
}

void tst_StyleSheet::icons()
{
    QFETCH(QString, path);
    const QIcon icon(path);
    QVERIFY2(!icon.isNull(), qPrintable(path));
    const QImage small = icon.pixmap(16, 16).toImage();
    QCOMPARE(small.size(), QSize(16, 16));
    // A drawn icon, not an empty canvas.
    bool opaquePixel = false;
    for (int y = 0; y < small.height() && !opaquePixel; ++y)
        for (int x = 0; x < small.width() && !opaquePixel; ++x)
            opaquePixel = qAlpha(small.pixel(x, y)) > 200;
    QVERIFY(opaquePixel);
}

void tst_StyleSheet::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("transparent");

    QTest::newRow("logo") << ":/Images/logo_detoure.png" << false;
    QTest::newRow("transparent background") << ":/Images/transparence.png" << true;
}

void tst_StyleSheet::images()
{
    QFETCH(QString, path);
    QFETCH(bool, transparent);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QVERIFY(image.hasAlphaChannel());
    // The logo is cut out: its corner shows what lies behind it.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    if (transparent)
        QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 0);
}

OVS_TEST_MAIN(tst_StyleSheet)
#include "tst_StyleSheet.moc"
