#include "profile_scan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <list>
#include <unordered_map>
#include <utility>
#include <vector>

#include "profile_text.h"

namespace ordalix::platform::profile {

namespace {

constexpr std::uint64_t Absent = ~std::uint64_t(0);

// What is known of one file while its stamp holds.
struct Memo {
    io::NativePath path;
    io::Stamp stamp;
    std::unordered_map<std::u16string, std::uint64_t> bodies; // where a section's lines start
    int validUtf8 = -1; // unknown, no, yes (the whole file, for a file without a mark)
    bool markedUtf8 = false;
    // The names of every header before `covered`, as bits of their hashes: a name whose bit
    // is clear is not there, and its look-up reads on from `covered` only.
    // A bit per 32 to 64 bytes of the file, 4,096 at least: small enough to stay in the
    // processor's cache while a large file is read.
    std::vector<std::uint64_t> seen;
    std::uint64_t covered = 0;
    bool complete = false; // `covered` is the whole file
    // Where each of those headers starts, with its bit's low 16 bits, packed (offset from the
    // one before as a variable-length number, then those two bytes): a name whose bit is set
    // is looked for where the low bits match, and a header of another name there is passed.
    std::string places;
    std::uint64_t lastPlace = 0;
};

// A header's place: its offset from the one before, then its tag.
void putPlace(std::string& out, std::uint64_t n, std::uint64_t bit) {
    char bytes[12];
    std::size_t count = 0;
    for (; n >= 0x80; n >>= 7)
        bytes[count++] = static_cast<char>((n & 0x7F) | 0x80);
    bytes[count++] = static_cast<char>(n);
    bytes[count++] = static_cast<char>(bit & 0xFF);
    bytes[count++] = static_cast<char>((bit >> 8) & 0xFF);
    out.append(bytes, count);
}

std::uint64_t takeNumber(const std::string& in, std::size_t& at) {
    std::uint64_t n = 0;
    for (int shift = 0; at < in.size(); shift += 7) {
        const auto byte = static_cast<unsigned char>(in[at++]);
        n |= std::uint64_t(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            break;
    }
    return n;
}

std::uint64_t nameBit(const Memo& memo, const char* from, const char* to) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char* c = from; c < to; ++c)
        h = (h ^ static_cast<unsigned char>(*c >= 'A' && *c <= 'Z' ? *c + 32 : *c)) *
            1099511628211ull;
    return h & (memo.seen.size() * 64 - 1); // a power of two: no division per header
}

std::uint64_t bitOf(const Memo& memo, const std::u16string& folded) {
    const std::string ascii(folded.begin(), folded.end());
    return nameBit(memo, ascii.data(), ascii.data() + ascii.size());
}

bool seen(const Memo& memo, const std::u16string& folded) {
    const std::uint64_t bit = bitOf(memo, folded);
    return (memo.seen[bit / 64] >> (bit % 64)) & 1;
}

std::list<Memo> g_memos; // most recently used first

bool isAsciiText(const std::u16string& text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

bool isBlankByte(char c) {
    return c == ' ' || c == '\t';
}

// Whether bytes [from, to) are, folded, the ASCII text `folded`.
bool sameName(const char* from, const char* to, const std::u16string& folded) {
    if (static_cast<std::size_t>(to - from) != folded.size())
        return false;
    for (std::size_t i = 0; from + i < to; ++i) {
        const auto c = static_cast<unsigned char>(from[i]);
        if (c >= 0x80 || (c >= 'A' && c <= 'Z' ? c + 32 : c) != folded[i])
            return false;
    }
    return true;
}

// A header line's name, trimmed; false when the line is no header.
bool headerName(const char* line, const char* end, const char*& from, const char*& to) {
    const char* begin = line;
    while (begin < end && isBlankByte(*begin))
        ++begin;
    if (begin == end || *begin != '[')
        return false;
    const char* close = end;
    while (close > begin + 1 && close[-1] != ']')
        --close;
    if (close <= begin + 1)
        return false;
    from = begin + 1;
    to = close - 1;
    while (from < to && isBlankByte(*from))
        ++from;
    while (to > from && isBlankByte(to[-1]))
        --to;
    return true;
}

// Whether the whole file is UTF-8, read in pieces: a sequence cut by a piece's end is carried
// over to the next.
int wholeFileIsUtf8(const io::NativePath& path, const io::Stamp& expected) {
    std::string carry;
    bool valid = true;
    io::Stamp stamp;
    const int error = io::readPieces(path, 0, stamp, [&](const char* data, std::size_t size) {
        std::string chunk = carry;
        chunk.append(data, size);
        std::size_t cut = chunk.size();
        for (std::size_t k = 1; k <= 3 && k <= chunk.size(); ++k) {
            const auto c = static_cast<unsigned char>(chunk[chunk.size() - k]);
            if ((c & 0xC0) != 0x80) {
                const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                if (need > k)
                    cut = chunk.size() - k;
                break;
            }
        }
        valid = isValidUtf8(chunk.data(), cut);
        carry = chunk.substr(cut);
        return valid;
    });
    if (error != 0 || !(stamp == expected))
        return -1;
    return valid && isValidUtf8(carry.data(), carry.size()) ? 1 : 0;
}

enum class Outcome { Found, Absent, CannotTell, Changed };

constexpr std::size_t Over = ~std::size_t(0);

bool isBreak(char c) {
    return c == '\n' || c == '\r';
}

// One pass from `offset`: past lines until the section's header (unless `inSection`), then
// its lines until the key or the next header.
// `headerAt`: the line at `offset` must be the section's header, or the pass ends (Absent).
Outcome pass(Memo& memo, const io::NativePath& path, std::uint64_t offset, bool inSection,
             bool headerAt, const std::u16string& section, const std::u16string& key,
             std::string& value) {
    Outcome outcome = Outcome::Absent;
    std::string carry;         // a line cut by a piece's end
    std::uint64_t at = offset; // where `carry` starts in the file
    bool skipLf = false;       // a CR ended the last piece: an LF after it ends no line
    bool first = offset == 0;
    // Headers read on from the start, or from where the last such pass ended, are noted.
    const bool contiguous = !inSection && !headerAt && (offset == 0 || offset == memo.covered);
    // One line's content [line, end) that starts at `start` and whose next line starts at
    // `next`; false once the scan is over.
    const auto onLine = [&](const char* line, const char* end, std::uint64_t lineStart,
                            std::uint64_t next) {
        const char* from = nullptr;
        const char* to = nullptr;
        const bool header = headerName(line, end, from, to);
        if (!inSection) {
            if (headerAt && !(header && sameName(from, to, section)))
                return false; // another name with the same bit
            headerAt = false;
            if (header && contiguous) {
                const std::uint64_t bit = nameBit(memo, from, to);
                memo.seen[bit / 64] |= std::uint64_t(1) << (bit % 64);
                putPlace(memo.places, lineStart - memo.lastPlace, bit);
                memo.lastPlace = lineStart;
            }
            if (header && sameName(from, to, section)) {
                inSection = true;
                memo.bodies.emplace(section, next);
                if (contiguous)
                    memo.covered = next;
            }
            return true;
        }
        if (header)
            return false; // the section ended without the key
        const char* begin = line;
        while (begin < end && isBlankByte(*begin))
            ++begin;
        const char* last = end;
        while (last > begin && isBlankByte(last[-1]))
            --last;
        if (begin == last || *begin == ';')
            return true;
        if (*begin == '"') {
            outcome = Outcome::CannotTell; // a quoted key: the full reading knows its rules
            return false;
        }
        const char* equals = std::find(begin, last, '=');
        if (equals == last)
            return true;
        const char* nameEnd = equals;
        while (nameEnd > begin && isBlankByte(nameEnd[-1]))
            --nameEnd;
        if (!sameName(begin, nameEnd, key))
            return true;
        const char* start = equals + 1;
        while (start < last && isBlankByte(*start))
            ++start;
        value.assign(start, last);
        outcome = Outcome::Found;
        return false;
    };
    // The whole lines of [base, base + filled), which starts at `at` in the file: how far
    // they go (the rest waits for the next piece), or Over once the scan is over.
    const auto lines = [&](const char* base, std::size_t filled, std::uint64_t at) {
        std::size_t pos = 0;
        for (;;) {
            if (!inSection) {
                // Only a line whose first character that is not blank opens a bracket can be
                // the header: straight to the next bracket, then back to its line's start.
                const void* bracket = std::memchr(base + pos, '[', filled - pos);
                if (!bracket) {
                    std::size_t last = filled; // the start of the last line, maybe cut
                    while (last > pos && base[last - 1] != '\n' && base[last - 1] != '\r')
                        --last;
                    if (last > pos && last == filled && base[last - 1] == '\r')
                        skipLf = true;
                    return last;
                }
                std::size_t start =
                    static_cast<std::size_t>(static_cast<const char*>(bracket) - base);
                while (start > pos && base[start - 1] != '\n' && base[start - 1] != '\r')
                    --start;
                pos = start;
            }
            const char* end = std::find_if(base + pos, base + filled, isBreak);
            if (end == base + filled)
                return pos; // the rest waits for the next piece
            std::size_t next = static_cast<std::size_t>(end - base) + 1;
            if (*end == '\r') {
                if (next == filled)
                    skipLf = true; // an LF may open the next piece
                else if (base[next] == '\n')
                    ++next;
            }
            if (!onLine(base + pos, end, at + pos, at + next))
                return Over;
            pos = next;
        }
    };
    io::Stamp stamp;
    bool over = false;
    const int error = io::readPieces(path, offset, stamp, [&](const char* data, std::size_t size) {
        if (first) {
            first = false;
            const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
            if (size >= 2 &&
                ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
                outcome = Outcome::CannotTell; // UTF-16
                return false;
            }
            if (size >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
                memo.markedUtf8 = true;
                data += 3;
                size -= 3;
                at += 3;
            }
        }
        std::size_t from = 0; // where the piece's own lines start
        if (skipLf && size > 0 && data[0] == '\n')
            from = 1;
        skipLf = false;
        if (!carry.empty()) {
            // The line cut at the last piece's end, made whole from this one.
            const char* cut = std::find_if(data, data + size, isBreak);
            from = cut == data + size ? size : static_cast<std::size_t>(cut - data) + 1;
            if (from < size && *cut == '\r' && data[from] == '\n')
                ++from;
            carry.append(data, from);
            const std::size_t pos = lines(carry.data(), carry.size(), at);
            if (pos == Over) {
                over = true;
                return false;
            }
            carry.erase(0, pos);
            at += pos; // now where data[from] is in the file
            if (!carry.empty())
                return true; // still no line end: the whole piece was that line
        } else {
            at += from;
        }
        const std::size_t pos = lines(data + from, size - from, at);
        if (pos == Over) {
            over = true;
            return false;
        }
        carry.assign(data + from + pos, size - from - pos);
        at += pos;
        return true;
    });
    if (error != 0)
        return Outcome::CannotTell;
    if (!(stamp == memo.stamp))
        return Outcome::Changed;
    if (!over && !carry.empty())
        onLine(carry.data(), carry.data() + carry.size(), at, at + carry.size());
    if (!inSection && outcome == Outcome::Absent && contiguous) {
        memo.bodies.emplace(section, Absent);
        if (contiguous) {
            memo.covered = stamp.size;
            memo.complete = true;
            memo.places.shrink_to_fit(); // no more places to come: give the room back
        }
    }
    return outcome;
}

} // namespace

ScanResult scanValue(const io::NativePath& path, const std::u16string& foldedSection,
                     const std::u16string& foldedKey, std::u16string& stored) {
    if (!isAsciiText(foldedSection) || !isAsciiText(foldedKey))
        return ScanResult::CannotTell;
    io::Stamp stamp;
    int error = 0;
    if (!io::stampOf(path, stamp, error) || !stamp.tellsChanges())
        return ScanResult::CannotTell;
    auto it = std::find_if(g_memos.begin(), g_memos.end(),
                           [&](const Memo& memo) { return memo.path == path; });
    if (it != g_memos.end() && !(it->stamp == stamp))
        g_memos.erase(std::exchange(it, g_memos.end()));
    if (it == g_memos.end()) {
        Memo memo;
        memo.path = path;
        memo.stamp = stamp;
        memo.seen.resize(std::bit_floor(std::max<std::uint64_t>(64, stamp.size / 32 / 64 + 1)));
        // Room for a header every 50 bytes or so (3 bytes each at least), up to 4 MiB: growing
        // it by copies from small would cost a large file's first read as much as the reading.
        memo.places.reserve(
            static_cast<std::size_t>(std::min<std::uint64_t>(stamp.size / 16, 4u << 20)));
        g_memos.push_front(std::move(memo));
        if (g_memos.size() > 8)
            g_memos.pop_back();
    } else {
        g_memos.splice(g_memos.begin(), g_memos, it);
    }
    Memo& memo = g_memos.front();

    std::string value;
    Outcome outcome;
    const auto known = memo.bodies.find(foldedSection);
    if (known != memo.bodies.end()) {
        if (known->second == Absent)
            return ScanResult::Absent;
        outcome = pass(memo, path, known->second, true, false, foldedSection, foldedKey, value);
    } else if (memo.covered > 0) {
        // Among the headers read so far, only those with its bit can be it; past them, any.
        bool settled = false;
        outcome = Outcome::Absent;
        if (seen(memo, foldedSection)) {
            const std::uint64_t tag = bitOf(memo, foldedSection) & 0xFFFF;
            std::uint64_t place = 0;
            for (std::size_t at = 0; at + 2 < memo.places.size() && !settled;) {
                place += takeNumber(memo.places, at);
                const auto low = static_cast<unsigned char>(memo.places[at]);
                const auto high = static_cast<unsigned char>(memo.places[at + 1]);
                at += 2;
                if ((std::uint64_t(high) << 8 | low) != tag)
                    continue;
                outcome = pass(memo, path, place, false, true, foldedSection, foldedKey, value);
                settled = memo.bodies.count(foldedSection) || outcome == Outcome::Changed ||
                          outcome == Outcome::CannotTell;
            }
        }
        if (!settled) {
            if (memo.complete)
                return ScanResult::Absent;
            outcome = pass(memo, path, memo.covered, false, false, foldedSection, foldedKey, value);
        }
    } else {
        outcome = pass(memo, path, 0, false, false, foldedSection, foldedKey, value);
    }
    if (outcome == Outcome::Changed) {
        forgetScan(path);
        return ScanResult::CannotTell;
    }
    if (outcome != Outcome::Found)
        return outcome == Outcome::Absent ? ScanResult::Absent : ScanResult::CannotTell;
    const bool ascii = std::all_of(value.begin(), value.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && !memo.markedUtf8 && memo.validUtf8 < 0)
        memo.validUtf8 = wholeFileIsUtf8(path, memo.stamp);
    if (!ascii && !memo.markedUtf8 && memo.validUtf8 < 0)
        return ScanResult::CannotTell;
    stored = ascii || memo.markedUtf8 || memo.validUtf8 == 1
                 ? utf8ToUtf16(value.data(), value.size())
                 : fromCodePage(value.data(), value.size());
    return ScanResult::Found;
}

void forgetScan(const io::NativePath& path) {
    g_memos.remove_if([&](const Memo& memo) { return memo.path == path; });
}

} // namespace ordalix::platform::profile
