// Folders no run may touch: the file system's root and the operating system's own folders.
#pragma once

#include <QString>

namespace systemfolders {

// True when `folder`, its symbolic links resolved, is the root of the file system or is or
// lies in one of the operating system's folders. An empty text names the root.
bool IsSystemFolder(const QString& folder);
// The sentence that refuses a run on `folder`, for a message box or the status bar.
QString RefusalText(const QString& folder);

} // namespace systemfolders
