// The command line as scripts use it: the installed program started with options, without a
// display, its exit status, its two outputs and the tree it leaves.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include "CommandLine.h"
#include "ProgramRun.h"
#include "TestFiles.h"
#include "WindowTest.h"

namespace {

const QDateTime kMay6(QDate(2023, 5, 6), QTime(12, 0));
const QDateTime kNov30(QDate(2024, 11, 30), QTime(9, 0));
const QDateTime kNov2(QDate(2024, 11, 2), QTime(9, 0));
const QDateTime kJan15(QDate(2022, 1, 15), QTime(9, 0));
const QDateTime kJul4(QDate(2021, 7, 4), QTime(9, 0));

using ProgramRun::entriesOf;
using ProgramRun::Result;
using ProgramRun::stateOf;

// The contents of every file below the folders.
QMultiMap<QByteArray, QString> contentsOf(const QStringList& folders) {
    QMultiMap<QByteArray, QString> contents;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            contents.insert(TestFiles::read(path), path);
        }
    }
    return contents;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void windowOrCommand_data();
    void windowOrCommand();

    void invocations_data();
    void invocations();
    void undoTakesTheRunBack();
    void undoNamesWhatItLeaves();
    void undoOfAnotherFolderIsRefused();
    void helpTellsWhatTheUndoTakesBack();
    void filePlanNamesWhatItReplaces_data();
    void filePlanNamesWhatItReplaces();
    void systemFolderIsRefused();
    void fileInUseIsNamedAndLeft();
    void originalsTheTrashRefusesAreNamedInOrder();
    void runActsAsOneFileAfterTheOther();
    void sortsWhereNoThreadCanBeHad();
    void journalThatCannotBeWrittenEndsTheRun();
    void signalStopsAtTheNextStep();
    void progressOnlyOnATerminal();

private:
    Result run(const QStringList& arguments, const QString& input = {});
    QProcessEnvironment environment() const {
        return ProgramRun::environment(m_work->filePath("data"), m_work->filePath("state"));
    }
    // Paths in the system's form, as the program names them.
    QString path(const QString& relative) const {
        return TestFiles::native(m_root + "/" + relative);
    }
    void makeFixture();

    QTemporaryDir m_programDir;
    QString m_program;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_root;
    QStringList m_fixture;
};

void TestCli::initTestCase() {
    QVERIFY(m_programDir.isValid());
    m_program = ProgramRun::install(ORDALIX_PROGRAM, m_programDir.path());
    QVERIFY(!m_program.isEmpty());
}

void TestCli::init() {
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_root = m_work->filePath("root");
    makeFixture();
    m_fixture = entriesOf(m_root);
}

void TestCli::makeFixture() {
    // Each file holds its own first path, so that wherever it ends up it can be told.
    const QList<std::pair<QString, QDateTime>> files{
        {"a.txt", kMay6},         {"b.jpg", kNov30},       {"Zèbre.pdf", kNov2},
        {"noext", kNov2},         {".cache.txt", kNov2},   {"zqtrieur.txt", kNov2},
        {"photos/p1.png", kNov2}, {"Voyage/a.txt", kNov2}, {"Voyage/sub/v1.txt", kNov2},
        {"2020/old.txt", kNov2},  {"x/y.txt", kNov2}};
    for (const auto& [name, time] : files) {
        QVERIFY(TestFiles::write(path(name), name.toUtf8()));
        QVERIFY(TestFiles::setModified(path(name), time));
    }
    QVERIFY(TestFiles::hide(path(".cache.txt")));
    for (const auto& [name, time] : QList<std::pair<QString, QDateTime>>{{"photos", kJan15},
                                                                         {"Voyage/sub", kJul4},
                                                                         {"Voyage", kJul4},
                                                                         {"2020", kJan15},
                                                                         {"x", kJan15}})
        QVERIFY(TestFiles::setModified(path(name), time));
}

Result TestCli::run(const QStringList& arguments, const QString& input) {
    return ProgramRun::run(m_program, arguments, environment(), m_work->path(), input);
}

void TestCli::windowOrCommand_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("command");
    QTest::newRow("nothing") << QStringList{} << false;
    QTest::newRow("a folder") << QStringList{"photos"} << false;
    QTest::newRow("a lone dash") << QStringList{"-"} << false;
    QTest::newRow("session restart") << QStringList{"-session", "1abc", "photos"} << false;
    QTest::newRow("toolkit options")
        << QStringList{"-platform", "xcb", "-style=Fusion", "-reverse"} << false;
    QTest::newRow("a sort") << QStringList{"-f", "-c", "A", "photos"} << true;
    QTest::newRow("help") << QStringList{"--help"} << true;
    QTest::newRow("an option after a toolkit one") << QStringList{"-platform", "xcb", "-n"} << true;
    QTest::newRow("unknown option") << QStringList{"--tout"} << true;
}

void TestCli::windowOrCommand() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, command);
    QCOMPARE(cli::WantsCommand(QStringList{"ordalix"} + arguments), command);
}

void TestCli::invocations_data() {
    QTest::addColumn<QStringList>("arguments"); // "{root}" stands for the fixture's folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");       // a piece of standard output
    QTest::addColumn<QString>("err");       // a piece of standard error
    QTest::addColumn<QStringList>("gone");  // entries of the fixture no longer there
    QTest::addColumn<QStringList>("added"); // entries that were not there

    const QStringList rootFiles{"Zèbre.pdf", "a.txt", "b.jpg"};
    const QString three = "3 fichier(s) rangé(s), 1 ignoré(s), 0 laissé(s) en place";
    QTest::newRow("letter") << QStringList{"--fichiers", "--criteres", "lettre", "{root}"} << 0
                            << three << "" << rootFiles
                            << QStringList{"Z/", "Z/Zèbre.pdf", "a/", "a/a.txt", "b/", "b/b.jpg"};
    QTest::newRow("letter wins over dates")
        << QStringList{"-f", "-c", "L,A", "{root}"} << 0 << three << "" << rootFiles
        << QStringList{"Z/", "Z/Zèbre.pdf", "a/", "a/a.txt", "b/", "b/b.jpg"};
    QTest::newRow("year") << QStringList{"-f", "-c", "annee", "{root}"} << 0 << three << ""
                          << rootFiles
                          << QStringList{"2023/", "2023/a.txt", "2024/", "2024/Zèbre.pdf",
                                         "2024/b.jpg"};
    QTest::newRow("year month") << QStringList{"-f", "-c", "AM", "{root}"} << 0 << three << ""
                                << rootFiles
                                << QStringList{"2023/",        "2023/05/", "2023/05/a.txt",
                                               "2024/",        "2024/11/", "2024/11/Zèbre.pdf",
                                               "2024/11/b.jpg"};
    QTest::newRow("year month day")
        << QStringList{"-f", "-c", "année,mois,jour", "{root}"} << 0 << three << "" << rootFiles
        << QStringList{"2023/",       "2023/05/",        "2023/05/06/", "2023/05/06/a.txt",
                       "2024/",       "2024/11/",        "2024/11/02/", "2024/11/02/Zèbre.pdf",
                       "2024/11/30/", "2024/11/30/b.jpg"};
    QTest::newRow("month") << QStringList{"-f", "-c", "mois", "{root}"} << 0 << three << ""
                           << rootFiles
                           << QStringList{"05/", "05/a.txt", "11/", "11/Zèbre.pdf", "11/b.jpg"};
    QTest::newRow("month day") << QStringList{"-f", "-c", "mj", "{root}"} << 0 << three << ""
                               << rootFiles
                               << QStringList{"05/",    "05/06/",     "05/06/a.txt",
                                              "11/",    "11/02/",     "11/02/Zèbre.pdf",
                                              "11/30/", "11/30/b.jpg"};
    QTest::newRow("day") << QStringList{"-f", "-c", "J", "{root}"} << 0 << three << "" << rootFiles
                         << QStringList{"02/",      "02/Zèbre.pdf", "06/",
                                        "06/a.txt", "30/",          "30/b.jpg"};
    QTest::newRow("capture date falls back on the last change")
        << QStringList{"-f", "-c", "A", "--prise-de-vue", "{root}"} << 0 << three << "" << rootFiles
        << QStringList{"2023/", "2023/a.txt", "2024/", "2024/Zèbre.pdf", "2024/b.jpg"};
    QTest::newRow("journal") << QStringList{"-f", "-c", "A", "--journal", "{root}"} << 0 << three
                             << "" << rootFiles
                             << QStringList{"2023/",
                                            "2023/a.txt",
                                            "2024/",
                                            "2024/Zèbre.pdf",
                                            "2024/b.jpg",
                                            "ZQTRIEUR_LOG/",
                                            "ZQTRIEUR_LOG/_JOURNAL.LOG",
                                            "ZQTRIEUR_LOG/_TRACE.LOG"};
    QTest::newRow("year and day lead nowhere")
        << QStringList{"-f", "-c", "A,J", "{root}"} << 2 << ""
        << "ajoutez le mois" << QStringList{} << QStringList{};

    const QStringList folders{"Voyage/",           "Voyage/a.txt", "Voyage/sub/",
                              "Voyage/sub/v1.txt", "photos/",      "photos/p1.png"};
    const QString two = "2 dossier(s) rangé(s), 2 ignoré(s), 0 laissé(s) en place";
    QTest::newRow("folders by year") << QStringList{"--dossiers", "-c", "A", "{root}"} << 0 << two
                                     << "" << folders << QStringList{"2021/",
                                                                     "2021/Voyage/",
                                                                     "2021/Voyage/a.txt",
                                                                     "2021/Voyage/sub/",
                                                                     "2021/Voyage/sub/v1.txt",
                                                                     "2022/",
                                                                     "2022/photos/",
                                                                     "2022/photos/p1.png"};
    QTest::newRow("folders by letter")
        << QStringList{"-d", "-c", "L", "{root}"} << 0 << two << "" << folders
        << QStringList{"V/", "V/Voyage/", "V/Voyage/a.txt", "V/Voyage/sub/", "V/Voyage/sub/v1.txt",
                       "p/", "p/photos/", "p/photos/p1.png"};
    QTest::newRow("folders by year and month")
        << QStringList{"-d", "-c", "AM", "{root}"} << 0 << two << "" << folders
        << QStringList{"2021/",
                       "2021/07/",
                       "2021/07/Voyage/",
                       "2021/07/Voyage/a.txt",
                       "2021/07/Voyage/sub/",
                       "2021/07/Voyage/sub/v1.txt",
                       "2022/",
                       "2022/01/",
                       "2022/01/photos/",
                       "2022/01/photos/p1.png"};

    // The top folder's a.txt is replaced by Voyage's, and goes to the trash.
    QTest::newRow("flatten") << QStringList{"--aplatir", "{root}"} << 0 << "0 laissé(s) en place"
                             << "fichiers présents ou déplacés"
                             << QStringList{"2020/old.txt", "Voyage/a.txt", "Voyage/sub/v1.txt",
                                            "photos/p1.png", "x/y.txt"}
                             << QStringList{"old.txt", "p1.png", "v1.txt", "y.txt"};

    // A plan on standard output, and the tree left byte for byte as it was.
    const QList<std::tuple<const char*, QStringList, QString>> dryRuns{
        {"dry run of the files", {"-f", "-c", "AM", "--simulation", "{root}"}, "a.txt → 2023/05\n"},
        {"dry run of the folders", {"-n", "-d", "-c", "L", "{root}"}, "photos → p\n"},
        {"dry run of the flatten", {"-an", "{root}"}, "Voyage/a.txt → root (remplace a.txt)\n"}};
    for (const auto& [name, arguments, line] : dryRuns)
        QTest::newRow(name) << arguments << 0 << line << "" << QStringList{} << QStringList{};

    QTest::newRow("help") << QStringList{"--help"} << 0 << "--criteres"
                          << "" << QStringList{} << QStringList{};
    QTest::newRow("version") << QStringList{"--version"} << 0 << "ordalix "
                             << "" << QStringList{} << QStringList{};
    QTest::newRow("unknown option") << QStringList{"--tout", "{root}"} << 2 << ""
                                    << "option inconnue : --tout" << QStringList{} << QStringList{};
    QTest::newRow("no action") << QStringList{"-n", "{root}"} << 2 << ""
                               << "dites ce qu'il faut faire" << QStringList{} << QStringList{};
    QTest::newRow("two actions") << QStringList{"-f", "-a", "-c", "A", "{root}"} << 2 << ""
                                 << "une seule action" << QStringList{} << QStringList{};
    QTest::newRow("no criteria") << QStringList{"-f", "{root}"} << 2 << ""
                                 << "--criteres" << QStringList{} << QStringList{};
    QTest::newRow("unknown criteria") << QStringList{"-f", "-c", "semaine", "{root}"} << 2 << ""
                                      << "critères inconnus" << QStringList{} << QStringList{};
    QTest::newRow("criteria without a value")
        << QStringList{"{root}", "-f", "-c"} << 2 << ""
        << "attend une valeur" << QStringList{} << QStringList{};
    QTest::newRow("no folder") << QStringList{"-f", "-c", "A"} << 2 << ""
                               << "indiquez le dossier" << QStringList{} << QStringList{};
    QTest::newRow("missing folder") << QStringList{"-f", "-c", "A", "{root}/absent"} << 2 << ""
                                    << "n'existe pas" << QStringList{} << QStringList{};
    QTest::newRow("a file is no folder") << QStringList{"-a", "{root}/a.txt"} << 2 << ""
                                         << "n'existe pas" << QStringList{} << QStringList{};
    // The window needs a screen: said in French, with the way to work without one.
    QTest::newRow("the window without a display")
        << QStringList{"{root}"} << 2 << ""
        << "aucun écran n'est disponible" << QStringList{} << QStringList{};
    QTest::newRow("the window without a display, no folder")
        << QStringList{} << 2 << ""
        << "ordalix --fichiers --criteres" << QStringList{} << QStringList{};
}

void TestCli::invocations() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QStringList, gone);
    QFETCH(QStringList, added);
#ifdef _WIN32
    if (QByteArray(QTest::currentDataTag()).startsWith("the window without a display"))
        QSKIP("Windows always has a desktop: the window opens there");
#endif
    const QMap<QString, QString> before = stateOf(m_root);
    const auto originals = contentsOf({m_root});
    arguments.replaceInStrings("{root}", m_root);
    out = TestFiles::native(out); // the plans name folders in the system's form

    const Result result = run(arguments);
    QCOMPARE(result.status, status);
    QVERIFY2(result.out.contains(out), qPrintable(result.out));
    QVERIFY2(result.err.contains(err), qPrintable(result.err));
    if (status != 0)
        QVERIFY(result.out.isEmpty());

    QStringList expected = m_fixture;
    for (const QString& entry : gone)
        expected.removeAll(entry);
    expected += added;
    expected.sort();
    QCOMPARE(entriesOf(m_root), expected);
    if (gone.isEmpty() && added.isEmpty())
        QCOMPARE(stateOf(m_root), before); // nothing touched, not even a time stamp
    // Nothing is lost: every original content is in the tree or in the trash.
    const auto now = contentsOf({m_root, m_work->filePath("data/Trash/files")});
    for (const QByteArray& content : originals.keys())
        QVERIFY2(now.contains(content), content.constData());
}

void TestCli::undoTakesTheRunBack() {
    SKIP_UNDO_ON_WINDOWS();
    const QMap<QString, QString> before = stateOf(m_root);
    QCOMPARE(run({"-f", "-c", "AMJ", m_root}).status, 0);
    const QDate day = QDate::currentDate();
    QCOMPARE(run({"-d", "-c", "L", m_root}).status, 0);
    const QMap<QString, QString> sorted = stateOf(m_root);

    // The dry run says what would come back and changes nothing; its date is French whatever
    // the system's language.
    Result plan = run({"--annuler", "--simulation"});
    QCOMPARE(plan.status, 0);
    QVERIFY2(plan.out.contains("2 éléments à remettre en place"), qPrintable(plan.out));
    QVERIFY2(plan.out.contains("le " + day.toString("dd/MM/yyyy") + " à "), qPrintable(plan.out));
    QCOMPARE(stateOf(m_root), sorted);

    // The last run (the folders) first, then the one before it.
    Result undone = run({"-u", m_root});
    QCOMPARE(undone.status, 0);
    QVERIFY2(undone.out.contains("2 éléments remis en place"), qPrintable(undone.out));
    undone = run({"-u"});
    QCOMPARE(undone.status, 0);
    QVERIFY2(undone.out.contains("3 éléments remis en place"), qPrintable(undone.out));
    QCOMPARE(stateOf(m_root), before);

    const Result nothing = run({"-u"});
    QCOMPARE(nothing.status, 0);
    QVERIFY(nothing.out.contains("Aucun rangement à annuler"));
}

void TestCli::undoNamesWhatItLeaves() {
    SKIP_UNDO_ON_WINDOWS();
    QCOMPARE(run({"-f", "-c", "A", m_root}).status, 0);
    QVERIFY(TestFiles::write(path("2023/a.txt"), "changed since"));
    const Result undone = run({"-u"});
    QCOMPARE(undone.status, 1);
    QVERIFY2(undone.err.contains("laissé : " + path("2023/a.txt") +
                                 " (copie modifiée depuis le rangement : "),
             qPrintable(undone.err));
    QCOMPARE(undone.err.count("laissé : "), 1);
    QVERIFY2(undone.out.contains("2 éléments remis en place"), qPrintable(undone.out));
    QCOMPARE(TestFiles::read(path("a.txt")), QByteArray("a.txt"));
    QCOMPARE(TestFiles::read(path("2023/a.txt")), QByteArray("changed since"));
}

void TestCli::undoOfAnotherFolderIsRefused() {
    QCOMPARE(run({"-f", "-c", "A", m_root}).status, 0);
    const QMap<QString, QString> sorted = stateOf(m_root);
    QVERIFY(QDir().mkpath(m_work->filePath("other")));
    const Result refused = run({"--annuler", m_work->filePath("other")});
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.err.contains("rien n'a été annulé"), qPrintable(refused.err));
    QCOMPARE(stateOf(m_root), sorted);
}

void TestCli::helpTellsWhatTheUndoTakesBack() {
    const Result help = run({"--help"});
    QCOMPARE(help.status, 0);
    // A folder given to --annuler only guards the last run; a stopped run is undone by hand.
    for (const char* said :
         {"Avec DOSSIER, seulement si ce", "peut ensuite être défait avec --annuler"})
        QVERIFY2(help.out.contains(QString::fromUtf8(said)), said);
    for (const char* misleading : {"--annuler le reprend", "sinon rien n'est fait)"})
        QVERIFY2(!help.out.contains(QString::fromUtf8(misleading)), misleading);
}

void TestCli::filePlanNamesWhatItReplaces_data() {
    QTest::addColumn<QString>("there"); // what a/a.txt is before the plan
    QTest::addColumn<QString>("line");
    QTest::newRow("a different file") << "different"
                                      << "a.txt → a (remplace a/a.txt)\n";
    QTest::newRow("nothing") << "nothing"
                             << "a.txt → a\n";
    // The run finds it already in its place: nothing goes to the trash.
    QTest::newRow("the same file by another name") << "hard link"
                                                   << "a.txt → a\n";
    // The run leaves it: a copy never replaces a folder.
    QTest::newRow("a folder of that name") << "folder"
                                           << "a.txt (laissé : un dossier porte son nom dans a)\n";
}

void TestCli::filePlanNamesWhatItReplaces() {
    QFETCH(QString, there);
    QFETCH(QString, line);
    const QString plan = m_work->filePath("plan");
    QVERIFY(TestFiles::write(plan + "/a.txt", "a"));
    QVERIFY(QDir().mkpath(plan + "/a"));
    if (there == "different")
        QVERIFY(TestFiles::write(plan + "/a/a.txt", "another a"));
    else if (there == "folder")
        QVERIFY(QDir().mkpath(plan + "/a/a.txt"));
    else if (there == "hard link")
        QVERIFY(QFile::exists(plan + "/a.txt") &&
                (std::filesystem::create_hard_link((plan + "/a.txt").toStdWString(),
                                                   (plan + "/a/a.txt").toStdWString()),
                 true));
    const QMap<QString, QString> before = stateOf(plan);
    const Result result = run({"-f", "-c", "L", "-n", plan});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.startsWith(TestFiles::native(line)), qPrintable(result.out));
    QCOMPARE(stateOf(plan), before);
}

void TestCli::systemFolderIsRefused() {
    // A folder of our own below a system folder's subtree, whatever it holds.
#ifdef _WIN32
    QTemporaryDir system(qEnvironmentVariable("ProgramData") + "/zq-cli-XXXXXX");
#else
    QTemporaryDir system("/var/tmp/zq-cli-XXXXXX");
#endif
    QVERIFY(system.isValid());
    QVERIFY(TestFiles::write(system.filePath("a.txt")));
    const QMap<QString, QString> before = stateOf(system.path());
    for (const QStringList& arguments :
         {QStringList{"-f", "-c", "A", system.path()}, QStringList{"-d", "-c", "L", system.path()},
          QStringList{"-a", system.path()}, QStringList{"-a", "-n", system.path()}}) {
        const Result result = run(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(TestFiles::native(system.path())), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
    }
    QCOMPARE(stateOf(system.path()), before);
}

void TestCli::fileInUseIsNamedAndLeft() {
    // Another program keeps the file open for writing, as a download would; alone of its month.
    QVERIFY(TestFiles::write(path("log.txt"), "log.txt"));
    QVERIFY(TestFiles::setModified(path("log.txt"), kJul4));
#ifdef _WIN32
    // On Windows it shares the file for reading only.
    const HANDLE held = ::CreateFileW(path("log.txt").toStdWString().c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    QVERIFY(held != INVALID_HANDLE_VALUE);
    const auto stopWriter = qScopeGuard([&] { ::CloseHandle(held); });
#else
    QProcess writer;
    writer.setStandardOutputFile(path("log.txt"), QIODevice::Append);
    writer.start("sleep", {"60"});
    QVERIFY(writer.waitForStarted());
    const auto stopWriter = qScopeGuard([&] {
        writer.kill();
        writer.waitForFinished();
    });
#endif
    const Result result = run({"-f", "-c", "AM", m_root});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.contains("laissé en place : " + path("log.txt") +
                                 " (en cours d'écriture par un autre programme"),
             qPrintable(result.err));
    QVERIFY2(result.out.contains("3 fichier(s) rangé(s), 1 ignoré(s), 1 laissé(s) en place"),
             qPrintable(result.out));
    QCOMPARE(TestFiles::read(path("log.txt")), QByteArray("log.txt"));
    QVERIFY(QFileInfo::exists(path("2023/05/a.txt")));
    // The folders made for that file alone do not stay behind, empty.
    QVERIFY(!QFileInfo::exists(path("2021")));
}

void TestCli::originalsTheTrashRefusesAreNamedInOrder() {
    // Many files, so that the originals go to the trash while later files are copied; a few the
    // trash cannot take, being immutable.
    const QString many = m_work->filePath("many");
    for (int i = 0; i < 60; ++i)
        QVERIFY(TestFiles::write(many + QString::asprintf("/f%02d.txt", i), QByteArray::number(i)));
    const QStringList held{"f50.txt", "f35.txt", "f10.txt"}; // in the run's order, last first
    const auto release = qScopeGuard([&] {
        for (const QString& name : held)
            TestFiles::run("chattr", {"-i", many + "/" + name});
    });
    for (const QString& name : held) {
        if (TestFiles::run("chattr", {"+i", many + "/" + name}) != 0)
            QSKIP("chattr +i is not available here");
    }
    const QMap<QString, QString> before = stateOf(many);

    const Result result = run({"-f", "-c", "L", many});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.out.contains("57 fichier(s) rangé(s), 0 ignoré(s), 3 laissé(s) en place"),
             qPrintable(result.out));
    qsizetype at = -1;
    for (const QString& name : held) {
        const QString line = "laissé en place : " + many + "/" + name + " (copié dans " + many +
                             "/f, mais l'original n'a pas pu aller à la corbeille : ";
        const qsizetype found = result.err.indexOf(line);
        QVERIFY2(found > at, qPrintable(result.err));
        at = found;
    }
    QCOMPARE(result.err.count("laissé en place"), 3);
    // Each held original stays beside its copy; every other one is in its folder only.
    QCOMPARE(TestFiles::entries(many).filter(".txt"),
             (QStringList{"f10.txt", "f35.txt", "f50.txt"}));
    QCOMPARE(TestFiles::entries(many + "/f").size(), 60);

    // Their record, written from the run and from the trash side by side, takes it all back.
    QCOMPARE(run({"-u", many}).status, 0);
    QCOMPARE(stateOf(many), before);
}

void TestCli::runActsAsOneFileAfterTheOther() {
    // The originals go to the trash while the next files are copied, yet each file finds the
    // ones before it gone: a link to a file sorted just before leads nowhere, as it would if
    // the files were sorted one after the other. Sorted from the last name: f19b.txt, then its
    // link f19a.txt, and so on.
    const QString tidy = m_work->filePath("tidy");
    QStringList sorted{"2021/"};
    for (int i = 0; i < 20; ++i) {
        const QString file = QString::asprintf("f%02db.txt", i);
        const QString link = QString::asprintf("f%02da.txt", i);
        QVERIFY(TestFiles::write(tidy + "/" + file, file.toUtf8()));
        if (!TestFiles::link(file, tidy + "/" + link))
            QSKIP("no symbolic link can be made here");
        for (const QString& name : {file, link})
            QVERIFY(TestFiles::setModified(tidy + "/" + name, kJul4));
        sorted << "2021/" + file << link;
    }
    const Result result = run({"-f", "-c", "A", tidy});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.out.contains("20 fichier(s) rangé(s), 0 ignoré(s), 20 laissé(s) en place"),
             qPrintable(result.out));
    QCOMPARE(
        result.err.count("(échec de la copie dans " + TestFiles::native(tidy + "/2021") + " : "),
        20);
    sorted.sort();
    QCOMPARE(entriesOf(tidy), sorted);
}

void TestCli::sortsWhereNoThreadCanBeHad() {
    // A user at the limit of their processes: the trash gets no thread of its own, and the run
    // sends each original there itself instead of failing.
#ifdef _WIN32
    QSKIP("setpriv, prlimit and the nobody account are Linux's");
#else
    if (::getuid() != 0 || !::getpwnam("nobody") ||
        QStandardPaths::findExecutable("setpriv").isEmpty() ||
        QStandardPaths::findExecutable("prlimit").isEmpty())
        QSKIP("setpriv, prlimit and the nobody account, run as root, are needed");
    QTemporaryDir place;
    QVERIFY(place.isValid());
    QVERIFY(QFile::setPermissions(place.path(), QFile::permissions(place.path()) | QFile::ExeOther |
                                                    QFile::ReadOther));
    const QString program = place.filePath(TestProgramName);
    QVERIFY(QFile::copy(m_program, program));
    const QString limited = place.filePath("root");
    for (int i = 0; i < 30; ++i)
        QVERIFY(TestFiles::write(limited + QString::asprintf("/f%02d.txt", i)));
    QCOMPARE(TestFiles::run("chown", {"-R", "nobody:", place.path()}), 0);

    QProcess process;
    QProcessEnvironment environment;
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert("HOME", place.path());
    environment.insert("XDG_DATA_HOME", place.filePath("data"));
    environment.insert("XDG_STATE_HOME", place.filePath("state"));
    // The leak checker of a sanitized build needs a thread of its own at the end.
    environment.insert("ASAN_OPTIONS", "detect_leaks=0");
    process.setProcessEnvironment(environment);
    process.start("setpriv",
                  {"--reuid=nobody", "--regid=" + QString::number(::getpwnam("nobody")->pw_gid),
                   "--clear-groups", "prlimit", "--nproc=1", program, "-f", "-c", "L", limited});
    QVERIFY(process.waitForFinished(120000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    if (err.startsWith("prlimit:"))
        QSKIP("the nobody account runs other processes here");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(out.contains("30 fichier(s) rangé(s), 0 ignoré(s), 0 laissé(s)"),
             qPrintable(out + err));
    QCOMPARE(TestFiles::entries(limited), QStringList{"f"});
    QCOMPARE(TestFiles::entries(limited + "/f").size(), 30);
    QCOMPARE(TestFiles::entries(place.filePath("data/Trash/files")).size(), 30);
#endif
}

void TestCli::journalThatCannotBeWrittenEndsTheRun() {
    // The journals' folder has its place taken by a file: no record can be written.
    QVERIFY(TestFiles::write(path("ZQTRIEUR_LOG"), "in the way"));
    const Result result = run({"-f", "-c", "A", "--journal", m_root});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.contains("Impossible d'écrire dans"), qPrintable(result.err));
    QVERIFY2(result.out.contains("arrêté avant la fin"), qPrintable(result.out));
    // Whatever was not done is still in its place, whole.
    QCOMPARE(TestFiles::read(path("a.txt")), QByteArray("a.txt"));
}

void TestCli::signalStopsAtTheNextStep() {
#ifdef _WIN32
    QSKIP("SIGTERM is POSIX's; Ctrl+C reaches a Windows program only through a console");
#endif
    // Enough files that the run is still going when the signal comes.
    const QString big = m_work->filePath("big");
    for (int i = 0; i < 4000; ++i)
        QVERIFY(TestFiles::write(big + QString("/f%1.txt").arg(i), QByteArray::number(i)));
    const QMap<QString, QString> before = stateOf(big);

    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(m_program, {"-f", "-c", "L", big});
    QVERIFY(process.waitForStarted());
    // The first folder made means the run has started moving files.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(big + "/f"), 60000);
#ifndef _WIN32
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
#endif
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (process.exitCode() == 0 && !out.contains("arrêté"))
        QSKIP("the run ended before the signal came");
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(out.contains("arrêté avant la fin"), qPrintable(out));
    QVERIFY(!TestFiles::entries(big).filter(".txt").isEmpty()); // some files still wait

    // The record kept what was done: the undo puts it all back.
    QCOMPARE(run({"-u", big}).status, 0);
    QCOMPARE(stateOf(big), before);
}

void TestCli::progressOnlyOnATerminal() {
    if (QStandardPaths::findExecutable("script").isEmpty())
        QSKIP("script (util-linux) is needed for a terminal");
    // On a pipe: no redrawn line, no terminal codes.
    const Result piped = run({"-f", "-c", "A", m_root});
    QCOMPARE(piped.status, 0);
    QVERIFY(!piped.err.contains('\r') && !piped.err.contains("\033"));

    init();
    QProcess process;
    process.setProcessEnvironment(environment());
    // The program on a terminal of its own, whose screen `script` hands back.
    process.start("script",
                  {"-qefc", QString("'%1' -f -c A '%2'").arg(m_program, m_root), "/dev/null"});
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), 0);
    const QString shown = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(shown.contains("\r\033[K") && shown.contains("%"), qPrintable(shown));
    QVERIFY(shown.contains("3 fichier(s) rangé(s)"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
