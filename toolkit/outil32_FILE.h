// File operations, each with one fixed choice of the platform's flags.
#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "outil32_math.h"

// Copies a file, replacing an existing destination. True on success.
bool FileCopy(const QString& source, const QString& destination);
// Renames a file on one volume, replacing an existing destination file.
bool FileMoveReplace(const QString& source, const QString& destination);
// Moves a file or a whole folder; never into an existing target. On POSIX a move to another
// volume is refused, the source left where it was.
bool ShellMove(const QString& source, const QString& destination);
// Sends a file or folder to the recycle bin, silently. Never deletes permanently.
bool RecycleFile(const QString& path);
// Where RecycleFile put an item: the item inside the trash and its info file, for an undo.
struct TrashedItem {
    QString item;
    QString info;
};
// RecycleFile, telling where the item went (`where` is left alone on failure).
bool RecycleFile(const QString& path, TrashedItem* where);
// The same, telling `beforeMove` where the item will go before it moves (to note it down
// first): when it answers false, the item stays where it is and the call fails.
bool RecycleFile(const QString& path, const std::function<bool(const TrashedItem&)>& beforeMove,
                 TrashedItem* where = nullptr);
// Brings an item this program just sent to the trash back to `original`, never over a name
// taken meanwhile, and removes its info file. False, the item left in the trash, otherwise.
bool MoveBackFromTrash(const TrashedItem& at, const QString& original);
// True when another program has the file open for writing (it may still be growing).
bool FileBeingWritten(const QString& path);
// Local last-write time of the first entry a search for `path` finds; 0 when none.
DateTimeValue FileTimeStamp(const QString& path);
// A file's date in the user's short date format; empty for a folder or a missing path.
QString FileDateStr(const QString& path);
// Entries of `folder` matching `mask` that are not folders.
int CountFiles(const QString& folder, const QString& mask);

// A file's size, last-write time and identity (a symbolic link is followed), to tell whether
// it changed between two looks, or whether two paths name one file.
struct FileSnapshot {
    bool exists = false;
    bool directory = false;
    quint64 size = 0;
    qint64 seconds = 0;
    quint32 nanoseconds = 0;
    quint64 device = 0;
    quint64 index = 0;

    bool sameFileAs(const FileSnapshot& other) const;
    bool unchangedSince(const FileSnapshot& earlier) const;
};
FileSnapshot SnapshotFile(const QString& path);

// A file to copy, looked at and copied through one open of it: its snapshot and whether another
// program writes it (SnapshotFile and FileBeingWritten), then FileCopy from that same open file.
class SourceFile {
public:
    // `beforeFollowingLink` runs before a symbolic link is followed (never for a plain file),
    // or before the file is opened at all where links cannot be told apart.
    explicit SourceFile(const QString& path, const std::function<void()>& beforeFollowingLink = {});
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    const FileSnapshot& snapshot() const { return m_snapshot; }
    bool beingWritten() const { return m_beingWritten; }
    // Told how far the copy of a large file has come (bytes); false cancels it.
    using CopyProgress = std::function<bool(qint64 done, qint64 total)>;
    // A copy of the file as opened, written whole beside `destination` without taking its name
    // yet: whatever holds the name now is still there. Once only. A cancelled copy leaves
    // nothing behind.
    bool copyBeside(const QString& destination, const CopyProgress& progress = {});
    // Gives that copy its name, never replacing anything there.
    bool publishCopy();
    // The copy's own identity, so that only it is ever removed without the trash.
    FileSnapshot copySnapshot() const;

private:
    struct Pending;
    QString m_path;
    int m_fd = -1;
    FileSnapshot m_snapshot;
    bool m_beingWritten = false;
    std::unique_ptr<Pending> m_copy;
};

// The platform's text for the last failure of the calls above, for messages to the user.
QString LastFileErrorText();
