// The INI profile store: the write index and the line edits, over the backend's file access
// (profile_io.h). See profile_store.h for the file format it keeps.
#include "profile_store.h"

#include "profile_document.h"
#include "profile_edits.h"
#include "profile_io.h"
#include "profile_scan.h"
#include "profile_text.h"

#include <list>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace ordalix::platform {

using namespace profile;

namespace {

// ---------------------------------------------------------------------------------------------
// The index: a file's parsed content, kept while its stamp says nobody changed it, so that the
// reads and writes of a run cost one read of the file, and an append none.

struct FileIndex {
    io::NativePath path;
    io::Stamp stamp;
    Document doc;
    // The folded keys of the last section, where appends go: whether one is new needs no look
    // through a section that may hold a whole day's records.
    std::unordered_set<std::u16string> lastKeys;
};

FileIndex indexed(const io::NativePath& path, const io::Stamp& stamp, Document doc) {
    FileIndex index{path, stamp, std::move(doc), {}};
    if (!index.doc.sections.empty()) {
        for (const Line& line : index.doc.keys(index.doc.sections.back()))
            index.lastKeys.insert(index.doc.keyName(line));
    }
    return index;
}

constexpr size_t CachedFiles = 8;
// Beyond this many bytes in all, older files are dropped (the newest always stays).
constexpr size_t CachedBytes = size_t(256) << 20;

std::mutex g_mutex;
std::list<FileIndex> g_cache; // most recently used first

FileIndex* cached(const io::NativePath& path, const io::Stamp& stamp) {
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
        if (it->path == path) {
            if (!(it->stamp == stamp) || !stamp.tellsChanges()) {
                g_cache.erase(it);
                return nullptr;
            }
            g_cache.splice(g_cache.begin(), g_cache, it);
            return &g_cache.front();
        }
    }
    return nullptr;
}

void forget(const io::NativePath& path) {
    g_cache.remove_if([&](const FileIndex& index) { return index.path == path; });
}

FileIndex& remember(FileIndex index) {
    forget(index.path);
    g_cache.push_front(std::move(index));
    size_t bytes = 0;
    size_t kept = 0;
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it, ++kept) {
        bytes += it->doc.bytes.size();
        if (kept > 0 && (kept >= CachedFiles || bytes > CachedBytes)) {
            g_cache.erase(it, g_cache.end());
            break;
        }
    }
    return g_cache.front();
}

// The index of a file as it is now: the cached one, or the file read and parsed (and cached
// when its stamp can tell a later change). False with the error set when it cannot be read;
// a missing file is an empty one.
bool current(const io::NativePath& path, FileIndex*& index, FileIndex& fresh, bool& exists) {
    io::Stamp stamp;
    int error = 0;
    exists = io::stampOf(path, stamp, error);
    if (!exists && error != 0) {
        io::setError(error);
        return false;
    }
    index = exists ? cached(path, stamp) : nullptr;
    if (index)
        return true;
    std::string bytes;
    if (exists) {
        error = io::readWhole(path, bytes, stamp);
        if (error) {
            io::setError(error);
            return false;
        }
    }
    fresh = indexed(path, stamp, parse(std::move(bytes)));
    index = exists && stamp.tellsChanges() ? &remember(std::move(fresh)) : &fresh;
    return true;
}

// Writes a batch of entries in one change of the file: an append when every change is at its
// end, an atomic replacement otherwise, nothing when every value is already there.
bool writeNative(const io::NativePath& path, const std::vector<Entry>& entries) {
    forgetScan(path);
    // Each round works on the file as it is now; a round whose append finds the file changed
    // since it was read starts again from the file, never writing what it read before.
    for (int round = 0; round < 16; ++round) {
        FileIndex* index = nullptr;
        FileIndex fresh;
        bool exists = false;
        if (!current(path, index, fresh, exists))
            return false;
        const Edits edits = planEdits(index->doc, entries, &index->lastKeys);
        if (edits.unchanged)
            return true;
        if (exists && edits.appendOnly) {
            io::Stamp after;
            const std::string tail = withLinesWithinPages(index->doc.bytes.size(), edits.tail);
            const int error = io::append(path, index->doc.bytes.size(), tail, after);
            if (error != 0) {
                forget(path);
                if (error == io::FileChanged)
                    continue;
                io::setError(error);
                return false;
            }
            // What the file now holds is what was read plus the tail: the index follows
            // without reading the file again.
            index->doc.extend(tail);
            if (!edits.newSections.empty())
                index->lastKeys.clear();
            index->lastKeys.insert(edits.keysAddedToLast.begin(), edits.keysAddedToLast.end());
            index->stamp = after;
            return true;
        }
        std::string bytes = edits.appendOnly ? index->doc.bytes + edits.tail : edits.bytes;
        forget(path);
        const int error = io::replace(path, bytes);
        if (error) {
            io::setError(error);
            return false;
        }
        io::Stamp after;
        int statError = 0;
        if (io::stampOf(path, after, statError) && after.size == bytes.size() &&
            after.tellsChanges())
            remember(indexed(path, after, parse(std::move(bytes))));
        return true;
    }
    forget(path);
    io::setError(io::busyError()); // another program keeps changing the file
    return false;
}

// ---------------------------------------------------------------------------------------------
// Taking turns with other processes

// The folders this thread holds the lock of, so that a holder may write without waiting for
// itself (a lock taken twice in one process would wait forever).
struct HeldFolder {
    io::FolderLock lock;
    int depth;
};
thread_local std::vector<HeldFolder> t_held;

} // namespace

ProfileLock::ProfileLock(const Path& file) {
    io::NativePath path;
    if (!io::toNative(file, path))
        return;
    io::FolderLock lock;
    if (!io::openFolder(path, lock))
        return; // no folder: the write fails on its own
    for (HeldFolder& held : t_held) {
        if (held.lock.device == lock.device && held.lock.index == lock.index) {
            io::closeFolder(lock);
            ++held.depth;
            m_device = lock.device;
            m_inode = lock.index;
            m_held = true;
            return;
        }
    }
    if (!io::lockFolder(lock)) {
        io::closeFolder(lock);
        return; // a file system without locks: the writes go on as they did without them
    }
    t_held.push_back(HeldFolder{lock, 1});
    m_device = lock.device;
    m_inode = lock.index;
    m_held = true;
}

ProfileLock::~ProfileLock() {
    if (!m_held)
        return;
    for (auto it = t_held.begin(); it != t_held.end(); ++it) {
        if (it->lock.device == m_device && it->lock.index == m_inode) {
            if (--it->depth == 0) {
                io::closeFolder(it->lock);
                t_held.erase(it);
            }
            return;
        }
    }
}

bool writeProfileString(const std::u16string& section, const std::u16string& key,
                        const std::u16string& value, const Path& file) {
    io::NativePath path;
    if (!io::toNative(file, path))
        return false;
    const ProfileLock turn(file);
    const std::lock_guard lock(g_mutex);
    return writeNative(path, {Entry{cleanName(section), cleanName(key), value}});
}

bool writeProfileStrings(const std::vector<ProfileEntry>& entries, const Path& file) {
    io::NativePath path;
    if (!io::toNative(file, path))
        return false;
    if (entries.empty())
        return true;
    std::vector<Entry> clean;
    clean.reserve(entries.size());
    for (const ProfileEntry& entry : entries)
        clean.push_back({cleanName(entry.section), cleanName(entry.key), entry.value});
    const ProfileLock turn(file);
    const std::lock_guard lock(g_mutex);
    return writeNative(path, clean);
}

std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultValue, const Path& file) {
    io::NativePath path;
    if (!io::toNative(file, path))
        return capped(defaultValue);
    const std::lock_guard lock(g_mutex);
    const std::u16string foldedSection = fold(cleanName(section));
    const std::u16string foldedKey = fold(cleanName(key));
    // A file already indexed is looked up there; any other is scanned, not held.
    io::Stamp stamp;
    int error = 0;
    if (!io::stampOf(path, stamp, error))
        return capped(defaultValue);
    if (!cached(path, stamp)) {
        std::u16string stored;
        switch (scanValue(path, foldedSection, foldedKey, stored)) {
        case ScanResult::Found:
            return capped(readValue(stored));
        case ScanResult::Absent:
            return capped(defaultValue);
        case ScanResult::CannotTell:
            break;
        }
    }
    FileIndex* index = nullptr;
    FileIndex fresh;
    bool exists = false;
    if (!current(path, index, fresh, exists) || !exists)
        return capped(defaultValue);
    const Document& doc = index->doc;
    const Section* s = doc.findSection(foldedSection);
    const std::optional<Line> line = s ? doc.findKey(*s, foldedKey) : std::nullopt;
    if (!line)
        return capped(defaultValue);
    return capped(readValue(doc.decodeUnits(*line, line->valueUnit, line->valueEndUnit)));
}

bool flushProfile(const Path& file) {
    (void)file;
    return true;
}

int replaceFileContent(const Path& file, const std::string& bytes) {
    io::NativePath path;
    if (!io::toNative(file, path))
        return io::currentError();
    const ProfileLock turn(file);
    const std::lock_guard lock(g_mutex);
    forget(path);
    forgetScan(path);
    return io::replace(path, bytes);
}

} // namespace ordalix::platform
