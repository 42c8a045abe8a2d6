// The operating-system services the toolkit needs, with the Windows API's semantics.
// Plain C++ (no Qt): a Win32 backend maps each call onto the API of the same role.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ordalix::platform {

using Path = std::u16string;

#ifdef _WIN32
inline constexpr char16_t PathDelimiter = u'\\';
#else
inline constexpr char16_t PathDelimiter = u'/';
#endif

// Attribute bits with the Windows values, so callers test one set of flags on every OS.
inline constexpr std::uint32_t FileAttributeReadOnly = 0x1;
inline constexpr std::uint32_t FileAttributeHidden = 0x2;
inline constexpr std::uint32_t FileAttributeSystem = 0x4;
inline constexpr std::uint32_t FileAttributeDirectory = 0x10;
inline constexpr std::uint32_t FileAttributeNormal = 0x80;
inline constexpr std::uint32_t FileAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t InvalidFileAttributes = 0xFFFFFFFFu;

// An instant in UTC.
struct FileTime {
    std::int64_t secondsSinceEpoch = 0; // since 1970-01-01T00:00:00Z
    std::uint32_t nanoseconds = 0;
};

struct FindData {
    Path name;
    std::uint32_t attributes = 0;
    FileTime lastWriteTime;
};

// A pattern search over one folder (FindFirstFileW / FindNextFileW / FindClose).
// The pattern is a folder, the delimiter and a mask of `*` and `?` matched without regard to
// case; `*.*` matches every name. A mask without wildcards names one entry. A symbolic link is
// reported with FileAttributeReparsePoint, plus FileAttributeDirectory when it leads to a folder.
class FindHandle {
public:
    FindHandle();
    ~FindHandle();
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    // withTimes = false leaves lastWriteTime empty and spares a stat per entry where the
    // file system reports the entry's type itself.
    bool findFirst(const Path& pattern, FindData& data, bool withTimes = true);
    bool findNext(FindData& data);
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// GetFileAttributesW: a symbolic link is followed. InvalidFileAttributes when unreadable.
std::uint32_t getFileAttributes(const Path& path);

// GetFileAttributesExW's last-write time; a symbolic link is followed.
bool getLastWriteTime(const Path& path, FileTime& time);

// What GetFileInformationByHandle tells of a file: a symbolic link is followed. Two paths name
// the same file when device and index agree.
struct FileStatus {
    bool directory = false;
    std::uint64_t size = 0;
    FileTime lastWriteTime;
    std::uint64_t device = 0;
    std::uint64_t index = 0;
};
bool getFileStatus(const Path& path, FileStatus& status);
// The same of the entry itself: a symbolic link (or junction) is not followed.
bool getLinkStatus(const Path& path, FileStatus& status);
// Sets an entry's last-write time (a link's own, not followed), leaving its other times.
bool setLastWriteTime(const Path& path, const FileTime& time);

// A file that takes whole writes at its end, for records written ahead of the steps they tell
// of: each write lands after whatever is there, and one that fails part-way (a full disk) is cut
// back, so that the file never ends in half a line. Not inherited by child processes.
class AppendFile {
public:
    AppendFile();
    ~AppendFile(); // closes, without syncing
    AppendFile(AppendFile&& other) noexcept;
    AppendFile& operator=(AppendFile&& other) noexcept;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // `createNew` makes the file (owner only) and fails when the name is taken
    // (lastErrorIsAlreadyExists); otherwise the file must exist.
    bool open(const Path& path, bool createNew);
    bool isOpen() const;
    bool append(const char* data, std::size_t size);
    // The data written so far is on the disk.
    bool sync();
    void close();
    // Whether `path` still names this very file.
    bool isFileAt(const Path& path) const;

private:
    std::intptr_t m_handle;
};

// CopyFileW. Keeps the last-write time and permission bits; the destination is replaced as a
// whole (a temporary file renamed over it), never truncated in place, and never when it is the
// source itself.
bool copyFile(const Path& from, const Path& to, bool failIfExists);
// Told how far a copy has come (bytes done, bytes in all); false to cancel it.
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

#ifdef _WIN32
// copyFile telling `progress` as the copy goes (CopyFileExW); its false cancels the copy, which
// then fails with ERROR_REQUEST_ABORTED and leaves nothing.
bool copyFile(const Path& from, const Path& to, bool failIfExists, const CopyProgress& progress);
#else
// copyFile from a file already open for reading at its start (`from` is not opened again).
bool copyOpenFile(int from, const Path& to, bool failIfExists);

// A copy written whole beside its destination before it takes its name, so that whatever the
// name holds now can be put aside only once the new copy is sure. Unnamed where the file system
// allows it (a kill leaves nothing), else under a hidden temporary name that goes with the
// object unless published. Same time stamps and permission bits as the source.
class PendingCopy {
public:
    PendingCopy();
    ~PendingCopy();
    PendingCopy(const PendingCopy&) = delete;
    PendingCopy& operator=(const PendingCopy&) = delete;

    // Copies the regular file open at `from` (read from its current position) for `to`. A
    // large file is copied in pieces, `progress` told between them; its false cancels the
    // copy, which then fails with ECANCELED and leaves nothing.
    bool write(int from, const Path& to, const CopyProgress& progress = {});
    // Gives the copy its name; never replaces anything there (fails with the name taken).
    bool publish();
    // The copy's own identity, to remove it later only if it is still ours.
    bool status(FileStatus& status) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
#endif

#ifndef _WIN32
// Read leases tell whether another program writes a file. A writer that opens the file while the
// lease is held breaks it, and the kernel tells the holder with SIGIO, which ends a process by
// default: this lets it pass (the lease is given back at once anyway). Idempotent.
void ignoreLeaseBreaks();
#endif

// True when another process has the file open for writing: it may still be growing, and a
// copy of it now could be half-written. False when nobody writes it or it cannot be opened.
// On Windows: a read that shares only reads is refused for a sharing violation, which any
// handle open to write (or one that shares no reads) causes, this process's own included.
bool isOpenForWritingElsewhere(const Path& path);

// MoveFileExW: a rename on one volume; files only.
inline constexpr std::uint32_t MoveFileReplaceExisting = 0x1;
bool moveFile(const Path& from, const Path& to, std::uint32_t flags);
// A rename on one volume that never replaces anything and looks at neither path first, for a
// caller that knows `from` is a file and expects `to` to be free: moveFile's checks cost a
// call each, which a walk over many files feels. Fails when anything holds `to`.
bool renameNoReplace(const Path& from, const Path& to);

// SHFileOperationW with one source name.
inline constexpr std::uint32_t FoMove = 1;
inline constexpr std::uint32_t FoDelete = 3;
inline constexpr std::uint32_t FofSilent = 0x0004;
inline constexpr std::uint32_t FofNoConfirmation = 0x0010;
inline constexpr std::uint32_t FofAllowUndo = 0x0040;
inline constexpr std::uint32_t FofFilesOnly = 0x0080;

struct ShellFileOperation {
    std::uint32_t function = 0;
    Path from;
    Path to;
    std::uint32_t flags = 0;
};
// Returns 0 on success. A move never merges into an existing target, and on POSIX never leaves
// its volume: a destination on another one (a mount, or a link on the way) is refused with
// EXDEV and the source left whole, since a copy and a removal would delete it for good. A
// delete only ever goes to the recycle bin (FofAllowUndo) and fails, leaving the item, when the
// bin cannot take it.
int shellFileOperation(const ShellFileOperation& operation);

// Where an item sent to the trash went: the item itself inside the trash, and the file that
// tells where it came from and when, for an undo.
struct TrashedItem {
    Path item;
    Path info;
};
// Sends a file, link or whole folder to the desktop's trash (what a delete with FofAllowUndo
// does), and tells where it went when `where` is given. Never copies to another volume and
// never deletes: false, with the item left where it was, when no trash of its volume takes it.
// `beforeMove`, when given, is told where the item will go before it moves there, so that a
// caller can write that down first: a process killed in between still knows. When it returns
// false (it could not write it down) the item does not move and the call fails.
// On Windows the recycle bin keeps its own names and does not tell where an item went: a
// successful call returns true with `where` left empty (item and info), and `beforeMove` is
// never called. Only a fixed drive has a bin there; elsewhere the call fails, the item stays.
bool moveToTrash(const Path& path, TrashedItem* where,
                 const std::function<bool(const TrashedItem&)>& beforeMove = {});

// A run's hold on a folder, across processes: shared or exclusive, never waited for, and given
// back by release() or when the process ends. On POSIX it is the folder's own lock; Windows
// locks no folder, so there it is a lock file in `lockFolder`, named after the folder's
// identity (whatever path or link leads to the folder, it meets the same lock).
class FolderLock {
public:
    FolderLock();
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Opens the folder (a link is not followed on POSIX) and tells its identity.
    bool open(const Path& folder, const Path& lockFolder, std::uint64_t& device,
              std::uint64_t& index);
    // False when another holder's lock conflicts.
    bool tryLock(bool exclusive);
    void release();

private:
    std::intptr_t m_handle;
};

// CreateDirectoryW: one level.
bool createDirectory(const Path& path);

// The running program's full path.
Path executablePath();

// The operating system's own folders, where no run may go: on Windows the Windows folder,
// Program Files (both) and ProgramData as the known-folder API names them.
std::vector<Path> systemFolders();

// The error of the last failing call on this thread, and its text in the user's language.
int lastError();
// True when that error only says there was nothing there (no such entry, no match).
bool lastErrorIsNotFound();
// True when that error says the name is taken.
bool lastErrorIsAlreadyExists();
std::u16string lastErrorText();
// The system's text for an error number, in French where the backend can say it so.
std::u16string errorText(int error);

} // namespace ordalix::platform
