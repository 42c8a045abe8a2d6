// The INI profile store over POSIX files. See profile_store.h for the file format it keeps.
#include "profile_store.h"

#include "posix_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ordalix::platform {

namespace {

using posix::Fd;
using posix::writeAll;

// ---------------------------------------------------------------------------------------------
// Text conversions

constexpr char16_t ReplacementChar = 0xFFFD;

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A lone surrogate fails a strict conversion (a path must name one file) and becomes U+FFFD in
// a lenient one (text stored in a file).
bool utf16ToUtf8(const std::u16string& text, std::string& out, bool strict) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            if (strict)
                return false;
            c = ReplacementChar;
        }
        appendUtf8(out, c);
    }
    return true;
}

// Invalid sequences read as U+FFFD, one per offending byte.
std::u16string utf8ToUtf16(const char* data, size_t size) {
    std::u16string out;
    out.reserve(size);
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    while (i < size) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, minimum = 0x10000;
        } else {
            out += ReplacementChar;
            ++i;
            continue;
        }
        bool valid = i + static_cast<size_t>(extra) < size;
        for (int k = 1; valid && k <= extra; ++k) {
            const unsigned char next = s[i + static_cast<size_t>(k)];
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += ReplacementChar;
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

bool toNativePath(const Path& path, std::string& out) {
    if (path.empty() || !utf16ToUtf8(path, out, true) || out.find('\0') != std::string::npos) {
        errno = path.empty() ? ENOENT : EINVAL;
        return false;
    }
    return true;
}

// Case folding for name matching: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic capitals.
char16_t foldChar(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x138 && c != 0x149) {
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x178)
            return 0xFF;
        if (oddUpper)
            return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    return c;
}

std::u16string fold(std::u16string text) {
    for (char16_t& c : text)
        c = foldChar(c);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Stored forms

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool isQuote(char16_t c) {
    return c == u'"' || c == u'\'';
}

std::u16string trimmed(const std::u16string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Line breaks and NUL become their control pictures, so no text can add a line to the file.
std::u16string withoutLineBreaks(std::u16string text) {
    for (char16_t& c : text) {
        if (c == u'\r')
            c = 0x240D;
        else if (c == u'\n')
            c = 0x240A;
        else if (c == 0)
            c = 0x2400;
    }
    return text;
}

// A name as it is stored and matched.
std::u16string cleanName(const std::u16string& name) {
    return trimmed(withoutLineBreaks(name));
}

std::u16string storedKey(const std::u16string& key) {
    const bool quoted = !key.empty() && (key[0] == u'[' || key[0] == u';' || key[0] == u'"' ||
                                         key.find(u'=') != std::u16string::npos);
    if (!quoted)
        return key;
    std::u16string out = u"\"";
    for (const char16_t c : key) {
        out += c;
        if (c == u'"')
            out += c;
    }
    return out + u"\"";
}

std::u16string storedValue(const std::u16string& value) {
    std::u16string v = withoutLineBreaks(value);
    const bool quoted =
        !v.empty() && (isBlank(v.front()) || isBlank(v.back()) ||
                       (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()));
    return quoted ? u"\"" + v + u"\"" : v;
}

std::u16string capped(std::u16string text) {
    if (text.size() > ProfileStringMaxChars) {
        size_t size = ProfileStringMaxChars;
        if (isHighSurrogate(text[size - 1]))
            --size; // never hand back half a character
        text.resize(size);
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// Files and their lines

enum class Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE };

struct Line {
    enum Kind { Blank, Other, Header, Key };
    size_t start = 0; // content [start, end), line end [end, next), in bytes
    size_t end = 0;
    size_t next = 0;
    Kind kind = Other;
    std::u16string name;  // folded section or key name
    size_t valueUnit = 0; // for a key: first unit after "=" and the blanks that follow it
    size_t valueEndUnit = 0;
};

struct Section {
    std::u16string name;    // folded
    size_t header = 0;      // line index
    size_t end = 0;         // index of the next header line, or the line count
    size_t lastContent = 0; // last line that is not blank: the header when there is none
};

struct Document {
    std::string bytes;
    Encoding encoding = Encoding::Utf8;
    size_t bomSize = 0;
    std::u16string lineEnd = u"\r\n";
    std::vector<Line> lines;
    std::vector<Section> sections;

    size_t unitSize() const {
        return encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE ? 2 : 1;
    }

    char16_t unitAt(size_t byte) const {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + byte;
        switch (encoding) {
        case Encoding::Utf16LE:
            return static_cast<char16_t>(b[0] | (b[1] << 8));
        case Encoding::Utf16BE:
            return static_cast<char16_t>((b[0] << 8) | b[1]);
        default:
            return b[0];
        }
    }

    // A line's content as code units: bytes for UTF-8, 16-bit units for UTF-16.
    std::u16string units(const Line& line) const {
        std::u16string out;
        out.reserve((line.end - line.start) / unitSize());
        for (size_t b = line.start; b + unitSize() <= line.end; b += unitSize())
            out += unitAt(b);
        return out;
    }

    std::u16string decode(const std::u16string& units) const {
        if (unitSize() == 2)
            return units;
        std::string raw(units.begin(), units.end());
        return utf8ToUtf16(raw.data(), raw.size());
    }

    std::string encode(const std::u16string& text) const {
        std::string out;
        if (unitSize() == 1) {
            utf16ToUtf8(text, out, false);
            return out;
        }
        out.reserve(text.size() * 2);
        for (const char16_t c : text) {
            const char hi = static_cast<char>(c >> 8);
            const char lo = static_cast<char>(c & 0xFF);
            if (encoding == Encoding::Utf16LE)
                out += lo, out += hi;
            else
                out += hi, out += lo;
        }
        return out;
    }

    bool endsWithLineEnd() const { return lines.empty() || lines.back().end != lines.back().next; }

    const Section* findSection(const std::u16string& folded) const {
        for (const Section& s : sections) {
            if (s.name == folded)
                return &s;
        }
        return nullptr;
    }

    const Line* findKey(const Section& section, const std::u16string& folded) const {
        for (size_t i = section.header + 1; i < section.end; ++i) {
            if (lines[i].kind == Line::Key && lines[i].name == folded)
                return &lines[i];
        }
        return nullptr;
    }
};

Encoding detectEncoding(const std::string& bytes, size_t& bomSize) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        return bomSize = 3, Encoding::Utf8Bom;
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE)
        return bomSize = 2, Encoding::Utf16LE;
    if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF)
        return bomSize = 2, Encoding::Utf16BE;
    return bomSize = 0, Encoding::Utf8;
}

// Sorts one line's content into a kind and, for a header or key, its folded name.
void classify(const Document& doc, Line& line) {
    const std::u16string u = doc.units(line);
    size_t begin = 0;
    size_t end = u.size();
    while (begin < end && isBlank(u[begin]))
        ++begin;
    while (end > begin && isBlank(u[end - 1]))
        --end;
    if (begin == end) {
        line.kind = Line::Blank;
        return;
    }
    if (u[begin] == u';') {
        line.kind = Line::Other;
        return;
    }
    if (u[begin] == u'[') {
        const size_t close = u.find_last_of(u']');
        if (close != std::u16string::npos && close > begin) {
            line.kind = Line::Header;
            line.name = fold(trimmed(doc.decode(u.substr(begin + 1, close - begin - 1))));
            return;
        }
    }
    std::optional<std::u16string> key;
    size_t equals = std::u16string::npos;
    if (u[begin] == u'"') {
        // A quoted key: doubled quotes stand for one, and "=" follows the closing quote.
        std::u16string name;
        size_t i = begin + 1;
        for (; i < end; ++i) {
            if (u[i] == u'"') {
                if (i + 1 < end && u[i + 1] == u'"')
                    name += u[i++];
                else
                    break;
            } else {
                name += u[i];
            }
        }
        size_t j = i + 1;
        while (j < end && isBlank(u[j]))
            ++j;
        if (i < end && j < end && u[j] == u'=') {
            key = doc.decode(name);
            equals = j;
        }
    }
    if (!key) {
        equals = u.find(u'=', begin);
        if (equals == std::u16string::npos || equals >= end) {
            line.kind = Line::Other;
            return;
        }
        key = trimmed(doc.decode(u.substr(begin, equals - begin)));
    }
    line.kind = Line::Key;
    line.name = fold(*key);
    size_t value = equals + 1;
    while (value < end && isBlank(u[value]))
        ++value;
    line.valueUnit = value;
    line.valueEndUnit = end;
}

Document parse(std::string bytes) {
    Document doc;
    doc.bytes = std::move(bytes);
    doc.encoding = detectEncoding(doc.bytes, doc.bomSize);
    const size_t unit = doc.unitSize();
    const size_t size = doc.bytes.size();
    bool lineEndSeen = false;
    size_t start = doc.bomSize;
    while (start < size) {
        size_t end = start;
        while (end + unit <= size) {
            const char16_t c = doc.unitAt(end);
            if (c == u'\r' || c == u'\n')
                break;
            end += unit;
        }
        if (end + unit > size)
            end = size; // the last line, an odd trailing byte included
        size_t next = end;
        if (next < size) {
            const bool cr = doc.unitAt(next) == u'\r';
            next += unit;
            if (cr && next + unit <= size && doc.unitAt(next) == u'\n')
                next += unit;
            if (!lineEndSeen) {
                doc.lineEnd = next - end == 2 * unit ? u"\r\n" : cr ? u"\r" : u"\n";
                lineEndSeen = true;
            }
        }
        Line line;
        line.start = start;
        line.end = end;
        line.next = next;
        classify(doc, line);
        doc.lines.push_back(std::move(line));
        start = next;
    }
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& line = doc.lines[i];
        if (line.kind == Line::Header) {
            if (!doc.sections.empty())
                doc.sections.back().end = i;
            doc.sections.push_back(Section{line.name, i, doc.lines.size(), i});
        } else if (line.kind != Line::Blank && !doc.sections.empty()) {
            doc.sections.back().lastContent = i;
        }
    }
    return doc;
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

// The text of a key line, a header line and a line end in a file's encoding.
struct Encoder {
    Encoding encoding;
    std::u16string lineEnd;

    std::string operator()(const std::u16string& text) const {
        Document doc;
        doc.encoding = encoding;
        return doc.encode(text);
    }
    std::string keyLine(const std::u16string& key, const std::u16string& value) const {
        return (*this)(storedKey(key) + u"=" + storedValue(value) + lineEnd);
    }
    std::string headerLine(const std::u16string& section) const {
        return (*this)(u"[" + section + u"]" + lineEnd);
    }
};

// The fast path: a new key at the end of the file or a new section, told from the index alone.
// Returns false when the index cannot decide or the append did not happen.
bool tryAppend(FileIndex& index, const struct stat& st, const std::string& path,
               const std::u16string& section, const std::u16string& key,
               const std::u16string& value, bool& ok) {
    const std::u16string s = fold(section);
    const std::u16string k = fold(key);
    const Encoder encoder{index.encoding, index.lineEnd};
    std::string bytes = index.endsWithLineEnd ? std::string() : encoder(index.lineEnd);
    const bool utf16 = index.encoding == Encoding::Utf16LE || index.encoding == Encoding::Utf16BE;
    if (utf16 && st.st_size % 2 != 0)
        return false; // a UTF-16 file ending in half a unit: the slow path writes before it
    const bool newSection = !index.sections.count(s);
    if (newSection)
        bytes += encoder.headerLine(section);
    else if (s != index.lastSection || !index.lastAppendable || index.lastKeys.count(k))
        return false;
    bytes += encoder.keyLine(key, value);
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
    if (newSection) {
        index.sections.insert(s);
        index.lastSection = s;
        index.lastAppendable = true;
        index.lastKeys.clear();
    }
    index.lastKeys.insert(k);
    index.endsWithLineEnd = true;
    index.stamp(after);
    return true;
}

bool writeNative(const std::string& path, const std::u16string& section, const std::u16string& key,
                 const std::u16string& value) {
    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return false;
    if (exists) {
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
    const Encoder encoder{doc.encoding, doc.lineEnd};
    const std::string& old = doc.bytes;
    size_t at = old.size();
    size_t replaceUpTo = std::string::npos; // an insertion unless a value is replaced
    std::string insert;
    if (const Section* s = doc.findSection(fold(section))) {
        if (const Line* line = doc.findKey(*s, fold(key))) {
            at = line->start + line->valueUnit * doc.unitSize();
            replaceUpTo = line->start + line->valueEndUnit * doc.unitSize();
            insert = encoder(storedValue(value));
        } else {
            const Line& last = doc.lines[s->lastContent];
            at = last.next;
            insert = (last.end == last.next ? encoder(doc.lineEnd) : std::string()) +
                     encoder.keyLine(key, value);
        }
    } else {
        insert = (doc.endsWithLineEnd() ? std::string() : encoder(doc.lineEnd)) +
                 encoder.headerLine(section) + encoder.keyLine(key, value);
    }
    if (replaceUpTo == std::string::npos)
        replaceUpTo = at;
    // A UTF-16 file that ends in half a unit would shift every character added after it, and
    // the new lines would read as nonsense: they go before that byte, which stays last.
    if (doc.unitSize() == 2 && at == old.size() && old.size() % 2 != 0)
        at = replaceUpTo = old.size() - 1;
    std::string updated = old.substr(0, at) + insert + old.substr(replaceUpTo);

    int error = 0;
    struct stat after;
    if (exists && at == old.size()) {
        error = appendNative(path, static_cast<off_t>(old.size()), insert, after);
        if (error == EAGAIN)
            error = replaceNative(path, updated); // changed since we read it: write what we have
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
    FileIndex index = indexOf(parse(std::move(updated)));
    index.path = path;
    index.stamp(after);
    remember(std::move(index));
    return true;
}

} // namespace

bool writeProfileString(const std::u16string& section, const std::u16string& key,
                        const std::u16string& value, const Path& file) {
    std::string path;
    if (!toNativePath(file, path))
        return false;
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
    std::u16string value = units.substr(line->valueUnit, line->valueEndUnit - line->valueUnit);
    if (value.size() >= 2 && isQuote(value.front()) && value.front() == value.back())
        value = value.substr(1, value.size() - 2);
    return capped(doc.decode(value));
}

bool flushProfile(const Path& file) {
    (void)file;
    return true;
}

int replaceFileContent(const Path& file, const std::string& bytes) {
    std::string path;
    if (!toNativePath(file, path))
        return errno;
    const std::lock_guard lock(g_mutex);
    forget(path);
    return replaceNative(path, bytes);
}

} // namespace ordalix::platform
