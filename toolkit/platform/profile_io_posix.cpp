// POSIX file access of the INI profile store.
#include "profile_io.h"

#include "posix_io.h"
#include "profile_text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ordalix::platform::profile::io {

namespace {

using posix::Fd;
using posix::writeAll;

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Stamp stampFrom(const struct stat& st) {
    Stamp stamp;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.index = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modifiedSeconds = st.st_mtim.tv_sec;
    stamp.modifiedNanoseconds = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
    stamp.changedSeconds = st.st_ctim.tv_sec;
    stamp.changedNanoseconds = static_cast<std::uint32_t>(st.st_ctim.tv_nsec);
    return stamp;
}

int syncFolder(const std::string& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0)
        return errno;
    return 0;
}

} // namespace

bool toNative(const Path& path, NativePath& out) {
    if (path.empty() || !utf16ToUtf8(path, out, true) || out.find('\0') != std::string::npos) {
        errno = path.empty() ? ENOENT : EINVAL;
        return false;
    }
    return true;
}

bool Stamp::tellsChanges() const {
    if (modifiedNanoseconds != 0 || changedNanoseconds != 0)
        return true;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - modifiedSeconds >= 2 && now.tv_sec - changedSeconds >= 2;
}

bool stampOf(const NativePath& path, Stamp& stamp, int& error) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        error = errno == ENOENT ? 0 : errno;
        return false;
    }
    stamp = stampFrom(st);
    error = 0;
    return true;
}

int readPieces(const NativePath& path, std::uint64_t offset, Stamp& stamp,
               const std::function<bool(const char* data, std::size_t size)>& piece) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    stamp = stampFrom(st);
    // No larger than what is left to read: a small file costs no large buffer. Pieces of a
    // large one stay small, and their memory is not cleared first: reading a file of tens of
    // megabytes is then a matter of copying it, not of the memory's first touches.
    const off_t left = st.st_size > static_cast<off_t>(offset) ? st.st_size - offset : 0;
    const auto size = static_cast<std::size_t>(std::min<off_t>(left + 1, PieceSize));
    const std::unique_ptr<char[]> buffer(new char[size]);
    for (off_t at = static_cast<off_t>(offset);;) {
        const ssize_t n = ::pread(fd.get(), buffer.get(), size, at);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        at += n;
        if (!piece(buffer.get(), static_cast<std::size_t>(n)))
            return 0;
    }
}

int replace(const NativePath& file, const std::string& bytes) {
    std::string path = file;
    struct stat st;
    bool exists = false;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file a link leads to, not the link.
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved))
            path = resolved;
    }
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        // The rename below only needs the folder: refuse a file we may not write ourselves.
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
            return errno;
        exists = true;
    } else if (errno != ENOENT) {
        return errno;
    }

    static std::atomic<unsigned> counter{0};
    const std::string folder = parentOf(path);
    const std::string base = nameOf(path).substr(0, 200);
    std::string temporary;
    Fd out;
    for (int attempt = 0; attempt < 16 && out.get() < 0; ++attempt) {
        temporary = folder + "/." + base + ".~" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++);
        out.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (out.get() < 0 && errno != EEXIST)
            return errno;
    }
    if (out.get() < 0)
        return EEXIST;

    int error = 0;
    if (exists) {
        if (::fchown(out.get(), st.st_uid, st.st_gid) != 0) {
            // Only allowed to root; otherwise the file becomes ours, as any rewrite would make it.
        }
        if (::fchmod(out.get(), st.st_mode & 07777) != 0)
            error = errno;
    }
    if (!error && !writeAll(out.get(), bytes.data(), bytes.size()))
        error = errno;
    if (!error && ::fsync(out.get()) != 0)
        error = errno;
    if (::close(out.release()) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    return syncFolder(folder);
}

int append(const NativePath& path, std::uint64_t expectedSize, const std::string& bytes,
           Stamp& after) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return errno;
    if (static_cast<std::uint64_t>(st.st_size) != expectedSize)
        return FileChanged; // changed under us: the caller starts again from the file
    // No sync per append: the journals append two records per sorted file, and a sync each
    // would make the sort a hundred times slower. What is appended is in the file for every
    // reader, and a process that dies keeps it; a rewrite is still synced before its rename.
    if (!writeAll(fd.get(), bytes.data(), bytes.size())) {
        const int error = errno;
        if (::ftruncate(fd.get(), static_cast<off_t>(expectedSize)) == 0)
            ::fdatasync(fd.get());
        return error;
    }
    if (::fstat(fd.get(), &st) != 0)
        return errno;
    after = stampFrom(st);
    return ::close(fd.release()) == 0 ? 0 : errno;
}

void setError(int error) {
    errno = error;
}

int currentError() {
    return errno;
}

int busyError() {
    return EAGAIN;
}

// Writers of one file in different processes take turns through an advisory flock on the
// folder that holds it: the file itself is replaced by rename, which would leave a lock on it
// with the old inode, and a lock file beside it would litter the user's folders.
bool openFolder(const NativePath& file, FolderLock& lock) {
    Fd folder(::open(parentOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (folder.get() < 0 || ::fstat(folder.get(), &st) != 0)
        return false;
    lock.device = static_cast<std::uint64_t>(st.st_dev);
    lock.index = static_cast<std::uint64_t>(st.st_ino);
    lock.token = folder.release();
    return true;
}

bool lockFolder(FolderLock& lock) {
    int result;
    do
        result = ::flock(static_cast<int>(lock.token), LOCK_EX);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

void closeFolder(FolderLock& lock) {
    if (lock.token >= 0)
        ::close(static_cast<int>(lock.token)); // releases the lock
    lock.token = -1;
}

} // namespace ordalix::platform::profile::io
