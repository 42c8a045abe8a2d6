#include "profile_document.h"

#include <algorithm>
#include <cstring>

#include "profile_text.h"

namespace ordalix::platform::profile {

std::size_t Document::unitSize() const {
    return encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE ? 2 : 1;
}

char16_t Document::unitAt(std::size_t byte) const {
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

std::u16string Document::units(const Line& line) const {
    if (unitSize() == 1) {
        const auto* first = reinterpret_cast<const unsigned char*>(bytes.data()) + line.start;
        return std::u16string(first, first + (line.end - line.start));
    }
    std::u16string out;
    out.reserve((line.end - line.start) / 2);
    for (std::size_t b = line.start; b + 2 <= line.end; b += 2)
        out += unitAt(b);
    return out;
}

std::u16string Document::decode(const std::u16string& units) const {
    if (unitSize() == 2)
        return units;
    const std::string raw(units.begin(), units.end());
    if (encoding == Encoding::CodePage)
        return fromCodePage(raw.data(), raw.size());
    return utf8ToUtf16(raw.data(), raw.size());
}

bool Document::encode(const std::u16string& text, std::string& out) const {
    out.clear();
    if (encoding == Encoding::CodePage)
        return toCodePage(text, out);
    if (unitSize() == 1) {
        utf16ToUtf8(text, out, false);
        return true;
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
    return true;
}

std::u16string Document::text() const {
    std::u16string units;
    units.reserve((bytes.size() - bomSize) / unitSize());
    for (std::size_t b = bomSize; b + unitSize() <= bytes.size(); b += unitSize())
        units += unitAt(b);
    return decode(units);
}

bool Document::endsWithLineEnd() const {
    const std::size_t size = bytes.size();
    if (size <= bomSize)
        return true;
    if ((size - bomSize) % unitSize() != 0)
        return false; // half a unit ends the last line
    const char16_t last = unitAt(size - unitSize());
    return last == u'\r' || last == u'\n';
}

std::u16string Document::decodeUnits(const Line& line, std::size_t from, std::size_t to) const {
    if (unitSize() == 1) {
        const char* first = bytes.data() + line.start + from;
        if (encoding == Encoding::CodePage)
            return fromCodePage(first, to - from);
        return utf8ToUtf16(first, to - from);
    }
    std::u16string out;
    out.reserve(to - from);
    for (std::size_t u = from; u < to; ++u)
        out += unitAt(line.start + 2 * u);
    return out;
}

std::u16string Document::keyName(const Line& line) const {
    if (!line.quotedName)
        return fold(decodeUnits(line, line.nameUnit, line.nameEndUnit));
    // Doubled quotes stand for one.
    std::u16string units;
    for (std::size_t u = line.nameUnit; u < line.nameEndUnit; ++u) {
        const char16_t c = unitAt(line.start + u * unitSize());
        units += c;
        if (c == u'"')
            ++u;
    }
    return fold(decode(units));
}

bool Document::keyIs(const Line& line, const std::u16string& folded) const {
    if (unitSize() == 1 && !line.quotedName) {
        // Plain ASCII compares in place; anything else is decoded and folded.
        const std::size_t size = line.nameEndUnit - line.nameUnit;
        const auto* name =
            reinterpret_cast<const unsigned char*>(bytes.data()) + line.start + line.nameUnit;
        bool ascii = true;
        for (std::size_t i = 0; i < size && ascii; ++i)
            ascii = name[i] < 0x80;
        if (ascii) {
            if (size != folded.size())
                return false;
            for (std::size_t i = 0; i < size; ++i) {
                const unsigned char c = name[i];
                if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != folded[i])
                    return false;
            }
            return true;
        }
    }
    return keyName(line) == folded;
}

namespace {

Encoding detectEncoding(const std::string& bytes, std::size_t& bomSize) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        return bomSize = 3, Encoding::Utf8Bom;
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE)
        return bomSize = 2, Encoding::Utf16LE;
    if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF)
        return bomSize = 2, Encoding::Utf16BE;
    bomSize = 0;
    return isValidUtf8(bytes.data(), bytes.size()) ? Encoding::Utf8 : Encoding::CodePage;
}

// A line's units: read in place for 8-bit encodings, copied out of UTF-16.
struct Bytes {
    const unsigned char* p;
    char16_t operator[](std::size_t i) const { return p[i]; }
};

// Sorts one line's content (`n` units) into a kind; a header's folded name goes to `header`.
template <typename Units>
void classify(const Document& doc, Line& line, const Units& u, std::size_t n,
              std::u16string& header) {
    std::size_t begin = 0;
    std::size_t end = n;
    while (begin < end && isBlank(u[begin]))
        ++begin;
    while (end > begin && isBlank(u[end - 1]))
        --end;
    if (begin == end) {
        line.kind = Line::Blank;
        return;
    }
    if (u[begin] == u';' || n > UINT32_MAX) {
        line.kind = Line::Other;
        return;
    }
    if (u[begin] == u'[') {
        std::size_t close = n;
        while (close > begin + 1 && u[close - 1] != u']')
            --close;
        if (close > begin + 1) {
            --close;
            line.kind = Line::Header;
            header = fold(trimmed(doc.decodeUnits(line, begin + 1, close)));
            return;
        }
    }
    std::size_t equals = n;
    if (u[begin] == u'"') {
        // A quoted key: doubled quotes stand for one, and "=" follows the closing quote.
        std::size_t i = begin + 1;
        for (; i < end; ++i) {
            if (u[i] == u'"') {
                if (i + 1 < end && u[i + 1] == u'"')
                    ++i;
                else
                    break;
            }
        }
        std::size_t j = i + 1;
        while (j < end && isBlank(u[j]))
            ++j;
        if (i < end && j < end && u[j] == u'=') {
            line.quotedName = true;
            line.nameUnit = static_cast<std::uint32_t>(begin + 1);
            line.nameEndUnit = static_cast<std::uint32_t>(i);
            equals = j;
        }
    }
    if (!line.quotedName) {
        equals = begin;
        while (equals < end && u[equals] != u'=')
            ++equals;
        if (equals >= end) {
            line.kind = Line::Other;
            return;
        }
        std::size_t nameEnd = equals;
        while (nameEnd > begin && isBlank(u[nameEnd - 1]))
            --nameEnd;
        line.nameUnit = static_cast<std::uint32_t>(begin);
        line.nameEndUnit = static_cast<std::uint32_t>(nameEnd);
    }
    line.kind = Line::Key;
    std::size_t value = equals + 1;
    while (value < end && isBlank(u[value]))
        ++value;
    line.valueUnit = static_cast<std::uint32_t>(value);
    line.valueEndUnit = static_cast<std::uint32_t>(end);
}

// Where the line that starts at `start` ends, and where the next one starts.
void bounds(const Document& doc, std::size_t start, std::size_t& end, std::size_t& next) {
    const std::size_t unit = doc.unitSize();
    const std::size_t size = doc.bytes.size();
    end = start;
    if (unit == 1) {
        const auto* raw = reinterpret_cast<const unsigned char*>(doc.bytes.data());
        while (end < size && raw[end] != '\r' && raw[end] != '\n')
            ++end;
    } else {
        while (end + unit <= size) {
            const char16_t c = doc.unitAt(end);
            if (c == u'\r' || c == u'\n')
                break;
            end += unit;
        }
        if (end + unit > size)
            end = size; // the last line, an odd trailing byte included
    }
    next = end;
    if (next < size) {
        const bool cr = doc.unitAt(next) == u'\r';
        next += unit;
        if (cr && next + unit <= size && doc.unitAt(next) == u'\n')
            next += unit;
    }
}

Line classified(const Document& doc, std::size_t start, std::size_t end, std::size_t next,
                std::u16string* header) {
    Line line;
    line.start = start;
    line.end = end;
    line.next = next;
    std::u16string name;
    if (doc.unitSize() == 1) {
        const auto* raw = reinterpret_cast<const unsigned char*>(doc.bytes.data());
        classify(doc, line, Bytes{raw + start}, end - start, name);
    } else {
        const std::u16string u = doc.units(line);
        classify(doc, line, u, u.size(), name);
    }
    if (header)
        *header = std::move(name);
    return line;
}

// Where a header line's name lies, in units from the line's start, blanks trimmed: a line is a
// header when its first unit that is not blank opens a bracket and a later one closes it.
bool headerName(const Document& doc, std::size_t start, std::size_t end, std::size_t& from,
                std::size_t& to) {
    const std::size_t unit = doc.unitSize();
    const std::size_t n = (end - start) / unit;
    const auto at = [&](std::size_t u) { return doc.unitAt(start + u * unit); };
    std::size_t begin = 0;
    while (begin < n && isBlank(at(begin)))
        ++begin;
    if (begin == n || at(begin) != u'[')
        return false;
    std::size_t close = n;
    while (close > begin + 1 && at(close - 1) != u']')
        --close;
    if (close <= begin + 1)
        return false;
    from = begin + 1;
    to = close - 1;
    while (from < to && isBlank(at(from)))
        ++from;
    while (to > from && isBlank(at(to - 1)))
        --to;
    return true;
}

constexpr std::uint64_t HashStart = 14695981039346656037ull;

std::uint64_t hashed(std::uint64_t h, char16_t c) {
    return (h ^ c) * 1099511628211ull;
}

std::uint64_t nameHash(const std::u16string& folded) {
    std::uint64_t h = HashStart;
    for (const char16_t c : folded)
        h = hashed(h, c);
    return h;
}

// The hash of a header's folded name; plain ASCII is folded in place.
std::uint64_t headerHash(const Document& doc, const Line& line, std::size_t from, std::size_t to) {
    if (doc.unitSize() == 1) {
        const auto* raw = reinterpret_cast<const unsigned char*>(doc.bytes.data()) + line.start;
        std::uint64_t h = HashStart;
        std::size_t i = from;
        for (; i < to && raw[i] < 0x80; ++i)
            h = hashed(h, raw[i] >= 'A' && raw[i] <= 'Z' ? raw[i] + 32 : raw[i]);
        if (i == to)
            return h;
    }
    return nameHash(fold(doc.decodeUnits(line, from, to)));
}

void insert(Document& doc, std::size_t index);

void rebuildTable(Document& doc) {
    std::size_t size = 16;
    while (size < doc.sections.size() * 3)
        size *= 2;
    doc.table.assign(size, 0);
    for (std::size_t i = 0; i < doc.sections.size(); ++i)
        insert(doc, i);
}

// Enters a section unless one of its name came before it.
void insert(Document& doc, std::size_t index) {
    if (doc.table.size() < (index + 1) * 2) {
        rebuildTable(doc); // enters `index` too
        return;
    }
    const std::size_t mask = doc.table.size() - 1;
    const Section& section = doc.sections[index];
    for (std::size_t slot = section.hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = doc.table[slot];
        if (held == 0) {
            doc.table[slot] = static_cast<std::uint32_t>(index + 1);
            return;
        }
        const Section& other = doc.sections[held - 1];
        if (held - 1 == index ||
            (other.hash == section.hash && doc.sectionName(other) == doc.sectionName(section)))
            return;
    }
}

// Finds the sections among the lines from `start` on.
void findSections(Document& doc, std::size_t start) {
    const std::size_t size = doc.bytes.size();
    const char* raw = doc.bytes.data();
    while (start < size) {
        std::size_t end = 0;
        std::size_t next = 0;
        if (doc.unitSize() == 1) {
            // The common case, at the speed of memchr: most lines are keys, and only the first
            // unit that is not blank tells that a line is none of our business.
            const void* lf = std::memchr(raw + start, '\n', size - start);
            const std::size_t lfAt = lf ? static_cast<const char*>(lf) - raw : size;
            const void* cr = std::memchr(raw + start, '\r', lfAt - start);
            end = cr ? static_cast<const char*>(cr) - raw : lfAt;
            next = end;
            if (next < size) {
                if (raw[next++] == '\r' && next < size && raw[next] == '\n')
                    ++next;
            }
            std::size_t first = start;
            while (first < end && (raw[first] == ' ' || raw[first] == '\t'))
                ++first;
            if (first == end || raw[first] != '[') {
                start = next;
                continue;
            }
        } else {
            bounds(doc, start, end, next);
        }
        std::size_t from = 0;
        std::size_t to = 0;
        if (headerName(doc, start, end, from, to)) {
            if (!doc.sections.empty())
                doc.sections.back().end = start;
            Line line;
            line.start = start;
            line.end = end;
            line.next = next;
            doc.sections.push_back(Section{start, next, size, headerHash(doc, line, from, to)});
            insert(doc, doc.sections.size() - 1);
        }
        start = next;
    }
}

} // namespace

Line Document::lineAt(std::size_t byte) const {
    std::size_t end = 0;
    std::size_t next = 0;
    bounds(*this, byte, end, next);
    return classified(*this, byte, end, next, nullptr);
}

std::u16string Document::sectionName(const Section& section) const {
    const Line line = lineAt(section.header);
    std::size_t from = 0;
    std::size_t to = 0;
    headerName(*this, line.start, line.end, from, to);
    return fold(decodeUnits(line, from, to));
}

const Section* Document::findSection(const std::u16string& folded) const {
    if (table.empty())
        return nullptr;
    const std::uint64_t hash = nameHash(folded);
    const std::size_t mask = table.size() - 1;
    for (std::size_t slot = hash & mask; table[slot] != 0; slot = (slot + 1) & mask) {
        const Section& section = sections[table[slot] - 1];
        if (section.hash == hash && sectionName(section) == folded)
            return &section;
    }
    return nullptr;
}

std::optional<Line> Document::findKey(const Section& section, const std::u16string& folded) const {
    for (std::size_t at = section.body; at < section.end;) {
        const Line line = lineAt(at);
        if (line.kind == Line::Key && keyIs(line, folded))
            return line;
        at = line.next;
    }
    return std::nullopt;
}

Line Document::lastContent(const Section& section) const {
    if (unitSize() == 1) {
        // From the section's end back, line by line: a section may hold a whole day's records,
        // and each of them appended would otherwise read it all.
        const char* raw = bytes.data();
        std::size_t end = section.end;
        while (end > section.body) {
            std::size_t start = end;
            // Over the line end that closes the previous line, then back to its start.
            if (raw[start - 1] == '\n') {
                --start;
                if (start > section.body && raw[start - 1] == '\r')
                    --start;
            } else if (raw[start - 1] == '\r') {
                --start;
            }
            while (start > section.body && raw[start - 1] != '\n' && raw[start - 1] != '\r')
                --start;
            const Line line = lineAt(start);
            if (line.kind != Line::Blank)
                return line;
            end = start;
        }
        return lineAt(section.header);
    }
    Line last = lineAt(section.header);
    for (std::size_t at = section.body; at < section.end;) {
        const Line line = lineAt(at);
        if (line.kind != Line::Blank)
            last = line;
        at = line.next;
    }
    return last;
}

std::vector<Line> Document::keys(const Section& section) const {
    std::vector<Line> out;
    for (std::size_t at = section.body; at < section.end;) {
        const Line line = lineAt(at);
        if (line.kind == Line::Key)
            out.push_back(line);
        at = line.next;
    }
    return out;
}

void Document::extend(const std::string& more) {
    const std::size_t start = bytes.size();
    bytes += more;
    if (!sections.empty())
        sections.back().end = bytes.size();
    findSections(*this, start);
}

Document parse(std::string bytes) {
    Document doc;
    doc.bytes = std::move(bytes);
    doc.encoding = detectEncoding(doc.bytes, doc.bomSize);
    // New lines take the file's first line end.
    std::size_t end = 0;
    std::size_t next = 0;
    for (std::size_t start = doc.bomSize; start < doc.bytes.size(); start = next) {
        bounds(doc, start, end, next);
        if (next != end) {
            const std::size_t unit = doc.unitSize();
            doc.lineEnd = next - end == 2 * unit     ? u"\r\n"
                          : doc.unitAt(end) == u'\r' ? u"\r"
                                                     : u"\n";
            break;
        }
    }
    findSections(doc, doc.bomSize);
    return doc;
}

} // namespace ordalix::platform::profile
