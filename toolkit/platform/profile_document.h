// The line model of the INI profile store: a file's bytes, its encoding, its sections found
// once, and the lines of a section read when a look-up needs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ordalix::platform::profile {

// A file with a byte-order mark keeps it and its encoding. One without is UTF-8 when its bytes
// are valid UTF-8 (pure ASCII included) and in the ANSI code page otherwise, as Windows writes
// it (see fromCodePage).
enum class Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, CodePage };

struct Line {
    enum Kind : unsigned char { Blank, Other, Header, Key };
    std::size_t start = 0; // content [start, end), line end [end, next), in bytes
    std::size_t end = 0;
    std::size_t next = 0;
    // For a key, in units from the line's start: its name [nameUnit, nameEndUnit) (inside the
    // quotes of a quoted one, doubled quotes not yet undone), and its value [valueUnit,
    // valueEndUnit) after the blanks that follow "=". Names are folded only when asked for:
    // a large file holds far more keys than any look-up compares.
    std::uint32_t nameUnit = 0;
    std::uint32_t nameEndUnit = 0;
    std::uint32_t valueUnit = 0;
    std::uint32_t valueEndUnit = 0;
    Kind kind = Other;
    bool quotedName = false;
};

struct Section {
    std::size_t header = 0; // byte where its header line starts
    std::size_t body = 0;   // byte where the line after the header starts
    std::size_t end = 0;    // byte where the next header line starts, or the file's size
    std::uint64_t hash = 0; // of its folded name
};

struct Document {
    std::string bytes;
    Encoding encoding = Encoding::Utf8;
    std::size_t bomSize = 0;
    std::u16string lineEnd = u"\r\n";
    std::vector<Section> sections; // in file order, duplicates included
    // The first section of each name, by hash: open addressing over section indexes plus one.
    // A file of a million sections holds no name of its own until one is asked for.
    std::vector<std::uint32_t> table;

    std::size_t unitSize() const;
    char16_t unitAt(std::size_t byte) const;
    // The line that starts at `byte`, classified.
    Line lineAt(std::size_t byte) const;
    // A line's content as code units: bytes for 8-bit encodings, 16-bit units for UTF-16.
    std::u16string units(const Line& line) const;
    // Units [from, to) of a line's content as text.
    std::u16string decodeUnits(const Line& line, std::size_t from, std::size_t to) const;
    std::u16string decode(const std::u16string& units) const;
    // False when a character has no place in the file's encoding (the code page only).
    bool encode(const std::u16string& text, std::string& out) const;
    // The whole text after the byte-order mark.
    std::u16string text() const;
    bool endsWithLineEnd() const;
    // A key line's folded name, and whether it is `folded`.
    std::u16string keyName(const Line& line) const;
    bool keyIs(const Line& line, const std::u16string& folded) const;

    // A section's folded name.
    std::u16string sectionName(const Section& section) const;
    // The first section of a folded name.
    const Section* findSection(const std::u16string& folded) const;
    // The first key line of a folded name in a section.
    std::optional<Line> findKey(const Section& section, const std::u16string& folded) const;
    // A section's last line that is not blank: its header when it has none.
    Line lastContent(const Section& section) const;
    // The key lines of a section, in order.
    std::vector<Line> keys(const Section& section) const;

    // Appends bytes that start at a line's start, as an append to the file does.
    void extend(const std::string& more);
};

Document parse(std::string bytes);

} // namespace ordalix::platform::profile
