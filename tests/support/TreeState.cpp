#include "TreeState.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace TreeState {

bool writeNumbered(const QString& root, const QString& pattern, int count, int size) {
    for (int i = 0; i < count; ++i) {
        const QString path = root + u'/' + pattern.arg(i);
        QDir().mkpath(path.left(path.lastIndexOf(u'/')));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        QByteArray content = QByteArray::number(i) + ':' + pattern.arg(i).toUtf8() + '\n';
        content += QByteArray(std::max<qsizetype>(0, size - content.size()), 'a' + i % 26);
        if (file.write(content) != content.size())
            return false;
    }
    return true;
}

QHash<QString, QByteArray> hashes(const QStringList& folders) {
    QHash<QString, QByteArray> result;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                result.insert(path,
                              QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
        }
    }
    return result;
}

QSet<QByteArray> missing(const QSet<QByteArray>& originals, const QHash<QString, QByteArray>& now) {
    QSet<QByteArray> left = originals;
    for (const QByteArray& hash : now)
        left.remove(hash);
    return left;
}

QStringList strangers(const QString& root, const QSet<QByteArray>& originals,
                      const QHash<QString, QByteArray>& now) {
    QStringList found;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (!it.key().startsWith(root + u'/'))
            continue;
        const QString relative = it.key().mid(root.size() + 1);
        if (relative.startsWith(u'.') || relative.contains(QStringLiteral("/.")) ||
            relative.endsWith(QStringLiteral(".LOG")) || relative.endsWith(QStringLiteral(".INI")))
            continue;
        if (!originals.contains(it.value()))
            found.append(it.key());
    }
    return found;
}

QStringList badIniLines(const QString& file) {
    QFile in(file);
    QStringList bad;
    if (!in.open(QIODevice::ReadOnly))
        return bad;
    for (QByteArray line : in.readAll().split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.contains('=') ||
            (line.startsWith('[') && line.endsWith(']')))
            continue;
        bad.append(QString::fromUtf8(line));
    }
    return bad;
}

} // namespace TreeState
