// Writes of the INI store into any file content. Input: SECTION NUL KEY NUL VALUE NUL FILE-BYTES.
// After a write the value reads back exactly as written (line breaks and control pictures
// included), another key keeps its value, the write added no more than its own lines, writing
// it again changes nothing, the byte-order mark stays (a file in the Windows code page may only
// become UTF-8 with a mark) and no temporary file is left.
#include "FuzzInput.h"

#include <algorithm>

#include "profile_store.h"
#include "profile_text.h"

using namespace ordalix::platform;

namespace {

// A name as the store matches it, for the ASCII letters the test compares.
std::u16string asciiFolded(std::u16string name) {
    for (char16_t& c : name) {
        if (c == u'\r')
            c = 0x240D;
        else if (c == u'\n')
            c = 0x240A;
        else if (c == 0)
            c = 0x2400;
        else if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 32);
    }
    const size_t begin = name.find_first_not_of(u" \t");
    if (begin == std::u16string::npos)
        return {};
    return name.substr(begin, name.find_last_not_of(u" \t") - begin + 1);
}

std::string bom(const std::string& bytes) {
    for (const char* mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
        if (bytes.rfind(mark, 0) == 0)
            return mark;
    }
    return {};
}

// Line feeds in the file, counted in its units: a write adds at most three (one ending a last
// line that had none, a header, its key), whatever the names and value hold.
size_t lineFeeds(const std::string& bytes, const std::string& mark) {
    size_t count = 0;
    if (mark.size() != 2)
        return static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    const bool little = mark == "\xFF\xFE";
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
        const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
        if (lo == '\n' && hi == 0)
            ++count;
    }
    return count;
}

// The value as a read gives it back: exactly as written, but a lone surrogate as U+FFFD in an
// 8-bit file, and at most ProfileStringMaxChars characters.
std::u16string expectedValue(std::u16string value, bool utf16) {
    for (size_t i = 0; i < value.size(); ++i) {
        char16_t& c = value[i];
        if (!utf16 && c >= 0xD800 && c <= 0xDFFF) {
            const bool paired = c <= 0xDBFF && i + 1 < value.size() && value[i + 1] >= 0xDC00 &&
                                value[i + 1] <= 0xDFFF;
            if (paired)
                ++i;
            else
                c = 0xFFFD;
        }
    }
    if (value.size() > ProfileStringMaxChars) {
        size_t size = ProfileStringMaxChars;
        if (value[size - 1] >= 0xD800 && value[size - 1] <= 0xDBFF)
            --size;
        value.resize(size);
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = fuzz::fields(data, size, 3);
    const std::u16string section = fuzz::text(parts[0]);
    const std::u16string key = fuzz::text(parts[1]);
    const std::u16string value = fuzz::text(parts[2], true);
    const fuzz::ScratchFile file(parts[3]);
    const Path path = file.widePath();
    const std::u16string missing = u"\x7F";

    const bool sameAsOther = asciiFolded(section) == u"s" && asciiFolded(key) == u"k";
    const std::u16string other = readProfileString(u"s", u"k", missing, path);

    if (!writeProfileString(section, key, value, path))
        fuzz::fail("a write into a writable file failed");
    const std::string written = file.bytes();
    const std::string mark = bom(parts[3]);
    const bool codePage =
        mark.empty() && !ordalix::platform::profile::isValidUtf8(parts[3].data(), parts[3].size());
    if (bom(written) != mark && !(codePage && bom(written) == "\xEF\xBB\xBF"))
        fuzz::fail("the byte-order mark changed");
    const bool utf16 = mark.size() == 2;
    if (bom(written) == mark && lineFeeds(written, mark) > lineFeeds(parts[3], mark) + 3)
        fuzz::fail("the write added lines of its own");
    if (readProfileString(section, key, missing, path) != expectedValue(value, utf16))
        fuzz::fail("the value does not read back as written");
    if (!sameAsOther && readProfileString(u"s", u"k", missing, path) != other)
        fuzz::fail("another key's value changed");
    if (fuzz::scratchEntries().size() != 1)
        fuzz::fail("a temporary file was left beside the file");

    if (!writeProfileString(section, key, value, path))
        fuzz::fail("writing the same value again failed");
    if (file.bytes() != written)
        fuzz::fail("writing the same value again changed the file");
    return 0;
}
