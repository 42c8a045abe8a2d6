// The file services of platform.h, one table for both backends where they agree, rows of
// their own where the platforms differ (hidden files, case of names, drive roots).
#include "doctest.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "support.h"

using namespace ordalix::platform;
using namespace test;

namespace {

std::set<std::string> found(const Path& folder, const char* mask) {
    std::set<std::string> names;
    FindHandle search;
    FindData data;
    for (bool more = search.findFirst(join(folder, u16(mask)), data); more;
         more = search.findNext(data)) {
        const std::string name = u8(data.name);
        if (name != "." && name != "..")
            names.insert(name);
    }
    return names;
}

FindData entry(const Path& folder, const char* name) {
    FindHandle search;
    FindData data;
    REQUIRE(search.findFirst(join(folder, u16(name)), data));
    return data;
}

// An entry's index on its volume: two names of one file share it.
std::uint64_t indexOf(const Path& path) {
    FileStatus status;
    REQUIRE(getFileStatus(path, status));
    return status.index;
}

} // namespace

TEST_CASE("a search matches masks the Windows way") {
    const Path folder = freshFolder("find");
    for (const char* name : {"a.txt", "B.TXT", "noext", "photo [1].jpg", "long.name.tar.gz"})
        writeBytes(join(folder, u16(name)), "x");
    makeFolder(join(folder, u"dir"));

    using Names = std::set<std::string>;
    const Names all = {"B.TXT", "a.txt", "dir", "long.name.tar.gz", "noext", "photo [1].jpg"};
    struct Row {
        const char* mask;
        Names expected;
    };
    const Row rows[] = {
        {"*", all},
        {"*.*", all}, // names without a dot too
        {"*.txt", {"B.TXT", "a.txt"}},
        {"?.TXT", {"B.TXT", "a.txt"}},
        {"*.gz", {"long.name.tar.gz"}},
        {"photo [1]*", {"photo [1].jpg"}}, // brackets are plain characters
        {"photo [1].jpg", {"photo [1].jpg"}},
        {"no*", {"noext"}},
        {"d?r", {"dir"}},
        {"*.zip", {}},
    };
    for (const Row& row : rows) {
        CAPTURE(row.mask);
        CHECK(found(folder, row.mask) == row.expected);
    }

    SUBCASE("a name without wildcards names one entry, folders marked") {
        CHECK(bool(entry(folder, "dir").attributes & FileAttributeDirectory));
        CHECK_FALSE(bool(entry(folder, "a.txt").attributes & FileAttributeDirectory));
        // File names ignore case on Windows, not on Linux.
        FindHandle search;
        FindData data;
        CHECK(search.findFirst(join(folder, u"A.TXT"), data) == Windows);
        if (Windows)
            CHECK(u8(data.name) == "a.txt");
    }
    SUBCASE("no match, a missing folder and a trailing delimiter say not found") {
        FindHandle search;
        FindData data;
        CHECK_FALSE(search.findFirst(join(folder, u"*.zip"), data));
        CHECK(lastErrorIsNotFound());
        CHECK_FALSE(search.findFirst(join(join(folder, u"missing"), u"*"), data));
        CHECK(lastErrorIsNotFound());
        CHECK_FALSE(search.findFirst(folder + PathDelimiter, data));
        CHECK_FALSE(lastErrorText().empty());
    }
}

TEST_CASE("hidden entries, times and the last-write time") {
    const Path folder = freshFolder("attributes");
    writeBytes(join(folder, u".dotted"), "x");
    writeBytes(join(folder, u"plain.txt"), "x");
    writeBytes(join(folder, u"marked.txt"), "x");
    const bool marked = setHidden(join(folder, u"marked.txt"));
    CHECK(marked == Windows);

    // Hidden by a leading dot on Linux, by the attribute on Windows.
    CHECK(bool(entry(folder, ".dotted").attributes & FileAttributeHidden) == !Windows);
    CHECK(bool(entry(folder, "marked.txt").attributes & FileAttributeHidden) == Windows);
    CHECK_FALSE(bool(entry(folder, "plain.txt").attributes & FileAttributeHidden));
    CHECK(bool(getFileAttributes(join(folder, u".dotted")) & FileAttributeHidden) == !Windows);

    const std::int64_t when = 1615000000; // 2021-03-06
    setModified(join(folder, u"plain.txt"), when);
    FileTime time;
    REQUIRE(getLastWriteTime(join(folder, u"plain.txt"), time));
    CHECK(time.secondsSinceEpoch == when);
    CHECK(entry(folder, "plain.txt").lastWriteTime.secondsSinceEpoch == when);
    FileStatus status;
    REQUIRE(getFileStatus(join(folder, u"plain.txt"), status));
    CHECK(status.lastWriteTime.secondsSinceEpoch == when);
    CHECK(status.size == 1);
    CHECK_FALSE(status.directory);

    CHECK(bool(getFileAttributes(folder) & FileAttributeDirectory));
    CHECK(getFileAttributes(join(folder, u"missing")) == InvalidFileAttributes);
    CHECK(lastErrorIsNotFound());
    CHECK_FALSE(getLastWriteTime(join(folder, u"missing"), time));
}

TEST_CASE("the file system's root and the running program") {
    // A drive root keeps its delimiter on Windows: "C:\", where "C:" is the current folder.
    const Path root = Windows ? executablePath().substr(0, 3) : Path(u"/");
    if (Windows)
        CHECK(root.substr(1) == u":\\");
    CHECK(bool(getFileAttributes(root) & FileAttributeDirectory));
    CHECK_FALSE(found(root, "*").empty());

    const Path self = executablePath();
    CHECK(self.find(PathDelimiter) != Path::npos);
    FileStatus status;
    REQUIRE(getFileStatus(self, status));
    CHECK(status.size > 0);
    const Path name = self.substr(self.find_last_of(PathDelimiter) + 1);
    CHECK(u8(name).rfind("tst_platform", 0) == 0);
}

TEST_CASE("two names of one file share volume and index") {
    const Path folder = freshFolder("identity");
    writeBytes(join(folder, u"one"), "1");
    writeBytes(join(folder, u"two"), "2");
    hardLink(join(folder, u"one"), join(folder, u"link"));
    FileStatus a, b, c;
    REQUIRE(getFileStatus(join(folder, u"one"), a));
    REQUIRE(getFileStatus(join(folder, u"link"), b));
    REQUIRE(getFileStatus(join(folder, u"two"), c));
    CHECK(a.device == b.device);
    CHECK(a.index == b.index);
    CHECK(a.index != c.index);
}

TEST_CASE("a copy replaces its destination whole, never in place, never onto itself") {
    const Path folder = freshFolder("copy");
    const Path source = join(folder, u"source.txt");
    const Path destination = join(folder, u"destination.txt");
    writeBytes(source, "new content");
    setModified(source, 1600000000);

    SUBCASE("to a new name: content and time kept") {
        REQUIRE(copyFile(source, destination, true));
        CHECK(readBytes(destination) == "new content");
        FileTime time;
        REQUIRE(getLastWriteTime(destination, time));
        CHECK(time.secondsSinceEpoch == 1600000000);
    }
    SUBCASE("over an existing file: a new file takes the name") {
        writeBytes(destination, "old");
        // A second name of the old destination still holds the old bytes: nothing was written
        // into the file the name led to.
        hardLink(destination, join(folder, u"old-link"));
        const std::uint64_t before = indexOf(destination);
        REQUIRE(copyFile(source, destination, false));
        CHECK(readBytes(destination) == "new content");
        CHECK(readBytes(join(folder, u"old-link")) == "old");
        CHECK(indexOf(destination) != before);
    }
    SUBCASE("refusals leave both files as they were") {
        writeBytes(destination, "old");
        struct Row {
            const char* what;
            Path from;
            Path to;
            bool failIfExists;
        };
        makeFolder(join(folder, u"dir"));
        hardLink(source, join(folder, u"source-link"));
        std::vector<Row> rows = {
            {"destination exists", source, destination, true},
            {"same path", source, source, false},
            {"another name of the source", source, join(folder, u"source-link"), false},
            {"source is a folder", join(folder, u"dir"), join(folder, u"copy-of-dir"), false},
            {"destination is a folder", source, join(folder, u"dir"), false},
            {"missing source", join(folder, u"missing"), join(folder, u"x"), false},
            {"missing destination folder", source, join(join(folder, u"no"), u"x"), false},
        };
        if (Windows) // names ignore case there: another spelling is the same file
            rows.push_back(
                {"another case of the source", source, join(folder, u"SOURCE.TXT"), false});
        for (const Row& row : rows) {
            CAPTURE(row.what);
            CHECK_FALSE(copyFile(row.from, row.to, row.failIfExists));
            CHECK_FALSE(lastErrorText().empty());
            CHECK(readBytes(source) == "new content");
            CHECK(readBytes(destination) == "old");
        }
        CHECK_FALSE(exists(join(folder, u"copy-of-dir")));
        CHECK(entries(folder) ==
              std::vector<std::string>{"destination.txt", "dir", "source-link", "source.txt"});
    }
}

TEST_CASE("a file held open for writing by another process is seen") {
    const Path folder = freshFolder("writing");
    const Path file = join(folder, u"download.part");
    writeBytes(file, "partial");
    CHECK_FALSE(isOpenForWritingElsewhere(file));
    {
        Helper writer("hold-write", file);
        REQUIRE(writer.ready());
        CHECK(isOpenForWritingElsewhere(file));
        CHECK(writer.release());
    }
    CHECK_FALSE(isOpenForWritingElsewhere(file));
    CHECK_FALSE(isOpenForWritingElsewhere(join(folder, u"missing")));
    CHECK_FALSE(isOpenForWritingElsewhere(folder));
}

TEST_CASE("moves: a file rename, a shell move that never merges") {
    const Path folder = freshFolder("move");
    const Path a = join(folder, u"a.txt");
    const Path b = join(folder, u"b.txt");
    writeBytes(a, "A");
    writeBytes(b, "B");

    SUBCASE("moveFile replaces only when asked, and files only") {
        CHECK_FALSE(moveFile(a, b, 0));
        CHECK(readBytes(a) == "A");
        CHECK(readBytes(b) == "B");
        REQUIRE(moveFile(a, b, MoveFileReplaceExisting));
        CHECK_FALSE(exists(a));
        CHECK(readBytes(b) == "A");
        makeFolder(join(folder, u"dir"));
        CHECK_FALSE(moveFile(join(folder, u"dir"), join(folder, u"dir2"), 0));
        CHECK_FALSE(moveFile(b, join(folder, u"dir"), MoveFileReplaceExisting));
        CHECK(readBytes(b) == "A");
        CHECK_FALSE(moveFile(join(folder, u"missing"), a, 0));
        CHECK(lastErrorIsNotFound());
    }
    SUBCASE("renameNoReplace takes a free name only, and says why not") {
        makeFolder(join(folder, u"dir"));
        for (const Path& taken : {b, join(folder, u"dir")}) {
            CHECK_FALSE(renameNoReplace(a, taken));
            CHECK(readBytes(a) == "A");
        }
        CHECK(readBytes(b) == "B");
        const Path c = join(folder, u"c.txt");
        REQUIRE(renameNoReplace(a, c));
        CHECK_FALSE(exists(a));
        CHECK(readBytes(c) == "A");
        CHECK_FALSE(renameNoReplace(join(folder, u"missing"), a));
        CHECK(lastErrorIsNotFound());
        CHECK_FALSE(exists(a));
    }
    SUBCASE("a folder moves whole; an existing target is never merged into") {
        const Path tree = join(folder, u"tree");
        makeFolder(join(tree, u"sub"));
        writeBytes(join(join(tree, u"sub"), u"leaf.txt"), "leaf");
        const Path taken = join(folder, u"taken");
        makeFolder(taken);
        writeBytes(join(taken, u"mine.txt"), "mine");

        ShellFileOperation move;
        move.function = FoMove;
        move.from = tree;
        move.to = taken;
        move.flags = FofFilesOnly;
        CHECK(shellFileOperation(move) != 0);
        CHECK(entries(taken) == std::vector<std::string>{"mine.txt"});
        CHECK(readBytes(join(join(tree, u"sub"), u"leaf.txt")) == "leaf");

        move.to = join(folder, u"moved");
        REQUIRE(shellFileOperation(move) == 0);
        CHECK_FALSE(exists(tree));
        CHECK(readBytes(join(join(move.to, u"sub"), u"leaf.txt")) == "leaf");

        move.from = a;
        move.to = b;
        CHECK(shellFileOperation(move) != 0); // a file onto a file: no replacing either
        CHECK(readBytes(b) == "B");
    }
}

TEST_CASE("the recycle bin takes an item or leaves it where it was") {
    const Path folder = freshFolder("recycle");
    const Path file = join(folder, u"photo.jpg");
    writeBytes(file, "jpeg");

    ShellFileOperation remove;
    remove.function = FoDelete;
    remove.from = file;
    remove.flags = FofSilent | FofNoConfirmation;
    CHECK(shellFileOperation(remove) != 0); // a delete for good is never done
    CHECK(readBytes(file) == "jpeg");

    remove.flags |= FofAllowUndo;
    REQUIRE(shellFileOperation(remove) == 0);
    CHECK_FALSE(exists(file));

    SUBCASE("moveToTrash, with and without being told where") {
        const Path tree = join(folder, u"album");
        makeFolder(tree);
        writeBytes(join(tree, u"one.jpg"), "1");
        writeBytes(file, "again");
        int told = 0;
        TrashedItem where;
        REQUIRE(moveToTrash(file, &where, [&](const TrashedItem&) {
            ++told;
            return true;
        }));
        CHECK_FALSE(exists(file));
        if (Windows) {
            // The bin does not say where an item went.
            CHECK(where.item.empty());
            CHECK(where.info.empty());
            CHECK(told == 0);
        } else {
            CHECK(readBytes(where.item) == "again");
            CHECK(exists(where.info));
            CHECK(told == 1);
        }
        REQUIRE(moveToTrash(tree, nullptr));
        CHECK_FALSE(exists(tree));
        CHECK_FALSE(moveToTrash(join(folder, u"missing"), nullptr));
    }
    if (!Windows) {
        SUBCASE("a move its caller could not note is not made") {
            writeBytes(file, "kept");
            int told = 0;
            TrashedItem seen;
            CHECK_FALSE(moveToTrash(file, nullptr, [&](const TrashedItem& at) {
                ++told;
                seen = at;
                return false;
            }));
            CHECK(told == 1);
            CHECK(readBytes(file) == "kept");
            CHECK_FALSE(exists(seen.item));
            CHECK_FALSE(exists(seen.info));
            CHECK(lastError() == EIO);
            const std::string reason = u8(lastErrorText());
            CHECK(reason.find("journal d'annulation") != std::string::npos);
            CHECK(reason.find(u8(file)) != std::string::npos);
        }
    }
}

TEST_CASE("a folder is made one level at a time") {
    const Path folder = freshFolder("mkdir");
    const Path one = join(folder, u"one");
    REQUIRE(createDirectory(one));
    CHECK(bool(getFileAttributes(one) & FileAttributeDirectory));
    CHECK_FALSE(createDirectory(one));
    CHECK_FALSE(createDirectory(join(join(folder, u"a"), u"b")));
    CHECK(lastErrorIsNotFound());
    CHECK(createDirectory(join(one, u"été")));
    CHECK(entries(one) == std::vector<std::string>{"été"});
}

#ifdef _WIN32
#include <windows.h>

// A drive the shell would empty for good rather than recycle: the check script maps one under
// Wine and names it in ORDALIX_TEST_REMOVABLE ("R:\"), so no real drive is ever written to.
TEST_CASE("an item on a drive without a recycle bin stays where it was") {
    const char* drive = std::getenv("ORDALIX_TEST_REMOVABLE");
    if (!drive || ::GetDriveTypeW(std::wstring(drive, drive + std::strlen(drive)).c_str()) !=
                      DRIVE_REMOVABLE) {
        MESSAGE("no removable test drive: skipped");
        return;
    }
    const Path file =
        u16(drive) + u"ordalix-recycle-" + u16(std::to_string(::GetCurrentProcessId())) + u".txt";
    writeBytes(file, "keep me");
    CHECK_FALSE(moveToTrash(file, nullptr));
    CHECK(u8(lastErrorText()).find("corbeille") != std::string::npos);
    ShellFileOperation remove;
    remove.function = FoDelete;
    remove.from = file;
    remove.flags = FofSilent | FofNoConfirmation | FofAllowUndo;
    CHECK(shellFileOperation(remove) != 0);
    CHECK(readBytes(file) == "keep me");
    ::DeleteFileW(std::wstring(file.begin(), file.end()).c_str());
}
#endif
