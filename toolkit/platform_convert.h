// QString at the boundary of the platform layer, which speaks std::u16string.
#pragma once

#include <QString>

#include "platform.h"

namespace ordalix {

platform::Path toPlatformPath(const QString& path);
QString fromPlatformPath(const platform::Path& path);

// The delimiter every path is built with: `\` on Windows, `/` elsewhere.
inline constexpr QChar PathDelim{platform::PathDelimiter};

} // namespace ordalix
