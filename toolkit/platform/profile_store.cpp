// The INI profile store over POSIX files: file access, the cross-process lock and the write
// index. See profile_store.h for the file format it keeps.
#include "profile_store.h"

#include "posix_io.h"
#include "profile_document.h"
#include "profile_text.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <list>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ordalix::platform {

using namespace profile;

namespace {

using posix::Fd;
using posix::writeAll;

bool toNativePath(const Path& path, std::string& out) {
    if (path.empty() || !utf16ToUtf8(path, out, true) || out.find('\0') != std::string::npos) {
        errno = path.empty() ? ENOENT : EINVAL;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Low-level file access

// Reads a whole regular file. errno tells why it failed.
bool readWholeFile(const std::string& path, std::string& bytes, struct stat& st) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    if (::fstat(fd.get(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    bytes.clear();
    bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

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

int syncFolder(const std::string& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0)
        return errno;
    return 0;
}

int replaceNative(std::string path, const std::string& bytes) {
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

// Appends to a file whose size must still be expectedSize; on failure the file is cut back.
int appendNative(const std::string& path, off_t expectedSize, const std::string& bytes,
                 struct stat& after) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    if (::fstat(fd.get(), &after) != 0)
        return errno;
    if (after.st_size != expectedSize)
        return EAGAIN; // changed under us: the caller starts again from the file
    // No sync per append: the journals append two records per sorted file, and a sync each
    // would make the sort a hundred times slower. What is appended is in the file for every
    // reader, and a process that dies keeps it; a rewrite is still synced before its rename.
    int error = 0;
    if (!writeAll(fd.get(), bytes.data(), bytes.size()))
        error = errno;
    if (error) {
        if (::ftruncate(fd.get(), expectedSize) == 0)
            ::fdatasync(fd.get());
        return error;
    }
    if (::fstat(fd.get(), &after) != 0)
        return errno;
    return ::close(fd.release()) == 0 ? 0 : errno;
}

// ---------------------------------------------------------------------------------------------
// The write index: what a write needs to know to append without reading the file.

struct FileIndex {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};
    struct timespec changed = {};
    Encoding encoding = Encoding::Utf8;
    std::u16string lineEnd;
    bool endsWithLineEnd = true;
    std::unordered_set<std::u16string> sections;
    std::u16string lastSection;
    // The last header is the first of its name and nothing but its lines follow its last key.
    bool lastAppendable = false;
    std::unordered_set<std::u16string> lastKeys;

    bool matches(const struct stat& st) const {
        return st.st_dev == device && st.st_ino == inode && st.st_size == size &&
               st.st_mtim.tv_sec == modified.tv_sec && st.st_mtim.tv_nsec == modified.tv_nsec &&
               st.st_ctim.tv_sec == changed.tv_sec && st.st_ctim.tv_nsec == changed.tv_nsec;
    }

    void stamp(const struct stat& st) {
        device = st.st_dev;
        inode = st.st_ino;
        size = st.st_size;
        modified = st.st_mtim;
        changed = st.st_ctim;
    }
};

FileIndex indexOf(const Document& doc) {
    FileIndex index;
    index.encoding = doc.encoding;
    index.lineEnd = doc.lineEnd;
    index.endsWithLineEnd = doc.endsWithLineEnd();
    for (const Section& s : doc.sections)
        index.sections.insert(s.name);
    if (!doc.sections.empty()) {
        const Section& last = doc.sections.back();
        index.lastSection = last.name;
        index.lastAppendable =
            doc.findSection(last.name) == &last && last.lastContent + 1 == doc.lines.size();
        for (size_t i = last.header + 1; i < last.end; ++i) {
            if (doc.lines[i].kind == Line::Key)
                index.lastKeys.insert(doc.lines[i].name);
        }
    }
    return index;
}

constexpr size_t CachedFiles = 8;

std::mutex g_mutex;
std::list<FileIndex> g_cache; // most recently used first

FileIndex* cached(const std::string& path) {
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
        if (it->path == path) {
            g_cache.splice(g_cache.begin(), g_cache, it);
            return &g_cache.front();
        }
    }
    return nullptr;
}

void forget(const std::string& path) {
    g_cache.remove_if([&](const FileIndex& index) { return index.path == path; });
}

void remember(FileIndex index) {
    forget(index.path);
    g_cache.push_front(std::move(index));
    if (g_cache.size() > CachedFiles)
        g_cache.pop_back();
}

// Another program may rewrite a file in place, to the same size, within one tick of the file
// system's clock: the file's stamps then do not show it. Where times are whole seconds (FAT,
// exFAT, ext4 with small inodes) a tick lasts up to 2 s, and a stamp that recent proves nothing.
bool stampTellsChanges(const struct stat& st) {
    if (st.st_mtim.tv_nsec != 0 || st.st_ctim.tv_nsec != 0)
        return true;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - st.st_mtim.tv_sec >= 2 && now.tv_sec - st.st_ctim.tv_sec >= 2;
}

// The text of a key line, a header line and a line end in a file's encoding; false where a
// character has no place in it.
struct Encoder {
    Encoding encoding;
    std::u16string lineEnd;

    bool operator()(const std::u16string& text, std::string& out) const {
        Document doc;
        doc.encoding = encoding;
        return doc.encode(text, out);
    }
    bool keyLine(const std::u16string& key, const std::u16string& value, std::string& out) const {
        return (*this)(storedKey(key) + u"=" + storedValue(value) + lineEnd, out);
    }
    bool headerLine(const std::u16string& section, std::string& out) const {
        return (*this)(u"[" + section + u"]" + lineEnd, out);
    }
};

// What the index knows after a key was appended to the file, in a new section or the last one.
void appended(FileIndex& index, const std::u16string& foldedSection,
              const std::u16string& foldedKey) {
    if (!index.sections.count(foldedSection)) {
        index.sections.insert(foldedSection);
        index.lastSection = foldedSection;
        index.lastAppendable = true;
        index.lastKeys.clear();
    }
    index.lastKeys.insert(foldedKey);
    index.endsWithLineEnd = true;
}

// The fast path: a new key at the end of the file or a new section, told from the index alone.
// Returns false when the index cannot decide or the append did not happen.
bool tryAppend(FileIndex& index, const struct stat& st, const std::string& path,
               const std::u16string& section, const std::u16string& key,
               const std::u16string& value, bool& ok) {
    const std::u16string s = fold(section);
    const std::u16string k = fold(key);
    const Encoder encoder{index.encoding, index.lineEnd};
    const bool utf16 = index.encoding == Encoding::Utf16LE || index.encoding == Encoding::Utf16BE;
    if (utf16 && st.st_size % 2 != 0)
        return false; // a UTF-16 file ending in half a unit: the slow path writes before it
    const bool newSection = !index.sections.count(s);
    if (!newSection && (s != index.lastSection || !index.lastAppendable || index.lastKeys.count(k)))
        return false;
    std::string bytes;
    std::string piece;
    if (!index.endsWithLineEnd) {
        encoder(index.lineEnd, piece);
        bytes += piece;
    }
    if (newSection) {
        if (!encoder.headerLine(section, piece))
            return false;
        bytes += piece;
    }
    if (!encoder.keyLine(key, value, piece))
        return false; // the slow path changes the file's encoding
    bytes += piece;
    struct stat after;
    const int error = appendNative(path, st.st_size, bytes, after);
    if (error == EAGAIN)
        return false;
    ok = error == 0;
    if (!ok) {
        forget(path);
        errno = error;
        return true;
    }
    appended(index, s, k);
    index.stamp(after);
    return true;
}

// Where and what a write changes in a parsed file: the bytes [at, replaceUpTo) become `insert`.
// False when a character has no place in the file's encoding.
bool planWrite(const Document& doc, const std::u16string& section, const std::u16string& key,
               const std::u16string& value, size_t& at, size_t& replaceUpTo, std::string& insert) {
    const Encoder encoder{doc.encoding, doc.lineEnd};
    const std::string& old = doc.bytes;
    std::string lineEnd;
    encoder(doc.lineEnd, lineEnd);
    std::string piece;
    at = old.size();
    replaceUpTo = std::string::npos; // an insertion unless a value is replaced
    insert.clear();
    if (const Section* s = doc.findSection(fold(section))) {
        if (const Line* line = doc.findKey(*s, fold(key))) {
            at = line->start + line->valueUnit * doc.unitSize();
            replaceUpTo = line->start + line->valueEndUnit * doc.unitSize();
            if (!encoder(storedValue(value), insert))
                return false;
        } else {
            const Line& last = doc.lines[s->lastContent];
            at = last.next;
            if (!encoder.keyLine(key, value, piece))
                return false;
            insert = (last.end == last.next ? lineEnd : std::string()) + piece;
        }
    } else {
        std::string header;
        if (!encoder.headerLine(section, header) || !encoder.keyLine(key, value, piece))
            return false;
        insert = (doc.endsWithLineEnd() ? std::string() : lineEnd) + header + piece;
    }
    if (replaceUpTo == std::string::npos)
        replaceUpTo = at;
    // A UTF-16 file that ends in half a unit would shift every character added after it, and
    // the new lines would read as nonsense: they go before that byte, which stays last.
    if (doc.unitSize() == 2 && at == old.size() && old.size() % 2 != 0)
        at = replaceUpTo = old.size() - 1;
    return true;
}

// The same text as UTF-8 with a byte-order mark, for a file whose code page cannot hold a
// character it is given: written whole and atomically, it never ends up in two encodings.
Document asUtf8WithMark(const Document& doc) {
    std::string bytes = "\xEF\xBB\xBF";
    std::string text;
    utf16ToUtf8(doc.text(), text, false);
    return parse(bytes + text);
}

bool writeNative(const std::string& path, const std::u16string& section, const std::u16string& key,
                 const std::u16string& value) {
    // Each round reads the file as it is now; a round whose append finds the file changed since
    // its read starts again from the file, never writing what it read before.
    for (int round = 0; round < 16; ++round) {
        struct stat st;
        const bool exists = ::stat(path.c_str(), &st) == 0;
        if (!exists && errno != ENOENT)
            return false;
        if (exists && stampTellsChanges(st)) {
            if (FileIndex* index = cached(path); index && index->matches(st)) {
                bool ok = false;
                if (tryAppend(*index, st, path, section, key, value, ok))
                    return ok;
            }
        }

        // The slow path: read, change, then append or replace the whole file.
        std::string bytes;
        if (exists && !readWholeFile(path, bytes, st))
            return false;
        Document doc = parse(std::move(bytes));
        size_t at = 0;
        size_t replaceUpTo = 0;
        std::string insert;
        bool rewrite = false;
        if (!planWrite(doc, section, key, value, at, replaceUpTo, insert)) {
            doc = asUtf8WithMark(doc);
            rewrite = true;
            planWrite(doc, section, key, value, at, replaceUpTo, insert);
        }
        const std::string& old = doc.bytes;
        std::string updated = old.substr(0, at) + insert + old.substr(replaceUpTo);

        int error = 0;
        struct stat after;
        if (exists && !rewrite && at == old.size()) {
            error = appendNative(path, static_cast<off_t>(old.size()), insert, after);
            if (error == EAGAIN)
                continue;
        } else {
            error = replaceNative(path, updated);
        }
        if (!error && ::stat(path.c_str(), &after) != 0)
            error = errno;
        if (error) {
            forget(path);
            errno = error;
            return false;
        }
        if (exists && !rewrite && at == old.size()) {
            // Appended: what the file now holds is the parsed file plus one key, so the index
            // follows without reading the file again.
            FileIndex index = indexOf(doc);
            index.path = path;
            appended(index, fold(section), fold(key));
            index.stamp(after);
            remember(std::move(index));
        } else {
            // Rewritten: the next write reads the file anyway when someone else wrote in
            // between, and otherwise once, to index it.
            forget(path);
        }
        return true;
    }
    forget(path);
    errno = EAGAIN; // another program keeps changing the file
    return false;
}

// ---------------------------------------------------------------------------------------------
// Taking turns with other processes

// The folders this thread holds the lock of, so that a holder may write without waiting for
// itself (a lock taken twice in one process would wait forever).
struct HeldFolder {
    dev_t device;
    ino_t inode;
    int fd;
    int depth;
};
thread_local std::vector<HeldFolder> t_held;

} // namespace

// Writers of one file in different processes take turns through an advisory flock on the
// folder that holds it: the file itself is replaced by rename, which would leave a lock on it
// with the old inode, and a lock file beside it would litter the user's folders.
ProfileLock::ProfileLock(const Path& file) {
    std::string path;
    if (!toNativePath(file, path))
        return;
    Fd folder(::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (folder.get() < 0 || ::fstat(folder.get(), &st) != 0)
        return; // no folder: the write fails on its own
    for (HeldFolder& held : t_held) {
        if (held.device == st.st_dev && held.inode == st.st_ino) {
            ++held.depth;
            m_device = st.st_dev;
            m_inode = st.st_ino;
            m_held = true;
            return;
        }
    }
    int result;
    do
        result = ::flock(folder.get(), LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result != 0)
        return; // a file system without locks: the writes go on as they did without them
    t_held.push_back(HeldFolder{st.st_dev, st.st_ino, folder.release(), 1});
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_held = true;
}

ProfileLock::~ProfileLock() {
    if (!m_held)
        return;
    for (auto it = t_held.begin(); it != t_held.end(); ++it) {
        if (it->device == m_device && it->inode == m_inode) {
            if (--it->depth == 0) {
                ::close(it->fd); // releases the lock
                t_held.erase(it);
            }
            return;
        }
    }
}

bool writeProfileString(const std::u16string& section, const std::u16string& key,
                        const std::u16string& value, const Path& file) {
    std::string path;
    if (!toNativePath(file, path))
        return false;
    const ProfileLock turn(file);
    const std::lock_guard lock(g_mutex);
    return writeNative(path, cleanName(section), cleanName(key), value);
}

std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultValue, const Path& file) {
    std::string path;
    std::string bytes;
    struct stat st;
    if (!toNativePath(file, path) || !readWholeFile(path, bytes, st))
        return capped(defaultValue);
    const Document doc = parse(std::move(bytes));
    const Section* s = doc.findSection(fold(cleanName(section)));
    const Line* line = s ? doc.findKey(*s, fold(cleanName(key))) : nullptr;
    if (!line)
        return capped(defaultValue);
    const std::u16string units = doc.units(*line);
    return capped(
        readValue(doc.decode(units.substr(line->valueUnit, line->valueEndUnit - line->valueUnit))));
}

bool flushProfile(const Path& file) {
    (void)file;
    return true;
}

int replaceFileContent(const Path& file, const std::string& bytes) {
    std::string path;
    if (!toNativePath(file, path))
        return errno;
    const ProfileLock turn(file);
    const std::lock_guard lock(g_mutex);
    forget(path);
    return replaceNative(path, bytes);
}

} // namespace ordalix::platform
