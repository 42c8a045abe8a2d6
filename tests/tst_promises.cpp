// The program's two promises: nothing is lost but to the trash, and every run can be taken
// back. Held here where they are hardest to keep: two runs at once, a file written to while it
// is sorted, a run record that cannot be made or fills its disk, an undo that fails halfway or
// meets a damaged record, leftovers in the trash, and links.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ProgramRun.h"
#include "RunLock.h"
#include "RunRecord.h"
#include "TempVolume.h"
#include "TestFiles.h"
#include "TrashLane.h"
#include "TreeState.h"

namespace {

using ProgramRun::Result;
using ProgramRun::stateOf;

const QDateTime kMarch5(QDate(2021, 3, 5), QTime(10, 0));

// The contents of every file below a folder, links not followed.
QSet<QByteArray> contentsBelow(const QString& root) {
    const QHash<QString, QByteArray> hashes = TreeState::hashes({root});
    return QSet<QByteArray>(hashes.cbegin(), hashes.cend());
}

// A state without the folders' time stamps: what a run must give back whatever it writes in
// the folders it leaves in place.
[[maybe_unused]] QMap<QString, QString> withoutFolderTimes(QMap<QString, QString> state) {
    for (auto it = state.begin(); it != state.end(); ++it) {
        if (it.key().endsWith(u'/'))
            it.value().clear();
    }
    return state;
}

// Files that hold their own name: wherever one ends up, it can be told.
bool writeNamed(const QString& root, const QStringList& names) {
    for (const QString& name : names) {
        if (!TestFiles::write(root + u'/' + name, name.toUtf8()))
            return false;
    }
    return true;
}

#ifndef _WIN32
bool makeLink(const QString& target, const QString& at) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

// Where a link leads, as written in it; empty when `path` is no link.
QString linkTarget(const QString& path) {
    QByteArray target(4096, '\0');
    const ssize_t n =
        ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
    return n > 0 ? QFile::decodeName(target.left(n)) : QString();
}

bool isPipe(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}
#endif

// Files sorted over a few months, so that a run by date makes several folders.
bool writeDated(const QString& root, int count) {
    if (!TreeState::writeNumbered(root, QStringLiteral("f%1.txt"), count, 64))
        return false;
    for (int i = 0; i < count; ++i) {
        if (!TestFiles::setModified(root + QStringLiteral("/f%1.txt").arg(i),
                                    kMarch5.addMonths(i % 4)))
            return false;
    }
    return true;
}

} // namespace

class TestPromises : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void twoRunsAtOnceLoseNothing();
    void runGivesUpOnAFolderHeldByAnother_data();
    void runGivesUpOnAFolderHeldByAnother();
    void laneKeepsAnOriginalChangedSinceItsCopy_data();
    void laneKeepsAnOriginalChangedSinceItsCopy();
    void fileWrittenThroughoutTheRun();
    void recordThatCannotBeMadeStopsTheRun_data();
    void recordThatCannotBeMadeStopsTheRun();
    void recordThatFillsItsDiskStopsTheRun_data();
    void recordThatFillsItsDiskStopsTheRun();
    void failedUndoStepStaysPending();
    void damagedNewestRecordIsRefused_data();
    void damagedNewestRecordIsRefused();
    void orphanInTheTrashIsLeftAlone();
    void trashingCutBeforeItsMoveIsUndone();
    void sortedFileKeptUntilTheNewCopyIsWhole_data();
    void sortedFileKeptUntilTheNewCopyIsWhole();
    void pipeAmongPhotosIsLeft();
    void folderLinksStayInAFolderSort();
    void linksStayInAFlatten();

private:
    Result run(const QStringList& arguments, int timeoutMs = 300000) const {
        return ProgramRun::run(m_program, arguments, ProgramRun::environment(m_data, m_state),
                               m_work->path(), {}, timeoutMs);
    }
    QString path(const QString& relative) const { return m_root + u'/' + relative; }
    QString trash(const QString& relative) const { return m_data + "/Trash/" + relative; }

    QTemporaryDir m_programDir;
    QString m_program;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_root;
    QString m_data;  // the trash is below it
    QString m_state; // the run records are below it
};

void TestPromises::initTestCase() {
    QVERIFY(m_programDir.isValid());
    m_program = ProgramRun::install(ORDALIX_PROGRAM, m_programDir.path());
    QVERIFY(!m_program.isEmpty());
}

void TestPromises::init() {
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_root = m_work->filePath("root");
    QVERIFY(QDir().mkpath(m_root));
    m_data = m_work->filePath("data");
    m_state = m_work->filePath("state");
    // The same for this process: the lane's trash is the test's own (on Windows, the recycle
    // bin the test program started with).
#ifdef _WIN32
    qputenv("LOCALAPPDATA", QDir::toNativeSeparators(m_state).toUtf8());
#else
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state));
#endif
}

void TestPromises::twoRunsAtOnceLoseNothing() {
    // Each round races two runs on a fresh tree: the second must wait for the first or give
    // up, never act on a listing the first one has made stale.
    // Under Wine every file step goes through its server: fewer rounds and files there.
    const int scale = TestFiles::underWine() ? 5 : 1;
    for (int round = 0; round < 20 / scale; ++round) {
        QTemporaryDir place;
        QVERIFY(place.isValid());
        const QString root = place.filePath("root");
        QVERIFY(writeDated(root, 2000 / scale));
        const QSet<QByteArray> originals = contentsBelow(root);
        QProcess runs[2];
        for (QProcess& process : runs) {
            process.setProcessEnvironment(
                ProgramRun::environment(place.filePath("data"), place.filePath("state")));
            process.start(m_program, {"-f", "-c", "AM", root});
        }
        for (QProcess& process : runs) {
            QVERIFY(process.waitForFinished(120000));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            const QString err = QString::fromUtf8(process.readAllStandardError());
            QVERIFY2(process.exitCode() == 0 ||
                         (process.exitCode() == 1 && err.contains("Un autre rangement")),
                     qPrintable(QString("round %1, status %2: %3")
                                    .arg(round)
                                    .arg(process.exitCode())
                                    .arg(err.left(2000))));
        }
        // Every original once below the folder: none left in the trash alone, none twice.
        QHash<QByteArray, int> found;
        for (const QByteArray& hash : TreeState::hashes({root}))
            ++found[hash];
        int wrong = 0;
        for (const QByteArray& original : originals)
            wrong += found.value(original) != 1;
        QVERIFY2(wrong == 0, qPrintable(QString("round %1: %2 of %3 files not found once")
                                            .arg(round)
                                            .arg(wrong)
                                            .arg(originals.size())));
    }
}

void TestPromises::runGivesUpOnAFolderHeldByAnother_data() {
    QTest::addColumn<QStringList>("arguments"); // {folder} is held, {parent} holds it
    QTest::newRow("files") << QStringList{"-f", "-c", "L", "{folder}"};
    QTest::newRow("folders") << QStringList{"-d", "-c", "L", "{folder}"};
    QTest::newRow("flatten of a tree that holds it") << QStringList{"-a", "{parent}"};
    QTest::newRow("flatten of a tree in it") << QStringList{"-a", "{folder}/child"};
    QTest::newRow("undo of a run made in it") << QStringList{"--annuler"};
}

void TestPromises::runGivesUpOnAFolderHeldByAnother() {
    QFETCH(QStringList, arguments);
    const QString folder = path("folder");
    QVERIFY(writeNamed(m_root, QStringList{"top.txt", "folder/a.txt", "folder/b.txt",
                                           "folder/child/c.txt", "folder/child/deep/d.txt"}));
    if (arguments.contains("--annuler")) {
        SKIP_UNDO_ON_WINDOWS();
        QCOMPARE(run({"-f", "-c", "L", folder}).status, 0);
    }
    arguments.replaceInStrings("{folder}", folder).replaceInStrings("{parent}", m_root);
    const QMap<QString, QString> before = stateOf(m_root);

    // Another run, in this process: the lock is the system's, the program meets it.
    auto other = std::make_unique<undo::RunLock>(folder);
    QVERIFY(other->taken());
    const Result refused = run(arguments);
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("Un autre rangement"), qPrintable(refused.err));
    QCOMPARE(stateOf(m_root), before);
    // It waited for the other run to end before it gave up.
    QVERIFY2(refused.elapsedMs >= 1000 && refused.elapsedMs < 30000,
             qPrintable(QString::number(refused.elapsedMs)));

    other.reset();
    const Result done = run(arguments);
    QCOMPARE(done.status, 0);
    QVERIFY(stateOf(m_root) != before);
}

void TestPromises::laneKeepsAnOriginalChangedSinceItsCopy_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArray>("content"); // the original's, after the change
    QTest::newRow("unchanged") << "" << QByteArray("v1");
    QTest::newRow("written to") << "append" << QByteArray("v1 v2");
    // An editor's save: another file of the same size takes the name.
    QTest::newRow("saved over") << "replace" << QByteArray("v2");
}

void TestPromises::laneKeepsAnOriginalChangedSinceItsCopy() {
    QFETCH(QString, change);
    QFETCH(QByteArray, content);
    const QString original = path("note.txt");
    const QString copy = path("n/note.txt");
    QVERIFY(TestFiles::write(original, "v1"));
    const FileSnapshot source = SnapshotFile(original);
    QVERIFY(TestFiles::write(copy, "v1"));
    const FileSnapshot copied = SnapshotFile(copy);
    if (change == "append") {
        QFile file(original);
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write(" v2"), 3);
    } else if (change == "replace") {
        // Saved over, as an editor saves: a new file renamed over the old one.
        QVERIFY(TestFiles::write(path("note.tmp"), content));
        std::error_code error;
        std::filesystem::rename(path("note.tmp").toStdWString(), original.toStdWString(), error);
        QVERIFY(!error);
    }

    sorting::TrashLane lane({});
    lane.send(original, path("n"), copy, source, copied);
    lane.finish();
    const QList<sorting::TrashLane::Outcome> outcomes = lane.takeOutcomes();
    QCOMPARE(outcomes.size(), 1);
    const sorting::TrashLane::Outcome& outcome = outcomes.first();
    if (change.isEmpty()) {
        QVERIFY2(outcome.trashed, qPrintable(outcome.reason));
        QVERIFY(!outcome.changed);
        QVERIFY(!QFileInfo::exists(original));
        QCOMPARE(TestFiles::read(copy), content);
        // This process's trash: the test's own, or on Windows the test program's recycle bin.
        QCOMPARE(TestFiles::trashedContents(original), QList<QByteArray>{content});
        return;
    }
    QVERIFY(!outcome.trashed);
    QVERIFY(outcome.changed);
    QVERIFY2(outcome.reason.contains("modifié pendant le rangement"), qPrintable(outcome.reason));
    QCOMPARE(TestFiles::read(original), content);
    QVERIFY(!QFileInfo::exists(copy));
#ifdef _WIN32
    QCOMPARE(TestFiles::trashedContents(original), QList<QByteArray>{});
#else
    QCOMPARE(TestFiles::entries(trash("files")), QStringList{});
#endif
}

void TestPromises::fileWrittenThroughoutTheRun() {
    // A log written to the whole time: any write may come between its copy and the trash, or
    // while the run looks at it. Ten runs, each on a fresh folder, meet it at different moments.
    const int scale = TestFiles::underWine() ? 5 : 1; // as above
    const int files = 300 / scale;
    for (int round = 0; round < 10 / scale; ++round) {
        if (round > 0)
            init();
        const QString at = QString("round %1: ").arg(round);
        QVERIFY(TreeState::writeNumbered(m_root, "f%1.txt", files, 64));
        QVERIFY(TestFiles::write(path("log.txt"), "début\n"));
#ifdef _WIN32
        // No shell to loop in: a thread appends a line at a time, opening the log each time.
        std::atomic<bool> writing{true};
        std::thread writer([&, log = path("log.txt")] {
            while (writing) {
                QFile file(log);
                if (file.open(QIODevice::Append))
                    file.write("ligne\n");
            }
        });
        const auto stopWriting = [&] {
            writing = false;
            if (writer.joinable())
                writer.join();
        };
#else
        QProcess writer;
        writer.setWorkingDirectory(m_root);
        writer.start("sh", {"-c", "while :; do echo ligne >> log.txt; done"});
        QVERIFY(writer.waitForStarted());
        const auto stopWriting = [&] {
            writer.kill();
            writer.waitForFinished();
        };
#endif
        const auto stopWriter = qScopeGuard(stopWriting);

        const Result result = run({"-f", "-c", "AM", m_root});
        stopWriting();
        QVERIFY2(result.status == 0 || result.status == 1,
                 qPrintable(at + QString("status %1, killed by signal %2: %3")
                                     .arg(result.status)
                                     .arg(result.signal)
                                     .arg(result.err.left(2000))));
        // The others always; the log too when the run met it between two writes.
        const bool logSorted =
            result.out.contains(QString("%1 fichier(s) rangé(s)").arg(files + 1));
        QVERIFY2(logSorted || result.out.contains(QString("%1 fichier(s) rangé(s)").arg(files)),
                 qPrintable(at + result.out));
        QVERIFY(QFileInfo::exists(path("log.txt")));
        QStringList copies;
        QDirIterator it(m_root, {"log*"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString found = it.next();
            if (found != path("log.txt"))
                copies.append(found);
        }
        const QStringList trashed =
            TestFiles::entries(trash("files")).filter(QRegularExpression("^log"));
        if (!copies.isEmpty() && !logSorted) {
            // Written to until it reached the trash, while the writer began a new log.txt under
            // its name: it stays in the trash, beside its older copy, and is named so. Nothing of
            // it is lost: the copy is the start of what the trash holds.
            QCOMPARE(copies.size(), 1);
            QCOMPARE(trashed.size(), 1);
            QVERIFY2(result.err.contains("son nom a été repris entre-temps"),
                     qPrintable(at + result.err));
            QVERIFY(TestFiles::read(trash("files/" + trashed.first()))
                        .startsWith(TestFiles::read(copies.first())));
            continue;
        }
        if (copies.isEmpty()) {
            // Left in its place, named, and nothing of it in the trash.
            QVERIFY2(trashed.isEmpty(), qPrintable(at + trashed.join(", ")));
            QCOMPARE(result.status, 1);
            const QString line = "laissé en place : " + TestFiles::native(path("log.txt")) + " (";
            const qsizetype named = result.err.indexOf(line);
            QVERIFY2(named >= 0, qPrintable(at + result.err));
            const QString reason = result.err.mid(named + line.size()).section('\n', 0, 0);
            QVERIFY2(reason.startsWith("modifié pendant le rangement") ||
                         reason.startsWith("en cours d'écriture"), // caught open for writing
                     qPrintable(at + reason));
            continue;
        }
        // Caught between two writes: sorted whole, and the writer began a new log.txt. The
        // trash holds the very file that was copied, never a newer one.
        QCOMPARE(copies.size(), 1);
        QCOMPARE(trashed.size(), 1);
        QCOMPARE(TestFiles::read(trash("files/" + trashed.first())),
                 TestFiles::read(copies.first()));
    }
}

void TestPromises::recordThatCannotBeMadeStopsTheRun_data() {
    QTest::addColumn<QString>("stateFolder");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("notStarted");
    for (const char* stateFolder : {"immutable", "under a file"}) {
        const QString row = QString(" (%1)").arg(stateFolder);
        QTest::newRow(qPrintable("files" + row))
            << stateFolder << QStringList{"-f", "-c", "AM"} << "Le rangement n'a pas commencé";
        QTest::newRow(qPrintable("folders" + row))
            << stateFolder << QStringList{"-d", "-c", "L"} << "Le rangement n'a pas commencé";
        QTest::newRow(qPrintable("flatten" + row))
            << stateFolder << QStringList{"-a"} << "L'extraction n'a pas commencé";
    }
}

void TestPromises::recordThatCannotBeMadeStopsTheRun() {
    QFETCH(QString, stateFolder);
    QFETCH(QStringList, arguments);
    QFETCH(QString, notStarted);
    QVERIFY(
        writeNamed(m_root, QStringList{"a.txt", "b.jpg", "Voyage/plage.jpg", "Voyage/sub/v.txt"}));
    const auto release = qScopeGuard([&] { TestFiles::run("chattr", {"-i", m_state}); });
    if (stateFolder == "immutable") {
        QVERIFY(QDir().mkpath(m_state));
        if (TestFiles::run("chattr", {"+i", m_state}) != 0)
            QSKIP("chattr +i is not available here");
    } else {
        QVERIFY(TestFiles::write(m_work->filePath("file")));
        m_state = m_work->filePath("file/state");
    }
    const QMap<QString, QString> before = stateOf(m_root);

    const Result result = run(arguments << m_root);
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.contains("Le journal d'annulation") && result.err.contains(notStarted),
             qPrintable(result.err));
    QCOMPARE(stateOf(m_root), before);
    QCOMPARE(TestFiles::entries(trash("files")), QStringList{});
}

void TestPromises::recordThatFillsItsDiskStopsTheRun_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("pattern"); // long names: the record fills its disk within the run
    QTest::newRow("files") << QStringList{"-f", "-c", "AM"}
                           << "un-nom-assez-long-pour-que-le-journal-se-remplisse-vite-%1.txt";
    QTest::newRow("flatten") << QStringList{"-a"}
                             << "dossier-%1/sous-dossier/un-nom-assez-long-pour-le-journal-%1.txt";
}

void TestPromises::recordThatFillsItsDiskStopsTheRun() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, pattern);
    TempVolume volume(TempVolume::Kind::Tmpfs, "size=16k");
    if (!volume.mounted())
        QSKIP("a tmpfs of the test's own cannot be mounted here");
    m_state = volume.path();
    const int count = 240;
    QVERIFY(TreeState::writeNumbered(m_root, pattern, count, 64));
    const QMap<QString, QString> before = stateOf(m_root);
    const QSet<QByteArray> originals = contentsBelow(m_root);

    const Result result = run(arguments << m_root);
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.contains("Le journal d'annulation") && result.err.contains("s'arrête ici"),
             qPrintable(result.err));
    // It stopped midway: some files were dealt with, the others wait in their place.
    int waiting = 0;
    for (int i = 0; i < count; ++i)
        waiting += QFileInfo::exists(path(pattern.arg(i)));
    QVERIFY2(waiting > 0 && waiting < count, qPrintable(QString::number(waiting)));
    QVERIFY(TreeState::missing(originals, TreeState::hashes({m_root})).isEmpty());

    // With room again, the record takes back all it told of.
    QVERIFY(volume.remount("size=4m"));
    const Result undone = run({"--annuler"});
    QCOMPARE(undone.status, 0);
    QCOMPARE(stateOf(m_root), before);
}

void TestPromises::failedUndoStepStaysPending() {
    QVERIFY(writeDated(m_root, 10));
    const QMap<QString, QString> before = stateOf(m_root);
    const QSet<QByteArray> originals = contentsBelow(m_root);
    QCOMPARE(run({"-f", "-c", "AM", m_root}).status, 0);
    {
        // The originals cannot come back into a folder that takes no new name.
        const auto release = qScopeGuard([&] { TestFiles::run("chattr", {"-i", m_root}); });
        if (TestFiles::run("chattr", {"+i", m_root}) != 0)
            QSKIP("chattr +i is not available here");
        const Result failed = run({"--annuler"});
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains("n'ont pas pu être remis en place"), qPrintable(failed.err));
    }
    QVERIFY(TreeState::missing(originals, TreeState::hashes({m_root, trash("files")})).isEmpty());

    const Result undone = run({"--annuler"});
    QCOMPARE(undone.status, 0);
    QCOMPARE(stateOf(m_root), before);
    QCOMPARE(TestFiles::entries(trash("files")), QStringList{});
    const Result nothing = run({"--annuler"});
    QCOMPARE(nothing.status, 0);
    QVERIFY2(nothing.out.contains("Aucun rangement à annuler."), qPrintable(nothing.out));
}

void TestPromises::damagedNewestRecordIsRefused_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("emptied") << "emptied";
    QTest::newRow("cut") << "cut";
    QTest::newRow("garbage") << "garbage";
}

void TestPromises::damagedNewestRecordIsRefused() {
    QFETCH(QString, damage);
    QVERIFY(writeNamed(m_root, QStringList{"A/a1.txt", "A/a2.txt", "B/b1.txt", "B/b2.txt"}));
    QCOMPARE(run({"-f", "-c", "L", path("A")}).status, 0);
    QCOMPARE(run({"-f", "-c", "L", path("B")}).status, 0);
#ifdef _WIN32
    const QString folder = m_state + "/Ordalix";
#else
    const QString folder = m_state + "/ordalix";
#endif
    const QStringList records = QDir(folder).entryList({"*.log"}, QDir::Files, QDir::Time);
    QCOMPARE(records.size(), 2);
    const QString record = folder + "/" + records.first(); // B's
    QByteArray content = TestFiles::read(record);
    QVERIFY(content.count('\n') > 2);
    if (damage == "emptied") {
        content.clear();
    } else if (damage == "cut") {
        qsizetype cut = content.size() / 2;
        while (content[cut - 1] == '\n')
            --cut; // inside a line
        content.truncate(cut);
    } else {
        QRandomGenerator random(20261211u);
        for (char& byte : content)
            byte = char(random.bounded(256));
    }
    QVERIFY(TestFiles::write(record, content));
    const QMap<QString, QString> sortedA = stateOf(path("A"));
    const QMap<QString, QString> sortedB = stateOf(path("B"));

    const Result refused = run({"--annuler"});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains(TestFiles::native(record)) && refused.err.contains("abîmé"),
             qPrintable(refused.err));
    QCOMPARE(stateOf(path("A")), sortedA);
    QCOMPARE(stateOf(path("B")), sortedB);
}

void TestPromises::orphanInTheTrashIsLeftAlone() {
    SKIP_UNDO_ON_WINDOWS();
    // An item without its info file holds a name in the trash: the original goes beside it.
    QVERIFY(TestFiles::write(trash("files/a.txt"), "orphelin"));
    QVERIFY(QDir().mkpath(trash("info")));
    const QString orphan = undo::Identity(trash("files/a.txt"));
    QVERIFY(TestFiles::write(path("a.txt"), "le mien"));
    const QMap<QString, QString> before = stateOf(m_root);

    QCOMPARE(run({"-f", "-c", "L", m_root}).status, 0);
    const Result undone = run({"--annuler"});
    QCOMPARE(undone.status, 0);
    QCOMPARE(stateOf(m_root), before);
    QCOMPARE(TestFiles::entries(trash("files")), QStringList{"a.txt"});
    QCOMPARE(undo::Identity(trash("files/a.txt")), orphan);
    QCOMPARE(TestFiles::read(trash("files/a.txt")), QByteArray("orphelin"));
    QCOMPARE(TestFiles::entries(trash("info")), QStringList{});
}

void TestPromises::trashingCutBeforeItsMoveIsUndone() {
    SKIP_UNDO_ON_WINDOWS();
    QVERIFY(TestFiles::write(path("x.txt"), "x"));
    const QMap<QString, QString> before = stateOf(m_root);
    QCOMPARE(run({"-f", "-c", "L", m_root}).status, 0);
    const QStringList items = TestFiles::entries(trash("files"));
    QCOMPARE(items.size(), 1);
    QCOMPARE(TestFiles::entries(trash("info")).size(), 1);
    // As a run killed between the info file and the move would have left it.
    QVERIFY(QFile::rename(trash("files/" + items.first()), path("x.txt")));

    QCOMPARE(run({"--annuler"}).status, 0);
    QCOMPARE(stateOf(m_root), before);
    QCOMPARE(TestFiles::entries(trash("info")), QStringList{});
}

void TestPromises::sortedFileKeptUntilTheNewCopyIsWhole_data() {
    QTest::addColumn<QString>("newFile");
    QTest::newRow("a named pipe") << "pipe";
    QTest::newRow("too big for the disk") << "big";
}

void TestPromises::sortedFileKeptUntilTheNewCopyIsWhole() {
#ifdef _WIN32
    QSKIP("a full disk needs a tmpfs of the test's own, and pipes are POSIX's");
#else
    QFETCH(QString, newFile);
    std::unique_ptr<TempVolume> volume;
    QString root = m_root;
    if (newFile == "big") {
        volume = std::make_unique<TempVolume>(TempVolume::Kind::Tmpfs, "size=1m");
        if (!volume->mounted())
            QSKIP("a tmpfs of the test's own cannot be mounted here");
        root = volume->filePath("root");
    }
    QVERIFY(TestFiles::write(root + "/s/s.txt", "ancien"));
    if (newFile == "pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(root + "/s.txt").constData(), 0644), 0);
    } else {
        QVERIFY(TestFiles::write(root + "/s.txt", QByteArray(600 << 10, 'n')));
        // Beside the folder, a file that leaves less room than the new copy needs.
        QFile filler(volume->filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray chunk(16 << 10, 'f');
        while (filler.write(chunk) == chunk.size()) {
        }
        QVERIFY(filler.resize(filler.size() - (64 << 10)));
    }
    const QMap<QString, QString> before = stateOf(root);

    const Result result = run({"-f", "-c", "L", root}, 60000);
    QCOMPARE(result.status, 1);
    QCOMPARE(TestFiles::read(root + "/s/s.txt"), QByteArray("ancien"));
    QCOMPARE(newFile == "pipe", isPipe(root + "/s.txt"));
    // No half-written copy left behind, and no file given to the trash.
    QCOMPARE(withoutFolderTimes(stateOf(root)), withoutFolderTimes(before));
    QCOMPARE(TestFiles::entries(trash("files")), QStringList{});
    if (volume)
        QCOMPARE(TestFiles::entries(volume->path()), (QStringList{"filler", "root"}));
#endif
}

void TestPromises::pipeAmongPhotosIsLeft() {
#ifdef _WIN32
    QSKIP("named pipes in a folder are POSIX's");
#else
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.jpg")).constData(), 0644), 0);
    QVERIFY(TestFiles::write(path("photo.jpg"), "photo"));
    QVERIFY(TestFiles::setModified(path("photo.jpg"), kMarch5));
    const Result result = run({"-f", "-p", "-c", "AMJ", m_root}, 20000);
    QVERIFY2(!result.timedOut, "the run waited on the pipe");
    QCOMPARE(result.status, 1);
    QVERIFY(isPipe(path("pipe.jpg")));
    QCOMPARE(TestFiles::read(path("2021/03/05/photo.jpg")), QByteArray("photo"));
#endif
}

void TestPromises::folderLinksStayInAFolderSort() {
#ifdef _WIN32
    QSKIP("symbolic links need a privilege on Windows");
#else
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    QVERIFY(TestFiles::write(path("Voyage/plage.jpg"), "plage"));
    QVERIFY(TestFiles::setModified(path("Voyage"), kMarch5));
    const QMap<QString, QString> links{{"up", ".."}, {"ailleurs", elsewhere.path()}};
    for (auto it = links.cbegin(); it != links.cend(); ++it)
        QVERIFY(makeLink(it.value(), path(it.key())));
    const QMap<QString, QString> before = stateOf(m_root);

    const Result plan = run({"-n", "-d", "-c", "A", m_root});
    QCOMPARE(plan.status, 0);
    for (const QString& link : links.keys())
        QVERIFY2(plan.out.contains(link + " (laissé : lien symbolique vers un dossier)\n"),
                 qPrintable(plan.out));
    QCOMPARE(stateOf(m_root), before);

    const Result sorted = run({"-d", "-c", "A", m_root});
    QCOMPARE(sorted.status, 0);
    for (auto it = links.cbegin(); it != links.cend(); ++it) {
        QCOMPARE(linkTarget(path(it.key())), it.value());
        QVERIFY2(sorted.err.contains("ignoré : " + path(it.key()) +
                                     " (lien symbolique vers un dossier)"),
                 qPrintable(sorted.err));
    }
    QCOMPARE(TestFiles::read(path("2021/Voyage/plage.jpg")), QByteArray("plage"));

    QCOMPARE(run({"--annuler"}).status, 0);
    QCOMPARE(stateOf(m_root), before);
#endif
}

void TestPromises::linksStayInAFlatten() {
#ifdef _WIN32
    QSKIP("symbolic links need a privilege on Windows");
#else
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    QVERIFY(TestFiles::write(elsewhere.filePath("dehors.txt"), "dehors"));
    QVERIFY(writeNamed(m_root, QStringList{"x.txt", "sub/y.txt", "sub/deep/f.txt", "other/o.txt"}));
    const QMap<QString, QString> links{{"sub/rel", "../x.txt"},
                                       {"sub/abs", elsewhere.filePath("dehors.txt")},
                                       {"sub/dangling", "nowhere"},
                                       {"sub/dirlink", "../other"}};
    for (auto it = links.cbegin(); it != links.cend(); ++it)
        QVERIFY(makeLink(it.value(), path(it.key())));
    const QMap<QString, QString> before = stateOf(m_root);

    // The plan names each link as left, and as moves exactly the files the run then moves.
    const Result plan = run({"-n", "-a", m_root});
    QCOMPARE(plan.status, 0);
    QStringList left;
    QStringList moves;
    for (const QString& line : plan.out.split('\n')) {
        if (line.endsWith(" (laissé : lien symbolique)"))
            left.append(line.section(" (", 0, 0));
        else if (line.contains(" → "))
            moves.append(line.section(" → ", 0, 0));
    }
    left.sort();
    QCOMPARE(left, QStringList(links.keys()));
    QCOMPARE(stateOf(m_root), before);

    const Result flattened = run({"-a", m_root});
    QCOMPARE(flattened.status, 1);
    QStringList moved;
    for (const QString& entry : before.keys()) {
        if (entry.contains('/') && !entry.endsWith('/') && !links.contains(entry) &&
            !QFileInfo::exists(path(entry))) {
            moved.append(entry);
            QCOMPARE(TestFiles::read(path(QFileInfo(entry).fileName())), entry.toUtf8());
        }
    }
    moves.sort();
    QCOMPARE(moved, moves);
    for (auto it = links.cbegin(); it != links.cend(); ++it) {
        QCOMPARE(linkTarget(path(it.key())), it.value());
        QVERIFY2(flattened.err.contains(path(it.key()) + " (lien symbolique)"),
                 qPrintable(flattened.err));
    }

    QCOMPARE(run({"--annuler"}).status, 0);
    QCOMPARE(stateOf(m_root), before);
#endif
}

QTEST_GUILESS_MAIN(TestPromises)
#include "tst_promises.moc"
