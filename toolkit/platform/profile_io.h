// The file access under the INI profile store, one implementation per backend: whole reads,
// checked appends, atomic replacements, the stamps that tell a file changed, and the lock that
// makes writers in other processes take turns. Errors are the backend's own codes (errno on
// POSIX, GetLastError on Windows).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform.h"

namespace ordalix::platform::profile::io {

#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// False, with the error set, for an empty path or one that names no single file.
bool toNative(const Path& path, NativePath& out);

// What a file looked like when last seen: any write by anyone changes one of these, except an
// in-place rewrite to the same size within one tick of the file system's clock.
struct Stamp {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::uint32_t modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0;
    std::uint32_t changedNanoseconds = 0;

    bool operator==(const Stamp&) const = default;
    // False while the stamp is too recent to prove anything on a file system whose times are
    // whole seconds (FAT, exFAT, ext4 with small inodes): a tick there lasts up to 2 s.
    bool tellsChanges() const;
};

// The stamp of the file a path leads to. False with error 0 when there is no such file.
bool stampOf(const NativePath& path, Stamp& stamp, int& error);

// The largest piece readPieces hands over.
inline constexpr std::size_t PieceSize = 128 * 1024;

// Reads a regular file from `offset` in pieces, handing each to `piece` until it returns false
// or the file ends, and gives the stamp of the file read; 0 or the error.
int readPieces(const NativePath& path, std::uint64_t offset, Stamp& stamp,
               const std::function<bool(const char* data, std::size_t size)>& piece);

// Reads a whole regular file and its stamp; 0 or the error.
inline int readWhole(const NativePath& path, std::string& bytes, Stamp& stamp) {
    bytes.clear();
    return readPieces(path, 0, stamp, [&](const char* data, std::size_t size) {
        if (bytes.empty())
            bytes.reserve(static_cast<std::size_t>(stamp.size));
        bytes.append(data, size);
        return true;
    });
}

// Returned by append when the file is no longer expectedSize bytes long.
inline constexpr int FileChanged = -1;

// Appends to a file whose size must still be expectedSize; on failure the file is cut back.
// 0, FileChanged or the error; `after` is the stamp once appended.
int append(const NativePath& path, std::uint64_t expectedSize, const std::string& bytes,
           Stamp& after);

// Replaces a whole file atomically and durably through a hidden temporary file in its folder,
// keeping an existing file's permissions; 0 or the error, the file then left as it was.
int replace(const NativePath& path, const std::string& bytes);

// Sets the error the public calls report (errno, or the thread's last error), and reads it.
void setError(int error);
int currentError();
// The error "another program keeps changing the file".
int busyError();

// The cross-process lock of the folder that holds a file.
struct FolderLock {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    std::intptr_t token = -1;
};
// The folder's identity, and what its lock needs; false when there is no such folder.
bool openFolder(const NativePath& file, FolderLock& lock);
// Waits until no other process holds the folder; false where no lock is offered (the caller
// then goes on without, as it would have before locks).
bool lockFolder(FolderLock& lock);
// Releases the lock when held and closes what openFolder opened.
void closeFolder(FolderLock& lock);

} // namespace ordalix::platform::profile::io
