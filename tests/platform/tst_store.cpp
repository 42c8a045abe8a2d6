// The INI store on each backend's file access: the same edits give the same bytes on Linux and
// on Windows, and a rewrite keeps what the platform attaches to a file.
#include "doctest.h"

#include <atomic>
#include <thread>

#include "profile_store.h"
#include "support.h"

using namespace ordalix::platform;
using namespace test;

namespace {

const std::u16string Missing = u"\x7F";

std::string utf16le(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (const char16_t c : text)
        out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
    return out;
}

} // namespace

TEST_CASE("writes give the same bytes on every backend") {
    const Path folder = freshFolder("store");
    struct Row {
        const char* what;
        std::string before;
        std::u16string section, key, value;
        std::string after;
    };
    const Row rows[] = {
        {"a new file", "", u"Options", u"Journal", u"1", "[Options]\r\nJournal=1\r\n"},
        {"a value replaced, the rest byte for byte",
         "; settings\n[Options]\nJournal = 0 ; old\n\n[Other]\nk=v\n", u"options", u"JOURNAL", u"1",
         "; settings\n[Options]\nJournal = 1\n\n[Other]\nk=v\n"},
        {"a key added after the section's last one", "[a]\r\nx=1\r\n\r\n[b]\r\ny=2", u"a", u"z",
         u"3", "[a]\r\nx=1\r\nz=3\r\n\r\n[b]\r\ny=2"},
        {"a new section after a last line without its end", "[a]\nx=1", u"b", u"y", u"2",
         "[a]\nx=1\n[b]\ny=2\n"},
        {"line breaks stored as pictures", "[s]\r\n", u"s", u"k", u"one\r\ntwo",
         "[s]\r\nk=one\xE2\x90\x8D\xE2\x90\x8Atwo\r\n"},
        {"a key that could read as a header", "", u"s", u"[x]=y", u"v", "[s]\r\n\"[x]=y\"=v\r\n"},
        {"surrounding blanks kept inside quotes", "", u"s", u"k", u" padded ",
         "[s]\r\nk=\" padded \"\r\n"},
        {"a code-page file stays in its code page", "[s]\r\nk=caf\xE9\r\n", u"s", u"k", u"th\u00E9",
         "[s]\r\nk=th\xE9\r\n"},
        {"a character outside the code page turns the file to UTF-8 with a mark",
         "[s]\r\nk=caf\xE9\r\n", u"s", u"j", u"\u0416",
         "\xEF\xBB\xBF[s]\r\nk=caf\xC3\xA9\r\nj=\xD0\x96\r\n"},
        {"UTF-16 keeps its mark", utf16le(u"[s]\r\n"), u"s", u"k", u"\u00E9",
         utf16le(u"[s]\r\nk=\u00E9\r\n")},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        const Path file = join(folder, u16(std::string("f") + std::to_string(&row - rows)));
        if (!row.before.empty())
            writeBytes(file, row.before);
        REQUIRE(writeProfileString(row.section, row.key, row.value, file));
        CHECK(readBytes(file) == row.after);
        CHECK(readProfileString(row.section, row.key, Missing, file) == row.value);
    }
    // No temporary file is left beside the files.
    CHECK(entries(folder).size() == std::size(rows));
}

TEST_CASE("reads: defaults, folded names, quotes and the cap") {
    const Path folder = freshFolder("read");
    const Path file = join(folder, u"r.ini");
    writeBytes(file, "top=0\n[S\xC3\x89]\nK\xC3\x89=\"quoted\"\nlong=" + std::string(3000, 'x') +
                         "\n[s\xC3\xA9]\nsecond=1\n");
    CHECK(readProfileString(u"s\u00E9", u"k\u00E9", Missing, file) == u"quoted");
    CHECK(readProfileString(u"S\u00C9", u"second", Missing, file) == Missing); // first section
    CHECK(readProfileString(u"s\u00E9", u"long", Missing, file).size() == ProfileStringMaxChars);
    CHECK(readProfileString(u"", u"top", Missing, file) == Missing);
    CHECK(readProfileString(u"s", u"k", Missing, join(folder, u"missing.ini")) == Missing);
    CHECK(readProfileString(u"s", u"k", Missing, folder) == Missing);
}

TEST_CASE("a file of many sections: every section is found after the first read") {
    // More headers than the look-up's tags can tell apart, in a file large enough (over 4 MiB)
    // that a tag is only part of a name's bit: names that share a tag are told apart by
    // reading their headers.
    const Path folder = freshFolder("many");
    const Path file = join(folder, u"many.ini");
    constexpr int Sections = 70000;
    std::string bytes;
    for (int i = 0; i < Sections; ++i)
        bytes += "[S" + std::to_string(i) + "]\r\n; " + std::string(48, '-') + "\r\nk=v" +
                 std::to_string(i) + "\r\n";
    writeBytes(file, bytes);
    CHECK(readProfileString(u"absent", u"k", Missing, file) == Missing); // reads it all
    for (int i = 0; i < Sections; i += 61) {
        const std::string n = std::to_string(i);
        CHECK(readProfileString(u16("s" + n), u"K", Missing, file) == u16("v" + n));
    }
    CHECK(readProfileString(u"S69999", u"k", Missing, file) == u"v69999");
    CHECK(readProfileString(u"S70000", u"k", Missing, file) == Missing);
}

TEST_CASE("a rewrite keeps the file's own marks, and refuses a read-only file") {
    const Path folder = freshFolder("keep");
    const Path file = join(folder, u"keep.ini");
    writeBytes(file, "[s]\r\nk=old\r\n");
    if (Windows)
        REQUIRE(setHidden(file));
    REQUIRE(writeProfileString(u"s", u"k", u"new", file)); // a change in place: a rewrite
    CHECK(readBytes(file) == "[s]\r\nk=new\r\n");
    CHECK(bool(getFileAttributes(file) & FileAttributeHidden) == Windows);

    const Path locked = join(folder, u"locked.ini");
    writeBytes(locked, "[s]\r\nk=old\r\n");
    REQUIRE(setReadOnly(locked, true));
    // Root may write anything on Linux; the attribute binds everyone on Windows.
    if (Windows) {
        CHECK_FALSE(writeProfileString(u"s", u"k", u"new", locked));
        CHECK(readBytes(locked) == "[s]\r\nk=old\r\n");
    }
    CHECK_FALSE(writeProfileString(u"s", u"k", u"v", join(join(folder, u"no"), u"x.ini")));
    setReadOnly(locked, false);
    CHECK(entries(folder) == std::vector<std::string>{"keep.ini", "locked.ini"});
}

TEST_CASE("a change made by another program between two writes is kept") {
    const Path folder = freshFolder("outside");
    const Path file = join(folder, u"shared.ini");
    REQUIRE(writeProfileString(u"s", u"a", u"1", file));
    REQUIRE(writeProfileString(u"s", u"b", u"2", file)); // the store now knows the file
    writeBytes(file, readBytes(file) + "c=3\r\n");
    REQUIRE(writeProfileString(u"s", u"d", u"4", file));
    CHECK(readBytes(file) == "[s]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\n");
}

TEST_CASE("writers in other processes wait for the folder's lock") {
    const Path folder = freshFolder("lock");
    const Path file = join(folder, u"turns.ini");
    Helper holder("hold-lock", file);
    REQUIRE(holder.ready());
    std::atomic<bool> done{false};
    std::thread writer([&] {
        writeProfileString(u"s", u"k", u"v", file);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    CHECK_FALSE(done.load());
    CHECK(holder.release());
    writer.join();
    CHECK(done.load());
    CHECK(readProfileString(u"s", u"k", Missing, file) == u"v");

    // The holder's own writes do not wait for itself.
    const ProfileLock mine(file);
    CHECK(writeProfileString(u"s", u"k", u"w", file));
    CHECK(replaceFileContent(file, "[s]\r\nk=x\r\n") == 0);
    CHECK(readProfileString(u"s", u"k", Missing, file) == u"x");
}
