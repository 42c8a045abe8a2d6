// The tidy pass over any file content, with and without an empty line after headers: it only
// adds or removes empty lines, never starts with one, keeps the byte-order mark and leaves no
// temporary.
#include "FuzzInput.h"

#include "outil32_ini.h"

namespace {

std::vector<std::u16string> nonEmpty(const std::vector<std::u16string>& lines) {
    std::vector<std::u16string> out;
    for (const std::u16string& line : lines) {
        if (!line.empty())
            out.push_back(line);
    }
    return out;
}

bool looksLikeMark(const std::u16string& line) {
    return line.rfind(u"\xEF\xBB\xBF", 0) == 0 || line.rfind(u"\xFF\xFE", 0) == 0 ||
           line.rfind(u"\xFE\xFF", 0) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const fuzz::Lines before = fuzz::lines(bytes);
    for (const bool blankAfter : {false, true}) {
        const fuzz::ScratchFile file(bytes);
        TidyIniFile(QString::fromStdString(file.path()), blankAfter);
        const fuzz::Lines after = fuzz::lines(file.bytes());
        if (after.mark != before.mark)
            fuzz::fail("the byte-order mark changed");
        if (after.tail != before.tail)
            fuzz::fail("the odd last byte of a UTF-16 file was lost");
        if (nonEmpty(after.lines) != nonEmpty(before.lines))
            fuzz::fail("the tidy lost, added or changed a line that is not empty");
        // One empty line stays above a byte line that would read as a byte-order mark on top.
        const bool markBelow =
            after.lines.size() > 1 && before.mark.empty() && looksLikeMark(after.lines[1]);
        if (!after.lines.empty() && after.lines.front().empty() && !markBelow)
            fuzz::fail("the tidied file starts with an empty line");
        if (fuzz::scratchEntries().size() != 1)
            fuzz::fail("a temporary file was left beside the file");
    }
    return 0;
}
