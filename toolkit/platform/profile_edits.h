// Plans a batch of writes into a parsed INI file: what bytes change, and whether the change is
// an append, so that any number of writes costs one read and one write of the file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "profile_document.h"

namespace ordalix::platform::profile {

// One write: names already cleaned (cleanName), the value as given.
struct Entry {
    std::u16string section;
    std::u16string key;
    std::u16string value;
};

struct Edits {
    bool unchanged = false;  // every value was already there as written
    bool rewrite = false;    // the file changes encoding: it must be replaced whole
    bool appendOnly = false; // every change is at the end: `tail` is appended
    std::string tail;        // the bytes appended, when appendOnly
    std::string bytes;       // the whole new file otherwise
    // The keys added to the file's last section (or to sections the batch adds, the last of
    // which then ends the file), folded, for whoever keeps an index of it.
    std::vector<std::u16string> newSections;
    std::vector<std::u16string> keysAddedToLast;
};

// `lastKeys`, when given, holds the folded keys of the document's last section: a key it lacks
// needs no look through that section.
Edits planEdits(const Document& doc, const std::vector<Entry>& entries,
                const std::unordered_set<std::u16string>* lastKeys);

// A process killed during a write keeps what the system copied so far, and the system stops
// copying only where a page of the file ends. `tail`, to be appended at offset `at`, with each
// line that would cross such a border moved past it and the gap filled with a blank line that
// readers skip: a kill then never leaves half a line. Text with NULs (UTF-16) and lines longer
// than a page are kept as they are.
std::string withLinesWithinPages(std::uint64_t at, const std::string& tail);

} // namespace ordalix::platform::profile
