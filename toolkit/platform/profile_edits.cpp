#include "profile_edits.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "profile_text.h"

namespace ordalix::platform::profile {

namespace {

// A key as the batch leaves it: its written name and value.
struct Pending {
    std::u16string folded;
    std::u16string key;
    std::u16string value;
};

// Keys added after one position of the file, in order: at the end of an existing section,
// or in a new section at the end of the file. A batch may add a whole day's records to one.
struct Added {
    std::vector<Pending> keys;
    std::unordered_map<std::u16string, std::size_t> index; // folded key to its place in keys

    void put(const std::u16string& folded, const Entry& entry) {
        const auto [at, fresh] = index.try_emplace(folded, keys.size());
        if (fresh)
            keys.push_back({folded, entry.key, entry.value});
        else
            keys[at->second].value = entry.value;
    }
};

struct NewSection {
    std::u16string folded;
    std::u16string name;
    Added added;
};

class Planner {
public:
    Planner(const Document& doc, const std::unordered_set<std::u16string>* lastKeys)
        : m_doc(doc), m_lastKeys(lastKeys) {}

    void add(const Entry& entry) {
        const std::u16string section = fold(entry.section);
        const std::u16string key = fold(entry.key);
        const Section* s = m_doc.findSection(section);
        if (!s) {
            const auto [at, fresh] = m_newIndex.try_emplace(section, m_new.size());
            if (fresh)
                m_new.push_back(NewSection{section, entry.section, {}});
            m_new[at->second].added.put(key, entry);
            return;
        }
        const std::size_t index = static_cast<std::size_t>(s - m_doc.sections.data());
        const bool lastLacksIt =
            m_lastKeys && index + 1 == m_doc.sections.size() && !m_lastKeys->count(key);
        if (!lastLacksIt) {
            if (const Line* line = keyLine(index, key)) {
                m_replaced[line->start] = {*line, entry.value};
                return;
            }
        }
        m_added[index].put(key, entry);
    }

    // False when a character has no place in the file's encoding.
    bool render(Edits& edits) const {
        const std::string& old = m_doc.bytes;
        const std::size_t unit = m_doc.unitSize();
        std::string lineEnd;
        m_doc.encode(m_doc.lineEnd, lineEnd);
        // Where the end of the file is for what is added there: before the half unit a UTF-16
        // file may end in, which would shift every character added after it.
        const std::size_t endAt = unit == 2 && old.size() % 2 != 0 ? old.size() - 1 : old.size();

        struct Change {
            std::size_t at;
            std::size_t upTo;
            std::string bytes;
        };
        std::vector<Change> changes;
        std::string piece;
        for (const auto& [start, replaced] : m_replaced) {
            const Line& line = replaced.first;
            if (!m_doc.encode(storedValue(replaced.second), piece))
                return false;
            const std::size_t at = line.start + line.valueUnit * unit;
            const std::size_t upTo = line.start + line.valueEndUnit * unit;
            if (old.compare(at, upTo - at, piece) != 0)
                changes.push_back({at, upTo, piece});
        }
        bool endsWithLineEnd = m_doc.endsWithLineEnd();
        for (const auto& [index, added] : m_added) {
            const Line last = m_doc.lastContent(m_doc.sections[index]);
            std::string text = last.end == last.next ? lineEnd : std::string();
            for (const Pending& key : added.keys) {
                if (!keyLine(key, piece))
                    return false;
                text += piece;
            }
            const std::size_t at = last.next == old.size() ? endAt : last.next;
            if (at == endAt)
                endsWithLineEnd = true;
            changes.push_back({at, at, std::move(text)});
        }
        if (!m_new.empty()) {
            std::string text = endsWithLineEnd ? std::string() : lineEnd;
            for (const NewSection& section : m_new) {
                if (!m_doc.encode(u"[" + section.name + u"]" + m_doc.lineEnd, piece))
                    return false;
                text += piece;
                for (const Pending& key : section.added.keys) {
                    if (!keyLine(key, piece))
                        return false;
                    text += piece;
                }
            }
            changes.push_back({endAt, endAt, std::move(text)});
        }
        // Changes never overlap: a value lies inside its line, an addition after a line.
        std::stable_sort(changes.begin(), changes.end(),
                         [](const Change& a, const Change& b) { return a.at < b.at; });

        edits.unchanged = changes.empty();
        edits.appendOnly = !changes.empty() && endAt == old.size();
        for (const Change& change : changes)
            edits.appendOnly =
                edits.appendOnly && change.at == old.size() && change.upTo == change.at;
        if (edits.appendOnly) {
            for (const Change& change : changes)
                edits.tail += change.bytes;
        } else if (!changes.empty()) {
            std::size_t size = old.size();
            for (const Change& change : changes)
                size += change.bytes.size() - (change.upTo - change.at);
            edits.bytes.reserve(size);
            std::size_t from = 0;
            for (const Change& change : changes) {
                edits.bytes.append(old, from, change.at - from);
                edits.bytes += change.bytes;
                from = change.upTo;
            }
            edits.bytes.append(old, from, std::string::npos);
        }

        if (!m_new.empty()) {
            for (const NewSection& section : m_new)
                edits.newSections.push_back(section.folded);
            for (const Pending& key : m_new.back().added.keys)
                edits.keysAddedToLast.push_back(key.folded);
        } else if (!m_doc.sections.empty()) {
            const auto last = m_added.find(m_doc.sections.size() - 1);
            if (last != m_added.end()) {
                for (const Pending& key : last->second.keys)
                    edits.keysAddedToLast.push_back(key.folded);
            }
        }
        return true;
    }

private:
    // The first line of a key in a section. A batch may hold thousands of keys of one section
    // (a day's records): the section is read once into a map, not once per key.
    const Line* keyLine(std::size_t section, const std::u16string& folded) {
        auto found = m_keys.find(section);
        if (found == m_keys.end()) {
            std::unordered_map<std::u16string, Line> keys;
            for (const Line& line : m_doc.keys(m_doc.sections[section]))
                keys.try_emplace(m_doc.keyName(line), line);
            found = m_keys.emplace(section, std::move(keys)).first;
        }
        const auto line = found->second.find(folded);
        return line == found->second.end() ? nullptr : &line->second;
    }

    bool keyLine(const Pending& key, std::string& out) const {
        return m_doc.encode(storedKey(key.key) + u"=" + storedValue(key.value) + m_doc.lineEnd,
                            out);
    }

    const Document& m_doc;
    const std::unordered_set<std::u16string>* m_lastKeys;
    std::map<std::size_t, std::pair<Line, std::u16string>> m_replaced; // by line start
    std::map<std::size_t, Added> m_added;                              // by section index
    std::vector<NewSection> m_new;
    std::unordered_map<std::u16string, std::size_t> m_newIndex; // folded name to its place
    std::unordered_map<std::size_t, std::unordered_map<std::u16string, Line>> m_keys;
};

bool isAscii(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The same text as UTF-8 with a byte-order mark, for a file whose code page cannot hold a
// character it is given: written whole and atomically, it never ends up in two encodings.
Document asUtf8WithMark(const Document& doc) {
    std::string text;
    utf16ToUtf8(doc.text(), text, false);
    return parse("\xEF\xBB\xBF" + text);
}

Edits plan(const Document& doc, const std::vector<Entry>& entries,
           const std::unordered_set<std::u16string>* lastKeys, bool& fits) {
    Planner planner(doc, lastKeys);
    for (const Entry& entry : entries)
        planner.add(entry);
    Edits edits;
    fits = planner.render(edits);
    return edits;
}

} // namespace

Edits planEdits(const Document& doc, const std::vector<Entry>& entries,
                const std::unordered_set<std::u16string>* lastKeys) {
    bool fits = false;
    Edits edits = plan(doc, entries, lastKeys, fits);
    if (fits && doc.encoding == Encoding::CodePage && !edits.unchanged && !edits.appendOnly) {
        // Without the bytes that made it code page, the file would read back as UTF-8 and
        // every other accented value would change: it keeps its text under a UTF-8 mark. (An
        // append, after a line end, cannot mend what made the file code page.)
        fits = isAscii(edits.bytes) || !isValidUtf8(edits.bytes.data(), edits.bytes.size());
    }
    if (fits)
        return edits;
    edits = plan(asUtf8WithMark(doc), entries, nullptr, fits);
    edits.rewrite = true;
    if (edits.appendOnly) {
        edits.appendOnly = false;
        edits.bytes = asUtf8WithMark(doc).bytes + edits.tail;
        edits.tail.clear();
    } else if (edits.unchanged) {
        edits.unchanged = false;
        edits.bytes = asUtf8WithMark(doc).bytes;
    }
    return edits;
}

std::string withLinesWithinPages(std::uint64_t at, const std::string& tail) {
    constexpr std::uint64_t Page = 4096;
    if (tail.find('\0') != std::string::npos)
        return tail;
    std::string out;
    out.reserve(tail.size() + tail.size() / 32);
    std::size_t start = 0;
    while (start < tail.size()) {
        std::size_t end = tail.find('\n', start);
        end = end == std::string::npos ? tail.size() : end + 1;
        const std::uint64_t length = end - start;
        const std::uint64_t room = Page - at % Page;
        // A bare line end (the one that ends a last line that had none) is left where it is:
        // a gap before it would lengthen that line.
        const bool bare = tail[start] == '\r' || tail[start] == '\n';
        if (length > room && length <= Page && !bare) {
            const bool crlf = room >= 2 && end >= start + 2 && tail[end - 2] == '\r';
            out.append(static_cast<std::size_t>(room - (crlf ? 2 : 1)), ' ');
            out += crlf ? "\r\n" : "\n";
            at += room;
        }
        out.append(tail, start, static_cast<std::size_t>(length));
        at += length;
        start = end;
    }
    return out;
}

} // namespace ordalix::platform::profile
