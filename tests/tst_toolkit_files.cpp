#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#else
#include <windows.h>

#include "platform.h"
#include "platform_convert.h"
#endif

#include "TempVolume.h"
#include "TestFiles.h"
#include "outil32_FILE.h"

namespace {

struct timespec modifiedOf(const QString& path) {
#ifdef _WIN32
    ordalix::platform::FileStatus st;
    ordalix::platform::getLinkStatus(ordalix::toPlatformPath(path), st);
    return {static_cast<time_t>(st.lastWriteTime.secondsSinceEpoch),
            static_cast<long>(st.lastWriteTime.nanoseconds)};
#else
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mtim;
#endif
}

#ifndef _WIN32
mode_t modeOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}
#endif

// Each entry of a tree (the top one too) with what it holds: a file's bytes, a link's target or
// a folder's mark, then its last-write time. Two equal maps are one tree, byte for byte.
QMap<QString, QByteArray> treeOf(const QString& top) {
    QMap<QString, QByteArray> tree;
    const auto add = [&](const QString& entry) {
        const QFileInfo info(entry);
        QByteArray held = info.isSymLink() ? "-> " + QFile::encodeName(info.symLinkTarget())
                          : info.isDir()   ? QByteArray("dossier")
                                           : TestFiles::read(entry);
        const struct timespec time = modifiedOf(entry);
        held += ' ' + QByteArray::number(qint64(time.tv_sec)) + '.' +
                QByteArray::number(qint64(time.tv_nsec));
        tree.insert(QDir(top).relativeFilePath(entry), held);
    };
    add(top);
    QDirIterator below(top, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (below.hasNext())
        add(below.next());
    return tree;
}

// Entries of a folder that a failed or finished operation must not leave behind.
QStringList leftovers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".ordalix-tmp-*")},
                                  QDir::AllEntries | QDir::Hidden | QDir::System);
}

} // namespace

class TestToolkitFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void copyReplacesAndKeepsTimeAndMode();
    void copyOntoItselfFails_data();
    void copyOntoItselfFails();
    void copyFailureKeepsDestination();
    void copyRefusalsSayWhyInFrench_data();
    void copyRefusalsSayWhyInFrench();
    void moveReplace();
    void moveReplaceRefusals();
    void shellMoveFolderTree();
    void shellMoveNeverMerges();
    void shellMoveToAnotherVolumeRefused_data();
    void shellMoveToAnotherVolumeRefused();
    void recycleIntoTrash_data();
    void recycleIntoTrash();
    void recycleFolder();
    void recycleRefusedLeavesItem();
    void timeStamp();
    void dateString();
    void countFiles();

private:
    // Paths in the system's form, as the program's own are.
    QString path(const QString& name) const { return TestFiles::native(m_dir->filePath(name)); }
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_cleanup;
};

void TestToolkitFiles::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestToolkitFiles::cleanup() {
    for (const QString& p : std::as_const(m_cleanup))
        QDir(p).removeRecursively();
    m_cleanup.clear();
    m_dir.reset();
}

void TestToolkitFiles::copyReplacesAndKeepsTimeAndMode() {
    const QString source = path("source.txt");
    const QString target = path("sub/target.txt");
    QVERIFY(TestFiles::write(source, "new contents"));
    QVERIFY(TestFiles::write(target, "old contents that are longer"));
#ifndef _WIN32
    QVERIFY(::chmod(QFile::encodeName(source).constData(), 0640) == 0);
#endif
    // Windows keeps times to the 100 ns.
    QVERIFY(TestFiles::setModified(source, QDateTime(QDate(2021, 3, 5), QTime(14, 30)), 123456700));

    QVERIFY(FileCopy(source, target));
    QCOMPARE(TestFiles::read(target), QByteArray("new contents"));
    QCOMPARE(TestFiles::read(source), QByteArray("new contents"));
    QCOMPARE(modifiedOf(target).tv_sec, modifiedOf(source).tv_sec);
    QCOMPARE(modifiedOf(target).tv_nsec, 123456700L);
#ifndef _WIN32
    QCOMPARE(modeOf(target), mode_t(0640)); // permission bits are POSIX's
#endif
    QVERIFY(leftovers(path("sub")).isEmpty());

    // A new destination is made too.
    QVERIFY(FileCopy(source, path("sub/fresh.txt")));
    QCOMPARE(TestFiles::read(path("sub/fresh.txt")), QByteArray("new contents"));
}

void TestToolkitFiles::copyOntoItselfFails_data() {
    QTest::addColumn<QString>("spelling");
    QTest::newRow("same path") << "file.txt";
    QTest::newRow("dotted path") << "./sub/../file.txt";
    QTest::newRow("symbolic link") << "link.txt";
    QTest::newRow("hard link") << "hard.txt";
}

void TestToolkitFiles::copyOntoItselfFails() {
    QFETCH(QString, spelling);
    const QString file = path("file.txt");
    QVERIFY(TestFiles::write(file, "precious"));
    QVERIFY(QDir().mkpath(path("sub")));
    const bool linked = TestFiles::link(file, path("link.txt"));
    if (spelling == "link.txt" && !linked)
        QSKIP("no symbolic link can be made here");
    std::error_code error;
    std::filesystem::create_hard_link(file.toStdWString(), path("hard.txt").toStdWString(), error);
    QVERIFY(!error);

    QVERIFY(!FileCopy(file, m_dir->path() + "/" + spelling));
    QCOMPARE(TestFiles::read(file), QByteArray("precious"));
    QVERIFY(!linked || QFileInfo(path("link.txt")).isSymLink());
    QVERIFY(leftovers(m_dir->path()).isEmpty());
}

void TestToolkitFiles::copyFailureKeepsDestination() {
    // A read-only destination folder: the copy fails and the old file stays as it was.
    const QString source = path("source.txt");
    const QString folder = path("locked");
    QVERIFY(TestFiles::write(source, "new"));
    QVERIFY(TestFiles::write(folder + "/target.txt", "old"));
#ifdef _WIN32
    // Windows' counterpart: a read-only file, which nobody may replace.
    const std::wstring target = TestFiles::native(folder + "/target.txt").toStdWString();
    QVERIFY(::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    const bool copied = FileCopy(source, folder + "/target.txt");
    const QString reason = LastFileErrorText();
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    QVERIFY(!copied);
    QCOMPARE(TestFiles::read(folder + "/target.txt"), QByteArray("old"));
    QVERIFY(leftovers(folder).isEmpty());
    QCOMPARE(reason, QStringLiteral("permission refusée"));
#else
    if (TestFiles::run("mount", {"--bind", folder, folder}) != 0)
        QSKIP("bind mounts are not permitted here");
    const bool readOnly = TestFiles::run("mount", {"-o", "remount,bind,ro", folder}) == 0;
    const bool copied = FileCopy(source, folder + "/target.txt");
    const QByteArray kept = TestFiles::read(folder + "/target.txt");
    const QStringList left = leftovers(folder);
    TestFiles::run("umount", {folder});
    QVERIFY(readOnly);
    QVERIFY(!copied);
    QCOMPARE(kept, QByteArray("old"));
    QVERIFY(left.isEmpty());
    QVERIFY(!LastFileErrorText().isEmpty());
#endif
}

void TestToolkitFiles::copyRefusalsSayWhyInFrench_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("reason"); // the system's, in French whatever its language
    QTest::newRow("a folder") << "folder"
                              << "copy"
                              << "c'est un dossier";
    QTest::newRow("onto a folder") << "file.txt"
                                   << "folder"
                                   << "c'est un dossier";
    QTest::newRow("a missing file") << "missing.txt"
                                    << "copy"
                                    << "fichier ou dossier introuvable";
    QTest::newRow("into a missing folder") << "file.txt"
                                           << "missing/copy"
                                           << "fichier ou dossier introuvable";
    QTest::newRow("below a file") << "file.txt"
                                  << "file.txt/copy"
                                  << "ce n'est pas un dossier";
}

void TestToolkitFiles::copyRefusalsSayWhyInFrench() {
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, reason);
    QVERIFY(QDir().mkpath(path("folder")));
    QVERIFY(TestFiles::write(path("file.txt"), "data"));
    // Every entry as it was; the folder's own time may show a copy begun and taken back.
    const auto entries = [this] {
        auto tree = treeOf(m_dir->path());
        tree.remove(".");
        return tree;
    };
    const auto before = entries();
    QVERIFY(!FileCopy(path(source), path(destination)));
    QCOMPARE(LastFileErrorText(), reason);
    QCOMPARE(entries(), before);
}

void TestToolkitFiles::moveReplace() {
    QVERIFY(TestFiles::write(path("a.txt"), "A"));
    QVERIFY(TestFiles::write(path("b.txt"), "B"));
    QVERIFY(FileMoveReplace(path("a.txt"), path("b.txt")));
    QVERIFY(!QFileInfo::exists(path("a.txt")));
    QCOMPARE(TestFiles::read(path("b.txt")), QByteArray("A"));
    // A file moved onto its own path stays as it is.
    QVERIFY(FileMoveReplace(path("b.txt"), path("b.txt")));
    QCOMPARE(TestFiles::read(path("b.txt")), QByteArray("A"));
}

void TestToolkitFiles::moveReplaceRefusals() {
    QVERIFY(TestFiles::write(path("a.txt"), "A"));
    QVERIFY(QDir().mkpath(path("folder/inner")));
    QVERIFY(!FileMoveReplace(path("a.txt"), path("folder")));
    QVERIFY(!FileMoveReplace(path("folder"), path("elsewhere")));
    QVERIFY(!FileMoveReplace(path("missing"), path("b.txt")));
    QCOMPARE(TestFiles::read(path("a.txt")), QByteArray("A"));
    QVERIFY(QFileInfo(path("folder/inner")).isDir());

    TempVolume other;
    if (!other.mounted())
        QSKIP("cannot mount a second file system to move to (needs root)");
    const QString target = other.filePath("ordalix-test-move.txt");
    QVERIFY(!FileMoveReplace(path("a.txt"), target));
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(TestFiles::read(path("a.txt")), QByteArray("A"));
}

void TestToolkitFiles::shellMoveFolderTree() {
    QVERIFY(TestFiles::write(path("Vacances/a.jpg"), "a"));
    QVERIFY(TestFiles::write(path("Vacances/deep/b.jpg"), "b"));
    QVERIFY(TestFiles::write(path("Vacances/.hidden"), "h"));
    QVERIFY(QDir().mkpath(path("V")));
    // Two delimiters in a row, as the first-letter destination gives.
    QVERIFY(ShellMove(path("Vacances"), path("V") + "//Vacances"));
    QVERIFY(!QFileInfo::exists(path("Vacances")));
    QCOMPARE(TestFiles::read(path("V/Vacances/deep/b.jpg")), QByteArray("b"));
    QCOMPARE(TestFiles::read(path("V/Vacances/.hidden")), QByteArray("h"));
    // A single file too.
    QVERIFY(TestFiles::write(path("one.txt"), "1"));
    QVERIFY(ShellMove(path("one.txt"), path("V/one.txt")));
    QCOMPARE(TestFiles::read(path("V/one.txt")), QByteArray("1"));
}

void TestToolkitFiles::shellMoveNeverMerges() {
    QVERIFY(TestFiles::write(path("src/a.txt"), "new"));
    QVERIFY(TestFiles::write(path("dst/src/a.txt"), "old"));
    QVERIFY(TestFiles::write(path("file.txt"), "new"));
    QVERIFY(TestFiles::write(path("dst/file.txt"), "old"));

    QVERIFY(!ShellMove(path("src"), path("dst/src")));
    QVERIFY(!ShellMove(path("file.txt"), path("dst/file.txt")));
    QCOMPARE(TestFiles::read(path("src/a.txt")), QByteArray("new"));
    QCOMPARE(TestFiles::read(path("dst/src/a.txt")), QByteArray("old"));
    QCOMPARE(TestFiles::read(path("file.txt")), QByteArray("new"));
    QCOMPARE(TestFiles::read(path("dst/file.txt")), QByteArray("old"));
    QVERIFY(!ShellMove(path("missing"), path("dst/missing")));
}

void TestToolkitFiles::shellMoveToAnotherVolumeRefused_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("throughLink"); // the destination's folder is a link to the volume
    QTest::newRow("folder onto a mount") << "tree" << false;
    QTest::newRow("folder through a link") << "tree" << true;
    QTest::newRow("file onto a mount") << "single.txt" << false;
}

// A move to another volume would be a copy and then a removal of the source for good (with
// whatever was written into it meanwhile), and the undo could not find it: it is refused before
// anything is copied, also when only a link leads there.
void TestToolkitFiles::shellMoveToAnotherVolumeRefused() {
    QFETCH(QString, item);
    QFETCH(bool, throughLink);
    TempVolume other;
    if (!other.mounted())
        QSKIP("cannot mount a second file system to move to (needs root)");
    QVERIFY(TestFiles::write(path("tree/a.txt"), "a"));
    QVERIFY(TestFiles::write(path("tree/sub/b.txt"), "b"));
    QVERIFY(QFile::link("a.txt", path("tree/link")));
    QVERIFY(QDir().mkpath(path("tree/vide")));
    QVERIFY(TestFiles::write(path("single.txt"), "s"));
    QString destination = other.filePath(item);
    if (throughLink) {
        QVERIFY(QFile::link(other.path(), path("ailleurs")));
        destination = path("ailleurs/" + item);
    }
    const QString source = path(item);
    const QMap<QString, QByteArray> before = treeOf(source);

    QVERIFY(!ShellMove(source, destination));
    QCOMPARE(treeOf(source), before);
    QCOMPARE(TestFiles::entries(other.path()), QStringList{});
    const QString reason = LastFileErrorText();
    QVERIFY2(reason.contains("même volume") && reason.contains(source), qPrintable(reason));
}

void TestToolkitFiles::recycleIntoTrash_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "photo.jpg";
    QTest::newRow("percent") << "100% 50%20.txt";
    QTest::newRow("line break") << "two\nlines.txt";
    QTest::newRow("brackets and quotes") << "[x] \"y\" = ;z.txt";
    QTest::newRow("outside the BMP") << QString::fromUtf8("emoji \xF0\x9F\x98\x80.txt");
    // Its info file could not be named after it whole: both are cut, between characters.
    QTest::newRow("name too long for its info file") << QString(125, QChar(0xE9)) + ".txt";
}

void TestToolkitFiles::recycleIntoTrash() {
    QFETCH(QString, name);
#ifdef _WIN32
    if (name.contains('\n') || name.contains('"'))
        QSKIP("a Windows name holds no line break and no double quote");
    if (name.size() > 100 && TestFiles::underWine())
        QSKIP("Wine's recycle bin keeps an item under its own name, which the Linux file system "
              "refuses past 255 bytes");
#endif
    const QString file = path(name);
    QVERIFY(TestFiles::write(file, "trash me"));
    QVERIFY2(RecycleFile(file), qPrintable(LastFileErrorText()));
    QVERIFY(!QFileInfo::exists(file));

    // The trash holds the file and an info file that names where it came from.
    const QString trash = TestFiles::trashFolder();
    bool found = false;
    for (const QString& info : QDir(trash + "/info").entryList({"*.trashinfo"}, QDir::Files)) {
        const QByteArray encoded = TestFiles::read(trash + "/info/" + info);
        const qsizetype at = encoded.indexOf("Path=");
        QVERIFY(at >= 0);
        const QByteArray line = encoded.mid(at + 5, encoded.indexOf('\n', at) - at - 5);
        QVERIFY2(!line.contains('\n') && !line.contains(' '), line.constData());
#ifdef _WIN32
        if (!TestFiles::trashInfoNames(encoded, file))
            continue;
#else
        if (QUrl::fromPercentEncoding(line) != file)
            continue;
#endif
        found = true;
        const QString stored = trash + "/files/" + info.chopped(int(strlen(".trashinfo")));
        QCOMPARE(TestFiles::read(stored), QByteArray("trash me"));
        QFile::remove(stored);
        QFile::remove(trash + "/info/" + info);
    }
    QVERIFY(found);
}

void TestToolkitFiles::recycleFolder() {
    QVERIFY(TestFiles::write(path("folder/inside.txt"), "in"));
    QVERIFY2(RecycleFile(path("folder")), qPrintable(LastFileErrorText()));
    QVERIFY(!QFileInfo::exists(path("folder")));
    QVERIFY(!RecycleFile(path("missing")));
}

void TestToolkitFiles::recycleRefusedLeavesItem() {
    // A read-only volume has no trash to offer: the item stays whole, and the reason names the
    // volume's trash folder that could not be made.
    TempVolume volume;
    if (!volume.mounted())
        QSKIP("cannot mount a file system of our own (needs root)");
    const QString file = volume.filePath("keep.txt");
    QVERIFY(TestFiles::write(file, "keep"));
    QVERIFY(volume.remount("ro"));
    QVERIFY(!RecycleFile(file));
    QCOMPARE(TestFiles::read(file), QByteArray("keep"));
    QVERIFY2(LastFileErrorText().contains(volume.path()), qPrintable(LastFileErrorText()));
    QVERIFY(TestFiles::entries(volume.path()) == QStringList{"keep.txt"});
}

void TestToolkitFiles::timeStamp() {
    const QDateTime when(QDate(2021, 3, 5), QTime(14, 30, 15, 250));
    QVERIFY(TestFiles::write(path("folder/file.txt")));
    QVERIFY(TestFiles::setModified(path("folder/file.txt"), when.addSecs(-3600 * 24), 0));
    QVERIFY(TestFiles::setModified(path("folder"), when, 250000000));

    QCOMPARE(FileTimeStamp(path("folder")).toDateTime(), when);
    QCOMPARE(FileTimeStamp(path("folder/file.txt")).toDateTime(), when.addDays(-1).addMSecs(-250));
    QCOMPARE(FileTimeStamp(path("folder/*.txt")).toDateTime(), when.addDays(-1).addMSecs(-250));
    QCOMPARE(FileTimeStamp(path("folder") + "/").days, 0.0);
    QCOMPARE(FileTimeStamp(path("missing")).days, 0.0);
    QVERIFY(FileTimeStamp(path("missing")).year() < 1900);
}

void TestToolkitFiles::dateString() {
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    QVERIFY(TestFiles::write(path("file.txt")));
    QVERIFY(TestFiles::setModified(path("file.txt"), QDateTime(QDate(2021, 3, 5), QTime(9, 0))));
    // A link's date is its file's.
    if (TestFiles::link(path("file.txt"), path("link.txt"))) {
        QVERIFY(
            TestFiles::setModified(path("link.txt"), QDateTime(QDate(2010, 1, 1), QTime(9, 0))));
        QCOMPARE(FileDateStr(path("link.txt")), QStringLiteral("05/03/2021"));
    }
    QCOMPARE(FileDateStr(path("file.txt")), QStringLiteral("05/03/2021"));
    QCOMPARE(FileDateStr(m_dir->path()), QString());
    QCOMPARE(FileDateStr(path("missing")), QString());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(FileDateStr(path("file.txt")), QStringLiteral("3/5/21"));
    QLocale::setDefault(QLocale::c());
}

void TestToolkitFiles::countFiles() {
    QVERIFY(TestFiles::write(path("root/a.txt")));
    QVERIFY(TestFiles::write(path("root/noext")));
    QVERIFY(TestFiles::write(path("root/.hidden")));
    QVERIFY(TestFiles::hide(path("root/.hidden")));
    QVERIFY(TestFiles::write(path("root/sub/deeper.txt")));
    // A link to a file counts as one; a link to a folder is not entered.
    const bool linked = TestFiles::link(path("root/sub"), path("root/linked-folder")) &&
                        TestFiles::link(path("root/a.txt"), path("root/linked-file"));
    const int all = linked ? 4 : 3;

    QCOMPARE(CountFiles(path("root"), "*.*"), all);
    QCOMPARE(CountFiles(path("root") + QDir::separator(), "*.*"), all);
    QCOMPARE(CountFiles(path("root"), "*.TXT"), 1);
    QCOMPARE(CountFiles(path("root"), "?oext"), 1);
    QCOMPARE(CountFiles(path("missing"), "*.*"), 0);
}

QTEST_MAIN(TestToolkitFiles)
#include "tst_toolkit_files.moc"
