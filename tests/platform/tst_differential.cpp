// The store against the Windows profile API, inside one process: for the fuzz corpus, files the
// API wrote itself, files the store wrote and random files in every encoding, each read through
// the store gives what GetPrivateProfileStringW gives, but for the store's deliberate
// differences. A difference counts as deliberate only when it goes away once the one feature
// behind it is taken out of the file (or the query); anything else fails the test.
// ORDALIX_DIFF_SEED replays a run; ORDALIX_DIFF_SECONDS and ORDALIX_DIFF_ITERATIONS bound it.
#ifdef _WIN32

#include "doctest.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>

#include <windows.h>

#include "profile_document.h"
#include "profile_store.h"
#include "profile_text.h"
#include "support.h"

using namespace ordalix::platform;
using namespace test;

namespace {

const std::u16string Missing = u"\x7F";

struct Query {
    std::u16string section;
    std::u16string key;
    bool operator<(const Query& o) const {
        return std::tie(section, key) < std::tie(o.section, o.key);
    }
};

// The API's blanks: what it trims around names and values, and around a query's names.
bool apiBlank(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

std::u16string apiTrimmed(const std::u16string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && apiBlank(text[begin]))
        ++begin;
    while (end > begin && apiBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool isLineBreak(char16_t c) {
    return c == u'\r' || c == u'\n';
}

std::vector<std::u16string> linesOf(const std::u16string& text) {
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isLineBreak(text[i])) {
            lines.push_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    return lines;
}

std::string asUtf16Le(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (const char16_t c : text)
        out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
    return out;
}

std::string encoded(const std::u16string& text, int encoding) {
    std::string out;
    switch (encoding) {
    case 0: // UTF-8 without a mark
        profile::utf16ToUtf8(text, out, false);
        return out;
    case 1:
        profile::utf16ToUtf8(text, out, false);
        return "\xEF\xBB\xBF" + out;
    case 2:
        return asUtf16Le(text);
    case 3: {
        std::string be = "\xFE\xFF";
        for (const char16_t c : text)
            be += static_cast<char>(c >> 8), be += static_cast<char>(c & 0xFF);
        return be;
    }
    default: { // the ANSI code page, '?' for what it cannot hold
        for (const char16_t c : text) {
            std::string one;
            out += profile::toCodePage(std::u16string(1, c), one) ? one : std::string("?");
        }
        return out;
    }
    }
}

class Differential {
public:
    explicit Differential(std::uint64_t seed) : m_random(seed), m_folder(freshFolder("diff")) {}

    // One file and the reads to compare on it.
    void check(const std::string& bytes, std::set<Query> queries, const char* source) {
        ++m_files[source];
        const profile::Document doc = profile::parse(bytes);
        const std::u16string text = doc.text();
        harvest(text, queries);
        const Path file = fileWith(bytes);
        for (const Query& query : queries) {
            ++m_reads;
            const std::u16string mine = readProfileString(query.section, query.key, Missing, file);
            const std::u16string theirs = api(query, file);
            if (mine != theirs)
                explain(doc, text, query, mine, theirs);
        }
        remove(file);
    }

    std::mt19937_64& random() { return m_random; }
    const Path& folder() const { return m_folder; }
    Path freshFile() { return join(m_folder, u16("f" + std::to_string(m_counter++) + ".ini")); }

    std::u16string randomText(std::size_t most) {
        static const std::vector<std::u16string> pieces = {
            u"a",      u"B",      u"k",      u"s",          u"x",      u"Z",
            u"0",      u"1",      u" ",      u"\t",         u"=",      u"[",
            u"]",      u";",      u"\"",     u"'",          u"\u00E9", u"\u00C9",
            u"\u0416", u"\u0436", u"\u20AC", u"\U0001F600", u"\u240A", u"\u240D",
            u"\u2400", u"\v",     u"\f",     u"\x1A",       u"%",      u"."};
        std::u16string out;
        const std::size_t length = m_random() % (most + 1);
        for (std::size_t i = 0; i < length; ++i)
            out += pieces[m_random() % pieces.size()];
        return out;
    }

    std::u16string randomFile() {
        static const std::u16string ends[] = {u"\r\n", u"\n", u"\r"};
        const std::u16string end = ends[m_random() % 3];
        std::u16string text;
        const int lines = static_cast<int>(m_random() % 12);
        for (int i = 0; i < lines; ++i) {
            const std::u16string pad = m_random() % 4 == 0 ? u" \t" : u"";
            switch (m_random() % 7) {
            case 0:
            case 1:
                text += pad + u"[" + randomText(5) + u"]" + (m_random() % 5 ? u"" : randomText(3));
                break;
            case 2:
                text += pad + u";" + randomText(6);
                break;
            case 3:
                text += randomText(6); // no "=" or one by chance
                break;
            case 4:
                text += pad + u"\"" + randomText(4) + u"\"=" + randomText(4);
                break;
            default:
                text += pad + randomText(5) + pad + u"=" + pad + randomText(8) + pad;
            }
            text += m_random() % 9 ? end : ends[m_random() % 3];
        }
        return text;
    }

    void report(std::chrono::steady_clock::duration spent, std::uint64_t seed) const {
        std::size_t files = 0, differences = 0;
        for (const auto& [source, count] : m_files)
            files += count;
        for (const auto& [reason, count] : m_reasons)
            differences += count;
        std::printf("differential: %zu iterations, %zu reads compared, %zu differences, %zu "
                    "unexplained, seed %llu, %.1f s\n",
                    files, m_reads, differences + m_unexplained, m_unexplained,
                    static_cast<unsigned long long>(seed),
                    std::chrono::duration<double>(spent).count());
        for (const auto& [source, count] : m_files)
            std::printf("  files from %-22s %zu\n", source.c_str(), count);
        for (const auto& [reason, count] : m_reasons)
            std::printf("  deliberate: %-40s %zu\n", reason.c_str(), count);
    }

    std::size_t unexplained() const { return m_unexplained; }
    std::size_t reads() const { return m_reads; }

private:
    // Section and key names as a reader would ask for them: as written, with ASCII letters in
    // the other case, and the names the file does not have.
    void harvest(const std::u16string& text, std::set<Query>& queries) {
        std::vector<std::u16string> sections = {u"", u"s"}, keys = {u"k", u""};
        for (const std::u16string& line : linesOf(text)) {
            const std::u16string t = apiTrimmed(line);
            if (!t.empty() && t[0] == u'[' && t.find_last_of(u']') != std::u16string::npos)
                sections.push_back(t.substr(1, t.find_last_of(u']') - 1));
            else if (const auto eq = t.find(u'='); eq != std::u16string::npos)
                keys.push_back(t.substr(0, eq));
            else if (!t.empty())
                keys.push_back(t);
        }
        const auto swapped = [](std::u16string name) {
            for (char16_t& c : name) {
                if (c >= u'a' && c <= u'z')
                    c = static_cast<char16_t>(c - 32);
                else if (c >= u'A' && c <= u'Z')
                    c = static_cast<char16_t>(c + 32);
            }
            return name;
        };
        for (std::size_t n = 0; n < 24 && queries.size() < 40; ++n) {
            std::u16string s = sections[m_random() % sections.size()];
            std::u16string k = keys[m_random() % keys.size()];
            if (m_random() % 4 == 0)
                s = swapped(s), k = swapped(k);
            // The API's strings end at a NUL: a name holding one cannot be asked for there.
            if (s.find(u'\0') == std::u16string::npos && k.find(u'\0') == std::u16string::npos)
                queries.insert(Query{s, k});
        }
    }

    Path fileWith(const std::string& bytes) {
        const Path file = freshFile();
        writeBytes(file, bytes);
        return file;
    }

    static void remove(const Path& file) {
        ::DeleteFileW(std::wstring(file.begin(), file.end()).c_str());
    }

    static std::u16string api(const Query& query, const Path& file) {
        const std::wstring section(query.section.begin(), query.section.end());
        const std::wstring key(query.key.begin(), query.key.end());
        const std::wstring path(file.begin(), file.end());
        wchar_t buffer[ProfileStringMaxChars + 1];
        const DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"\x7F", buffer,
                                                   ProfileStringMaxChars + 1, path.c_str());
        return std::u16string(buffer, buffer + n);
    }

    bool agreeOn(const std::u16string& text, const Query& query) {
        const Path file = fileWith(asUtf16Le(text));
        const bool same =
            readProfileString(query.section, query.key, Missing, file) == api(query, file);
        remove(file);
        return same;
    }

    void explain(const profile::Document& doc, const std::u16string& text, const Query& query,
                 const std::u16string& mine, const std::u16string& theirs) {
        // Differences of the query alone.
        if (apiTrimmed(query.key).empty())
            return count("an empty key name is a key");
        if (apiTrimmed(query.section).empty())
            return count("no section above the first header");
        if (mine.size() + 1 == ProfileStringMaxChars && theirs.size() == ProfileStringMaxChars &&
            theirs.compare(0, mine.size(), mine) == 0 && profile::isHighSurrogate(theirs.back()))
            return count("a capped value never ends in half a character");

        // Differences of the file: each feature taken out in turn, the earlier ones staying out.
        std::u16string t = text;
        Query q = query;
        const bool noMark = doc.bomSize == 0;
        const bool utf8 =
            doc.encoding == profile::Encoding::Utf8 || doc.encoding == profile::Encoding::Utf8Bom;
        if (agreeOn(t, q)) {
            if (noMark && utf8)
                return count("UTF-8 without a mark is read as UTF-8");
            if (doc.encoding == profile::Encoding::Utf8Bom)
                return count("a bad UTF-8 byte reads as one U+FFFD");
            if (doc.unitSize() == 2 && doc.bytes.size() % 2 != 0)
                return count("an odd last byte of UTF-16 is left out");
        }
        const auto mapped = [&](const std::function<char16_t(char16_t)>& f) {
            for (char16_t& c : t)
                c = f(c);
            for (char16_t& c : q.section)
                c = f(c);
            for (char16_t& c : q.key)
                c = f(c);
        };
        const auto withoutLines = [&](char16_t first) {
            std::u16string kept;
            for (const std::u16string& line : linesOf(t)) {
                const std::u16string s = apiTrimmed(line);
                if (s.empty() || s[0] != first)
                    kept += line + u"\r\n";
            }
            t = kept;
        };
        // Lines that are neither blank, a header nor hold an "=": names without a value.
        const auto withoutBareNames = [&] {
            std::u16string kept;
            for (const std::u16string& line : linesOf(t)) {
                const std::u16string s = apiTrimmed(line);
                if (s.empty() || s[0] == u'[' || s.find(u'=') != std::u16string::npos)
                    kept += line + u"\r\n";
            }
            t = kept;
        };
        struct Step {
            const char* reason;
            std::function<void()> takeOut;
        };
        const Step steps[] = {
            {"names match without regard to case beyond ASCII",
             [&] { mapped([](char16_t c) { return profile::fold(std::u16string(1, c))[0]; }); }},
            {"line-break pictures read as line breaks",
             [&] {
                 mapped([](char16_t c) {
                     return c == 0x2400 || c == 0x240A || c == 0x240D ? u'_' : c;
                 });
             }},
            {"a line starting with ; is a comment", [&] { withoutLines(u';'); }},
            {"a key in double quotes may hold = [ ;", [&] { withoutLines(u'"'); }},
            {"only spaces and tabs are blanks",
             [&] {
                 mapped(
                     [](char16_t c) { return c == u'\v' || c == u'\f' || c == 0x1A ? u' ' : c; });
             }},
            {"a NUL is a character like any other",
             [&] {
                 std::erase(t, u'\0');
                 std::erase(q.section, u'\0');
                 std::erase(q.key, u'\0');
             }},
            {"a line without = is no key", withoutBareNames}};
        for (const Step& step : steps) {
            step.takeOut();
            if (agreeOn(t, q))
                return count(step.reason);
        }
        ++m_unexplained;
        if (m_unexplained <= 5) {
            std::string hex;
            for (std::size_t i = 0; i < doc.bytes.size() && i < 400; ++i) {
                char b[4];
                std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(doc.bytes[i]));
                hex += b;
            }
            std::printf("unexplained: [%s] %s -> ours \"%s\", API \"%s\"; file %s\n",
                        u8(query.section).c_str(), u8(query.key).c_str(), u8(mine).c_str(),
                        u8(theirs).c_str(), hex.c_str());
        }
    }

    void count(const char* reason) { ++m_reasons[reason]; }

    std::mt19937_64 m_random;
    Path m_folder;
    unsigned m_counter = 0;
    std::size_t m_reads = 0;
    std::size_t m_unexplained = 0;
    std::map<std::string, std::size_t> m_files;
    std::map<std::string, std::size_t> m_reasons;
};

struct Seed {
    std::string file;
    std::set<Query> queries;
    std::u16string value; // profile_write seeds only
    bool write = false;
};

// The fuzz seeds: SECTION NUL KEY NUL [VALUE NUL] FILE.
std::vector<Seed> corpus() {
    std::vector<Seed> seeds;
    const char* env = std::getenv("ORDALIX_CORPUS");
    const std::filesystem::path root = env ? std::filesystem::path(env) : ORDALIX_CORPUS;
    for (const char* kind : {"profile_read", "profile_write"}) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(root / kind, error)) {
            const std::string bytes = readBytes(entry.path().u16string());
            std::vector<std::string> parts;
            std::size_t start = 0;
            const std::size_t fields = std::string(kind) == "profile_write" ? 3 : 2;
            while (parts.size() < fields) {
                const std::size_t nul = bytes.find('\0', start);
                if (nul == std::string::npos)
                    break;
                parts.push_back(bytes.substr(start, nul - start));
                start = nul + 1;
            }
            if (parts.size() < fields)
                continue;
            Seed seed;
            seed.file = bytes.substr(start);
            seed.queries.insert(Query{u16(parts[0]), u16(parts[1])});
            seed.write = fields == 3;
            if (seed.write)
                seed.value = u16(parts[2]);
            seeds.push_back(std::move(seed));
        }
    }
    return seeds;
}

std::uint64_t numberFrom(const char* name, std::uint64_t otherwise) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : otherwise;
}

} // namespace

TEST_CASE("the store reads what GetPrivateProfileStringW reads, but for its deliberate ways") {
    // The deliberate differences, each with its reason:
    // - names match without regard to case beyond ASCII too ("Été" is "ÉTÉ"), as
    //   Windows matches them, where the API under Wine folds ASCII letters only;
    // - an empty key name is a key: the store writes and reads "=value" lines; the API answers
    //   nothing for an empty name;
    // - no section above the first header: keys there belong to no section the store writes,
    //   where the API files them under the empty name;
    // - a capped value never ends in half a character (a surrogate pair stays whole);
    // - UTF-8 without a mark is read as UTF-8, the API reading it in the ANSI code page: files
    //   travel between Linux, where they are UTF-8, and Windows;
    // - a bad UTF-8 byte reads as one U+FFFD, as on Linux, so both read one file alike;
    // - an odd last byte of a UTF-16 file is left out (the API may keep half a character);
    // - line-break pictures read as line breaks: values keep their CR and LF through a write
    //   without adding a line;
    // - a line starting with ";" is a comment, not a key named ";...";
    // - a key in double quotes may hold "=", "[" or ";": the store writes such keys so, and
    //   nothing can read them as a header or a comment;
    // - only spaces and tabs are blanks: a form feed or a vertical tab at a value's end is
    //   part of it;
    // - a NUL is a character like any other, where the API's strings end at it;
    // - a line without "=" is no key: the API reads it as a key with an empty value, which
    //   hides a key of the same name further down.
    const std::uint64_t seed = numberFrom(
        "ORDALIX_DIFF_SEED",
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    const auto limit = std::chrono::seconds(numberFrom("ORDALIX_DIFF_SECONDS", 20));
    const std::uint64_t most = numberFrom("ORDALIX_DIFF_ITERATIONS", 1000000);
    Differential diff(seed);
    auto& random = diff.random();
    const std::vector<Seed> seeds = corpus();
    REQUIRE(seeds.size() >= 10);

    const auto start = std::chrono::steady_clock::now();
    // Every seed as it is first, then a mix of every source until the time or the count ends.
    for (const Seed& s : seeds)
        diff.check(s.file, s.queries, "the corpus");
    for (std::uint64_t i = 0; i < most && std::chrono::steady_clock::now() - start < limit; ++i) {
        const Seed& s = seeds[random() % seeds.size()];
        switch (random() % 5) {
        case 0: { // bytes of a seed changed at random
            std::string bytes = s.file;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits && !bytes.empty(); ++e) {
                const std::size_t at = random() % bytes.size();
                static const char inserts[] = {'\r', '\n', '=',  '[',    ']', ';',
                                               '"',  ' ',  '\t', '\xE9', '\0'};
                if (random() % 2)
                    bytes.insert(at, 1, inserts[random() % sizeof inserts]);
                else
                    bytes.erase(at, 1);
            }
            diff.check(bytes, s.queries, "changed corpus bytes");
            break;
        }
        case 1:
        case 2: { // written by the API itself, or by the store, then read by both
            const bool byApi = random() % 2 == 0;
            const Path file = diff.freshFile();
            writeBytes(file, random() % 2 ? s.file : std::string());
            std::set<Query> queries = s.queries;
            const int writes = 1 + static_cast<int>(random() % 4);
            for (int w = 0; w < writes; ++w) {
                Query q{diff.randomText(4), diff.randomText(4)};
                std::u16string value = s.write && w == 0 ? s.value : diff.randomText(8);
                std::erase(q.section, u'\0');
                std::erase(q.key, u'\0');
                std::erase(value, u'\0');
                if (byApi) {
                    const std::wstring a(q.section.begin(), q.section.end());
                    const std::wstring b(q.key.begin(), q.key.end());
                    const std::wstring c(value.begin(), value.end());
                    const std::wstring p(file.begin(), file.end());
                    ::WritePrivateProfileStringW(a.c_str(), b.c_str(), c.c_str(), p.c_str());
                } else {
                    writeProfileString(q.section, q.key, value, file);
                }
                queries.insert(q);
            }
            diff.check(readBytes(file), queries,
                       byApi ? "WritePrivateProfileStringW" : "the store's writes");
            ::DeleteFileW(std::wstring(file.begin(), file.end()).c_str());
            break;
        }
        default: // a random file in a random encoding
            diff.check(encoded(diff.randomFile(), static_cast<int>(random() % 5)), {},
                       "random files");
        }
    }
    diff.report(std::chrono::steady_clock::now() - start, seed);
    CHECK(diff.reads() > 0);
    CHECK(diff.unexplained() == 0);
}

#endif
