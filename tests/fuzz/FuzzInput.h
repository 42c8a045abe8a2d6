// What the fuzz targets share: cutting an input into fields, turning bytes into the UTF-16 text
// the store takes, and a scratch file per input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz {

// Fails the run with a message; libFuzzer keeps the input that got here.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// The input cut at its first `count` NUL bytes: count + 1 fields, the last one the rest.
inline std::vector<std::string> fields(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::string> out;
    const char* p = reinterpret_cast<const char*>(data);
    const char* end = p + size;
    while (out.size() < count) {
        const char* nul = static_cast<const char*>(std::memchr(p, 0, static_cast<size_t>(end - p)));
        if (!nul)
            break;
        out.emplace_back(p, nul);
        p = nul + 1;
    }
    while (out.size() < count)
        out.emplace_back();
    out.emplace_back(p, end);
    return out;
}

// UTF-8 bytes as UTF-16, invalid sequences as U+FFFD. Byte 0x01 stands for NUL (a field cannot
// hold one) and, when lone is set, byte 0x02 for an unpaired high surrogate.
inline std::u16string text(const std::string& bytes, bool lone = false) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char b = s[i];
        if (b == 0x01 || (lone && b == 0x02)) {
            out += b == 0x01 ? char16_t(0) : char16_t(0xD800);
            ++i;
            continue;
        }
        if (b < 0x80) {
            out += char16_t(b);
            ++i;
            continue;
        }
        const size_t extra = b >= 0xF0 && b < 0xF5   ? 3
                             : b >= 0xE0 && b < 0xF0 ? 2
                             : b >= 0xC2 && b < 0xE0 ? 1
                                                     : 0;
        char32_t c = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : b & 0x1F;
        bool valid = extra > 0 && i + extra < bytes.size();
        for (size_t k = 1; valid && k <= extra; ++k) {
            valid = (s[i + k] & 0xC0) == 0x80;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        const char32_t minimum = extra == 3 ? 0x10000 : extra == 2 ? 0x800 : 0x80;
        if (!valid || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += char16_t(0xFFFD);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
        i += extra + 1;
    }
    return out;
}

inline std::u16string widened(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

inline std::string narrowed(const std::u16string& ascii) {
    std::string out;
    for (const char16_t c : ascii)
        out += static_cast<char>(c);
    return out;
}

// The folder of this process's scratch files: memory-backed when it can be, for speed.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        if (const char* tmp = std::getenv("ORDALIX_FUZZ_SCRATCH"))
            base = tmp;
        std::string path = base + "/ordalix-fuzz-" + std::to_string(getpid());
        mkdir(path.c_str(), 0700);
        return path;
    }();
    // Registered once the path is made, so that it runs before the path is destroyed; the
    // folder is empty then unless an input failed.
    static const bool removed = std::atexit([] { rmdir(folder.c_str()); }) == 0;
    (void)removed;
    return folder;
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string readBytes(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        fail("the file is gone");
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    std::fclose(f);
    return out;
}

// Names of the scratch folder's entries.
inline std::vector<std::string> scratchEntries() {
    std::vector<std::string> out;
    if (DIR* dir = opendir(scratchFolder().c_str())) {
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                out.push_back(name);
        }
        closedir(dir);
    }
    return out;
}

// A file holding given bytes, under a name of its own: the store keeps what it learnt of a path
// between writes, and a fresh name keeps one input from seeing the last one's file.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& bytes, const char* suffix = "") {
        static unsigned counter = 0;
        m_path = scratchFolder() + "/f" + std::to_string(counter++) + suffix + ".ini";
        if (!writeBytes(m_path, bytes))
            fail("cannot write the scratch file");
    }
    ~ScratchFile() { unlink(m_path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return m_path; }
    std::u16string widePath() const { return widened(m_path); }
    std::string bytes() const { return readBytes(m_path); }

private:
    std::string m_path;
};

// A file's lines as the tidy passes see them: its byte-order mark, then code units (bytes, or
// 16-bit units after a UTF-16 mark, an odd last byte apart) cut at CR LF, a lone CR or a lone LF.
struct Lines {
    std::string mark;
    std::vector<std::u16string> lines;
    std::string tail; // the odd last byte of a UTF-16 file
};

inline Lines lines(const std::string& bytes) {
    Lines out;
    for (const char* mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
        if (bytes.rfind(mark, 0) == 0) {
            out.mark = mark;
            break;
        }
    }
    std::u16string units;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    if (out.mark.size() == 2) {
        const bool little = out.mark[0] == '\xFF';
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            units += little ? char16_t(s[i] | s[i + 1] << 8) : char16_t(s[i] << 8 | s[i + 1]);
        if (bytes.size() % 2 != 0)
            out.tail = bytes.back();
    } else {
        for (size_t i = out.mark.size(); i < bytes.size(); ++i)
            units += char16_t(s[i]);
    }
    size_t start = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] != u'\r' && units[i] != u'\n')
            continue;
        out.lines.push_back(units.substr(start, i - start));
        if (units[i] == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < units.size())
        out.lines.push_back(units.substr(start));
    return out;
}

} // namespace fuzz
