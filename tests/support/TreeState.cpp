#include "TreeState.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

namespace {

#ifdef _WIN32
// Links and junctions are not followed, as on the other systems.
void hashFolder(const QString& path, QHash<QString, QByteArray>& result) {
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                           QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymbolicLink() || entry.isJunction())
            continue;
        if (entry.isDir()) {
            hashFolder(entry.filePath(), result);
        } else if (entry.isFile()) {
            QFile file(entry.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(&file);
            result.insert(entry.filePath(), hash.result());
        }
    }
}
#else
// Walks from open folders rather than by full paths: a tree may hold paths longer than the
// system takes whole, and names that are not valid UTF-8.
void hashFolder(int folder, const QByteArray& path, QHash<QString, QByteArray>& result) {
    DIR* dir = ::fdopendir(::dup(folder));
    if (!dir)
        return;
    ::rewinddir(dir);
    while (dirent* entry = ::readdir(dir)) {
        const QByteArray name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (::fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(folder, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (sub >= 0) {
                hashFolder(sub, path + '/' + name, result);
                ::close(sub);
            }
        } else if (S_ISREG(st.st_mode)) {
            const int file = ::openat(folder, entry->d_name, O_RDONLY);
            if (file < 0)
                continue;
            QCryptographicHash hash(QCryptographicHash::Sha256);
            static QByteArray buffer(65536, '\0'); // not on the stack: the walk runs deep
            for (ssize_t n; (n = ::read(file, buffer.data(), size_t(buffer.size()))) > 0;)
                hash.addData(QByteArrayView(buffer.constData(), n));
            ::close(file);
            result.insert(QFile::decodeName(path + '/' + name), hash.result());
        }
    }
    ::closedir(dir);
}
#endif

} // namespace

QHash<QString, QByteArray> hashes(const QStringList& folders) {
    QHash<QString, QByteArray> result;
    for (const QString& folder : folders) {
#ifdef _WIN32
        hashFolder(QDir::fromNativeSeparators(folder), result);
#else
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            continue;
        hashFolder(fd, QFile::encodeName(folder), result);
        ::close(fd);
#endif
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

QStringList iniFiles(const QString& folder) {
    QStringList files;
    QDirIterator it(folder,
                    {QStringLiteral("*.INI"), QStringLiteral("*.LOG"), QStringLiteral("*.ini")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
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
