// The INI profile store: one-shot reads and writes of single values in an INI file, shaped like
// the Windows profile services (WritePrivateProfileStringW / GetPrivateProfileStringW), so that a
// Win32 backend can hand the calls to them and the same tests can run against both.
//
// File format and habits:
// - a section header is a line whose first non-blank character is "[", with the name up to the
//   last "]" of the line; a key line holds a key, "=" and a value; a line starting with ";" is a
//   comment; every line the store does not change is kept byte for byte;
// - names and values are trimmed of surrounding blanks (spaces, tabs); section and key names
//   match without regard to case; an empty key name is a valid key; the first of duplicate
//   sections and keys is the one read and updated;
// - a value enclosed in matching quotes (" or ') is read without them;
// - lines end with CR LF, LF or a lone CR; new lines take the file's first line end (CR LF in a
//   new file); a file with a byte-order mark (UTF-8, UTF-16 LE or BE) keeps it and its encoding;
//   a file without one is UTF-8 when its bytes are valid UTF-8 and in the ANSI code page
//   otherwise (as Windows writes it: the system's code page on Windows, Windows-1252
//   elsewhere), and is written back in that code page while every character fits; a
//   character that does not fit turns the whole file into UTF-8 with a mark, in one atomic
//   rewrite, so that no file ever holds two encodings; new files are UTF-8 without a mark.
//
// Writing never lets a name or a value break the file's structure:
// - CR, LF and NUL in a section or key name are stored as the control pictures U+240D, U+240A
//   and U+2400 (names are mapped the same way when looked up, so a read finds what a write
//   stored);
// - in a value they are stored as those pictures too, with U+2400 also escaping a picture meant
//   as itself, so that every value reads back exactly as written, line breaks included;
// - a key that starts with "[", ";" or a double quote, or holds "=", is written in double quotes
//   with inner double quotes doubled, so that it can be read neither as a header nor as a comment;
// - a value with surrounding blanks, or itself enclosed in matching quotes, is written inside
//   double quotes, so that it reads back exactly as written.
//
// A write is on disk when it returns, and is atomic: a new key at the end of the file's last
// section, or a new section, is appended (and cut back to the old size if the append fails);
// any other change writes the new content into a hidden temporary file in the same folder and
// renames it over the file. Either way a failure leaves the old content whole. Writers in other
// processes take turns (ProfileLock), and a write always applies to the file as it is then.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace ordalix::platform {

// The most characters a read returns (a 2048-character buffer with its terminator).
inline constexpr std::size_t ProfileStringMaxChars = 2047;

// WritePrivateProfileStringW with a section, a key and a value: false when the file cannot be
// written (its folder missing, a read-only or immutable file, a full disk, ...).
bool writeProfileString(const std::u16string& section, const std::u16string& key,
                        const std::u16string& value, const Path& file);

// One value of writeProfileStrings.
struct ProfileEntry {
    std::u16string section;
    std::u16string key;
    std::u16string value;
};

// writeProfileString for each entry in turn, taking turns with other processes once for all of
// them: the entries that are new keys at the end of the file or new sections are appended
// together, in one write. False at the first entry that cannot be written: the file then holds
// some or all of the entries before it, and none after.
bool writeProfileStrings(const std::vector<ProfileEntry>& entries, const Path& file);

// GetPrivateProfileStringW: the value, or the default for a missing file, section or key; at
// most ProfileStringMaxChars characters either way.
std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultValue, const Path& file);

// WritePrivateProfileStringW with no section, key or value: flushes the file. Every write is
// already on disk when it returns, so this only reports success.
bool flushProfile(const Path& file);

// While it lives, writers of the files of one folder in other processes wait for this one: a
// caller's own read-modify-write (the tidy passes) takes turns with every write of the store.
// Taken again by the same thread, it does not wait for itself.
class ProfileLock {
public:
    explicit ProfileLock(const Path& file);
    ~ProfileLock();
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    bool m_held = false;
};

// Replaces a whole file atomically and durably (hidden temporary file in the same folder,
// fsync, rename, fsync of the folder), keeping an existing file's permission bits. Returns 0,
// or the errno of the step that failed, the file then being left as it was.
int replaceFileContent(const Path& file, const std::string& bytes);

} // namespace ordalix::platform
