// Every operation that touches files, under every fault the disk and the system can throw at
// it: a full disk, a read-only file system, immutable files, another user's refusal, another
// volume and injected input/output errors. After each case, every original file must be whole
// somewhere (where it was, where it went, or in the trash), nothing half-written may show, the
// INI files must still read as INI, and a failure must have been told to the user.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "Driver.h"
#include "TempVolume.h"
#include "TestFiles.h"
#include "TreeState.h"

namespace {

QString driver() {
    return Driver::path();
}

bool quiet(const QString& program, const QStringList& arguments) {
    return TestFiles::run(program, arguments) == 0;
}

// A failure line of a file operation, an INI error, or a warning, error or plain box.
bool told(const QString& output) {
    return output.contains("FAILED: ") || output.contains("ERROR: ") ||
           output.contains("MSG 0: ") || output.contains("MSG 1: ") || output.contains("MSG 4: ");
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void matrix_data();
    void matrix();
    void cleanupTestCase();

private:
    int m_cases = 0;
    int m_skipped = 0;
};

void TestFaults::initTestCase() {
    QVERIFY(QFile::exists(driver()));
}

void TestFaults::matrix_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("fault");
    const QStringList ops{"copy", "move", "shellmove", "recycle",     "iniwrite",
                          "tidy", "sort", "sortfiles", "sortfolders", "flatten"};
    const QStringList faults{"full",       "readonly",    "immutable",
                             "permission", "othervolume", "ioerror"};
    for (const QString& op : ops) {
        for (const QString& fault : faults)
            QTest::addRow("%s under %s", qPrintable(op), qPrintable(fault)) << op << fault;
    }
}

void TestFaults::matrix() {
    QFETCH(QString, op);
    QFETCH(QString, fault);
#ifdef _WIN32
    QSKIP("the faults are made with Linux's tools: mounts, chattr, setpriv and libfiu");
#endif
    ++m_cases;
    QTemporaryDir base(QDir::tempPath() + "/faults-XXXXXX");
    QVERIFY(base.isValid());
    ::chmod(QFile::encodeName(base.path()).constData(), 0755); // another user may look in
    const QString data = base.filePath("data");
    QVERIFY(QDir().mkpath(data));
    QString root = base.filePath("root");
    QVERIFY(QDir().mkpath(root));
    QStringList mounts;
    QStringList frozen;
    std::unique_ptr<TempVolume> other;
    const auto undo = qScopeGuard([&] {
        for (const QString& path : std::as_const(frozen))
            quiet("chattr", {"-R", "-i", path});
        for (auto it = mounts.crbegin(); it != mounts.crend(); ++it)
            quiet("umount", {*it});
    });

    // Where the operation writes: beside its source, or on another volume.
    if (fault == "full") {
        const QString image = base.filePath("disk.img");
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(8 << 20))
            QSKIP("cannot make a disk image");
        file.close();
        if (!quiet("mkfs.ext4", {"-q", "-F", image}) ||
            !quiet("mount", {"-o", "loop", image, root}))
            QSKIP("cannot mount a small disk here");
        mounts.append(root);
    }
    QString dest = root + "/dest";
    if (fault == "othervolume") {
        // A tmpfs of our own: its items go to the trash at its top, never to the home trash.
        other = std::make_unique<TempVolume>();
        if (!other->mounted())
            QSKIP("cannot mount a tmpfs here");
        if (op == "copy" || op == "move" || op == "shellmove")
            dest = other->filePath("dest");
        else
            root = other->path();
    }
    QVERIFY(QDir().mkpath(dest));

    // The user's files, each with content of its own.
    constexpr int size = 64 * 1024;
    QStringList arguments{op};
    QStringList targets; // what is frozen for the immutable case
    if (op == "copy" || op == "move") {
        QVERIFY(TreeState::writeNumbered(root, "src%1.bin", 1, size));
        QVERIFY(TestFiles::write(dest + "/dst.bin", QByteArray(size, 'o')));
        arguments += {root + "/src0.bin", dest + "/dst.bin"};
        targets = {root + "/src0.bin"};
    } else if (op == "shellmove") {
        QVERIFY(TreeState::writeNumbered(root, "tree/f%1.bin", 4, size));
        arguments += {root + "/tree", dest + "/tree"};
        targets = {root + "/tree"};
    } else if (op == "recycle") {
        QVERIFY(TreeState::writeNumbered(root, "file%1.bin", 1, size));
        arguments += {root + "/file0.bin"};
        targets = {root + "/file0.bin"};
    } else if (op == "iniwrite" || op == "tidy" || op == "sort") {
        QByteArray ini;
        for (int i = 9; i >= 0; --i)
            ini += "[photo" + QByteArray::number(i) + "]\r\n01/01/2026=" + QByteArray(200, 'v') +
                   "\r\n";
        QVERIFY(TestFiles::write(root + "/journal.ini", ini));
        arguments += {root + "/journal.ini"};
        if (op == "iniwrite")
            arguments += {"photo99", "key", QString(3000, 'w')};
        targets = {root + "/journal.ini"};
    } else if (op == "sortfiles") {
        QVERIFY(TreeState::writeNumbered(root, "photo%1.jpg", 12, size));
        arguments += {root, "YM"};
        targets = {root};
    } else if (op == "sortfolders") {
        QVERIFY(TreeState::writeNumbered(root, "Dossier%1/inside.bin", 6, size));
        arguments += {root, "L"};
        targets = {root};
    } else if (op == "flatten") {
        QVERIFY(TreeState::writeNumbered(root, "sub%1/deeper/file%1.bin", 8, size));
        QVERIFY(TestFiles::write(root + "/file3.bin", "replaced by the one from below"));
        arguments += {root};
        targets = {root};
    }
    const QByteArray iniBefore = TestFiles::read(root + "/journal.ini");
    // The user's files. A copy or a move replaces its destination on purpose (its callers send
    // a different file there to the trash first): that one may go, but nothing may be cut.
    QSet<QByteArray> originals;
    QSet<QByteArray> replaceable;
    const auto before = TreeState::hashes({root, dest});
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        (it.key() == dest + "/dst.bin" ? replaceable : originals).insert(it.value());

    if (fault == "full") {
        // Leave a few blocks: enough to start, not enough to finish.
        QFile filler(root + "/.filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        filler.resize(filler.size() - 3 * 4096);
    } else if (fault == "readonly") {
        if (!quiet("mount", {"--bind", root, root}))
            QSKIP("bind mounts are not permitted here");
        mounts.append(root);
        QVERIFY(quiet("mount", {"-o", "remount,bind,ro", root}));
    } else if (fault == "immutable") {
        for (const QString& target : std::as_const(targets)) {
            if (!quiet("chattr", {"-R", "+i", target}))
                QSKIP("chattr +i is not available here");
            frozen.append(target);
        }
    } else if (fault == "permission") {
        QVERIFY(quiet("chown", {"-R", "65534:65534", data}));
    }

    // Run it.
    QProcessEnvironment env = Driver::environment(data);
    env.insert("HOME", data);
    env.insert("XDG_STATE_HOME", data + "/state"); // the run records, where the runner may write
    QStringList wrapper;
    if (fault == "permission") {
        wrapper = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    } else if (fault == "ioerror") {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the fault library and the address sanitizer both take over the C library");
#endif
        if (QStandardPaths::findExecutable("fiu-run").isEmpty())
            QSKIP("fiu-run is not installed");
        wrapper = {"fiu-run", "-x"};
        // Reads, writes and opens fail at random once the program is up; listings are left
        // alone, since a folder that cannot be read simply shows fewer entries to work on.
        env.insert("ORDALIX_FAULTS", "posix/io/rw/*:0.05;posix/io/oc/open:0.05");
    }
    const Driver::Result outcome = Driver::run(arguments, env, -1, wrapper);

    // What is where now, read before anything is unmounted.
    QStringList folders{root, dest, data + "/Trash/files"};
    for (const QString& trash : QDir(root).entryList({".Trash*"}, QDir::Dirs | QDir::Hidden))
        folders.append(root + "/" + trash);
    const auto now = TreeState::hashes(folders);
    QStringList badIni;
    for (const QString& file : TreeState::iniFiles(root))
        badIni += TreeState::badIniLines(file);
    const QByteArray iniAfter = TestFiles::read(root + "/journal.ini");

    const QSet<QByteArray> allowed = originals + replaceable;
    QStringList strangers = TreeState::strangers(root, allowed, now);
    if (dest != root + "/dest")
        strangers += TreeState::strangers(dest, allowed, now);
    const bool iniOp = op == "iniwrite" || op == "tidy" || op == "sort";
    const QSet<QByteArray> lost = iniOp ? QSet<QByteArray>() : TreeState::missing(originals, now);
    const QString context = QString("%1 under %2 (exit %3): %4")
                                .arg(op, fault)
                                .arg(outcome.exitCode)
                                .arg(outcome.output.right(600));
    QVERIFY2(lost.isEmpty(), qPrintable(QString::number(lost.size()) + " lost; " + context));
    if (!iniOp)
        QVERIFY2(strangers.isEmpty(), qPrintable(strangers.join(", ") + "; " + context));
    QVERIFY2(badIni.isEmpty(), qPrintable(badIni.join(" | ") + "; " + context));
    if (iniOp && iniAfter != iniBefore) {
        // Rewritten: whole, never cut (a write adds, a tidy pass reorders or spaces).
        QVERIFY2(iniAfter.size() >= iniBefore.size() - 64, qPrintable(context));
        QVERIFY2(iniAfter.contains("[photo0]") && iniAfter.contains("[photo9]"),
                 qPrintable(context));
    }

    // A move to another volume is refused before anything is copied: every file where it was,
    // nothing on the other volume, and the user told why.
    if (op == "shellmove" && fault == "othervolume") {
        QVERIFY2(outcome.exitCode != 0 && outcome.output.contains("FAILED: ") &&
                     outcome.output.contains("même volume"),
                 qPrintable(context));
        QVERIFY2(now == before, qPrintable(context));
    }

    // Whatever did not get done was told.
    bool undone = outcome.exitCode != 0;
    if (op == "sortfiles" || op == "flatten" || op == "recycle" || op == "copy" || op == "move" ||
        op == "shellmove") {
        const QStringList left = QDir(root).entryList(QDir::Files);
        undone = undone || (op == "sortfiles" && !left.filter(".jpg").isEmpty()) ||
                 (op == "flatten" && QDir(root).entryList(QDir::Files).size() < 8);
    }
    if (op == "sortfolders")
        undone = undone || !QDir(root).entryList({"Dossier*"}, QDir::Dirs).isEmpty();
    if (undone)
        QVERIFY2(told(outcome.output), qPrintable("nothing told; " + context));
}

void TestFaults::cleanupTestCase() {
    qInfo("fault-cases: %d", m_cases);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
