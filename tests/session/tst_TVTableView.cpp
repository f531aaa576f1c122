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
    view.resize(700, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QString longFrame = PacketText::spaceHexPairs(QStringLiteral("1B").repeated(247));
    // The last one is too wide but has nowhere to break: it stays on one line.
    const QStringList frames{
        "0A 1B", longFrame, "0C", longFrame.left(60), "0D 0E", QStringLiteral("1B").repeated(200)};
    for (int i = 0; i < frames.size(); ++i) {
        readerPacket_t packet;
        packet.direction = QStringLiteral("Tx");
        packet.frame = frames.at(i);
        packet.sessionNumber = std::uint16_t(i);
        model.addPacket(packet);
    }
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
}

OVS_TEST_MAIN(tst_TVTableView)
#include "tst_TVTableView.moc"
