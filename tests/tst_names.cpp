// Hostile names and trees through the file run, the folder run, the flatten walk and the
// journals: nothing crashes, nothing is lost, and no name adds a line to an INI file.
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "Driver.h"
#include "TestFiles.h"
#include "TreeState.h"

namespace {

// Creates a file by its bytes, whatever they spell.
bool writeRaw(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

// Header and key lines of every journal below the root: one record each, no more.
QStringList journalLines(const QString& root, QStringList* headers) {
    QStringList keys;
    for (const QString& log : QDir(root + "/ORDALIX_DRIVER_LOG").entryList(QDir::Files)) {
        const QByteArray content = TestFiles::read(root + "/ORDALIX_DRIVER_LOG/" + log);
        for (QByteArray line : content.split('\n')) {
            line = line.trimmed();
            if (line.startsWith('['))
                headers->append(log + ": " + QString::fromUtf8(line));
            else if (!line.isEmpty())
                keys.append(log + ": " + QString::fromUtf8(line));
        }
    }
    return keys;
}

} // namespace

class TestNames : public QObject {
    Q_OBJECT
private slots:
    void hostileNames_data();
    void hostileNames();
    void longPathsAndDeepTrees_data();
    void longPathsAndDeepTrees();
    void fileBeingWrittenStays();
};

void TestNames::hostileNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("op");
    const QList<QPair<const char*, QByteArray>> names{
        {"percent", "100% sur.txt"},
        {"format", "%s%d%n%x.txt"},
        {"quotes", "\"dit\" 'il'.txt"},
        {"brackets", "[photo] 1.txt"},
        {"equals", "a=b.txt"},
        {"semicolon", ";comment.txt"},
        {"backslash", "back\\slash.txt"},
        {"line break", "deux\nlignes\r\n[injecte]\nk=v.txt"},
        {"tab", "tab\tulation.txt"},
        {"leading space", " espace.txt"},
        {"leading dash", "-rf.txt"},
        {"outside the BMP", "\xF0\x9F\x98\x80 \xF0\x9D\x84\x9E.txt"},
        {"255 bytes", QByteArray(251, 'n') + ".txt"},
        {"not UTF-8", "mauvais\xFF\xFE.txt"},
    };
    for (const auto& [label, name] : names) {
        for (const char* op : {"sortfiles", "sortfolders", "flatten"})
            QTest::addRow("%s, %s", label, op) << name << QString(op);
    }
}

void TestNames::hostileNames() {
    QFETCH(QByteArray, name);
    QFETCH(QString, op);
    QTemporaryDir base(QDir::tempPath() + "/names-XXXXXX");
    const QByteArray root = QFile::encodeName(base.filePath("root"));
    const QByteArray content = "content of " + name;
    QVERIFY(QDir().mkpath(QFile::decodeName(root)));
    QByteArray path;
    if (op == "sortfiles") {
        path = root + "/" + name;
    } else if (op == "sortfolders") {
        QVERIFY(::mkdir(root + "/" + name, 0755) == 0);
        path = root + "/" + name + "/inside.txt";
    } else {
        QVERIFY(::mkdir(root + "/sub", 0755) == 0);
        path = root + "/sub/" + name;
    }
    QVERIFY(writeRaw(path, content));
    const QByteArray original = QCryptographicHash::hash(content, QCryptographicHash::Sha256);

    const QString data = base.filePath("data");
    const Driver::Result run = Driver::run(
        {op, QFile::decodeName(root), op == "sortfolders" ? "L" : "YM"}, Driver::environment(data));
    QVERIFY2(run.exitCode == 0, qPrintable(run.output.right(800)));

    const auto now = TreeState::hashes({QFile::decodeName(root), data + "/Trash/files"});
    bool found = false;
    for (const QByteArray& hash : now)
        found = found || hash == original;
    QVERIFY2(found, qPrintable("lost; " + run.output.right(800)));

    // A name that is not valid UTF-8 cannot be named back: it stays, and the user is told.
    if (name.contains("\xFF")) {
        QVERIFY(QFile::exists(QFile::decodeName(path)) || ::access(path.constData(), F_OK) == 0);
        QVERIFY2(run.output.contains("MSG 4: ") || run.output.contains("MSG 0: "),
                 qPrintable(run.output.right(800)));
        return;
    }
    QStringList headers;
    const QStringList keys = journalLines(QFile::decodeName(root), &headers);
    if (op == "flatten")
        return; // the walk keeps no journal
    // Two files, each one section with one key: whatever the name holds.
    QCOMPARE(headers.size(), 2);
    QCOMPARE(keys.size(), 2);
}

void TestNames::longPathsAndDeepTrees_data() {
    QTest::addColumn<int>("depth");
    QTest::addColumn<int>("nameLength");
    QTest::newRow("200 levels deep") << 200 << 1;
    QTest::newRow("path beyond 4096 bytes") << 24 << 200;
}

void TestNames::longPathsAndDeepTrees() {
    QFETCH(int, depth);
    QFETCH(int, nameLength);
    QTemporaryDir base(QDir::tempPath() + "/deep-XXXXXX");
    const QString data = base.filePath("data");
    const QByteArray root = QFile::encodeName(base.filePath("root"));
    QVERIFY(::mkdir(root.constData(), 0755) == 0);
    // Built level by level from inside, as paths this long cannot be named whole.
    const int top = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
    int fd = ::dup(top);
    QByteArray relative;
    QSet<QByteArray> originals;
    for (int level = 0; level < depth; ++level) {
        const QByteArray name = QByteArray(nameLength, char('a' + level % 26));
        QVERIFY(::mkdirat(fd, name.constData(), 0755) == 0);
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(next >= 0);
        ::close(fd);
        fd = next;
        if (level % 8 == 7) {
            const QByteArray content = "level " + QByteArray::number(level);
            const int file = ::openat(fd, ("f" + QByteArray::number(level) + ".txt").constData(),
                                      O_WRONLY | O_CREAT, 0644);
            QVERIFY(file >= 0 && ::write(file, content.constData(), size_t(content.size())) > 0);
            ::close(file);
            originals.insert(QCryptographicHash::hash(content, QCryptographicHash::Sha256));
        }
    }
    ::close(fd);
    ::close(top);

    const Driver::Result run =
        Driver::run({"flatten", QFile::decodeName(root)}, Driver::environment(data));
    QVERIFY2(run.exitCode == 0, qPrintable(run.output.right(800)));
    const QSet<QByteArray> lost =
        TreeState::missing(originals, TreeState::hashes({QFile::decodeName(root), data}));
    QVERIFY2(lost.isEmpty(), qPrintable(run.output.right(800)));
    // Files the walk could reach came up; those past the length the system allows stay, told.
    const int up = QDir(QFile::decodeName(root)).entryList(QDir::Files).size();
    if (up < originals.size())
        QVERIFY2(run.output.contains("MSG 0: "), qPrintable(run.output.right(800)));
    QVERIFY(up > 0);
}

void TestNames::fileBeingWrittenStays() {
    QTemporaryDir base(QDir::tempPath() + "/growing-XXXXXX");
    const QString root = base.filePath("root");
    QVERIFY(TestFiles::write(root + "/download.part.bin", QByteArray(1 << 20, 'd')));
    QVERIFY(TestFiles::write(root + "/done.txt", "done"));
    // A download still arriving: appended to all along the run.
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        const int fd =
            ::open(QFile::encodeName(root + "/download.part.bin").constData(), O_WRONLY | O_APPEND);
        while (writing) {
            [[maybe_unused]] const ssize_t n = ::write(fd, "more", 4);
            ::usleep(50);
        }
        ::close(fd);
    });
    const Driver::Result run =
        Driver::run({"sortfiles", root, "Y"}, Driver::environment(base.filePath("data")));
    writing = false;
    writer.join();
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY(QFile::exists(root + "/download.part.bin")); // stays where it is
    QVERIFY(run.output.contains("MSG 4: #740: Echec copie\\n\\ndownload.part.bin"));
    const QString year = QString::number(QDate::currentDate().year());
    QVERIFY(!QFile::exists(root + "/" + year + "/download.part.bin")); // no partial copy
    QVERIFY(QFile::exists(root + "/" + year + "/done.txt"));
}

QTEST_GUILESS_MAIN(TestNames)
#include "tst_names.moc"
