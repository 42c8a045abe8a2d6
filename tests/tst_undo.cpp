// Taking a run back: every kind of run, however it ended, undone to the tree it started from;
// and what an undo must leave alone.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTimer>

#include "Driver.h"
#include "Flatten.h"
#include "RunRecord.h"
#include "StopRequest.h"
#include "TempVolume.h"
#include "TestFiles.h"
#include "TreeState.h"
#include "Undo.h"
#include "WindowTest.h"

namespace {

const QDateTime kMarch5(QDate(2021, 3, 5), QTime(10, 0));
const QDateTime kMarch7(QDate(2021, 3, 7), QTime(18, 30));
const QDateTime kNovember(QDate(2020, 11, 30), QTime(8, 15));

// Every entry below a folder by relative path: a file's content hash and time stamp, or "/"
// for a folder.
QMap<QString, QString> treeOf(const QString& root) {
    QMap<QString, QString> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = path.mid(root.size() + 1);
        if (info.isDir() && !info.isSymLink()) {
            tree.insert(relative, "/");
            continue;
        }
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        tree.insert(relative,
                    QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex() +
                        " " + QString::number(info.lastModified().toMSecsSinceEpoch()));
    }
    return tree;
}

} // namespace

class TestUndo : public WindowTest {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void undoGivesBackTheTree_data();
    void undoGivesBackTheTree();
    void undoAfterAKill_data();
    void undoAfterAKill();
    void movesWrittenAheadAndNotTaken_data();
    void movesWrittenAheadAndNotTaken();
    void flattenWithAFileThatCannotMove();
    void undoLeavesWhatItCannotPutBack_data();
    void undoLeavesWhatItCannotPutBack();
    void undoTakesRunsBackOneAfterAnother();
    void stopButtonStopsTheUndo();
    void recordsAreReadableAndKept();
    void planShownUnderTheQuestion_data();
    void planShownUnderTheQuestion();
    void longPlanIsCut();

private:
    void writeFiles();
    void runFromWindow(const QString& run, const QString& criteria, const QString& ending);
    QStringList trashFiles() const { return TestFiles::entries(data->filePath("Trash/files")); }
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<QTemporaryDir> state;
};

void TestUndo::initTestCase() {
    // Records and trash of this test alone: other tests run beside it.
    state = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/state-XXXXXX");
    data = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/data-XXXXXX");
    qputenv("XDG_STATE_HOME", state->path().toUtf8());
    qputenv("XDG_DATA_HOME", data->path().toUtf8());
}

void TestUndo::init() {
    SKIP_UNDO_ON_WINDOWS();
    createWindow();
    form->recordCommands = false;
    form->chk_MOUCHARD->setChecked(false);
    StopRequested = false;
    QDir(undo::RecordFolder()).removeRecursively();
}

void TestUndo::cleanup() {
    destroyWindow();
}

void TestUndo::writeFiles() {
    QVERIFY(TestFiles::write(path("a.txt"), "a"));
    QVERIFY(TestFiles::write(path("b.jpg"), "b"));
    QVERIFY(TestFiles::write(path("photo.png"), "photo"));
    QVERIFY(TestFiles::write(path("zz.doc"), "zz"));
    // An older file where a.txt goes by year and month: the run puts it in the trash.
    QVERIFY(TestFiles::write(path("2021/03/a.txt"), "older"));
    QVERIFY(TestFiles::setModified(path("a.txt"), kMarch5));
    QVERIFY(TestFiles::setModified(path("b.jpg"), kNovember));
    QVERIFY(TestFiles::setModified(path("photo.png"), kMarch7));
    QVERIFY(TestFiles::setModified(path("2021/03/a.txt"), kNovember));
    // Folders for the folder run; the ones named like sorted folders stay.
    QVERIFY(TestFiles::write(path("Voyage/plage.jpg"), "plage"));
    QVERIFY(TestFiles::write(path("Noël/sapin.jpg"), "sapin"));
    QVERIFY(TestFiles::write(path("Été 2020/soleil.jpg"), "soleil"));
    // Repeated names for the flatten.
    QVERIFY(TestFiles::write(path("s1/a.txt"), "s1 a"));
    QVERIFY(TestFiles::write(path("s1/deep/a.txt"), "deep a"));
    QVERIFY(TestFiles::write(path("s2/c.txt"), "c"));
}

void TestUndo::runFromWindow(const QString& run, const QString& criteria, const QString& ending) {
    form->JvDirectoryEdit1->setDirectory(rootPath());
    form->chk_ABC->setChecked(criteria.contains('L'));
    form->chk_A->setChecked(criteria.contains('Y'));
    form->chk_M->setChecked(criteria.contains('M'));
    form->chk_D->setChecked(criteria.contains('D'));
    if (ending == "stop") {
        form->JvFileListBox1->setFocus();
        QTimer::singleShot(0, form.get(),
                           [this] { QTest::keyClick(form->JvFileListBox1, Qt::Key_Q); });
    }
    if (run == "flatten") {
        form->PageControl_Range->setTabIndex(1);
        form->Button2->click();
        return;
    }
    form->PageControl_Fichiers->setTabIndex(run == "files" ? 0 : 1);
    form->Button1->click();
}

void TestUndo::undoGivesBackTheTree_data() {
    QTest::addColumn<QString>("run");
    QTest::addColumn<QString>("criteria");
    QTest::addColumn<QString>("ending");
    for (const char* criteria : {"L", "Y", "YM", "YMD", "MD"})
        QTest::newRow(qPrintable(QString("files %1").arg(criteria)))
            << "files" << criteria << "normal";
    QTest::newRow("files, a file in use") << "files"
                                          << "YM"
                                          << "in use";
    QTest::newRow("files, stopped") << "files"
                                    << "YM"
                                    << "stop";
    QTest::newRow("folders L") << "folders"
                               << "L"
                               << "normal";
    QTest::newRow("folders Y") << "folders"
                               << "Y"
                               << "normal";
    QTest::newRow("folders, stopped") << "folders"
                                      << "L"
                                      << "stop";
    QTest::newRow("flatten, repeated names") << "flatten"
                                             << ""
                                             << "normal";
}

void TestUndo::undoGivesBackTheTree() {
    QFETCH(QString, run);
    QFETCH(QString, criteria);
    QFETCH(QString, ending);
    writeFiles();
    QProcess writer;
    const auto stopWriter = qScopeGuard([&] {
        writer.kill();
        writer.waitForFinished();
    });
    if (ending == "in use") {
        writer.setStandardOutputFile(path("zz.doc"), QIODevice::Append);
        writer.start("sleep", {"30"});
        QVERIFY(writer.waitForStarted());
    }
    const auto before = treeOf(rootPath());
    const QStringList trashBefore = trashFiles();

    runFromWindow(run, criteria, ending);
    QVERIFY(treeOf(rootPath()) != before);
    if (ending == "in use")
        QCOMPARE(dialogs->texts().filter("#740").size(), 1);
    dialogs->shown.clear();

    form->mnu_ANNULER->trigger();
    QCOMPARE(treeOf(rootPath()), before);
    QCOMPARE(trashFiles(), trashBefore); // what came back is no longer in the trash
    QCOMPARE(dialogs->shown.size(), 2);
    QVERIFY(dialogs->shown[0].text.startsWith("Annuler le dernier rangement ?"));
    QVERIFY(dialogs->shown[0].text.contains(rootPath()));
    // "Annuler" on the undo's own question would read as the undo itself.
    QCOMPARE(dialogs->shown[0].okText, "Remettre en place");
    QCOMPARE(dialogs->shown[0].cancelText, "Ne rien faire");
    QCOMPARE(dialogs->shown[1].type, mtInformation);
    QVERIFY(dialogs->shown[1].text.endsWith(" éléments remis en place"));
    QVERIFY(dialogs->shown[1].details.isEmpty()); // nothing left to name
    QVERIFY(dialogs->shown[1].okText.isEmpty());
    QVERIFY(!form->Gauge1->isVisible());
}

void TestUndo::undoAfterAKill_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("criteria");
    QTest::addColumn<bool>("smallRecordDisk");
    const QList<std::tuple<const char*, const char*, const char*>> ops{
        {"file sort", "sortfiles", "YM"},
        {"folder sort", "sortfolders", "L"},
        {"flatten", "flatten", ""}};
    for (const auto& [name, op, criteria] : ops) {
        QTest::newRow(name) << op << criteria << false;
        // The record fills its disk within the run: the run stops there, or is killed before.
        QTest::newRow(qPrintable(QString(name) + ", record on a small disk"))
            << op << criteria << true;
    }
}

void TestUndo::undoAfterAKill() {
    QFETCH(QString, op);
    QFETCH(QString, criteria);
    QFETCH(bool, smallRecordDisk);
    const quint32 seed = qEnvironmentVariableIsSet("ORDALIX_CRASH_SEED")
                             ? quint32(qEnvironmentVariableIntValue("ORDALIX_CRASH_SEED"))
                             : 20261210u;
    QRandomGenerator random(seed);
    qInfo("seed %u", seed);
    const auto setup = [&](const QString& top) {
        return op == "sortfolders" ? TreeState::writeNumbered(top, "Dossier%1/inside.txt", 200)
               : op == "flatten"   ? TreeState::writeNumbered(top, "f%1/g/file.txt", 150) &&
                                       TreeState::writeNumbered(top, "h%1/x%1.dat", 150) &&
                                       // Folders of many files, whose moves are written in batches
                                       // ahead of them; the second one's replace the first one's.
                                       TreeState::writeNumbered(top, "m/m%1.dat", 100) &&
                                       TreeState::writeNumbered(top, "n/m%1.dat", 100)
                                 : TreeState::writeNumbered(top, "photo%1.jpg", 600);
    };
    // One whole run tells how long the operation lasts.
    qint64 duration = 0;
    {
        QTemporaryDir top(QDir::tempPath() + "/kill-XXXXXX");
        QVERIFY(setup(top.path()));
        const auto whole =
            Driver::run({op, top.path(), criteria}, Driver::environment(data->path()));
        QVERIFY2(whole.normalExit && whole.exitCode == 0, qPrintable(whole.output));
        duration = whole.elapsedMs;
    }
    // The runs and this process's undo share the records' folder, wherever it is.
    std::unique_ptr<TempVolume> recordDisk;
    const QByteArray stateHome = qgetenv("XDG_STATE_HOME");
    const auto restoreState = qScopeGuard([&] { qputenv("XDG_STATE_HOME", stateHome); });
    if (smallRecordDisk) {
        recordDisk = std::make_unique<TempVolume>(TempVolume::Kind::Tmpfs, "size=16k");
        if (!recordDisk->mounted())
            QSKIP("a tmpfs of the test's own cannot be mounted here");
        qputenv("XDG_STATE_HOME", QFile::encodeName(recordDisk->path()));
    }
    int stoppedByTheRecord = 0;
    for (int kill = 0; kill < 5; ++kill) {
        QDir(undo::RecordFolder()).removeRecursively();
        if (recordDisk)
            QVERIFY(recordDisk->remount("size=16k"));
        QTemporaryDir top(QDir::tempPath() + "/kill-XXXXXX");
        QVERIFY(setup(top.path()));
        const auto before = treeOf(top.path());
        // On a small disk, the first run is left to meet the full disk itself.
        const int at =
            smallRecordDisk && kill == 0 ? -1 : int(random.bounded(qint64(duration) + 1));
        const auto killed =
            Driver::run({op, top.path(), criteria}, Driver::environment(data->path()), at);
        stoppedByTheRecord += killed.output.contains("Le journal d'annulation");
        // Room for the undo's progress lines.
        if (recordDisk)
            QVERIFY(recordDisk->remount("size=4m"));
        // A kill before the first step leaves nothing to undo, and nothing changed.
        const std::optional<undo::Record> record = undo::LastRecord();
        if (record) {
            undo::QuietUndoWindow view;
            undo::UndoRecord(*record, view);
        }
        // The settings file and the journals are the only things the undo does not take back.
        QFile::remove(top.filePath("OrdalixParDate.INI"));
        QDir(top.filePath("ORDALIX_DRIVER_LOG")).removeRecursively();
        const auto after = treeOf(top.path());
        QStringList differences;
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            if (after.value(it.key()) != it.value())
                differences.append("-" + it.key());
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            if (!before.contains(it.key()))
                differences.append("+" + it.key());
        QVERIFY2(differences.isEmpty(), qPrintable(QString("kill %1 at %2 ms: %3")
                                                       .arg(kill)
                                                       .arg(at)
                                                       .arg(differences.mid(0, 8).join(", "))));
    }
    if (smallRecordDisk)
        QVERIFY(stoppedByTheRecord > 0);
}

void TestUndo::movesWrittenAheadAndNotTaken_data() {
    QTest::addColumn<int>("taken"); // moves of the batch taken before the run ended
    QTest::newRow("killed before the first") << 0;
    QTest::newRow("killed within the batch") << 1;
    QTest::newRow("all taken") << 3;
}

// A folder's moves are written in one batch ahead of the first: a run killed within the batch
// leaves lines for moves it never took, and the undo must pass over them quietly.
void TestUndo::movesWrittenAheadAndNotTaken() {
    QFETCH(int, taken);
    const QStringList names{"a.txt", "b.txt", "c.txt"};
    for (const QString& name : names)
        QVERIFY(TestFiles::write(path("sub/" + name), name.toUtf8()));
    // In the top folder: a file of another name stays, and so does one of a name the batch
    // moves up last, which was never taken.
    QVERIFY(TestFiles::write(path("c.txt"), "top c"));
    const auto before = treeOf(rootPath());
    {
        undo::RunRecord record(undo::RunKind::Flatten, rootPath());
        QVERIFY(record.open());
        QVERIFY(record.folderDated(rootPath()));
        QList<undo::FileMove> moves;
        for (const QString& name : names + QStringList{"gone.txt"})
            moves.append({path("sub/" + name), path(name), {}});
        QVERIFY(record.filesMovingUp(path("sub/"), moves));
        // A file gone since the listing gets no line: its move is taken the single way.
        QVERIFY(moves[3].identity.isEmpty());
        QCOMPARE(moves[0].identity, undo::Identity(path("sub/a.txt")));
        // Every line of the batch is on disk before the first move.
        const QStringList records = TestFiles::entries(undo::RecordFolder());
        QCOMPARE(records.size(), 1);
        const QStringList lines =
            QString::fromUtf8(TestFiles::read(undo::RecordFolder() + "/" + records.first()))
                .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 6);
        QVERIFY(lines[2].startsWith("date-dossier\t" + path("sub") + "\t"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(lines[3 + i], QString("fichier-remonte\t%1\t%2\t%3")
                                       .arg(moves[i].from, moves[i].to, moves[i].identity));
        for (int i = 0; i < taken && i < 2; ++i)
            QVERIFY(QFile::rename(moves[i].from, moves[i].to));
        if (taken == 3) {
            // The last one replaces the top's c.txt, as the run does it.
            QVERIFY(flatten::MoveIntoFolder(moves[2].from, rootPath() + "/", "c.txt", &record));
        }
    }
    const std::optional<undo::Record> record = undo::LastRecord();
    QVERIFY(record);
    undo::QuietUndoWindow view;
    const undo::UndoReport report = undo::UndoRecord(*record, view);
    QCOMPARE(treeOf(rootPath()), before);
    QCOMPARE(report.restored, taken == 3 ? 4 : taken); // the replaced c.txt too
    QVERIFY2(report.complete(), qPrintable(report.text()));
    QVERIFY(report.left.isEmpty());
    QVERIFY(!undo::LastRecord()); // nothing left to take back
}

// A move the batch wrote and the run could not take stays out of the undo's report.
void TestUndo::flattenWithAFileThatCannotMove() {
    QVERIFY(TestFiles::write(path("sub/a.txt"), "a"));
    QVERIFY(TestFiles::write(path("sub/b.txt"), "b"));
    QVERIFY(TestFiles::write(path("sub/c.txt"), "c"));
    QVERIFY(TestFiles::write(path("sub/deep/b.txt"), "deep b"));
    if (TestFiles::run("chattr", {"+i", path("sub/b.txt")}) != 0)
        QSKIP("chattr +i is not available here");
    const auto thaw = qScopeGuard([this] { TestFiles::run("chattr", {"-i", path("sub/b.txt")}); });
    const auto before = treeOf(rootPath());
    runFromWindow("flatten", "", "normal");
    QCOMPARE(rootFiles(), (QStringList{"a.txt", "b.txt", "c.txt"}));
    QCOMPARE(TestFiles::read(path("b.txt")), QByteArray("deep b"));
    dialogs->shown.clear();
    form->mnu_ANNULER->trigger();
    QCOMPARE(treeOf(rootPath()), before);
    QCOMPARE(dialogs->shown.size(), 2);
    QCOMPARE(dialogs->shown[1].type, mtInformation);
    QCOMPARE(dialogs->shown[1].text, "3 éléments remis en place");
    QVERIFY(dialogs->shown[1].details.isEmpty());
}

void TestUndo::undoLeavesWhatItCannotPutBack_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("left"); // the report's details, sorted; "{root}" its folder
    QTest::newRow("a sorted copy changed since")
        << "changed copy"
        << QStringList{"laissé : {root}/2021/03/a.txt (copie modifiée depuis le rangement : "
                       "laissée où le rangement l'avait mise, l'original remis aussi)"};
    QTest::newRow("an old name taken since")
        << "taken name"
        << QStringList{"laissé : {root}/a.txt (son ancien nom est pris par un autre élément)"};
    const QString gone = " (l'original n'est plus dans la corbeille : sa copie rangée reste à sa "
                         "place)";
    QTest::newRow("the trash emptied since")
        << "emptied trash"
        << QStringList{"laissé : {root}/a.txt" + gone, "laissé : {root}/b.txt" + gone};
}

void TestUndo::undoLeavesWhatItCannotPutBack() {
    QFETCH(QString, change);
    QFETCH(QStringList, left);
    QVERIFY(TestFiles::write(path("a.txt"), "a"));
    QVERIFY(TestFiles::write(path("b.txt"), "b"));
    QVERIFY(TestFiles::setModified(path("a.txt"), kMarch5));
    QVERIFY(TestFiles::setModified(path("b.txt"), kMarch5));
    const int trashed = int(trashFiles().size());
    runFromWindow("files", "YM", "normal");
    QCOMPARE(rootFiles(), QStringList{});
    if (change == "changed copy") {
        QVERIFY(TestFiles::write(path("2021/03/a.txt"), "a, changed"));
    } else if (change == "taken name") {
        QVERIFY(TestFiles::write(path("a.txt"), "a new a"));
    } else {
        // The two originals this run put in the trash, as its record tells.
        const std::optional<undo::Record> record = undo::LastRecord();
        QVERIFY(record);
        int emptied = 0;
        for (const undo::Step& step : record->steps) {
            if (step.name == undo::step::OriginalTrashed && QFile::remove(step.fields[1]))
                ++emptied;
        }
        QCOMPARE(emptied, 2);
    }
    dialogs->shown.clear();
    form->mnu_ANNULER->trigger();

    const QString report = dialogs->shown.last().text;
    QCOMPARE(dialogs->shown.last().type, mtWarning);
    // Each item left is named, with why, under the counts.
    QStringList details = dialogs->shown.last().details.split('\n');
    details.sort();
    QCOMPARE(details, left.replaceInStrings("{root}", rootPath()));
    if (change == "changed copy") {
        // The changed copy stays where the run put it; its original is back beside the other.
        QCOMPARE(TestFiles::read(path("2021/03/a.txt")), QByteArray("a, changed"));
        QCOMPARE(TestFiles::read(path("a.txt")), QByteArray("a"));
        QCOMPARE(TestFiles::read(path("b.txt")), QByteArray("b"));
        QVERIFY(!QFileInfo::exists(path("2021/03/b.txt")));
        QVERIFY2(report.startsWith("1 éléments remis en place"), qPrintable(report));
        QVERIFY(report.contains("1 fichier(s) modifié(s) depuis le rangement"));
    } else if (change == "taken name") {
        // Nothing is written over the new a.txt: the old one stays in the trash, its copy too.
        QCOMPARE(TestFiles::read(path("a.txt")), QByteArray("a new a"));
        QCOMPARE(TestFiles::read(path("2021/03/a.txt")), QByteArray("a"));
        QCOMPARE(trashFiles().size(), trashed + 1);
        QCOMPARE(TestFiles::read(path("b.txt")), QByteArray("b"));
        QVERIFY(report.startsWith("1 éléments remis en place"));
        QVERIFY(report.contains("1 élément(s) laissé(s) où ils sont : leur ancien nom est pris"));
    } else {
        // The originals cannot come back: their copies stay.
        QCOMPARE(TestFiles::read(path("2021/03/a.txt")), QByteArray("a"));
        QCOMPARE(TestFiles::read(path("2021/03/b.txt")), QByteArray("b"));
        QCOMPARE(rootFiles(), QStringList{});
        QVERIFY(report.startsWith("0 éléments remis en place"));
        QVERIFY(report.contains("2 original(aux) ne sont plus dans la corbeille"));
    }
}

void TestUndo::undoTakesRunsBackOneAfterAnother() {
    writeFiles();
    const auto start = treeOf(rootPath());
    runFromWindow("files", "YM", "normal");
    const auto afterFiles = treeOf(rootPath());
    runFromWindow("folders", "L", "normal");
    form->mnu_ANNULER->trigger();
    QCOMPARE(treeOf(rootPath()), afterFiles);
    form->mnu_ANNULER->trigger();
    QCOMPARE(treeOf(rootPath()), start);
    dialogs->shown.clear();
    form->mnu_ANNULER->trigger();
    QCOMPARE(dialogs->texts(), QStringList{"Aucun rangement à annuler."});
    // A question answered Cancel undoes nothing.
    runFromWindow("files", "L", "normal");
    const auto sorted = treeOf(rootPath());
    dialogs->setNextAnswer(Dialogs::Answer::Cancel);
    form->mnu_ANNULER->trigger();
    QCOMPARE(treeOf(rootPath()), sorted);
}

void TestUndo::stopButtonStopsTheUndo() {
    writeFiles();
    const auto start = treeOf(rootPath());
    runFromWindow("files", "YM", "normal");
    const QString idle = form->Button1->Caption();
    // At the undo's first pump, the user clicks the run button, which then reads "STOP!".
    QString during;
    QTimer::singleShot(0, form.get(), [&] {
        during = form->Button1->Caption();
        form->Button1->click();
    });
    dialogs->shown.clear();
    form->mnu_ANNULER->trigger();
    QCOMPARE(during, QString("STOP!"));
    QCOMPARE(form->Button1->Caption(), idle);
    QVERIFY(treeOf(rootPath()) != start);
    QCOMPARE(dialogs->shown.last().type, mtWarning);
    QVERIFY(dialogs->shown.last().text.contains("Interruption utilisateur"));
    // No sort started instead: the rest is taken back by the next undo.
    form->mnu_ANNULER->trigger();
    QCOMPARE(treeOf(rootPath()), start);
}

void TestUndo::recordsAreReadableAndKept() {
    QVERIFY(TestFiles::write(path("a.txt"), "a"));
    QVERIFY(TestFiles::setModified(path("a.txt"), kMarch5));
    runFromWindow("files", "YM", "normal");
    const QStringList records = TestFiles::entries(undo::RecordFolder());
    QCOMPARE(records.size(), 1);
    // One line per step, the paths in plain text.
    const QStringList lines =
        QString::fromUtf8(TestFiles::read(undo::RecordFolder() + "/" + records.first()))
            .split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 7);
    QVERIFY(lines[0].startsWith("ordalix-rangement\t1\tfichiers\t" + rootPath() + "\t"));
    QVERIFY(lines[1].startsWith("date-dossier\t" + rootPath() + "\t"));
    QCOMPARE(lines[2], "dossier-cree\t" + path("2021"));
    QCOMPARE(lines[3], "dossier-cree\t" + path("2021/03"));
    QCOMPARE(lines[4], "copie\t" + path("a.txt") + "\t" + path("2021/03/a.txt"));
    QVERIFY(lines[5].startsWith("original-en-corbeille\t" + path("a.txt") + "\t"));
    QVERIFY(lines[6].startsWith("fin\t"));
    // Only the last 20 are kept.
    for (int i = 0; i < undo::KeptRecords + 3; ++i) {
        QVERIFY(TestFiles::write(path(QString("f%1.txt").arg(i))));
        runFromWindow("files", "L", "normal");
    }
    QCOMPARE(TestFiles::entries(undo::RecordFolder()).size(), undo::KeptRecords);
    QVERIFY(!TestFiles::entries(undo::RecordFolder()).contains(records.first()));
}

void TestUndo::planShownUnderTheQuestion_data() {
    QTest::addColumn<QString>("run");
    QTest::addColumn<QString>("criteria");
    QTest::addColumn<QStringList>("plan");
    QTest::newRow("files by year and month")
        << "files"
        << "YM"
        << QStringList{"zz.doc → " + QDate::currentDate().toString("yyyy/MM"),
                       TestProgramName + ".jpg (ignoré : porte le nom du programme)",
                       "photo.png → 2021/03", "b.jpg → 2020/11",
                       "a.txt → 2021/03 (remplace 2021/03/a.txt)"};
    QTest::newRow("files by first letter")
        << "files"
        << "L"
        << QStringList{"zz.doc → z", TestProgramName + ".jpg (ignoré : porte le nom du programme)",
                       "photo.png → p", "b.jpg → b", "a.txt → a"};
    QTest::newRow("folders by first letter")
        << "folders"
        << "L"
        << QStringList{"Été 2020 → É", "Voyage → V", "s2 → s",
                       "s1 → s",       "Noël → N",   "2021 (laissé : déjà un nom de rangement)"};
    QTest::newRow("flatten") << "flatten"
                             << "" << QStringList{};
}

void TestUndo::planShownUnderTheQuestion() {
    QFETCH(QString, run);
    QFETCH(QString, criteria);
    QFETCH(QStringList, plan);
    writeFiles();
    QVERIFY(TestFiles::write(path(TestProgramName + ".jpg")));
    const auto before = treeOf(rootPath());
    dialogs->setNextAnswer(Dialogs::Answer::Cancel);
    runFromWindow(run, criteria, "normal");
    QCOMPARE(treeOf(rootPath()), before); // asked, not run
    const Dialogs::Request question = dialogs->shown.first();
    QCOMPARE(question.type, mtConfirmation);
    if (run == "flatten") {
        // The walk's order is the file system's: the lines are checked as a set, and the files
        // that will replace one of the same name are marked.
        QStringList lines = question.details.split('\n');
        lines.sort();
        const QString top = QFileInfo(rootPath()).fileName();
        QCOMPARE(lines, (QStringList{"2021/03/a.txt → " + top + " (remplace a.txt)",
                                     "Noël/sapin.jpg → " + top, "Voyage/plage.jpg → " + top,
                                     "s1/a.txt → " + top + " (remplace a.txt)",
                                     "s1/deep/a.txt → " + top + " (remplace a.txt)",
                                     "s2/c.txt → " + top, "Été 2020/soleil.jpg → " + top}));
        QVERIFY(question.text.startsWith("Extraire les 12 fichiers"));
    } else {
        QCOMPARE(question.details.split('\n'), plan);
        QVERIFY(question.text.startsWith("RANGEMENT des "));
    }
}

void TestUndo::longPlanIsCut() {
    for (int i = 0; i < 1003; ++i)
        QVERIFY(TestFiles::write(path(QString("f%1.txt").arg(i, 4, 10, QChar('0')))));
    dialogs->setNextAnswer(Dialogs::Answer::Cancel);
    runFromWindow("files", "L", "normal");
    const QStringList lines = dialogs->shown.first().details.split('\n');
    QCOMPARE(lines.size(), 1001);
    QCOMPARE(lines.first(), "f1002.txt → f");
    QCOMPARE(lines.last(), "… et 3 autres");
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
