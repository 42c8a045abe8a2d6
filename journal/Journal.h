// Trace and journal records of the sorting runs, kept as INI files in a log folder inside the
// root folder.
#pragma once

#include <QDateTime>
#include <QString>

namespace journal {

inline const QString FileTrace = QStringLiteral("_TRACE.LOG");
inline const QString FileJournal = QStringLiteral("_JOURNAL.LOG");
inline const QString FolderTrace = QStringLiteral("DOSSIERS_TRACE.LOG");
inline const QString FolderJournal = QStringLiteral("DOSSIERS_JOUR.LOG");

// The root folder, a delimiter unless it ends with one, the program's name and "_LOG".
QString LogFolder(const QString& rootFolder);
// Record fields: the short date, and the day heading "09/12/2021 (jeudi)" in the locale's form.
QString ShortDate(const QDate& date);
QString DayHeading(const QDateTime& moment);

// Writes the trace record, then the journal record. INI errors travel to the caller.
void LogFileMove(const QString& rootFolder, const QString& fileName, const QString& destination);
void LogFolderMove(const QString& rootFolder, const QString& folderName,
                   const QString& destination);
// Sorts and spaces the file run's two logs.
void TidyLogs(const QString& rootFolder);

} // namespace journal
