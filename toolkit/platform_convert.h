// QString at the boundary of the platform layer, which speaks std::u16string.
#pragma once

#include <QString>

#include "platform.h"

namespace ordalix {

platform::Path toPlatformPath(const QString& path);
QString fromPlatformPath(const platform::Path& path);

// `path` made whole, in the system's form: relative to the current folder made absolute, and on
// Windows a path from the top of the current drive ("\Photos") given that drive, so that no
// run ever works out where a folder is from a path that does not say.
QString wholePath(const QString& path);

// The delimiter every path is built with: `\` on Windows, `/` elsewhere.
inline constexpr QChar PathDelim{platform::PathDelimiter};

// How names compare: Windows' file systems ignore case, the others do not.
#ifdef _WIN32
inline constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;
#else
inline constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseSensitive;
#endif

} // namespace ordalix
