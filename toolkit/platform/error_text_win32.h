// The system's refusals in French, whatever the language of the user's Windows.
#pragma once

#include <string>

namespace ordalix::platform::win32 {

// The French text of a Win32 error code, or empty for one this table does not know.
std::wstring frenchErrorText(unsigned long error);

// The French text of a C run-time errno value, or empty for one this table does not know.
std::wstring frenchErrnoText(int error);

} // namespace ordalix::platform::win32
