// INI files: typed one-shot access and the tidy-up passes.
//
// Every helper names its file by path, the last argument; an empty path means DefaultIniFile().
// Nothing is kept open or cached between calls. Failures raise EIniError, which the helpers
// never catch: it travels to the caller.
#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>

// A growable array of strings.
using TarrayOfString = QStringList;

// The failure of an INI helper, with its user-visible text.
class EIniError : public std::runtime_error {
public:
    explicit EIniError(const QString& message);
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// The executable's full path with its extension replaced by ".INI" (appended when it has none).
QString DefaultIniFile();
// True for a copy of the program that keeps its settings beside itself: its folder can be
// written and is not where the program is installed.
bool IsPortableCopy();

// Stores a value ("Impossible d'écrire dans %s" when the file cannot be written). The value is
// on disk when the call returns.
void IniWriteString(const QString& section, const QString& key, const QString& value,
                    const QString& file);
// One value of IniWriteStrings.
struct IniEntry {
    QString section;
    QString key;
    QString value;
};
// IniWriteString for each entry in turn, taking turns with other writers once for all of them;
// the new keys at the end of the file and the new sections go in one write. The entries before
// the first that fails may or may not be on disk; none after it is.
void IniWriteStrings(const QList<IniEntry>& entries, const QString& file);
// The stored value (at most 2047 characters), or the default for a missing file, section or key.
QString IniReadString(const QString& section, const QString& key, const QString& defaultValue,
                      const QString& file);
// Stores decimal text, with a leading minus sign when negative.
void IniWriteInteger(const QString& section, const QString& key, qint32 value, const QString& file);
// Stores "1" or "0".
void IniWriteBool(const QString& section, const QString& key, bool value, const QString& file);
// True when the stored text is a non-zero 32-bit integer: leading spaces, a sign, then decimal
// digits or hexadecimal ones after "$", "x" or "0x". Any other text gives the default.
bool IniReadBool(const QString& section, const QString& key, bool defaultValue,
                 const QString& file);

// Rewrites the file with its sections in case-insensitive locale order, each section whole.
// A missing or empty file is left alone.
void SortIniSections(const QString& file);
// Rewrites the file with one empty line before each section header line (and after it too when
// blankAfter is set), shortening runs of empty lines. A missing file is left alone.
void TidyIniFile(const QString& file, bool blankAfter);
