#include "IsolatedHome.h"
#include "firmware/FirmwareExchange.h"

#include <QThread>
#include <QtTest>

#include <memory>

// The answers are handed in from another thread, as the window's thread hands them in.
class tst_FirmwareExchange : public QObject
{
    Q_OBJECT

private slots:
    void answersAndTimeOuts();
    void cancelEndsTheWaitAndTheJob();
    void collectTakesABurst();
};

namespace {

// Answers each command from a thread of its own with the given answers.
std::unique_ptr<QThread> answerLater(FirmwareExchange &exchange,
                                     const QList<QPair<bool, QByteArray>> &answers)
{
    std::unique_ptr<QThread> thread(QThread::create([&exchange, answers] {
        for (const auto &answer : answers)
            exchange.answerReceived(answer.first, answer.second);
    }));
    thread->start();
    return thread;
}

} // namespace

void tst_FirmwareExchange::answersAndTimeOuts()
{
    QStringList sent;
    std::unique_ptr<QThread> answering;
    bool answer = true;
    FirmwareExchange exchange([&](const QString &command) {
        sent << command;
        if (answer)
            answering = answerLater(exchange, {{true, "\x01\x0A"}});
    });
    QByteArray payload;
    QVERIFY(exchange.exchange("0109", 20000, &payload));
    QCOMPARE(payload, QByteArray("\x01\x0A"));
    answering->wait();
    // Nobody answers: false once the time is up.
    answer = false;
    QVERIFY(!exchange.exchange("0109", 50));
    // An answer that comes late is not the next command's.
    exchange.answerReceived(true, "late");
    QVERIFY(!exchange.exchange("0109", 50));
    exchange.answerReceived(false, "\x01");
    QVERIFY(!exchange.nextAnswer(20000, &payload));
    QCOMPARE(sent.size(), 3);
}

void tst_FirmwareExchange::cancelEndsTheWaitAndTheJob()
{
    int sends = 0;
    std::unique_ptr<QThread> canceller;
    FirmwareExchange exchange([&](const QString &) {
        ++sends;
        canceller.reset(QThread::create([&exchange] { exchange.cancel(); }));
        canceller->start();
    });
    // A wait ten times longer than the test's time limit ends with the cancel.
    QVERIFY(!exchange.exchange("0109", 3000000));
    canceller->wait();
    QVERIFY(!exchange.exchange("0109", 3000000));
    QCOMPARE(sends, 1);
}

void tst_FirmwareExchange::collectTakesABurst()
{
    std::unique_ptr<QThread> answering;
    FirmwareExchange exchange([&](const QString &) {
        answering = answerLater(exchange, {{true, "A"}, {true, ""}, {false, "B"}, {true, "C"}});
    });
    QList<QByteArray> taken;
    exchange.collect("0102", 300, [&](const QByteArray &answer) { taken << answer; });
    answering->wait();
    // Empty and failed answers are not devices.
    QCOMPARE(taken, QList<QByteArray>({"A", "C"}));
}

OVS_CORE_TEST_MAIN(tst_FirmwareExchange)
#include "tst_FirmwareExchange.moc"
