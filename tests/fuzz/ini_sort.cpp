// The section sort over any file content: it only reorders lines (adding one empty line before
// the lines that precede the first section), keeps the byte-order mark and leaves no temporary.
#include "FuzzInput.h"

#include <algorithm>

#include "outil32_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const fuzz::ScratchFile file(bytes);
    SortIniSections(QString::fromStdString(file.path()));

    const std::string sorted = file.bytes();
    fuzz::Lines before = fuzz::lines(bytes);
    fuzz::Lines after = fuzz::lines(sorted);
    if (before.lines.empty()) {
        if (sorted != bytes)
            fuzz::fail("a file without lines was changed");
        return 0;
    }
    if (after.mark != before.mark)
        fuzz::fail("the byte-order mark changed");
    if (after.tail != before.tail)
        fuzz::fail("the odd last byte of a UTF-16 file was lost");
    if (before.lines[0].empty() || before.lines[0][0] != u'[')
        before.lines.emplace_back();
    std::sort(before.lines.begin(), before.lines.end());
    std::sort(after.lines.begin(), after.lines.end());
    if (after.lines != before.lines)
        fuzz::fail("the sort lost, added or changed a line");
    if (fuzz::scratchEntries().size() != 1)
        fuzz::fail("a temporary file was left beside the file");
    return 0;
}
