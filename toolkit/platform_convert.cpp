#include "platform_convert.h"

namespace ordalix {

platform::Path toPlatformPath(const QString& path) {
    return platform::Path(reinterpret_cast<const char16_t*>(path.utf16()),
                          static_cast<size_t>(path.size()));
}

QString fromPlatformPath(const platform::Path& path) {
    return QString::fromUtf16(path.data(), static_cast<qsizetype>(path.size()));
}

} // namespace ordalix
