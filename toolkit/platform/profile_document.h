// The line model of the INI profile store: a file's bytes, its encoding, and its lines sorted
// into headers, keys and the rest, each kept as the byte range it holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ordalix::platform::profile {

// A file with a byte-order mark keeps it and its encoding. One without is UTF-8 when its bytes
// are valid UTF-8 (pure ASCII included) and in the ANSI code page otherwise, as Windows writes
// it (see fromCodePage).
enum class Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, CodePage };

struct Line {
    enum Kind { Blank, Other, Header, Key };
    std::size_t start = 0; // content [start, end), line end [end, next), in bytes
    std::size_t end = 0;
    std::size_t next = 0;
    Kind kind = Other;
    std::u16string name;       // folded section or key name
    std::size_t valueUnit = 0; // for a key: first unit after "=" and the blanks that follow it
    std::size_t valueEndUnit = 0;
};

struct Section {
    std::u16string name;         // folded
    std::size_t header = 0;      // line index
    std::size_t end = 0;         // index of the next header line, or the line count
    std::size_t lastContent = 0; // last line that is not blank: the header when there is none
};

struct Document {
    std::string bytes;
    Encoding encoding = Encoding::Utf8;
    std::size_t bomSize = 0;
    std::u16string lineEnd = u"\r\n";
    std::vector<Line> lines;
    std::vector<Section> sections;

    std::size_t unitSize() const;
    char16_t unitAt(std::size_t byte) const;
    // A line's content as code units: bytes for 8-bit encodings, 16-bit units for UTF-16.
    std::u16string units(const Line& line) const;
    std::u16string decode(const std::u16string& units) const;
    // False when a character has no place in the file's encoding (the code page only).
    bool encode(const std::u16string& text, std::string& out) const;
    // The whole text after the byte-order mark.
    std::u16string text() const;
    bool endsWithLineEnd() const;
    const Section* findSection(const std::u16string& folded) const;
    const Line* findKey(const Section& section, const std::u16string& folded) const;
};

Document parse(std::string bytes);

} // namespace ordalix::platform::profile
