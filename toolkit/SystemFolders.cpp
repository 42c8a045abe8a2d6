#include "SystemFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "platform_convert.h"

namespace systemfolders {

namespace {

// The system's own trees. /tmp, /home, /mnt, /media, /srv and /opt hold people's files and stay
// open to the runs.
const QStringList& systemTrees() {
    static const QStringList trees{
        QStringLiteral("/bin"),   QStringLiteral("/boot"),   QStringLiteral("/dev"),
        QStringLiteral("/etc"),   QStringLiteral("/lib"),    QStringLiteral("/lib32"),
        QStringLiteral("/lib64"), QStringLiteral("/libx32"), QStringLiteral("/proc"),
        QStringLiteral("/run"),   QStringLiteral("/sbin"),   QStringLiteral("/sys"),
        QStringLiteral("/usr"),   QStringLiteral("/var")};
    return trees;
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
        if (slash <= 0)
            return QDir::cleanPath(QStringLiteral("/") + path.mid(1) + rest);
        rest.prepend(path.mid(slash));
        path.truncate(slash);
    }
}

} // namespace

bool IsSystemFolder(const QString& folder) {
    const QString path = folder.isEmpty() ? QStringLiteral("/") : resolved(folder);
    if (path == QStringLiteral("/"))
        return true;
    for (const QString& tree : systemTrees()) {
        if (path == tree || path.startsWith(tree + u'/'))
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
