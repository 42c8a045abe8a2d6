#include "profile_document.h"

#include <optional>

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
    return lines.empty() || lines.back().end != lines.back().next;
}

const Section* Document::findSection(const std::u16string& folded) const {
    for (const Section& s : sections) {
        if (s.name == folded)
            return &s;
    }
    return nullptr;
}

const Line* Document::findKey(const Section& section, const std::u16string& folded) const {
    for (std::size_t i = section.header + 1; i < section.end; ++i) {
        if (lines[i].kind == Line::Key && lines[i].name == folded)
            return &lines[i];
    }
    return nullptr;
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

// Sorts one line's content into a kind and, for a header or key, its folded name.
void classify(const Document& doc, Line& line) {
    const std::u16string u = doc.units(line);
    std::size_t begin = 0;
    std::size_t end = u.size();
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
        const std::size_t close = u.find_last_of(u']');
        if (close != std::u16string::npos && close > begin) {
            line.kind = Line::Header;
            line.name = fold(trimmed(doc.decode(u.substr(begin + 1, close - begin - 1))));
            return;
        }
    }
    std::optional<std::u16string> key;
    std::size_t equals = std::u16string::npos;
    if (u[begin] == u'"') {
        // A quoted key: doubled quotes stand for one, and "=" follows the closing quote.
        std::u16string name;
        std::size_t i = begin + 1;
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
        std::size_t j = i + 1;
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
    std::size_t value = equals + 1;
    while (value < end && isBlank(u[value]))
        ++value;
    line.valueUnit = value;
    line.valueEndUnit = end;
}

} // namespace

Document parse(std::string bytes) {
    Document doc;
    doc.bytes = std::move(bytes);
    doc.encoding = detectEncoding(doc.bytes, doc.bomSize);
    const std::size_t unit = doc.unitSize();
    const std::size_t size = doc.bytes.size();
    bool lineEndSeen = false;
    std::size_t start = doc.bomSize;
    while (start < size) {
        std::size_t end = start;
        while (end + unit <= size) {
            const char16_t c = doc.unitAt(end);
            if (c == u'\r' || c == u'\n')
                break;
            end += unit;
        }
        if (end + unit > size)
            end = size; // the last line, an odd trailing byte included
        std::size_t next = end;
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
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
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

} // namespace ordalix::platform::profile
