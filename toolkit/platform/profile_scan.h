// Reads one value from an INI file without holding the file: its pieces are scanned for the
// section, then the section's lines, and where sections were found is remembered while the
// file's stamp holds. Start-up reads a dozen settings from a file that may have grown large.
#pragma once

#include <string>

#include "profile_io.h"

namespace ordalix::platform::profile {

enum class ScanResult { Found, Absent, CannotTell };

// The stored value (quotes and escapes not yet undone) of a folded section and key. Gives up
// (CannotTell) where only the whole file can answer: UTF-16, a name that is not plain ASCII,
// a quoted key. The caller holds the store's lock.
ScanResult scanValue(const io::NativePath& path, const std::u16string& foldedSection,
                     const std::u16string& foldedKey, std::u16string& stored);

// Forgets what was found in a file, after a write.
void forgetScan(const io::NativePath& path);

} // namespace ordalix::platform::profile
