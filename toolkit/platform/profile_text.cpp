#include "profile_text.h"

#include "profile_store.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ordalix::platform::profile {

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

namespace {

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

} // namespace

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

bool isValidUtf8(const char* data, std::size_t size) {
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    while (i < size) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if ((b & 0xE0) == 0xC0)
            extra = 1, c = b & 0x1F, minimum = 0x80;
        else if ((b & 0xF0) == 0xE0)
            extra = 2, c = b & 0x0F, minimum = 0x800;
        else if ((b & 0xF8) == 0xF0)
            extra = 3, c = b & 0x07, minimum = 0x10000;
        else
            return false;
        if (i + extra >= size)
            return false; // cut short by the end

        for (std::size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

namespace {

// Bytes 0x80 to 0x9F of Windows-1252; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char16_t fromWindows1252(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : char16_t(byte);
}

bool toWindows1252(const std::u16string& text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32 && found < 0; ++i) {
            if (kCp1252High[i] == c)
                found = i;
        }
        if (found < 0)
            return false;
        out += static_cast<char>(0x80 + found);
    }
    return true;
}

#ifdef _WIN32

// The system's ANSI code page, single- or double-byte, converted as a whole run so that a
// double-byte character is never cut in two.
std::u16string fromCodePage(const char* data, std::size_t size) {
    if (size == 0)
        return {};
    const int length = static_cast<int>(size);
    const int units = ::MultiByteToWideChar(CP_ACP, 0, data, length, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(units > 0 ? units : 0), u'\0');
    if (units > 0)
        ::MultiByteToWideChar(CP_ACP, 0, data, length, reinterpret_cast<wchar_t*>(out.data()),
                              units);
    return out;
}

bool toCodePage(const std::u16string& text, std::string& out) {
    out.clear();
    if (text.empty())
        return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    BOOL lossy = FALSE;
    const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                            nullptr, &lossy);
    if (bytes <= 0 || lossy)
        return false;
    out.resize(static_cast<std::size_t>(bytes));
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, out.data(), bytes, nullptr,
                          &lossy);
    // Some code pages still map a character to a look-alike: only an exact round trip counts.
    return !lossy && fromCodePage(out.data(), out.size()) == text;
}

#else

std::u16string fromCodePage(const char* data, std::size_t size) {
    std::u16string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        out += fromWindows1252(static_cast<unsigned char>(data[i]));
    return out;
}

bool toCodePage(const std::u16string& text, std::string& out) {
    return toWindows1252(text, out);
}

#endif

namespace {

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

} // namespace

std::u16string fold(std::u16string text) {
    for (char16_t& c : text)
        c = foldChar(c);
    return text;
}

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

namespace {

// The control pictures that stand for line breaks and NUL in a stored value. The NUL picture
// also escapes: a picture meant as itself is written after it, and NUL is written as it and "0",
// so that every value reads back exactly as written and no value can add a line.
constexpr char16_t PictureNul = 0x2400;
constexpr char16_t PictureLf = 0x240A;
constexpr char16_t PictureCr = 0x240D;

std::u16string escapedValue(const std::u16string& value) {
    std::u16string out;
    out.reserve(value.size());
    for (const char16_t c : value) {
        switch (c) {
        case u'\r':
            out += PictureCr;
            break;
        case u'\n':
            out += PictureLf;
            break;
        case 0:
            out += PictureNul;
            out += u'0';
            break;
        case PictureNul:
        case PictureLf:
        case PictureCr:
            out += PictureNul;
            out += c;
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::u16string unescapedValue(const std::u16string& stored) {
    std::u16string out;
    out.reserve(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        const char16_t c = stored[i];
        if (c == PictureCr) {
            out += u'\r';
        } else if (c == PictureLf) {
            out += u'\n';
        } else if (c == PictureNul) {
            const char16_t next = i + 1 < stored.size() ? stored[i + 1] : u'\0';
            if (next == PictureNul || next == PictureLf || next == PictureCr) {
                out += next;
                ++i;
            } else {
                // "0" after it, or nothing: a NUL (older files wrote the picture alone).
                out += u'\0';
                if (next == u'0')
                    ++i;
            }
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::u16string cleanName(const std::u16string& name) {
    std::u16string text = name;
    for (char16_t& c : text) {
        if (c == u'\r')
            c = PictureCr;
        else if (c == u'\n')
            c = PictureLf;
        else if (c == 0)
            c = PictureNul;
    }
    return trimmed(text);
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
    std::u16string v = escapedValue(value);
    const bool quoted =
        !v.empty() && (isBlank(v.front()) || isBlank(v.back()) ||
                       (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()));
    return quoted ? u"\"" + v + u"\"" : v;
}

std::u16string readValue(std::u16string stored) {
    if (stored.size() >= 2 && isQuote(stored.front()) && stored.front() == stored.back())
        stored = stored.substr(1, stored.size() - 2);
    return unescapedValue(stored);
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

} // namespace ordalix::platform::profile
