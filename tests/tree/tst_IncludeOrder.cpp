#include "IncludeGraph.h"
#include "IsolatedHome.h"

#include <QFile>
#include <QtTest>

using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

namespace {

const char orderText[] = "## Folder order\n"
                         "<!-- folder order -->\n"
                         "1. `app`: the window\n"
                         "2. `session`\n"
                         "3. `link`\n"
                         "\n"
                         "- `app/Header` sits with `link`\n"
                         "## Next section\n"
                         "4. `tests`\n";

} // namespace

class tst_IncludeOrder : public QObject
{
    Q_OBJECT

private slots:
    void orderIsRead();
    void faultsAreFound_data();
    void faultsAreFound();
    void sourcesFollowTheOrder();
};

void tst_IncludeOrder::orderIsRead()
{
    const IncludeGraph::Order order = IncludeGraph::parseOrder(QString::fromLatin1(orderText));
    QCOMPARE(order.folders, (QStringList{"app", "session", "link"}));
    QCOMPARE(order.exceptions.value(QStringLiteral("app/Header")), QStringLiteral("link"));
    QCOMPARE(order.exceptions.size(), 1);
}

void tst_IncludeOrder::faultsAreFound_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("upward");
    QTest::addColumn<QStringList>("circles");

    QTest::newRow("downwards, beside and from the root")
        << Files{{"app/Window.cpp", "#include \"Window.h\"\n#include \"session/Tab.h\"\n"},
                 {"app/Window.h", "#include <QMainWindow>\n#include \"ui_Window.h\"\n"},
                 {"session/Tab.cpp", "#include \"Tab.h\"\n#include \"link/Link.h\"\n"},
                 {"session/Tab.h", ""},
                 {"link/Link.h", ""}}
        << QStringList() << QStringList();
    QTest::newRow("upwards") << Files{{"session/Tab.cpp", "  #  include \"app/Window.h\"\n"},
                                      {"app/Window.h", ""}}
                             << QStringList{"session/Tab.cpp -> app/Window.h"} << QStringList();
    QTest::newRow("upwards through a relative path")
        << Files{{"session/Tab.cpp", "#include \"../app/Window.h\"\n"}, {"app/Window.h", ""}}
        << QStringList{"session/Tab.cpp -> app/Window.h"} << QStringList();
    QTest::newRow("exception sits low")
        << Files{{"link/Link.cpp", "#include \"app/Header.h\"\n"}, {"app/Header.h", ""}}
        << QStringList() << QStringList();
    QTest::newRow("exception includes its own folder")
        << Files{{"app/Header.cpp", "#include \"Window.h\"\n"}, {"app/Window.h", ""}}
        << QStringList{"app/Header.cpp -> app/Window.h"} << QStringList();
    QTest::newRow("folder not in the order")
        << Files{{"misc/Thing.h", ""}} << QStringList{"misc/Thing.h: folder not in the order"}
        << QStringList();
    QTest::newRow("two classes in one folder")
        << Files{{"session/A.h", ""},
                 {"session/A.cpp", "#include \"B.h\"\n"},
                 {"session/B.h", ""},
                 {"session/B.cpp", "#include \"A.h\"\n"}}
        << QStringList() << QStringList{"session/A, session/B"};
    QTest::newRow("three classes across folders")
        << Files{{"app/Window.cpp", "#include \"session/Tab.h\"\n"},
                 {"app/Window.h", ""},
                 {"session/Tab.h", "#include \"session/Panel.h\"\n"},
                 {"session/Panel.cpp", "#include \"app/Window.h\"\n"},
                 {"session/Panel.h", ""}}
        << QStringList{"session/Panel.cpp -> app/Window.h"}
        << QStringList{"app/Window, session/Panel, session/Tab"};
    QTest::newRow("commented include")
        << Files{{"session/A.cpp", "// #include \"B.h\"\n"}, {"session/B.h", ""}} << QStringList()
        << QStringList();
}

void tst_IncludeOrder::faultsAreFound()
{
    QFETCH(Files, files);
    QFETCH(QStringList, upward);
    QFETCH(QStringList, circles);
    const IncludeGraph graph = IncludeGraph::fromFiles(files);
    QCOMPARE(graph.upwardIncludes(IncludeGraph::parseOrder(QString::fromLatin1(orderText))),
             upward);
    QCOMPARE(graph.circles(), circles);
}

void tst_IncludeOrder::sourcesFollowTheOrder()
{
    QFile guide(QStringLiteral(OVS_SOURCE_DIR "/docs/development.md"));
    QVERIFY(guide.open(QIODevice::ReadOnly));
    const IncludeGraph::Order order = IncludeGraph::parseOrder(QString::fromUtf8(guide.readAll()));
    QVERIFY(order.folders.contains(QStringLiteral("link")));

    const IncludeGraph graph = IncludeGraph::scan(QStringLiteral(OVS_SOURCE_DIR "/src"));
    const QStringList upward = graph.upwardIncludes(order);
    QVERIFY2(upward.isEmpty(), qPrintable(upward.join(QLatin1Char('\n'))));
    const QStringList circles = graph.circles();
    QVERIFY2(circles.isEmpty(), qPrintable(circles.join(QLatin1Char('\n'))));
}

OVS_CORE_TEST_MAIN(tst_IncludeOrder)
#include "tst_IncludeOrder.moc"
