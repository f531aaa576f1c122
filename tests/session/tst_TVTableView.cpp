#include "IsolatedHome.h"
#include "session/ConnectedReaderModel.h"
#include "session/PacketText.h"
#include "session/TVTableView.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QtTest>

class ProbedView : public TVTableView
{
public:
    // What sizing the row to its contents gives.
    int contentsHeight(int row) const
    {
        return qMax(sizeHintForRow(row), verticalHeader()->sectionSizeHint(row));
    }
};

class tst_TVTableView : public QObject
{
    Q_OBJECT

private slots:
    void rowsFitTheirContents();
};

// Rows are sized in batches, one-line rows without laying out their text: each must still end
// up exactly as high as its contents need.
void tst_TVTableView::rowsFitTheirContents()
{
    ConnectedReaderModel model;
    QAbstractItemModelTester tester(&model);
    ProbedView view;
    view.setModel(&model);
    view.setPacketColumnWidths(0);
    // Column widths stay while rows come, so that sizing new rows is not a relayout of all.
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.resize(700, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QString longFrame = PacketText::spaceHexPairs(QStringLiteral("1B").repeated(247));
    const auto add = [&model](const QStringList &frames) {
        for (const QString &frame : frames) {
            readerPacket_t packet;
            packet.time = QStringLiteral("00:30:22.8");
            packet.direction = QStringLiteral("Tx");
            packet.frame = frame;
            packet.sessionNumber = std::uint16_t(model.rowCount());
            model.addPacket(packet);
        }
    };
    // The last one is too wide but has nowhere to break: it stays on one line.
    add({"0A 1B", longFrame, "0C", longFrame.left(60), "0D 0E",
         QStringLiteral("1B").repeated(200)});
    const auto allRowsFit = [&] {
        for (int row = 0; row < model.rowCount(); ++row) {
            if (view.rowHeight(row) != view.contentsHeight(row))
                return false;
        }
        return true;
    };
    QTRY_VERIFY(allRowsFit());
    QVERIFY(view.rowHeight(1) > 3 * view.rowHeight(0));
    QVERIFY(view.rowHeight(3) > view.rowHeight(0));
    QCOMPARE(view.rowHeight(5), view.rowHeight(0));

    // A narrower Frame column wraps more.
    const int tallBefore = view.rowHeight(1);
    view.resize(400, 400);
    QTRY_VERIFY(view.rowHeight(1) > tallBefore && allRowsFit());
    const int tallNarrow = view.rowHeight(1);
    view.resize(700, 400);
    QTRY_VERIFY(view.rowHeight(1) < tallNarrow && allRowsFit());

    // Rows of one shape share a height: frames of equal length, with letters and digits of
    // equal widths, are laid out once; a shorter one that begins alike is not of their shape.
    // Two-digit row numbers first, so that the header keeps its width.
    while (model.rowCount() < 10)
        add({QStringLiteral("0F")});
    QTRY_VERIFY(allRowsFit());
    const QString hexPairs = QStringLiteral("2C4E");
    add({PacketText::spaceHexPairs(hexPairs.repeated(120)),
         PacketText::spaceHexPairs(QStringLiteral("4E2C").repeated(120)),
         PacketText::spaceHexPairs(hexPairs.repeated(50)), QStringLiteral("WW ").repeated(80),
         QStringLiteral("11 ").repeated(80)});
    QVERIFY(allRowsFit());
}

OVS_TEST_MAIN(tst_TVTableView)
#include "tst_TVTableView.moc"
