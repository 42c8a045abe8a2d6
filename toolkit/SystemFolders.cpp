#include "SystemFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "platform.h"
#include "platform_convert.h"

namespace systemfolders {

namespace {

// The system's own trees, with '/' between names as Qt writes them.
const QStringList& systemTrees() {
    static const QStringList trees = [] {
        QStringList list;
        for (const auto& folder : ordalix::platform::systemFolders())
            list.append(
                QDir::cleanPath(QDir::fromNativeSeparators(ordalix::fromPlatformPath(folder))));
        return list;
    }();
    return trees;
}

// The top of a file system: "/", a drive's root ("C:/") or a network share's ("//server/share").
bool isRoot(const QString& path) {
    if (path == QStringLiteral("/"))
        return true;
#ifdef _WIN32
    if (path.size() <= 3 && path.size() >= 2 && path[1] == u':')
        return true;
    if (path.startsWith(QStringLiteral("//")))
        return path.mid(2).split(u'/', Qt::SkipEmptyParts).size() <= 2;
#endif
    return false;
}

// The folder as the system will reach it: absolute, clean, with its links resolved as far as
// it exists (a link from a home folder into /usr leads into /usr).
QString resolved(const QString& folder) {
    QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    QString rest;
    for (;;) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (!canonical.isEmpty())
            return QDir::cleanPath(canonical + rest);
        const qsizetype slash = path.lastIndexOf(u'/');
        // Never above the top: "/", "C:/" or "//".
        const qsizetype top = path.size() >= 3 && path[1] == u':' ? 3
                              : path.startsWith(u"//")            ? 2
                                                                  : 1;
        if (slash < top)
            return QDir::cleanPath(path + rest);
        rest.prepend(path.mid(slash));
        path.truncate(slash);
    }
}

} // namespace

bool IsSystemFolder(const QString& folder) {
    const QString path = folder.isEmpty() ? QStringLiteral("/") : resolved(folder);
    if (isRoot(path))
        return true;
    for (const QString& tree : systemTrees()) {
        if (path.compare(tree, ordalix::FileNameCase) == 0 ||
            path.startsWith(tree + u'/', ordalix::FileNameCase))
            return true;
    }
    return false;
}

QString RefusalText(const QString& folder) {
    return QStringLiteral("Le dossier %1 appartient au système : Ordalix n'y range rien et n'y "
                          "déplace aucun fichier.\r\n\r\nChoisissez un de vos propres dossiers.")
        .arg(folder.isEmpty() ? QString(ordalix::PathDelim) : folder);
}

} // namespace systemfolders
