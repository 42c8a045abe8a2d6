#include "outil32_ini.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <string>
#include <vector>

#include "outil32_WIN.h"
#include "platform_convert.h"
#include "profile_store.h"
#include "profile_text.h"

EIniError::EIniError(const QString& message)
    : std::runtime_error(message.toStdString()), m_message(message) {}

namespace {

QString iniPath(const QString& file) {
    return file.isEmpty() ? DefaultIniFile() : file;
}

std::u16string toU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

QString fromU16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The 32-bit integer rule of boolean reads; only whether the value is zero matters to them.
bool parseInteger(const QString& text, bool& nonZero) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    unsigned base = 10;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return false;
    // Hexadecimal text spans all 32 bits; decimal text must fit a signed 32-bit integer.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : negative ? 2147483648ull : 2147483647ull;
    quint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        unsigned d = 0;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            return false;
        value = value * base + d;
        if (value > limit)
            return false;
    }
    nonZero = value != 0;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The tidy-up passes' view of a file: its lines and the encoding they are written back in.
// Files without a byte-order mark are taken byte for byte (one character per byte), so that
// every line comes back exactly as it was, whatever its bytes; only the sort decodes them.

enum class TextEncoding { SingleByte, Utf8Bom, Utf16LE, Utf16BE };

struct IniText {
    TextEncoding encoding = TextEncoding::SingleByte;
    bool windows1252 = false; // single bytes that are not UTF-8: written on Windows
    QStringList lines;
    QByteArray tail; // a UTF-16 file's odd last byte
};

QString fullPath(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

// False when there is no file at the path.
bool readIniText(const QString& path, IniText& text) {
    if (!QFileInfo::exists(path))
        return false;
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EIniError(QStringLiteral("Impossible d'ouvrir le fichier \"%1\". %2")
                            .arg(fullPath(path), file.errorString()));

    QString units;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text.encoding = TextEncoding::Utf8Bom;
        units = QString::fromLatin1(bytes.mid(3));
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool little = bytes[0] == '\xFF';
        text.encoding = little ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
        units.resize((bytes.size() - 2) / 2);
        // A last byte that is half a unit is no text, but it is the file's: it is written back.
        if (bytes.size() % 2 != 0)
            text.tail = bytes.right(1);
        for (qsizetype i = 0; i < units.size(); ++i) {
            const auto a = static_cast<uchar>(bytes[2 + 2 * i]);
            const auto b = static_cast<uchar>(bytes[3 + 2 * i]);
            units[i] = QChar(little ? char16_t(a | b << 8) : char16_t(a << 8 | b));
        }
    } else {
        text.encoding = TextEncoding::SingleByte;
        text.windows1252 = !ordalix::platform::profile::isValidUtf8(
            bytes.constData(), static_cast<size_t>(bytes.size()));
        units = QString::fromLatin1(bytes);
    }

    // CR LF, a lone CR or a lone LF ends a line; a last line needs no line end.
    qsizetype start = 0;
    const qsizetype n = units.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = units[i];
        if (c != u'\r' && c != u'\n')
            continue;
        text.lines.append(units.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && units[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        text.lines.append(units.mid(start));
    return true;
}

void writeIniText(const QString& path, const IniText& text) {
    std::string bytes;
    switch (text.encoding) {
    case TextEncoding::Utf8Bom:
        bytes = "\xEF\xBB\xBF";
        break;
    case TextEncoding::Utf16LE:
        bytes = "\xFF\xFE";
        break;
    case TextEncoding::Utf16BE:
        bytes = "\xFE\xFF";
        break;
    case TextEncoding::SingleByte:
        break;
    }
    const auto put = [&](QChar c) {
        const char16_t u = c.unicode();
        if (text.encoding == TextEncoding::Utf16LE)
            bytes += char(u & 0xFF), bytes += char(u >> 8);
        else if (text.encoding == TextEncoding::Utf16BE)
            bytes += char(u >> 8), bytes += char(u & 0xFF);
        else
            bytes += char(u); // one byte per character, as read
    };
    for (const QString& line : text.lines) {
        for (const QChar c : line)
            put(c);
        put(u'\r');
        put(u'\n');
    }
    bytes.append(text.tail.constData(), static_cast<size_t>(text.tail.size()));
    const int error =
        ordalix::platform::replaceFileContent(ordalix::toPlatformPath(fullPath(path)), bytes);
    if (error != 0)
        throw EIniError(QStringLiteral("Impossible de créer le fichier \"%1\". %2")
                            .arg(fullPath(path), qt_error_string(error)));
}

// A line's text for comparison, decoded as the store reads the file.
QString comparable(const QString& line, const IniText& text) {
    switch (text.encoding) {
    case TextEncoding::SingleByte:
        if (text.windows1252) {
            QString decoded = line;
            for (QChar& c : decoded)
                c = QChar(ordalix::platform::profile::fromWindows1252(
                    static_cast<unsigned char>(c.unicode())));
            return decoded;
        }
        return QString::fromUtf8(line.toLatin1());
    case TextEncoding::Utf8Bom:
        return QString::fromUtf8(line.toLatin1());
    default:
        return line;
    }
}

bool startsWithByteOrderMark(const QString& line) {
    return line.startsWith(QLatin1String("\xEF\xBB\xBF")) ||
           line.startsWith(QLatin1String("\xFF\xFE")) || line.startsWith(QLatin1String("\xFE\xFF"));
}

} // namespace

#ifdef _WIN32
// Qt tells a folder's writability from its access rights only when asked to.
extern Q_CORE_EXPORT int qt_ntfs_permission_lookup;
#endif

bool IsPortableCopy() {
    const QString folder = ExeNames::folder(ExeNames::executablePath());
#ifdef _WIN32
    // Installed: in Program Files, in the user's own programs' folder, or anywhere it cannot
    // write.
    const auto clean = [](const QString& path) {
        return QDir::cleanPath(QDir::fromNativeSeparators(path));
    };
    QStringList places;
    for (const auto& system : ordalix::platform::systemFolders())
        places.append(clean(ordalix::fromPlatformPath(system)));
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (!local.isEmpty())
        places.append(clean(local) + QStringLiteral("/Programs"));
    const QString here = clean(folder);
    for (const QString& place : places) {
        if (here.compare(place, Qt::CaseInsensitive) == 0 ||
            here.startsWith(place + u'/', Qt::CaseInsensitive))
            return false;
    }
    ++qt_ntfs_permission_lookup;
    const bool writable = QFileInfo(folder).isWritable();
    --qt_ntfs_permission_lookup;
    return writable;
#else
    const bool installed = QDir(folder) == QDir(QStringLiteral(ORDALIX_INSTALLED_BINDIR));
    return !installed && QFileInfo(folder).isWritable();
#endif
}

QString DefaultIniFile() {
    const QString path = ExeNames::executablePath();
    const qsizetype extension = ExeNames::extensionStart(path);
    const QString beside = (extension < 0 ? path : path.left(extension)) + QStringLiteral(".INI");
    // An installed program cannot write beside itself (nor should, run by root): its settings
    // then go to the user's own configuration folder, under the same name. A portable copy
    // keeps them beside it.
    if (IsPortableCopy())
        return beside;
#ifdef _WIN32
    // The roaming profile's folder, as Windows programs keep their settings.
    QString config = qEnvironmentVariable("APPDATA");
    if (!config.isEmpty())
        config = QDir::toNativeSeparators(QDir::cleanPath(config)) + QStringLiteral("\\Ordalix");
#else
    QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
#endif
    if (config.isEmpty())
        return beside;
    QDir().mkpath(config);
    return config + ordalix::PathDelim + ExeNames::fileName(beside);
}

void IniWriteString(const QString& section, const QString& key, const QString& value,
                    const QString& file) {
    const QString path = iniPath(file);
    const auto platformPath = ordalix::toPlatformPath(path);
    const bool written = ordalix::platform::writeProfileString(toU16(section), toU16(key),
                                                               toU16(value), platformPath);
    ordalix::platform::flushProfile(platformPath);
    if (!written)
        throw EIniError(QStringLiteral("Impossible d'écrire dans %1").arg(path));
}

void IniWriteStrings(const QList<IniEntry>& entries, const QString& file) {
    const QString path = iniPath(file);
    std::vector<ordalix::platform::ProfileEntry> converted;
    converted.reserve(size_t(entries.size()));
    for (const IniEntry& entry : entries)
        converted.push_back({toU16(entry.section), toU16(entry.key), toU16(entry.value)});
    const auto platformPath = ordalix::toPlatformPath(path);
    const bool written = ordalix::platform::writeProfileStrings(converted, platformPath);
    ordalix::platform::flushProfile(platformPath);
    if (!written)
        throw EIniError(QStringLiteral("Impossible d'écrire dans %1").arg(path));
}

QString IniReadString(const QString& section, const QString& key, const QString& defaultValue,
                      const QString& file) {
    const QString path = iniPath(file);
    return fromU16(ordalix::platform::readProfileString(
        toU16(section), toU16(key), toU16(defaultValue), ordalix::toPlatformPath(path)));
}

void IniWriteInteger(const QString& section, const QString& key, qint32 value,
                     const QString& file) {
    IniWriteString(section, key, QString::number(value), file);
}

void IniWriteBool(const QString& section, const QString& key, bool value, const QString& file) {
    IniWriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"), file);
}

bool IniReadBool(const QString& section, const QString& key, bool defaultValue,
                 const QString& file) {
    const QString text = IniReadString(section, key, QString(), file);
    bool nonZero = false;
    return parseInteger(text, nonZero) ? nonZero : defaultValue;
}

void SortIniSections(const QString& file) {
    const QString path = iniPath(file);
    // Another process's writes wait until the sorted file is in place.
    const ordalix::platform::ProfileLock turn(ordalix::toPlatformPath(fullPath(path)));
    IniText text;
    if (!readIniText(path, text) || text.lines.isEmpty())
        return;

    // Each section, its header line and the lines up to the next header line, is one group;
    // the lines before the first header form a group that stays first. Groups are ordered by
    // their header lines; between headers that compare equal, by the text of their other lines.
    // Headers are compared whole, so that an accent counts after the letters ("[e]", "[é]",
    // "[f]") whatever the sections hold.
    struct Group {
        QString header;
        QString rest;
        QStringList lines;
    };
    std::vector<Group> groups;
    for (const QString& line : text.lines) {
        const QString shown = comparable(line, text);
        if (!line.isEmpty() && line[0] == u'[') {
            groups.push_back(Group{shown, {}, {line}});
        } else {
            if (groups.empty())
                groups.push_back(Group{});
            groups.back().rest += QStringLiteral("\"|\"") + shown;
            groups.back().lines.append(line);
        }
    }
    const bool preamble = text.lines[0].isEmpty() || text.lines[0][0] != u'[';

    // The C locale has no collation of its own (code point order would put "_" after the
    // digits and "é" after "z"): it takes the language-neutral one.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(groups.begin() + (preamble ? 1 : 0), groups.end(),
                     [&](const Group& a, const Group& b) {
                         const int headers = collator.compare(a.header, b.header);
                         return headers != 0 ? headers < 0 : collator.compare(a.rest, b.rest) < 0;
                     });

    text.lines.clear();
    if (preamble)
        text.lines.append(QString()); // the lines before the first section follow an empty one
    for (const Group& group : groups)
        text.lines.append(group.lines);
    writeIniText(path, text);
}

void TidyIniFile(const QString& file, bool blankAfter) {
    const QString path = iniPath(file);
    const ordalix::platform::ProfileLock turn(ordalix::toPlatformPath(fullPath(path)));
    IniText text;
    if (!readIniText(path, text))
        return;

    // Section header lines: a line that begins with "[" and in which the pattern matches from
    // there. Only such lines take line breaks, and only before or after the whole line, so that
    // a key or value holding brackets (photo [1].jpg) is never split. Each matched text adds a
    // break before every header line it begins, as often as it was matched.
    const QRegularExpression pattern(QStringLiteral("\\[.+\\]"));
    QHash<QString, int> matched;
    std::vector<bool> header(static_cast<size_t>(text.lines.size()), false);
    for (qsizetype i = 0; i < text.lines.size(); ++i) {
        const QString& line = text.lines[i];
        if (line.isEmpty() || line[0] != u'[')
            continue;
        const QRegularExpressionMatch match = pattern.match(line);
        if (match.hasMatch() && match.capturedStart() == 0) {
            header[static_cast<size_t>(i)] = true;
            ++matched[match.captured(0)];
        }
    }

    const QString crlf = QStringLiteral("\r\n");
    QString joined;
    for (qsizetype i = 0; i < text.lines.size(); ++i) {
        const QString& line = text.lines[i];
        if (header[static_cast<size_t>(i)]) {
            int before = 0;
            for (qsizetype close = line.indexOf(u']', 2); close >= 0;
                 close = line.indexOf(u']', close + 1))
                before += matched.value(line.left(close + 1));
            joined += crlf.repeated(before);
            joined += line;
            if (blankAfter)
                joined += crlf.repeated(matched.value(line));
        } else {
            joined += line;
        }
        joined += crlf;
    }
    // One pass, left to right: three line breaks in a row become two.
    joined.replace(QStringLiteral("\r\n\r\n\r\n"), QStringLiteral("\r\n\r\n"));

    QStringList lines = joined.split(crlf);
    if (!lines.isEmpty() && joined.endsWith(crlf))
        lines.removeLast();
    // No empty line at the top; a file of empty lines only comes back with no line at all.
    qsizetype first = 0;
    while (first < lines.size() && lines[first].isEmpty())
        ++first;
    // Except above a byte line that begins like a byte-order mark: at the top of the file it
    // would be taken for one, and the whole file would read in another encoding.
    if (text.encoding == TextEncoding::SingleByte && first > 0 && first < lines.size() &&
        startsWithByteOrderMark(lines[first]))
        --first;
    text.lines = lines.mid(first);
    writeIniText(path, text);
}
