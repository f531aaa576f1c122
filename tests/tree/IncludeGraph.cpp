#include "IncludeGraph.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <functional>

namespace {

QString classOf(const QString &file)
{
    return file.left(file.lastIndexOf(QLatin1Char('.')));
}

QString folderOf(const QString &path)
{
    return path.section(QLatin1Char('/'), 0, 0);
}

} // namespace

IncludeGraph::Order IncludeGraph::parseOrder(const QString &markdown)
{
    static const QRegularExpression folderLine(QStringLiteral("^\\d+\\. `([^`]+)`"));
    static const QRegularExpression exceptionLine(
        QStringLiteral("^- `([^`]+)` sits with `([^`]+)`"));
    Order order;
    const QStringList lines = markdown.split(QLatin1Char('\n'));
    int at = lines.indexOf(QStringLiteral("<!-- folder order -->"));
    if (at < 0)
        return order;
    for (++at; at < lines.size() && !lines.at(at).startsWith(QStringLiteral("## ")); ++at) {
        const QRegularExpressionMatch folder = folderLine.match(lines.at(at));
        if (folder.hasMatch())
            order.folders << folder.captured(1);
        const QRegularExpressionMatch exception = exceptionLine.match(lines.at(at));
        if (exception.hasMatch())
            order.exceptions.insert(exception.captured(1), exception.captured(2));
    }
    return order;
}

IncludeGraph IncludeGraph::scan(const QString &root)
{
    QMap<QString, QByteArray> files;
    const QDir rootDir(root);
    QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(rootDir.relativeFilePath(file.fileName()), file.readAll());
    }
    return fromFiles(files);
}

IncludeGraph IncludeGraph::fromFiles(const QMap<QString, QByteArray> &files)
{
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s+\"([^\"]+)\""),
                                            QRegularExpression::MultilineOption);
    IncludeGraph graph;
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        QStringList &included = graph.m_includes[file.key()];
        const QString folder = QFileInfo(file.key()).path();
        auto match = include.globalMatch(QString::fromUtf8(file.value()));
        while (match.hasNext()) {
            const QString name = match.next().captured(1);
            // Either beside the file or from the root; generated and outside headers are
            // not part of the tree.
            const QString beside = QDir::cleanPath(folder + QLatin1Char('/') + name);
            if (files.contains(beside))
                included << beside;
            else if (files.contains(name))
                included << name;
        }
    }
    return graph;
}

QStringList IncludeGraph::upwardIncludes(const Order &order) const
{
    const auto levelOf = [&order](const QString &file) {
        return order.folders.indexOf(order.exceptions.value(classOf(file), folderOf(file)));
    };
    QStringList found;
    for (auto file = m_includes.cbegin(); file != m_includes.cend(); ++file) {
        const int level = levelOf(file.key());
        if (level < 0) {
            found << file.key() + QStringLiteral(": folder not in the order");
            continue;
        }
        for (const QString &included : file.value()) {
            const int includedLevel = levelOf(included);
            if (includedLevel >= 0 && includedLevel < level)
                found << file.key() + QStringLiteral(" -> ") + included;
        }
    }
    return found;
}

QStringList IncludeGraph::circles() const
{
    QMap<QString, QSet<QString>> uses;
    for (auto file = m_includes.cbegin(); file != m_includes.cend(); ++file) {
        QSet<QString> &used = uses[classOf(file.key())];
        for (const QString &included : file.value()) {
            if (classOf(included) != classOf(file.key()))
                used.insert(classOf(included));
        }
    }

    // Tarjan's strongly connected components: each with more than one class is a circle.
    QHash<QString, int> index;
    QHash<QString, int> lowest;
    QStringList stack;
    QSet<QString> onStack;
    QStringList found;
    std::function<void(const QString &)> visit = [&](const QString &name) {
        const int visited = index.size();
        index.insert(name, visited);
        lowest.insert(name, visited);
        stack << name;
        onStack.insert(name);
        QStringList next = uses.value(name).values();
        std::sort(next.begin(), next.end());
        for (const QString &used : next) {
            if (!index.contains(used)) {
                visit(used);
                lowest[name] = std::min(lowest[name], lowest[used]);
            } else if (onStack.contains(used)) {
                lowest[name] = std::min(lowest[name], index[used]);
            }
        }
        if (lowest[name] != index[name])
            return;
        QStringList component;
        QString member;
        do {
            member = stack.takeLast();
            onStack.remove(member);
            component.prepend(member);
        } while (member != name);
        if (component.size() > 1) {
            std::sort(component.begin(), component.end());
            found << component.join(QStringLiteral(", "));
        }
    };
    for (auto name = uses.cbegin(); name != uses.cend(); ++name) {
        if (!index.contains(name.key()))
            visit(name.key());
    }
    return found;
}
