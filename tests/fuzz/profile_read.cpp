// Reads of the INI store over any file content. Input: SECTION NUL KEY NUL FILE-BYTES.
// A read never changes the file, never returns more than the cap, never reads past a line, and
// gives what the whole file parsed at once gives (a read scans a file it has not indexed).
#include "FuzzInput.h"

#include <optional>

#include "profile_document.h"
#include "profile_store.h"
#include "profile_text.h"

using ordalix::platform::ProfileStringMaxChars;
using ordalix::platform::readProfileString;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = fuzz::fields(data, size, 2);
    const fuzz::ScratchFile file(parts[2]);
    const std::u16string missing = u"\x7F";
    const std::u16string value =
        readProfileString(fuzz::text(parts[0]), fuzz::text(parts[1]), missing, file.widePath());
    if (value.size() > ProfileStringMaxChars)
        fuzz::fail("a value longer than the cap");
    // A line break in a value only comes from its picture in the file: no line is read past.
    const auto holds = [&](const char* utf8, const char* le, const char* be) {
        return parts[2].find(utf8) != std::string::npos ||
               parts[2].find(std::string(le, 2)) != std::string::npos ||
               parts[2].find(std::string(be, 2)) != std::string::npos;
    };
    if (value.find(u'\n') != std::u16string::npos && !holds("\xE2\x90\x8A", "\x0A\x24", "\x24\x0A"))
        fuzz::fail("a value holding a line feed the file does not hold as a picture");
    if (value.find(u'\r') != std::u16string::npos && !holds("\xE2\x90\x8D", "\x0D\x24", "\x24\x0D"))
        fuzz::fail("a value holding a carriage return the file does not hold as a picture");
    if (file.bytes() != parts[2])
        fuzz::fail("a read changed the file");
    namespace profile = ordalix::platform::profile;
    const profile::Document doc = profile::parse(parts[2]);
    const profile::Section* section =
        doc.findSection(profile::fold(profile::cleanName(fuzz::text(parts[0]))));
    const std::optional<profile::Line> line =
        section ? doc.findKey(*section, profile::fold(profile::cleanName(fuzz::text(parts[1]))))
                : std::nullopt;
    const std::u16string whole =
        line ? profile::capped(
                   profile::readValue(doc.decodeUnits(*line, line->valueUnit, line->valueEndUnit)))
             : missing;
    if (value != whole)
        fuzz::fail("a read differs from the whole file's reading");
    return 0;
}
