#include "IsolatedHome.h"
#include "session/AllReadersTabModel.h"
#include "session/ConnectedReaderModel.h"
#include "session/PacketText.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <QSignalSpy>
#include <QtTest>

namespace {

readerPacket_t packet(const QString &direction, int session, const QString &status,
                      const QString &frame = QStringLiteral("0A 1B"),
                      const QString &reader = QStringLiteral("R1"))
{
    readerPacket_t p;
    p.readerName = reader;
    p.time = QStringLiteral("10:28:05.1");
    p.direction = direction;
    p.frame = frame;
    p.status = status;
    p.sessionNumber = std::uint16_t(session);
    return p;
}

QString cell(const QAbstractItemModel &model, int row, int column)
{
    return model.index(row, column).data().toString();
}

QStringList rowsOf(const QAbstractItemModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells << cell(model, row, column);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// Commands that end and that stay in progress, recovered frames and their late arrival, NAK
// rows and acknowledgements, over session numbers that repeat.
readerPacket_t mixedPacket(int i)
{
    const int session = i / 5 % 150;
    switch (i % 5) {
    case 0:
        return packet("Tx", session, i % 7 ? PacketText::inProgress : PacketText::nak);
    case 1:
        return packet("Tx", session, PacketText::sent, QString::number(i));
    case 2:
        return packet("Rx", session, PacketText::recovered, QString());
    case 3:
        return i % 3 ? packet("Rx", session, PacketText::received, QString::number(i))
                     : packet("Rx", session + 1, PacketText::received);
    default: {
        readerPacket_t ack = packet("Rx", session, QString(), i % 2 ? "06" : "07");
        ack.cntlFrame = true;
        return ack;
    }
    }
}

} // namespace

class tst_ConnectedReaderModel : public QObject
{
    Q_OBJECT

private slots:
    void updatesOrAppends_data();
    void updatesOrAppends();
    void keepsTheNewest200Rows();
    void cellLooks();
    void mergedModelKeepsReadersApart();
    void acknowledgementsUpdateNakRows();
    void batchesShowWhatSinglePacketsShow();
};

// Each row: the packets added in order, then the rows as "dir:session:status:frame".
void tst_ConnectedReaderModel::updatesOrAppends_data()
{
    QTest::addColumn<QList<readerPacket_t>>("packets");
    QTest::addColumn<QStringList>("rows");
    const QString &progress = PacketText::inProgress;
    const QString &sent = PacketText::sent;
    const QString &received = PacketText::received;
    const QString &recovered = PacketText::recovered;

    QTest::newRow("serial command: in progress, then its result")
        << QList<readerPacket_t>{packet("Tx", 5, progress), packet("Tx", 5, sent)}
        << QStringList{"Tx:5:Sent:0A 1B"};
    QTest::newRow("recovered row takes the late frame")
        << QList<readerPacket_t>{packet("Rx", 12, recovered, ""),
                                 packet("Rx", 12, received, "0C 0D")}
        << QStringList{"Rx:12:Received:0C 0D"};
    QTest::newRow("a finished row is never updated")
        << QList<readerPacket_t>{packet("Tx", 5, sent), packet("Tx", 5, sent, "0E")}
        << QStringList{"Tx:5:Sent:0A 1B", "Tx:5:Sent:0E"};
    QTest::newRow("other direction appends")
        << QList<readerPacket_t>{packet("Tx", 7, progress), packet("Rx", 7, received, "0F")}
        << QStringList{"Tx:7:In progress:0A 1B", "Rx:7:Received:0F"};
    QTest::newRow("other session appends")
        << QList<readerPacket_t>{packet("Tx", 7, progress), packet("Tx", 8, sent)}
        << QStringList{"Tx:7:In progress:0A 1B", "Tx:8:Sent:0A 1B"};
    QTest::newRow("an open row is found among later ones")
        << QList<readerPacket_t>{packet("Rx", 12, recovered, ""), packet("Tx", 13, sent, "01"),
                                 packet("Rx", 12, received, "02")}
        << QStringList{"Rx:12:Received:02", "Tx:13:Sent:01"};
}

void tst_ConnectedReaderModel::updatesOrAppends()
{
    QFETCH(QList<readerPacket_t>, packets);
    QFETCH(QStringList, rows);
    ConnectedReaderModel model;
    QAbstractItemModelTester tester(&model);
    for (readerPacket_t p : packets)
        model.addPacket(p);
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row) {
        const readerPacket_t &p = model.packetAt(row);
        shown << QStringLiteral("%1:%2:%3:%4")
                     .arg(p.direction)
                     .arg(p.sessionNumber)
                     .arg(p.status, p.frame);
    }
    QCOMPARE(shown, rows);
}

void tst_ConnectedReaderModel::keepsTheNewest200Rows()
{
    ConnectedReaderModel model;
    QAbstractItemModelTester tester(&model);
    for (int session = 0; session < 200; ++session) {
        readerPacket_t p = packet("Rx", session, PacketText::received);
        model.addPacket(p);
    }
    QCOMPARE(model.rowCount(), 200);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    readerPacket_t newest = packet("Rx", 200, PacketText::received);
    model.addPacket(newest);
    QCOMPARE(model.rowCount(), 200);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(cell(model, 0, 4), QStringLiteral("1"));
    QCOMPARE(cell(model, 199, 4), QStringLiteral("200"));
}

void tst_ConnectedReaderModel::cellLooks()
{
    ConnectedReaderModel model;
    readerPacket_t tx = packet("Tx", 32768, PacketText::sent);
    readerPacket_t recovered = packet("Rx", 1, PacketText::recovered, "0A");
    model.addPacket(tx);
    model.addPacket(recovered);
    // Only the frame of a command stands out; a recovered row has no frame to show yet.
    QVERIFY(model.index(0, 2).data(Qt::FontRole).value<QFont>().bold());
    QVERIFY(!model.index(0, 3).data(Qt::FontRole).value<QFont>().bold());
    QVERIFY(!model.index(1, 2).data(Qt::FontRole).value<QFont>().bold());
    QCOMPARE(cell(model, 1, 2), QString());
    QCOMPARE(model.index(1, 4).data().userType(), int(QMetaType::Int));
}

// Two readers whose session counters run in step must each keep their own row.
void tst_ConnectedReaderModel::mergedModelKeepsReadersApart()
{
    AllReadersTabModel merged;
    QAbstractItemModelTester tester(&merged);
    readerPacket_t first = packet("Tx", 0, PacketText::inProgress, "01", "R1");
    readerPacket_t second = packet("Tx", 0, PacketText::inProgress, "02", "R2");
    readerPacket_t secondDone = packet("Tx", 0, PacketText::sent, "02", "R2");
    merged.addPacket(first);
    merged.addPacket(second);
    merged.addPacket(secondDone);
    QCOMPARE(merged.rowCount(), 2);
    QCOMPARE(cell(merged, 0, 0), QStringLiteral("R1"));
    QCOMPARE(cell(merged, 0, 4), PacketText::inProgress);
    QCOMPARE(cell(merged, 1, 0), QStringLiteral("R2"));
    QCOMPARE(cell(merged, 1, 4), PacketText::sent);
    QVERIFY(merged.index(0, 3).data(Qt::FontRole).value<QFont>().bold());
}

void tst_ConnectedReaderModel::acknowledgementsUpdateNakRows()
{
    ConnectedReaderModel model;
    QAbstractItemModelTester tester(&model);
    for (int session : {4, 5, 5}) {
        readerPacket_t nak = packet("Tx", session, PacketText::nak);
        model.addPacket(nak);
    }
    readerPacket_t ack = packet("Rx", 5, QString(), "06");
    ack.cntlFrame = true;
    model.addPacket(ack);
    QCOMPARE(cell(model, 0, 3), PacketText::nak);
    QCOMPARE(cell(model, 1, 3), PacketText::sent);
    QCOMPARE(cell(model, 2, 3), PacketText::sent);

    readerPacket_t buffered = packet("Rx", 99, QString(), "07");
    buffered.cntlFrame = true;
    model.addPacket(buffered);
    QCOMPARE(cell(model, 0, 3), PacketText::buffered);

    readerPacket_t recovered = packet("Rx", 6, QString(), "09");
    recovered.cntlFrame = true;
    model.addPacket(recovered);
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(cell(model, 3, 3), PacketText::recovered);
}

// A batch is one insertion, after the adding is over, and its rows are those that adding the
// packets one by one gives.
void tst_ConnectedReaderModel::batchesShowWhatSinglePacketsShow()
{
    ConnectedReaderModel single;
    ConnectedReaderModel batched;
    QAbstractItemModelTester singleTester(&single);
    QAbstractItemModelTester batchedTester(&batched);
    batched.publishInBatches();
    QSignalSpy inserted(&batched, &QAbstractItemModel::rowsInserted);
    int next = 0;
    for (int chunk : {3, 40, 400, 1, 260}) {
        const int shownBefore = batched.rowCount();
        for (const int end = next + chunk; next < end; ++next) {
            readerPacket_t forSingle = mixedPacket(next);
            readerPacket_t forBatched = forSingle;
            single.addPacket(forSingle);
            batched.addPacket(forBatched);
        }
        QCOMPARE(batched.rowCount(), shownBefore);
        inserted.clear();
        QTRY_COMPARE(rowsOf(batched), rowsOf(single));
        QVERIFY(inserted.count() <= 1);
    }
    QCOMPARE(batched.rowCount(), ConnectedReaderModel::maximumRows);

    // Packets that could never all be shown do not wait for the next batch.
    batched.clear();
    for (int session = 0; session < 2 * ConnectedReaderModel::maximumRows; ++session) {
        readerPacket_t p = packet("Rx", session, PacketText::received);
        batched.addPacket(p);
    }
    QCOMPARE(batched.rowCount(), ConnectedReaderModel::maximumRows);
    QCOMPARE(cell(batched, 0, 4), QString::number(ConnectedReaderModel::maximumRows));
}

OVS_CORE_TEST_MAIN(tst_ConnectedReaderModel)
#include "tst_ConnectedReaderModel.moc"
