// Trace and journal records of the sorting runs, kept as INI files in a log folder inside the
// root folder.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include "outil32_ini.h"

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
// The file run's records, kept back and written a batch at a time, each log file in one turn
// with other writers: the run flushes them before each tick of its message pump and on every
// way out, so that the logs read as if each record had been written on its own.
class FileMoveLog {
public:
    FileMoveLog() = default;
    // Writes what is left when the run is left by an exception; a failure then goes untold,
    // the exception already ending the run.
    ~FileMoveLog();
    FileMoveLog(const FileMoveLog&) = delete;
    FileMoveLog& operator=(const FileMoveLog&) = delete;

    // LogFileMove's two records, kept back. The first of a run is written at once: a journal
    // that cannot be written ends the run before any original has left the root folder.
    void add(const QString& rootFolder, const QString& fileName, const QString& destination);
    // Writes the records kept back, in order. INI errors travel to the caller, and the records
    // not written are dropped.
    void flush();
    // flush, when the last write is a quarter of a second old: a run pumps messages every few
    // milliseconds, and a record for a name the journal already holds rewrites the whole file.
    void flushWhenDue();

private:
    QString m_root;
    QList<IniEntry> m_trace;
    QList<IniEntry> m_journal;
    bool m_started = false;
    QElapsedTimer m_written;
};

void LogFolderMove(const QString& rootFolder, const QString& folderName,
                   const QString& destination);
// Sorts and spaces the file run's two logs.
void TidyLogs(const QString& rootFolder);

} // namespace journal
