// Folders: creation, tree counts and the file/folder tests.
#pragma once

#include <QString>

// Makes sure the folder exists, creating every missing level; shows its own messages.
bool CreateDir(const QString& folder);
// Adds every file of the tree below `folder` (which ends with the delimiter) to `counter`.
// False when the walk stopped because the application is terminating.
bool CountAllFiles(const QString& folder, const QString& mask, int& counter);
// The walk behind CountAllFiles; `path` is extended before each descent and cut back after it.
bool CountFilesTree(QString& path, int& counter, const QString& mask);
bool IsFolder(const QString& path);
bool IsFile(const QString& path);
