#include "platform_convert.h"

#include <QDir>

namespace ordalix {

platform::Path toPlatformPath(const QString& path) {
    return platform::Path(reinterpret_cast<const char16_t*>(path.utf16()),
                          static_cast<size_t>(path.size()));
}

QString fromPlatformPath(const platform::Path& path) {
    return QString::fromUtf16(path.data(), static_cast<qsizetype>(path.size()));
}

QString wholePath(const QString& path) {
    if (path.isEmpty())
        return path;
    QString whole = QDir::fromNativeSeparators(QDir::current().absoluteFilePath(path));
#ifdef _WIN32
    const bool drive = whole.size() >= 2 && whole[1] == u':';
    if (!drive && !whole.startsWith(QStringLiteral("//")) && whole.startsWith(u'/'))
        whole.prepend(QDir::currentPath().left(2));
#endif
    return QDir::toNativeSeparators(whole);
}

} // namespace ordalix
