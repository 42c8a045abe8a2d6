// POSIX backend of the platform layer.
#include "platform.h"
#include "posix_io.h"
#include "trash_posix.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <glib.h>

namespace ordalix::platform {

namespace {

using posix::Fd;
using posix::renameNoReplace;
using posix::writeAll;

thread_local int t_lastError = 0;
thread_local std::string t_lastErrorText;

bool fail(int error, std::string text = {}) {
    t_lastError = error;
    t_lastErrorText = text.empty() ? posix::errorText(error) : std::move(text);
    return false;
}

bool failErrno() {
    return fail(errno);
}

// File names are bytes here; the toolkit speaks UTF-16. A name that is not valid UTF-8 decodes
// with U+FFFD in it, which names no existing file: such an entry can be listed but never
// touched by mistake.
bool toNative(const Path& path, std::string& out) {
    if (path.empty())
        return fail(ENOENT);
    // Most paths are plain ASCII, the same bytes in both: no round trip through GLib.
    if (std::all_of(path.begin(), path.end(), [](char16_t c) { return c != 0 && c < 0x80; })) {
        out.assign(path.begin(), path.end());
        return true;
    }
    glong written = 0;
    GError* error = nullptr;
    gchar* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(path.data()),
                                  static_cast<glong>(path.size()), nullptr, &written, &error);
    if (!utf8) {
        g_clear_error(&error);
        return fail(EINVAL);
    }
    out.assign(utf8, static_cast<size_t>(written));
    g_free(utf8);
    if (out.find('\0') != std::string::npos)
        return fail(EINVAL);
    return true;
}

Path fromNative(const char* bytes, size_t size) {
    if (std::all_of(bytes, bytes + size,
                    [](char c) { return c != 0 && static_cast<unsigned char>(c) < 0x80; }))
        return Path(bytes, bytes + size);
    gchar* valid = g_utf8_make_valid(bytes, static_cast<gssize>(size));
    glong written = 0;
    gunichar2* utf16 = g_utf8_to_utf16(valid, -1, nullptr, &written, nullptr);
    g_free(valid);
    Path result;
    if (utf16)
        result.assign(reinterpret_cast<const char16_t*>(utf16), static_cast<size_t>(written));
    g_free(utf16);
    return result;
}

Path fromNative(const std::string& bytes) {
    return fromNative(bytes.data(), bytes.size());
}

bool isDotName(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

std::string lastComponent(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::uint32_t attributesOf(const std::string& name, const struct stat& st, bool isLink) {
    std::uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= FileAttributeDirectory;
    if (isLink)
        attributes |= FileAttributeReparsePoint;
    if (!name.empty() && name[0] == '.' && !isDotName(name.c_str()))
        attributes |= FileAttributeHidden;
    if (attributes == 0)
        attributes = FileAttributeNormal;
    return attributes;
}

FileTime fileTimeOf(const struct stat& st) {
    return FileTime{static_cast<std::int64_t>(st.st_mtim.tv_sec),
                    static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
}

bool hasWildcards(const std::string& mask) {
    return mask.find_first_of("*?") != std::string::npos;
}

// The Windows wildcard language through fnmatch: brackets and backslashes are literal there.
std::string toFnmatchPattern(const std::string& mask) {
    if (mask == "*.*")
        return "*";
    std::string pattern;
    for (const char c : mask) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

// Contents from one open file into another: a reflink where the file system shares blocks,
// then copy_file_range, then plain reads and writes. A large file goes in pieces, each short
// enough that `progress` (when given) is told often; its false cancels the copy (ECANCELED).
bool copyContents(int in, dev_t inDevice, int out, const CopyProgress& progress = {}) {
    // A file system that cannot share blocks says so once (a clone only works within one file
    // system): a run of thousands of copies on it does not ask again for each file.
    static std::atomic<dev_t> noClones{0};
    if (inDevice != noClones.load(std::memory_order_relaxed)) {
        if (::ioctl(out, FICLONE, in) == 0)
            return true;
        if (errno == EOPNOTSUPP || errno == ENOTTY)
            noClones.store(inDevice, std::memory_order_relaxed);
    }
    struct stat st;
    const std::uint64_t total = ::fstat(in, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    std::uint64_t done = 0;
    // Pieces grow while they are quick and shrink when slow, so that one lasts about 20 ms
    // whatever the disk: a USB stick gets small ones, the page cache large ones.
    std::size_t piece = std::size_t(1) << 20;
    const auto nextPiece = [&](std::chrono::steady_clock::duration took) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
        if (ms < 10 && piece < (std::size_t(16) << 20))
            piece *= 2;
        else if (ms > 40 && piece > (std::size_t(1) << 18))
            piece /= 2;
    };
    const auto told = [&](std::size_t n) {
        done += n;
        if (progress && done < total && !progress(done, total)) {
            errno = ECANCELED;
            return false;
        }
        return true;
    };
    bool rangeWorks = true;
    for (bool first = true;; first = false) {
        const auto start = std::chrono::steady_clock::now();
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, piece, 0);
        if (n == 0)
            return true;
        if (n > 0) {
            nextPiece(std::chrono::steady_clock::now() - start);
            if (!told(static_cast<std::size_t>(n)))
                return false;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (first && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EPERM)) {
            rangeWorks = false;
            break;
        }
        return false;
    }
    if (rangeWorks)
        return true;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!writeAll(out, buffer.data(), static_cast<size_t>(n)) ||
            !told(static_cast<std::size_t>(n)))
            return false;
    }
}

// A hidden name in the destination's folder, so that the final rename stays on one volume.
std::string temporaryTemplate(const std::string& destination) {
    return parentOf(destination) + "/.ordalix-tmp-XXXXXX";
}

// Writes a copy of an open regular file to a fresh temporary file and returns its name.
bool copyToTemporary(int in, const struct stat& st, const std::string& destination,
                     std::string& temporary) {
    std::string name = temporaryTemplate(destination);
    Fd out(::mkostemp(name.data(), O_CLOEXEC));
    if (out.get() < 0)
        return failErrno();
    const bool written = copyContents(in, st.st_dev, out.get());
    int error = errno;
    if (written) {
        // Ownership is kept where we may (running as root); elsewhere the copy is the user's.
        if (::fchown(out.get(), st.st_uid, st.st_gid) != 0) {
            // Not allowed for an ordinary user: the copy is then theirs, as any copy would be.
        }
        // No sync here: the source is never deleted, only sent to the trash, so it outlives a
        // copy that a power cut would leave empty.
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::fchmod(out.get(), st.st_mode & 07777) != 0 || ::futimens(out.get(), times) != 0)
            error = errno;
        else if (::close(out.release()) != 0)
            error = errno;
        else {
            temporary = name;
            return true;
        }
    }
    ::unlink(name.c_str());
    return fail(error);
}

// A copy to a name that does not exist yet, written into an unnamed file that only gets its name
// once whole: a failure or a crash leaves nothing behind. False, with nothing done, where the
// file system has no unnamed files; the caller then goes through a temporary name.
bool copyToNewName(int in, const struct stat& st, const std::string& destination) {
    Fd out(::open(parentOf(destination).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!copyContents(in, st.st_dev, out.get()) || ::fchmod(out.get(), st.st_mode & 07777) != 0 ||
        ::futimens(out.get(), times) != 0) {
        ::lseek(in, 0, SEEK_SET);
        return false;
    }
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(out.get(), st.st_uid, st.st_gid) != 0) {
        // Kept only where allowed.
    }
    const std::string self = "/proc/self/fd/" + std::to_string(out.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destination.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    ::lseek(in, 0, SEEK_SET);
    return false;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int shellMove(const std::string& from, const std::string& to) {
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0)
        return failErrno(), t_lastError;
    if (::lstat(to.c_str(), &st) == 0)
        return fail(EEXIST), EEXIST; // never merged into, never replaced
    if (renameNoReplace(from, to))
        return 0;
    if (errno != EXDEV)
        return failErrno(), t_lastError;
    // Another volume, a mount or a link on the way: a copy and then a removal would delete the
    // source for good, with whatever was written into it meanwhile, and the undo could not find
    // it. Refused before anything is copied.
    const std::string source = "« " + from + " »";
    fail(EXDEV, source + " et « " + to +
                    " » ne sont pas sur le même volume : le déplacement d'un volume à l'autre "
                    "n'est pas fait, " +
                    source + " reste à sa place");
    return EXDEV;
}

// The freedesktop.org trash of the item's own volume; the reason of a refusal is our own.
bool recycle(const std::string& path, TrashedItem* where,
             const std::function<bool(const TrashedItem&)>& beforeMove = {}) {
    posix::TrashOutcome outcome;
    posix::BeforeTrashMove tell;
    if (beforeMove)
        tell = [&](const std::string& item, const std::string& info) {
            return beforeMove(TrashedItem{fromNative(item), fromNative(info)});
        };
    if (!posix::moveToTrash(path, outcome, tell))
        return fail(outcome.error, outcome.reason);
    if (where) {
        where->item = fromNative(outcome.item);
        where->info = fromNative(outcome.info);
    }
    return true;
}

} // namespace

struct FindHandle::Impl {
    DIR* dir = nullptr;
    std::string folder;
    std::string pattern;
    bool everyName = false; // the pattern matches any name: nothing to match
    bool withTimes = true;

    ~Impl() {
        if (dir)
            ::closedir(dir);
    }

    bool entryData(const std::string& name, FindData& data, unsigned char type) {
        struct stat st {};
        bool isLink = type == DT_LNK;
        const bool look = withTimes || type == DT_UNKNOWN || type == DT_LNK;
        const std::string full = !look           ? std::string()
                                 : folder == "/" ? "/" + name
                                                 : folder + "/" + name;
        if (look) {
            if (::lstat(full.c_str(), &st) != 0)
                return false;
            isLink = S_ISLNK(st.st_mode);
        } else {
            st.st_mode = type == DT_DIR ? S_IFDIR : S_IFREG;
        }
        FileTime time = fileTimeOf(st);
        if (isLink) {
            struct stat target;
            st.st_mode = ::stat(full.c_str(), &target) == 0 ? target.st_mode : S_IFREG;
        }
        data.name = fromNative(name);
        data.attributes = attributesOf(name, st, isLink);
        data.lastWriteTime = withTimes ? time : FileTime{};
        return true;
    }

    bool next(FindData& data) {
        if (!dir)
            return fail(ENOENT); // a search for one name has nothing more
        for (;;) {
            errno = 0;
            dirent* entry = ::readdir(dir);
            if (!entry)
                return fail(errno ? errno : ENOENT);
            if (!everyName && ::fnmatch(pattern.c_str(), entry->d_name, FNM_CASEFOLD) != 0)
                continue;
            if (entryData(entry->d_name, data, entry->d_type))
                return true;
            // The entry vanished between the listing and the stat: pass over it.
        }
    }
};

FindHandle::FindHandle() = default;
FindHandle::~FindHandle() = default;

bool FindHandle::findFirst(const Path& pattern, FindData& data, bool withTimes) {
    close();
    std::string native;
    if (!toNative(pattern, native))
        return false;
    const auto slash = native.find_last_of('/');
    const std::string mask = slash == std::string::npos ? native : native.substr(slash + 1);
    if (mask.empty())
        return fail(ENOENT); // a pattern ending with the delimiter names nothing
    auto impl = std::make_unique<Impl>();
    impl->folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
    impl->withTimes = withTimes;
    if (!hasWildcards(mask)) {
        if (mask == "." || mask == "..")
            return fail(ENOENT);
        if (!impl->entryData(mask, data, DT_UNKNOWN))
            return failErrno();
        d = std::move(impl);
        return true;
    }
    impl->pattern = toFnmatchPattern(mask);
    impl->everyName = impl->pattern == "*";
    impl->dir = ::opendir(impl->folder.c_str());
    if (!impl->dir)
        return failErrno();
    if (!impl->next(data))
        return false;
    d = std::move(impl);
    return true;
}

bool FindHandle::findNext(FindData& data) {
    if (!d)
        return fail(EBADF);
    return d->next(data);
}

void FindHandle::close() {
    d.reset();
}

std::uint32_t getFileAttributes(const Path& path) {
    std::string native;
    if (!toNative(path, native))
        return InvalidFileAttributes;
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) {
        failErrno();
        return InvalidFileAttributes;
    }
    return attributesOf(lastComponent(native), st, false);
}

bool getLastWriteTime(const Path& path, FileTime& time) {
    std::string native;
    if (!toNative(path, native))
        return false;
    struct stat st;
    if (::stat(native.c_str(), &st) != 0)
        return failErrno();
    time = fileTimeOf(st);
    return true;
}

namespace {

FileStatus statusOf(const struct stat& st) {
    FileStatus status;
    status.directory = S_ISDIR(st.st_mode);
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.lastWriteTime = fileTimeOf(st);
    status.device = static_cast<std::uint64_t>(st.st_dev);
    status.index = static_cast<std::uint64_t>(st.st_ino);
    return status;
}

} // namespace

bool getFileStatus(const Path& path, FileStatus& status) {
    std::string native;
    if (!toNative(path, native))
        return false;
    struct stat st;
    if (::stat(native.c_str(), &st) != 0)
        return failErrno();
    status = statusOf(st);
    return true;
}

bool getLinkStatus(const Path& path, FileStatus& status) {
    std::string native;
    if (!toNative(path, native))
        return false;
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0)
        return failErrno();
    status = statusOf(st);
    return true;
}

bool setLastWriteTime(const Path& path, const FileTime& time) {
    std::string native;
    if (!toNative(path, native))
        return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(time.secondsSinceEpoch);
    times[1].tv_nsec = static_cast<long>(time.nanoseconds);
    return ::utimensat(AT_FDCWD, native.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 || failErrno();
}

FolderLock::FolderLock() : m_handle(-1) {}

FolderLock::~FolderLock() {
    release();
}

bool FolderLock::open(const Path& folder, const Path&, std::uint64_t& device,
                      std::uint64_t& index) {
    release();
    std::string native;
    if (!toNative(folder, native))
        return false;
    const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return failErrno();
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    m_handle = fd;
    device = static_cast<std::uint64_t>(st.st_dev);
    index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool FolderLock::tryLock(bool exclusive) {
    return m_handle >= 0 &&
           (::flock(static_cast<int>(m_handle), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0 ||
            failErrno());
}

void FolderLock::release() {
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle)); // closing the descriptor gives the lock back
    m_handle = -1;
}

AppendFile::AppendFile() : m_handle(-1) {}

AppendFile::~AppendFile() {
    close();
}

AppendFile::AppendFile(AppendFile&& other) noexcept : m_handle(other.m_handle) {
    other.m_handle = -1;
}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        other.m_handle = -1;
    }
    return *this;
}

bool AppendFile::open(const Path& path, bool createNew) {
    close();
    std::string native;
    if (!toNative(path, native))
        return false;
    const int fd = ::open(
        native.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | (createNew ? O_CREAT | O_EXCL : 0), 0600);
    if (fd < 0)
        return failErrno();
    m_handle = fd;
    return true;
}

bool AppendFile::isOpen() const {
    return m_handle >= 0;
}

bool AppendFile::append(const char* data, std::size_t size) {
    if (m_handle < 0)
        return fail(EBADF);
    const int fd = static_cast<int>(m_handle);
    // One write: with O_APPEND the bytes land whole, after whatever is there.
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // One writer at a time: what this call wrote is the end of the file. Asked only
            // now, so that a write that works costs no more than itself.
            const off_t end = done > 0 ? ::lseek(fd, 0, SEEK_END) : -1;
            if (end >= static_cast<off_t>(done) &&
                ::ftruncate(fd, end - static_cast<off_t>(done)) != 0) {
                // Nothing more to try: a reader takes the file as damaged.
            }
            return fail(error);
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool AppendFile::sync() {
    return m_handle >= 0 && (::fdatasync(static_cast<int>(m_handle)) == 0 || failErrno());
}

void AppendFile::close() {
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    m_handle = -1;
}

bool AppendFile::isFileAt(const Path& path) const {
    std::string native;
    struct stat mine;
    struct stat named;
    return m_handle >= 0 && toNative(path, native) &&
           ::fstat(static_cast<int>(m_handle), &mine) == 0 &&
           ::lstat(native.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
           mine.st_ino == named.st_ino;
}

bool copyFile(const Path& from, const Path& to, bool failIfExists) {
    std::string source;
    if (!toNative(from, source))
        return false;
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return failErrno();
    return copyOpenFile(in.get(), to, failIfExists);
}

namespace {

// What an open source file is; false (with the error) unless it is a regular file to copy.
bool regularSource(int from, struct stat& st) {
    if (::fstat(from, &st) != 0)
        return failErrno();
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);
    return S_ISREG(st.st_mode) || fail(ENOTSUP);
}

} // namespace

bool copyOpenFile(int from, const Path& to, bool failIfExists) {
    std::string destination;
    if (!toNative(to, destination))
        return false;
    struct stat st;
    if (!regularSource(from, st))
        return false;
    struct stat existing;
    if (::stat(destination.c_str(), &existing) == 0) {
        if (sameFile(st, existing))
            return fail(EINVAL, "source and destination are the same file");
        if (S_ISDIR(existing.st_mode))
            return fail(EISDIR);
        if (failIfExists)
            return fail(EEXIST);
    } else if (errno != ENOENT) {
        return failErrno();
    } else if (copyToNewName(from, st, destination)) {
        return true;
    }
    std::string temporary;
    if (!copyToTemporary(from, st, destination, temporary))
        return false;
    const bool published = failIfExists ? renameNoReplace(temporary, destination)
                                        : ::rename(temporary.c_str(), destination.c_str()) == 0;
    if (published)
        return true;
    const int error = errno;
    ::unlink(temporary.c_str());
    return fail(error);
}

struct PendingCopy::Impl {
    Fd out;
    std::string destination;
    std::string temporary; // empty for an unnamed copy, or once published

    ~Impl() {
        // Only the name we made, and only while it is still our file.
        struct stat mine;
        struct stat named;
        if (!temporary.empty() && out.get() >= 0 && ::fstat(out.get(), &mine) == 0 &&
            ::lstat(temporary.c_str(), &named) == 0 && sameFile(mine, named))
            ::unlink(temporary.c_str());
    }
};

PendingCopy::PendingCopy() = default;
PendingCopy::~PendingCopy() = default;

bool PendingCopy::write(int from, const Path& to, const CopyProgress& progress) {
    d.reset();
    auto impl = std::make_unique<Impl>();
    struct stat st;
    if (!toNative(to, impl->destination) || !regularSource(from, st))
        return false;
    const off_t start = ::lseek(from, 0, SEEK_CUR);
    impl->out.reset(
        ::open(parentOf(impl->destination).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (impl->out.get() < 0) {
        impl->temporary = temporaryTemplate(impl->destination);
        impl->out.reset(::mkostemp(impl->temporary.data(), O_CLOEXEC));
        if (impl->out.get() < 0) {
            impl->temporary.clear();
            return failErrno();
        }
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!copyContents(from, st.st_dev, impl->out.get(), progress) ||
        ::fchmod(impl->out.get(), st.st_mode & 07777) != 0 ||
        ::futimens(impl->out.get(), times) != 0) {
        const int error = errno;
        if (start >= 0)
            ::lseek(from, start, SEEK_SET);
        d = std::move(impl); // its temporary name goes with it
        d.reset();
        return fail(error);
    }
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(impl->out.get(), st.st_uid, st.st_gid) != 0) {
        // Kept only where allowed: otherwise the copy is the user's, as any copy would be.
    }
    d = std::move(impl);
    return true;
}

bool PendingCopy::publish() {
    if (!d)
        return fail(EBADF);
    if (d->temporary.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(d->out.get());
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, d->destination.c_str(),
                        AT_SYMLINK_FOLLOW) == 0 ||
               failErrno();
    }
    if (!renameNoReplace(d->temporary, d->destination))
        return failErrno();
    d->temporary.clear();
    return true;
}

bool PendingCopy::status(FileStatus& status) const {
    struct stat st;
    if (!d || ::fstat(d->out.get(), &st) != 0)
        return fail(EBADF);
    status.directory = false;
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.lastWriteTime = fileTimeOf(st);
    status.device = static_cast<std::uint64_t>(st.st_dev);
    status.index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

namespace {

// Looks through the open files of every process this one may see (all of them for root, its
// own user's otherwise) for a descriptor open for writing on the same device and inode.
bool writerInProc(const struct stat& target) {
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return false;
    const std::string self = std::to_string(::getpid());
    bool found = false;
    while (!found) {
        const dirent* process = ::readdir(processes);
        if (!process)
            break;
        if (process->d_name[0] < '1' || process->d_name[0] > '9' || self == process->d_name)
            continue;
        const std::string base = std::string("/proc/") + process->d_name;
        DIR* fds = ::opendir((base + "/fd").c_str());
        if (!fds)
            continue;
        while (const dirent* fd = ::readdir(fds)) {
            if (isDotName(fd->d_name))
                continue;
            struct stat st;
            if (::stat((base + "/fd/" + fd->d_name).c_str(), &st) != 0 ||
                st.st_dev != target.st_dev || st.st_ino != target.st_ino)
                continue;
            // The access mode is the low two bits of "flags:" (octal) in fdinfo.
            FILE* info = std::fopen((base + "/fdinfo/" + fd->d_name).c_str(), "re");
            if (!info)
                continue;
            char line[128];
            while (std::fgets(line, sizeof line, info)) {
                unsigned long flags = 0;
                if (std::sscanf(line, "flags: %lo", &flags) == 1) {
                    found = (flags & O_ACCMODE) != O_RDONLY;
                    break;
                }
            }
            std::fclose(info);
            if (found)
                break;
        }
        ::closedir(fds);
    }
    ::closedir(processes);
    return found;
}

} // namespace

void ignoreLeaseBreaks() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        // A handler the program set itself is left alone.
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            ::signal(SIGIO, SIG_IGN);
    });
}

bool isOpenForWritingElsewhere(const Path& path) {
    std::string native;
    if (!toNative(path, native))
        return false;
    Fd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return false;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // A read lease is refused with EAGAIN exactly while someone has the file open for writing,
    // and costs one call. It is only granted to the file's owner (or with CAP_LEASE) and on
    // local file systems; elsewhere the open descriptors under /proc are looked at instead.
    ignoreLeaseBreaks();
    if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
        return false;
    }
    if (errno == EAGAIN || errno == EBUSY)
        return true;
    return writerInProc(st);
}

bool moveFile(const Path& from, const Path& to, std::uint32_t flags) {
    std::string source;
    std::string destination;
    if (!toNative(from, source) || !toNative(to, destination))
        return false;
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0)
        return failErrno();
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);
    struct stat existing;
    if (::lstat(destination.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            return fail(EISDIR);
        if (!(flags & MoveFileReplaceExisting))
            return fail(EEXIST);
    }
    const bool moved = (flags & MoveFileReplaceExisting)
                           ? ::rename(source.c_str(), destination.c_str()) == 0
                           : renameNoReplace(source, destination);
    return moved || failErrno();
}

bool renameNoReplace(const Path& from, const Path& to) {
    std::string source;
    std::string destination;
    if (!toNative(from, source) || !toNative(to, destination))
        return false;
    return posix::renameNoReplace(source, destination) || failErrno();
}

int shellFileOperation(const ShellFileOperation& operation) {
    std::string source;
    if (!toNative(operation.from, source))
        return t_lastError;
    if (operation.function == FoMove) {
        std::string destination;
        if (!toNative(operation.to, destination))
            return t_lastError;
        return shellMove(source, destination);
    }
    if (operation.function == FoDelete) {
        if (!(operation.flags & FofAllowUndo))
            return fail(EPERM, "permanent deletion is not offered"), EPERM;
        return recycle(source, nullptr) ? 0 : t_lastError;
    }
    return fail(EINVAL), EINVAL;
}

bool moveToTrash(const Path& path, TrashedItem* where,
                 const std::function<bool(const TrashedItem&)>& beforeMove) {
    std::string native;
    return toNative(path, native) && recycle(native, where, beforeMove);
}

bool createDirectory(const Path& path) {
    std::string native;
    if (!toNative(path, native))
        return false;
    return ::mkdir(native.c_str(), 0777) == 0 || failErrno();
}

std::vector<Path> systemFolders() {
    // /tmp, /home, /mnt, /media, /srv and /opt hold people's files and stay open to the runs.
    return {u"/bin",    u"/boot", u"/dev", u"/etc",  u"/lib", u"/lib32", u"/lib64",
            u"/libx32", u"/proc", u"/run", u"/sbin", u"/sys", u"/usr",   u"/var"};
}

Path executablePath() {
    // It cannot change while the process runs, and the journals ask for it on every entry.
    static const Path path = []() -> Path {
        std::vector<char> buffer(4096);
        for (;;) {
            const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (n < 0)
                return {};
            if (static_cast<size_t>(n) < buffer.size())
                return fromNative(buffer.data(), static_cast<size_t>(n));
            buffer.resize(buffer.size() * 2);
        }
    }();
    return path;
}

int lastError() {
    return t_lastError;
}

bool lastErrorIsNotFound() {
    return t_lastError == ENOENT;
}

bool lastErrorIsAlreadyExists() {
    return t_lastError == EEXIST;
}

std::u16string lastErrorText() {
    return fromNative(t_lastErrorText);
}

std::u16string errorText(int error) {
    return fromNative(posix::errorText(error));
}

} // namespace ordalix::platform
