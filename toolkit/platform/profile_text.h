// Text of the INI profile store: encodings, name folding and the stored forms of names and
// values. Plain C++, shared by every backend.
#pragma once

#include <cstddef>
#include <string>

namespace ordalix::platform::profile {

inline constexpr char16_t ReplacementChar = 0xFFFD;

bool isHighSurrogate(char32_t c);
bool isLowSurrogate(char32_t c);

// A lone surrogate fails a strict conversion (a path must name one file) and becomes U+FFFD in
// a lenient one (text stored in a file).
bool utf16ToUtf8(const std::u16string& text, std::string& out, bool strict);
// Invalid sequences read as U+FFFD, one per offending byte.
std::u16string utf8ToUtf16(const char* data, std::size_t size);
// True when every byte sequence is well-formed UTF-8.
bool isValidUtf8(const char* data, std::size_t size);

// Windows-1252, the ANSI code page Windows writes French text in. Every byte has a character
// (the five the code page leaves out map to the control of the same number, as Windows does).
char16_t fromWindows1252(unsigned char byte);
// False when a character has no place in the code page.
bool toWindows1252(const std::u16string& text, std::string& out);

// The ANSI code page of files without a byte-order mark that are not UTF-8: the system's own
// (CP_ACP) on Windows, Windows-1252 elsewhere. Decoding never fails; encoding is false when a
// character has no place in the code page.
std::u16string fromCodePage(const char* data, std::size_t size);
bool toCodePage(const std::u16string& text, std::string& out);

// Case folding for name matching: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic capitals.
std::u16string fold(std::u16string text);

bool isBlank(char16_t c);
bool isQuote(char16_t c);
std::u16string trimmed(const std::u16string& text);

// A section or key name as it is stored and matched: line breaks and NUL as their control
// pictures (no name can add a line), surrounding blanks trimmed.
std::u16string cleanName(const std::u16string& name);
// A key as written: quoted when it could read as a header, a comment or hold "=".
std::u16string storedKey(const std::u16string& key);
// A value as written: line breaks and NUL escaped (see profile_text.cpp), quoted when it has
// surrounding blanks or is itself enclosed in quotes.
std::u16string storedValue(const std::u16string& value);
// The value a stored one stands for: quotes taken off, escapes undone.
std::u16string readValue(std::u16string stored);
// At most ProfileStringMaxChars characters, never half a pair.
std::u16string capped(std::u16string text);

} // namespace ordalix::platform::profile
