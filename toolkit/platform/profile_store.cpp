// The INI profile store: the write index and the line edits, over the backend's file access
// (profile_io.h). See profile_store.h for the file format it keeps.
#include "profile_store.h"

#include "profile_document.h"
#include "profile_io.h"
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
// The write index: what a write needs to know to append without reading the file.

struct FileIndex {
    io::NativePath path;
    io::Stamp stamp;
    Encoding encoding = Encoding::Utf8;
    std::u16string lineEnd;
    bool endsWithLineEnd = true;
    std::unordered_set<std::u16string> sections;
    std::u16string lastSection;
    // The last header is the first of its name and nothing but its lines follow its last key.
    bool lastAppendable = false;
    std::unordered_set<std::u16string> lastKeys;
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

FileIndex* cached(const io::NativePath& path) {
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
        if (it->path == path) {
            g_cache.splice(g_cache.begin(), g_cache, it);
            return &g_cache.front();
        }
    }
    return nullptr;
}

void forget(const io::NativePath& path) {
    g_cache.remove_if([&](const FileIndex& index) { return index.path == path; });
}

void remember(FileIndex index) {
    forget(index.path);
    g_cache.push_front(std::move(index));
    if (g_cache.size() > CachedFiles)
        g_cache.pop_back();
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

// The bytes that append a key to the file the index describes, in a new section or at the end
// of the last one, added to `bytes`; the index then describes the file with them (but for its
// stamp). False, with nothing changed, when the index cannot tell that an append is right or
// the file's encoding has no place for a character.
bool appendedBytes(FileIndex& index, const std::u16string& section, const std::u16string& key,
                   const std::u16string& value, std::string& bytes) {
    const std::u16string s = fold(section);
    const std::u16string k = fold(key);
    const Encoder encoder{index.encoding, index.lineEnd};
    const bool newSection = !index.sections.count(s);
    if (!newSection && (s != index.lastSection || !index.lastAppendable || index.lastKeys.count(k)))
        return false;
    std::string added;
    std::string piece;
    if (!index.endsWithLineEnd) {
        encoder(index.lineEnd, piece);
        added += piece;
    }
    if (newSection) {
        if (!encoder.headerLine(section, piece))
            return false;
        added += piece;
    }
    if (!encoder.keyLine(key, value, piece))
        return false; // the slow path changes the file's encoding
    bytes += added + piece;
    appended(index, s, k);
    return true;
}

bool halfUnitAtEnd(const FileIndex& index) {
    const bool utf16 = index.encoding == Encoding::Utf16LE || index.encoding == Encoding::Utf16BE;
    return utf16 && index.stamp.size % 2 != 0;
}

// The fast path: a new key at the end of the file or a new section, told from the index alone.
// Returns false when the index cannot decide or the append did not happen.
bool tryAppend(FileIndex& index, const io::NativePath& path, const std::u16string& section,
               const std::u16string& key, const std::u16string& value, bool& ok) {
    if (halfUnitAtEnd(index))
        return false; // a UTF-16 file ending in half a unit: the slow path writes before it
    std::string bytes;
    if (!appendedBytes(index, section, key, value, bytes))
        return false;
    io::Stamp after;
    const int error = io::append(path, index.stamp.size, bytes, after);
    if (error != 0) {
        // The index already holds the new key: the file is read again next time.
        forget(path);
        if (error == io::FileChanged)
            return false;
        ok = false;
        io::setError(error);
        return true;
    }
    index.stamp = after;
    ok = true;
    return true;
}

// The entries from `first` on that the cached index shows to be appends, written in one append.
// Returns how many were written: none when the index cannot tell or the file changed, which
// leaves the next entry to the full write. `ok` turns false when the append failed.
size_t appendRun(const io::NativePath& path, const std::vector<ProfileEntry>& entries, size_t first,
                 bool& ok) {
    ok = true;
    io::Stamp stamp;
    int error = 0;
    if (!io::stampOf(path, stamp, error) || !stamp.tellsChanges())
        return 0;
    FileIndex* index = cached(path);
    if (!index || !(index->stamp == stamp) || halfUnitAtEnd(*index))
        return 0;
    std::string bytes;
    size_t count = 0;
    while (first + count < entries.size()) {
        const ProfileEntry& entry = entries[first + count];
        if (!appendedBytes(*index, entry.section, entry.key, entry.value, bytes))
            break;
        ++count;
    }
    if (count == 0)
        return 0;
    io::Stamp after;
    error = io::append(path, stamp.size, bytes, after);
    if (error != 0) {
        forget(path); // its index already holds the new keys
        ok = error == io::FileChanged;
        if (!ok)
            io::setError(error);
        return 0;
    }
    index->stamp = after;
    return count;
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

bool isAscii(const std::string& bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
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

bool writeNative(const io::NativePath& path, const std::u16string& section,
                 const std::u16string& key, const std::u16string& value) {
    // Each round reads the file as it is now; a round whose append finds the file changed since
    // its read starts again from the file, never writing what it read before.
    for (int round = 0; round < 16; ++round) {
        io::Stamp stamp;
        int error = 0;
        const bool exists = io::stampOf(path, stamp, error);
        if (!exists && error != 0) {
            io::setError(error);
            return false;
        }
        if (exists && stamp.tellsChanges()) {
            if (FileIndex* index = cached(path); index && index->stamp == stamp) {
                bool ok = false;
                if (tryAppend(*index, path, section, key, value, ok))
                    return ok;
            }
        }

        // The slow path: read, change, then append or replace the whole file.
        std::string bytes;
        if (exists) {
            error = io::readWhole(path, bytes, stamp);
            if (error) {
                io::setError(error);
                return false;
            }
        }
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
        std::string updated = doc.bytes.substr(0, at) + insert + doc.bytes.substr(replaceUpTo);
        if (!rewrite && doc.encoding == Encoding::CodePage && !isAscii(updated) &&
            isValidUtf8(updated.data(), updated.size())) {
            // Without the bytes that made it code page, the file would read back as UTF-8 and
            // every other accented value would change: it keeps its text under a UTF-8 mark.
            doc = asUtf8WithMark(doc);
            rewrite = true;
            planWrite(doc, section, key, value, at, replaceUpTo, insert);
            updated = doc.bytes.substr(0, at) + insert + doc.bytes.substr(replaceUpTo);
        }
        const std::string& old = doc.bytes;

        io::Stamp after;
        const bool appending = exists && !rewrite && at == old.size();
        if (appending) {
            error = io::append(path, old.size(), insert, after);
            if (error == io::FileChanged)
                continue;
        } else {
            error = io::replace(path, updated);
        }
        if (error) {
            forget(path);
            io::setError(error);
            return false;
        }
        if (appending) {
            // Appended: what the file now holds is the parsed file plus one key, so the index
            // follows without reading the file again.
            FileIndex index = indexOf(doc);
            index.path = path;
            appended(index, fold(section), fold(key));
            index.stamp = after;
            remember(std::move(index));
        } else {
            // Rewritten: the next write reads the file anyway when someone else wrote in
            // between, and otherwise once, to index it.
            forget(path);
        }
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
    return writeNative(path, cleanName(section), cleanName(key), value);
}

bool writeProfileStrings(const std::vector<ProfileEntry>& entries, const Path& file) {
    io::NativePath path;
    if (!io::toNative(file, path))
        return false;
    if (entries.empty())
        return true;
    std::vector<ProfileEntry> clean;
    clean.reserve(entries.size());
    for (const ProfileEntry& entry : entries)
        clean.push_back({cleanName(entry.section), cleanName(entry.key), entry.value});
    const ProfileLock turn(file);
    const std::lock_guard lock(g_mutex);
    for (size_t next = 0; next < clean.size();) {
        bool ok = true;
        size_t written = appendRun(path, clean, next, ok);
        if (!ok)
            return false;
        if (written == 0) {
            const ProfileEntry& entry = clean[next];
            if (!writeNative(path, entry.section, entry.key, entry.value))
                return false;
            written = 1;
        }
        next += written;
    }
    return true;
}

std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultValue, const Path& file) {
    io::NativePath path;
    std::string bytes;
    io::Stamp stamp;
    if (!io::toNative(file, path) || io::readWhole(path, bytes, stamp) != 0)
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
    io::NativePath path;
    if (!io::toNative(file, path))
        return io::currentError();
    const ProfileLock turn(file);
    const std::lock_guard lock(g_mutex);
    forget(path);
    return io::replace(path, bytes);
}

} // namespace ordalix::platform
