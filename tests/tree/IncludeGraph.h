#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The includes between the classes of a source tree, checked against the order of its
// folders. A class is a header and its source together, named by its path under the tree
// without the extension ("session/DataSender").
class IncludeGraph
{
public:
    // The folders from the top (which may include all others) down, and the classes that sit
    // on the level of another folder than their own.
    struct Order
    {
        QStringList folders;
        QHash<QString, QString> exceptions;
    };

    // The order as docs/development.md writes it: the numbered list of folders that follows
    // the line "<!-- folder order -->", and bullets "- `class` sits with `folder`" after it.
    static Order parseOrder(const QString &markdown);

    // The project includes of every .h and .cpp file under root.
    static IncludeGraph scan(const QString &root);
    // From file contents by path relative to the root, for trees that exist only in tests.
    static IncludeGraph fromFiles(const QMap<QString, QByteArray> &files);

    // "file -> included file" for every include into a higher level, and every file in a
    // folder that the order does not name.
    QStringList upwardIncludes(const Order &order) const;
    // Each set of classes that reach each other through includes, as "A, B".
    QStringList circles() const;

private:
    // Included project files by including file.
    QMap<QString, QStringList> m_includes;
};
