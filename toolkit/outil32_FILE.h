// File operations, each with one fixed choice of the platform's flags.
#pragma once

#include <QString>

#include "outil32_math.h"

// Copies a file, replacing an existing destination. True on success.
bool FileCopy(const QString& source, const QString& destination);
// Renames a file on one volume, replacing an existing destination file.
bool FileMoveReplace(const QString& source, const QString& destination);
// Moves a file or a whole folder, across volumes too; never into an existing target.
bool ShellMove(const QString& source, const QString& destination);
// Sends a file or folder to the recycle bin, silently. Never deletes permanently.
bool RecycleFile(const QString& path);
// Local last-write time of the first entry a search for `path` finds; 0 when none.
DateTimeValue FileTimeStamp(const QString& path);
// A file's date in the user's short date format; empty for a folder or a missing path.
QString FileDateStr(const QString& path);
// Entries of `folder` matching `mask` that are not folders.
int CountFiles(const QString& folder, const QString& mask);

// The platform's text for the last failure of the calls above, for messages to the user.
QString LastFileErrorText();
