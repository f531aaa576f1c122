#include "IsolatedHome.h"

#include <QByteArray>
#include <QDir>

#include <cstdio>
#include <cstdlib>

IsolatedHome::IsolatedHome()
{
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary home folder\n");
        std::abort();
    }
    const QByteArray home = QFile::encodeName(m_dir.path());
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    QDir(m_dir.path()).mkpath(QStringLiteral(".config"));
}
