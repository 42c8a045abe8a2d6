// Reads of the INI store over any file content. Input: SECTION NUL KEY NUL FILE-BYTES.
#include "FuzzInput.h"

#include "profile_store.h"

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
    if (value.find_first_of(u"\r\n") != std::u16string::npos)
        fuzz::fail("a value holding a line break");
    if (file.bytes() != parts[2])
        fuzz::fail("a read changed the file");
    return 0;
}
