#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <utility>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "Journal.h"
#include "Sorting.h"
#include "StopRequest.h"
#include "TestFiles.h"
#include "WindowTest.h"
#include "outil32_FILE.h"
#include "outil32_WIN.h"
#include "outil32_ini.h"

using namespace sorting;

namespace {

struct Request : SortRequest {
    QString root = TestFiles::native("/photos");
    bool letter = false, year = false, month = false, day = false;
    QString RootFolder() const override { return root; }
    bool ByLetter() const override { return letter; }
    bool ByYear() const override { return year; }
    bool ByMonth() const override { return month; }
    bool ByDay() const override { return day; }
    bool Journal() const override { return false; }
    bool Warnings() const override { return true; }
    bool AutoMode() const override { return false; }
    bool AutoClose() const override { return false; }
    bool CaptureDate() const override { return false; }
};

const QDateTime kMarch5(QDate(2021, 3, 5), QTime(10, 0));

// Files in the trash whose original path was `path`.
int inTrash(const QString& path) {
    int found = 0;
    const QString info = TestFiles::trashFolder() + "/info";
    for (const QString& name : QDir(info).entryList({"*.trashinfo"}, QDir::Files)) {
        if (TestFiles::trashInfoNames(TestFiles::read(info + "/" + name), path))
            ++found;
    }
    return found;
}

} // namespace

class TestSorting : public WindowTest {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void destinations_data();
    void destinations();
    void firstCharacterKeepsSurrogatePairs();
    void skipRule_data();
    void skipRule();
    void dateComponents();
    void journalFields();

    void questionText();
    void noCriterion();
    void questionAskedOnlyWhenWanted_data();
    void questionAskedOnlyWhenWanted();
    void fileRunByYearAndMonth();
    void fileRunJournalsAsWrittenOneByOne_data();
    void fileRunJournalsAsWrittenOneByOne();
    void fileRunIgnoresProgramFilesAndReports();
    void fileRunWithoutDestinationEnds();
    void failedCopyIsReported();
    void sameNamedTargetGoesToTrash();
    void dotNameIsNeverCopiedOntoItself();
    void failedTrashLeavesBoth();
    void fileBeingWrittenStaysWhole();
    void keyPressStopsTheRun_data();
    void keyPressStopsTheRun();
    void stopClickIsReentrant();
    void largeFileCopyIsFollowedAndStoppable_data();
    void largeFileCopyIsFollowedAndStoppable();
    void closeDuringRunIsRefused();
    void folderRun();
    void folderReportShortensAndKeepsPercent();
    void folderRunFirstLetterJournal();
    void journalFailureEndsTheCommand();

private:
    void setCriteria(bool letter, bool year, bool month, bool day);
    void useRoot(const QString& folder);
    QStringList infos() const;
};

void TestSorting::init() {
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    createWindow();
    form->recordCommands = false;
    StopRequested = false;
}

void TestSorting::cleanup() {
    destroyWindow();
    QLocale::setDefault(QLocale::c());
}

void TestSorting::setCriteria(bool letter, bool year, bool month, bool day) {
    form->chk_ABC->setChecked(letter);
    form->chk_A->setChecked(year);
    form->chk_M->setChecked(month);
    form->chk_D->setChecked(day);
}

void TestSorting::useRoot(const QString& folder) {
    form->JvDirectoryEdit1->setDirectory(folder);
}

QStringList TestSorting::infos() const {
    QStringList texts;
    for (const auto& request : dialogs->shown) {
        if (request.type == mtInformation)
            texts.append(request.text);
    }
    return texts;
}

void TestSorting::destinations_data() {
    QTest::addColumn<int>("criteria"); // bits: letter 8, year 4, month 2, day 1
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("folder");
    const QStringList files{"", "05", "03", "03/05", "2021", "", "2021/03", "2021/03/05"};
    for (int criteria = 0; criteria < 16; ++criteria) {
        const QString file = criteria & 8 ? QStringLiteral("V") : files[criteria];
        const QString folder = criteria & 8     ? QStringLiteral("/photos/V/")
                               : file.isEmpty() ? QString()
                                                : "/photos/" + file;
        QTest::addRow("%c%c%c%c", criteria & 8 ? 'L' : '-', criteria & 4 ? 'Y' : '-',
                      criteria & 2 ? 'M' : '-', criteria & 1 ? 'D' : '-')
            << criteria << file << folder;
    }
}

void TestSorting::destinations() {
    QFETCH(int, criteria);
    QFETCH(QString, file);
    QFETCH(QString, folder);
    file = TestFiles::native(file);
    folder = TestFiles::native(folder);
    Request request;
    request.letter = criteria & 8;
    request.year = criteria & 4;
    request.month = criteria & 2;
    request.day = criteria & 1;
    const DateComponents date{2021, "03", "05"};
    QString relative;
    QCOMPARE(FileRelativeDestination(request, "Vacances.jpg", date, relative), !file.isEmpty());
    if (!file.isEmpty())
        QCOMPARE(relative, file);
    QString destination;
    QCOMPARE(FolderDestination(request, "Vacances", date, destination), !folder.isEmpty());
    if (!folder.isEmpty())
        QCOMPARE(destination, folder);
    request.root =
        TestFiles::native("/photos/"); // a root ending with the delimiter gets no second one
    if (FolderDestination(request, "Vacances", date, destination))
        QCOMPARE(destination, folder);
}

void TestSorting::firstCharacterKeepsSurrogatePairs() {
    QCOMPARE(FirstCharacter(QString::fromUtf8("\xF0\x9F\x98\x80 smile.txt")),
             QString::fromUtf8("\xF0\x9F\x98\x80"));
    QCOMPARE(FirstCharacter("éte.txt"), QStringLiteral("é"));
    QCOMPARE(FirstCharacter("p.txt"), QStringLiteral("p"));
}

void TestSorting::skipRule_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("skipped");
    QTest::newRow("letter") << "A" << true;
    QTest::newRow("digit") << "7" << true;
    QTest::newRow("year") << "2021" << true;
    QTest::newRow("month") << "03" << true;
    QTest::newRow("dotted") << "1.5" << true;
    QTest::newRow("mixed") << "A1" << false;
    QTest::newRow("dash") << "2021-03" << false;
    QTest::newRow("word") << "Vacances" << false;
}

void TestSorting::skipRule() {
    QFETCH(QString, name);
    QFETCH(bool, skipped);
    QCOMPARE(SkipFolderName(name), skipped);
}

void TestSorting::dateComponents() {
    const DateComponents march = DateComponentsOf(DateTimeValue::fromDateTime(kMarch5));
    QCOMPARE(march.Year, 2021);
    QCOMPARE(march.Month, QStringLiteral("03"));
    QCOMPARE(march.Day, QStringLiteral("05"));
    QCOMPARE(DateComponentsOf(DateTimeValue{}).Year, 1899); // a missing time stamp is skipped
    const DateComponents december = DateComponentsOf(
        DateTimeValue::fromDateTime(QDateTime(QDate(1999, 12, 31), QTime(23, 59))));
    QCOMPARE(december.Month + december.Day, QStringLiteral("1231"));
}

void TestSorting::journalFields() {
    const QDateTime thursday(QDate(2021, 12, 9), QTime(22, 15));
    QCOMPARE(journal::ShortDate(thursday.date()), QStringLiteral("09/12/2021"));
    QCOMPARE(journal::DayHeading(thursday), QStringLiteral("09/12/2021 (jeudi)"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(journal::DayHeading(thursday), QStringLiteral("09.12.2021 (Donnerstag)"));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString logs = TestFiles::native("/photos/" + ExeNameUpper() + "_LOG/");
    QCOMPARE(journal::LogFolder(TestFiles::native("/photos")), logs);
    QCOMPARE(journal::LogFolder(TestFiles::native("/photos/")), logs);
}

void TestSorting::questionText() {
    for (int i = 0; i < 12; ++i)
        QVERIFY(TestFiles::write(path(QString("f%1.jpg").arg(i))));
    useRoot(rootPath());
    setCriteria(false, true, true, false);
    form->chk_AutoClose->setChecked(true);
    dialogs->setNextAnswer(Dialogs::Answer::Cancel);
    form->Timer1->start();
    form->Button1->click();
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].type, mtConfirmation);
    QCOMPARE(dialogs->shown[0].text.split("\r\n"),
             (QStringList{"RANGEMENT des FICHIERS", "", "Voulez-vous ranger par ANNEE MOIS ", "",
                          " les 12 \"Fichiers\" présents dans le dossier " + rootPath(), "",
                          "Fermeture automatique activée"}));
    // Declined: nothing moved, the program stays open, the timer stays off.
    QCOMPARE(TestFiles::entries(rootPath()).size(), 12);
    QVERIFY(!ApplicationTerminated());
    QVERIFY(!form->Timer1->isActive());

    setCriteria(true, true, false, true);
    form->PageControl_Fichiers->setTabIndex(1);
    dialogs->setNextAnswer(Dialogs::Answer::Cancel);
    form->chk_AutoClose->setChecked(false);
    form->Button1->click();
    QVERIFY(dialogs->shown[1].text.startsWith(
        "RANGEMENT des DOSSIERS\r\n\r\nVoulez-vous ranger par ALPHA\r\n\r\n les 0 \"Dossiers\""));
    QVERIFY(dialogs->shown[1].text.endsWith(rootPath() + "\r\n\r\n"));
}

void TestSorting::noCriterion() {
    setCriteria(false, false, false, false);
    form->Timer1->start();
    form->Button1->click();
    QCOMPARE(dialogs->texts(), QStringList{"Vous n'avez pas défini de critères de tri !"});
    QCOMPARE(dialogs->shown[0].type, mtCustom);
    QVERIFY(!form->Timer1->isActive());
}

void TestSorting::questionAskedOnlyWhenWanted_data() {
    QTest::addColumn<bool>("autoMode");
    QTest::addColumn<bool>("warnings");
    QTest::addColumn<bool>("asked");
    QTest::newRow("warnings") << false << true << true;
    QTest::newRow("no warnings") << false << false << false;
    QTest::newRow("auto mode") << true << true << false;
}

void TestSorting::questionAskedOnlyWhenWanted() {
    QFETCH(bool, autoMode);
    QFETCH(bool, warnings);
    QFETCH(bool, asked);
    useRoot(rootPath());
    form->chk_AUTO->setChecked(autoMode);
    form->chk_Dialogs->setChecked(warnings);
    dialogs->setNextAnswer(Dialogs::Answer::Cancel);
    form->Button1->click();
    const bool questionShown =
        !dialogs->shown.isEmpty() && dialogs->shown[0].type == mtConfirmation;
    QCOMPARE(questionShown, asked);
    // Not asked: the run went ahead and left its caption.
    QCOMPARE(form->Button1->Caption(), asked ? QStringLiteral("RANGER Tout !") : IdleCaption);
}

void TestSorting::fileRunByYearAndMonth() {
    QVERIFY(TestFiles::write(path("photo.jpg"), "photo"));
    QVERIFY(TestFiles::setModified(path("photo.jpg"), kMarch5));
    QVERIFY(TestFiles::write(path("NOTES"), "no dot: not listed"));
    QVERIFY(TestFiles::write(path(".hidden.txt"), "hidden"));
    QVERIFY(TestFiles::hide(path(".hidden.txt")));
    QVERIFY(TestFiles::write(path("zz.txt"), "zz"));
    QVERIFY(TestFiles::setModified(path("zz.txt"), QDateTime(QDate(2020, 11, 30), QTime(8, 0))));
    useRoot(rootPath());
    setCriteria(false, true, true, false);
    QStringList opened;
    form->Button1->click();

    QCOMPARE(TestFiles::read(path("2021/03/photo.jpg")), QByteArray("photo"));
    QCOMPARE(QFileInfo(path("2021/03/photo.jpg")).lastModified(), kMarch5);
    QCOMPARE(TestFiles::read(path("2020/11/zz.txt")), QByteArray("zz"));
    QVERIFY(!QFileInfo::exists(path("photo.jpg")));
    QCOMPARE(inTrash(path("photo.jpg")), 1);
    QVERIFY(QFileInfo::exists(path("NOTES")));
    QVERIFY(QFileInfo::exists(path(".hidden.txt")));
    QCOMPARE(infos(), QStringList{"2 fichiers rangés 0 fichiers ignorés"});
    QCOMPARE(openedFolders, QStringList{rootPath()});
    QCOMPARE(form->JvFileListBox1->Count(), 0);
    QCOMPARE(form->Button1->Caption(), IdleCaption);
    QVERIFY(!form->Gauge1->isVisible());
    QCOMPARE(form->JvStatusBar1->PanelText(0),
             QStringLiteral("2 fichiers rangés, 0 fichiers ignorés"));
    QCOMPARE(form->JvStatusBar1->PanelText(1), TestFiles::native("=> Dossier = 2021/03/"));

    // Journals, last entry first.
    const QString logs = journal::LogFolder(rootPath());
    const QString today = journal::ShortDate(QDate::currentDate());
    QCOMPARE(IniReadString("photo", today, "", logs + "_TRACE.LOG"), path("2021/03"));
    QCOMPARE(IniReadString("zz", today, "", logs + "_TRACE.LOG"), path("2020/11"));
    const QString day = journal::DayHeading(QDateTime::currentDateTime());
    QCOMPARE(IniReadString(day, "photo.jpg", "?", logs + "_JOURNAL.LOG"), QStringLiteral(".jpg"));
    const QByteArray trace = TestFiles::read(logs + "_TRACE.LOG");
    QVERIFY(trace.indexOf("[zz]") < trace.indexOf("[photo]"));
}

// The run writes its records in batches: its logs are byte for byte those written one record at
// a time, in the run's order, into logs that held the same lines.
void TestSorting::fileRunJournalsAsWrittenOneByOne_data() {
    QTest::addColumn<QByteArray>("trace");
    QTest::addColumn<QByteArray>("journal");
    QTest::newRow("no logs yet") << QByteArray() << QByteArray();
    QTest::newRow("logs of an earlier day")
        << QByteArray("[a]\r\n01/01/2000=/old\r\n[zz]\r\n01/01/2000=/old\r\n")
        << QByteArray("[01/01/2000 (samedi)]\r\nold.txt=.txt\r\n");
}

void TestSorting::fileRunJournalsAsWrittenOneByOne() {
    QFETCH(QByteArray, trace);
    QFETCH(QByteArray, journal);
    QTemporaryDir expected;
    QVERIFY(expected.isValid());
    const QString logs = journal::LogFolder(rootPath());
    const QString expectedLogs = journal::LogFolder(expected.path());
    for (const QString& folder : {logs, expectedLogs}) {
        QVERIFY(QDir().mkpath(folder));
        if (!trace.isNull())
            QVERIFY(TestFiles::write(folder + journal::FileTrace, trace));
        if (!journal.isNull())
            QVERIFY(TestFiles::write(folder + journal::FileJournal, journal));
    }
    // Two files of one name but for the extension share their trace section.
    const QStringList names{"a.jpg", "a.png", "b.txt", "c.txt"};
    for (const QString& name : names) {
        QVERIFY(TestFiles::write(path(name), name.toUtf8()));
        QVERIFY(TestFiles::setModified(path(name), kMarch5));
    }
    useRoot(rootPath());
    setCriteria(false, true, true, false);
    form->Button1->click();
    QCOMPARE(TestFiles::read(path("2021/03/a.png")), QByteArray("a.png"));

    for (auto name = names.crbegin(); name != names.crend(); ++name)
        journal::LogFileMove(expected.path(), *name, path("2021/03"));
    for (const QString& log : {journal::FileTrace, journal::FileJournal})
        QCOMPARE(TestFiles::read(logs + log), TestFiles::read(expectedLogs + log));
}

void TestSorting::fileRunIgnoresProgramFilesAndReports() {
    const QString program = ExeName(false);
    QVERIFY(TestFiles::write(path(program + ".ini")));
    QVERIFY(TestFiles::write(path("a.txt")));
    QVERIFY(TestFiles::write(path("b.txt")));
    useRoot(rootPath());
    form->chk_MOUCHARD->setChecked(false);
    form->Button1->click();
    QVERIFY(QFileInfo::exists(path(program + ".ini")));
    QCOMPARE(infos(), QStringList{"2 fichiers rangés 1 fichiers ignorés"});
    QVERIFY(!QFileInfo::exists(journal::LogFolder(rootPath()))); // journals off: no log folder
}

void TestSorting::fileRunWithoutDestinationEnds() {
    QVERIFY(TestFiles::write(path("a.txt")));
    QVERIFY(TestFiles::write(path("b.txt")));
    useRoot(rootPath());
    setCriteria(false, true, false, true);
    form->Button1->click();
    QCOMPARE(dialogs->shown.size(), 2);
    QVERIFY(dialogs->shown[0].text.contains("ANNEE JOUR"));
    QCOMPARE(dialogs->shown[1].text, NoDestinationWarning);
    QCOMPARE(dialogs->shown[1].type, mtWarning);
    QCOMPARE(TestFiles::entries(rootPath()), (QStringList{"a.txt", "b.txt"}));
    QCOMPARE(form->Button1->Caption(), IdleCaption);
    QVERIFY(!form->Gauge1->isVisible());
}

void TestSorting::failedCopyIsReported() {
    QVERIFY(TestFiles::write(path("photo.jpg"), "keep"));
    QVERIFY(TestFiles::setModified(path("photo.jpg"), kMarch5));
    QVERIFY(TestFiles::write(path("2021"), "a file where the year folder would go"));
    useRoot(rootPath());
    setCriteria(false, true, true, false);
    form->Button1->click();
    QCOMPARE(TestFiles::read(path("photo.jpg")), QByteArray("keep"));
    QStringList plain;
    for (const auto& shown : dialogs->shown) {
        if (shown.type == mtCustom)
            plain.append(shown.text);
    }
    QCOMPARE(
        plain,
        (QStringList{"Echec de création du dossier \r\n\r\nDOSSIER=\"" + path("2021/03") + "\"",
                     "#740: Echec copie\r\n\r\nphoto.jpg\r\n\r\nDans \r\n\r\n" + path("2021/03")}));
    QCOMPARE(infos(), QStringList{"1 fichiers rangés 0 fichiers ignorés"});
}

void TestSorting::sameNamedTargetGoesToTrash() {
    QVERIFY(TestFiles::write(path("photo.jpg"), "new"));
    QVERIFY(TestFiles::setModified(path("photo.jpg"), kMarch5));
    QVERIFY(TestFiles::write(path("2021/photo.jpg"), "older, different"));
    useRoot(rootPath());
    form->Button1->click();
    QCOMPARE(TestFiles::read(path("2021/photo.jpg")), QByteArray("new"));
    QCOMPARE(inTrash(path("2021/photo.jpg")), 1);
    QCOMPARE(inTrash(path("photo.jpg")), 1);
}

void TestSorting::dotNameIsNeverCopiedOntoItself() {
    QVERIFY(TestFiles::write(path("abc.txt"), "a"));
    QVERIFY(TestFiles::write(path("-x.txt"), "dash"));
    useRoot(rootPath());
    setCriteria(true, false, false, false);
    form->chk_MOUCHARD->setChecked(false);
    form->Button1->click();
    QCOMPARE(TestFiles::read(path("a/abc.txt")), QByteArray("a"));
    QCOMPARE(TestFiles::read(path("-/-x.txt")), QByteArray("dash"));
    // A name beginning with the dot would name the root itself: the copy is refused, the file
    // stays whole. Such names are hidden and not listed; the rule holds at the copy too.
    QVERIFY(TestFiles::write(path(".dot.txt"), "dot"));
    QVERIFY(!FileCopy(path(".dot.txt"), path(".") + "/.dot.txt"));
    QCOMPARE(TestFiles::read(path(".dot.txt")), QByteArray("dot"));
}

void TestSorting::failedTrashLeavesBoth() {
    // A volume of its own whose trash folder cannot be made: a file holds its name.
#ifdef _WIN32
    QSKIP("the trash folders of a volume are the freedesktop.org trash's");
#else
    QTemporaryDir mount(QDir::tempPath() + "/volume-XXXXXX");
    if (TestFiles::run("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mount.path()}) != 0)
        QSKIP("mounting a file system is not permitted here");
    const auto unmount = qScopeGuard([&] { TestFiles::run("umount", {mount.path()}); });
    QVERIFY(TestFiles::write(mount.filePath(".Trash-%1").arg(::getuid()), "not a folder"));
    QVERIFY(TestFiles::write(mount.filePath("photo.jpg"), "photo"));
    QVERIFY(TestFiles::setModified(mount.filePath("photo.jpg"), kMarch5));
    useRoot(mount.path());
    form->chk_MOUCHARD->setChecked(false);
    form->Button1->click();
    QCOMPARE(TestFiles::read(mount.filePath("photo.jpg")), QByteArray("photo"));
    QCOMPARE(TestFiles::read(mount.filePath("2021/photo.jpg")), QByteArray("photo"));
    QCOMPARE(infos(), QStringList{"1 fichiers rangés 0 fichiers ignorés"});
    // The user is told once that the original stayed.
    QCOMPARE(dialogs->shown.last().type, mtWarning);
    QVERIFY(dialogs->shown.last().text.startsWith(
        "1 fichier(s) copié(s) sans pouvoir être mis à la corbeille : l'original reste aussi dans "
        "le dossier racine.\r\n\r\n"));
#endif
}

void TestSorting::fileBeingWrittenStaysWhole() {
    QVERIFY(TestFiles::write(path("a.txt"), "a"));
    QVERIFY(TestFiles::write(path("log.txt"), "first line\n"));
    // Another program keeps the file open for writing, as a logger or a download would.
#ifdef _WIN32
    // On Windows it shares the file for reading only: opening it to copy is a sharing
    // violation.
    HANDLE held = ::CreateFileW(path("log.txt").toStdWString().c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    QVERIFY(held != INVALID_HANDLE_VALUE);
    const auto stopWriter = [&] {
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(std::exchange(held, INVALID_HANDLE_VALUE));
    };
#else
    QProcess writer;
    writer.setStandardOutputFile(path("log.txt"), QIODevice::Append);
    writer.start("sleep", {"30"});
    QVERIFY(writer.waitForStarted());
    const auto stopWriter = [&] {
        writer.kill();
        writer.waitForFinished();
    };
#endif
    const auto stopped = qScopeGuard(stopWriter);
    useRoot(rootPath());
    form->chk_MOUCHARD->setChecked(false);
    form->Button1->click();
    QCOMPARE(rootFiles(), QStringList{"log.txt"});
    QCOMPARE(TestFiles::read(path("log.txt")), QByteArray("first line\n"));
    QCOMPARE(inTrash(path("log.txt")), 0);
    const QString year = QString::number(QDate::currentDate().year());
    QVERIFY(!QFileInfo::exists(path(year + "/log.txt")));
    QVERIFY(QFileInfo::exists(path(year + "/a.txt")));
    QCOMPARE(dialogs->texts().filter("#740").size(), 1);
    QVERIFY(dialogs->texts().filter("#740").first().contains("log.txt"));

    // Once the writer is done, the file sorts like any other.
    stopWriter();
    form->Button1->click();
    QCOMPARE(rootFiles(), QStringList{});
    QCOMPARE(TestFiles::read(path(year + "/log.txt")), QByteArray("first line\n"));
}

void TestSorting::keyPressStopsTheRun_data() {
    QTest::addColumn<bool>("afterAnotherRun");
    QTest::newRow("first run") << false;
    // The pump's clock belongs to the run: a run that just pumped has no say in this one.
    QTest::newRow("right after another run") << true;
}

void TestSorting::keyPressStopsTheRun() {
    QFETCH(bool, afterAnotherRun);
    form->chk_MOUCHARD->setChecked(false);
    if (afterAnotherRun) {
        QTemporaryDir other(QDir::tempPath() + "/other-XXXXXX");
        QVERIFY(TestFiles::write(other.filePath("z.txt")));
        useRoot(other.path());
        form->Button1->click();
        dialogs->shown.clear();
    }
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        QVERIFY(TestFiles::write(path(name)));
    useRoot(rootPath());
    StopRequested = true; // a key pressed before the run does not stop it
    form->JvFileListBox1->setFocus();
    QTimer::singleShot(0, form.get(), [this] { QTest::keyClick(form->JvFileListBox1, Qt::Key_Q); });
    form->Button1->click();
    QCOMPARE(rootFiles(), (QStringList{"a.txt", "b.txt"})); // c.txt went first
    QCOMPARE(infos(), QStringList{"Interruption utilisateur"});
    QCOMPARE(form->JvStatusBar1->PanelText(0), QStringLiteral("2 fichiers restants"));
    QCOMPARE(form->JvFileListBox1->Count(), 3); // not re-read after an interruption
    QCOMPARE(form->Button1->Caption(), IdleCaption);
}

void TestSorting::stopClickIsReentrant() {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        QVERIFY(TestFiles::write(path(name)));
    useRoot(rootPath());
    form->chk_MOUCHARD->setChecked(false);
    QString captionDuringRun;
    QTimer::singleShot(0, form.get(), [&] {
        captionDuringRun = form->Button1->Caption();
        form->Button1->click(); // "STOP!" runs the sort command again
    });
    form->Button1->click();
    QCOMPARE(captionDuringRun, RunningCaption);
    QCOMPARE(dialogs->shown.size(), 4); // two questions, two interruptions
    QCOMPARE(infos(), (QStringList{"Interruption utilisateur", "Interruption utilisateur"}));
    QCOMPARE(rootFiles(), (QStringList{"a.txt", "b.txt"}));
    QCOMPARE(form->Button1->Caption(), IdleCaption);
}

void TestSorting::largeFileCopyIsFollowedAndStoppable_data() {
    QTest::addColumn<bool>("stop");
    QTest::newRow("copied whole") << false;
    QTest::newRow("stopped during the copy") << true;
}

void TestSorting::largeFileCopyIsFollowedAndStoppable() {
    QFETCH(bool, stop);
    if (TestFiles::underWine())
        QSKIP("Wine's CopyFileExW calls no progress routine: the copy is one step there");
    // Enough pieces that the window's messages are handled while it is copied.
    QByteArray content(96 << 20, '\0');
    for (qsizetype i = 0; i < content.size(); i += 4096)
        content[i] = char(i >> 12);
    QVERIFY(TestFiles::write(path("film.mp4"), content));
    QVERIFY(TestFiles::setModified(path("film.mp4"), kMarch5));
    useRoot(rootPath());
    setCriteria(false, true, true, false);
    form->chk_MOUCHARD->setChecked(false);
    QString status;
    int gaugeMax = 0;
    // Looks at each message pump; the first during the copy shows its progress.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, form.get(), [&] {
        const QString text = form->JvStatusBar1->PanelText(1);
        if (!status.isEmpty() || !text.startsWith("Copie de"))
            return;
        status = text;
        gaugeMax = form->Gauge1->MaxValue();
        if (stop)
            QTest::keyClick(form->JvFileListBox1, Qt::Key_Q);
    });
    watch.start(0);
    form->JvFileListBox1->setFocus();
    form->Button1->click();
    watch.stop();
    QVERIFY2(status.startsWith("Copie de film.mp4 : "), qPrintable(status));
    QVERIFY2(status.contains(" sur 96,0 Mo ("), qPrintable(status));
    QCOMPARE(gaugeMax, 100); // one file, counted in hundredths while it is copied
    QCOMPARE(form->Gauge1->MaxValue(), 1);
    if (stop) {
        // Given up at once: the original stays, and neither the copy nor its folder remain.
        QCOMPARE(infos(), QStringList{"Interruption utilisateur"});
        QCOMPARE(rootFiles(), QStringList{"film.mp4"});
        QVERIFY(TestFiles::read(path("film.mp4")) == content);
        QCOMPARE(QDir(rootPath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"film.mp4"});
        QCOMPARE(inTrash(path("film.mp4")), 0);
        QCOMPARE(form->JvStatusBar1->PanelText(0), QStringLiteral("1 fichiers restants"));
    } else {
        QCOMPARE(rootFiles(), QStringList{});
        QVERIFY(TestFiles::read(path("2021/03/film.mp4")) == content);
        QCOMPARE(inTrash(path("film.mp4")), 1);
    }
    QCOMPARE(form->Button1->Caption(), IdleCaption);
}

void TestSorting::closeDuringRunIsRefused() {
    for (const char* name : {"a.txt", "b.txt"})
        QVERIFY(TestFiles::write(path(name)));
    useRoot(rootPath());
    form->chk_MOUCHARD->setChecked(false);
    bool closed = true;
    QTimer::singleShot(0, form.get(), [&] { closed = form->close(); });
    form->Button1->click();
    QVERIFY(!closed);
    QVERIFY(form->isVisible());
    QCOMPARE(infos(), QStringList{"Interruption utilisateur"});
    QCOMPARE(rootFiles(), QStringList{"a.txt"});
}

void TestSorting::folderRun() {
    for (const char* name : {"Vacances", "Famille", "2020", "A", "1.5"})
        QVERIFY(QDir().mkpath(path(name)));
    QVERIFY(TestFiles::write(path("Vacances/plage.jpg"), "sea"));
    QVERIFY(TestFiles::setModified(path("Vacances"), kMarch5));
    QVERIFY(TestFiles::setModified(path("Famille"), QDateTime(QDate(2019, 7, 14), QTime(12, 0))));
    QVERIFY(TestFiles::write(path("2021/Vacances/old.jpg"), "already there"));
    useRoot(rootPath());
    form->PageControl_Fichiers->setTabIndex(1);
    setCriteria(false, true, false, false);
    form->Button1->click();

    // Vacances cannot merge into the existing 2021/Vacances: it stays, whole.
    QCOMPARE(TestFiles::read(path("Vacances/plage.jpg")), QByteArray("sea"));
    QCOMPARE(TestFiles::read(path("2021/Vacances/old.jpg")), QByteArray("already there"));
    QVERIFY(QFileInfo(path("2019/Famille")).isDir());
    const QString report = infos().value(0);
    QCOMPARE(report, QStringLiteral("1 dossiers rangés\r\n\r\nFamille\r\n\r\n\r\n"
                                    "4 dossiers ignorés\r\n\r\nA\r\n2021\r\n2020\r\n1.5\r\n"));
    QVERIFY(dialogs->texts().last().startsWith(
        "1 dossier(s) n'ont pas pu être déplacés : ils restent dans le dossier racine."));
    // The failed move still has its records.
    const QString logs = journal::LogFolder(rootPath());
    QCOMPARE(IniReadString("Vacances", "2021", "", logs + "DOSSIERS_TRACE.LOG"),
             journal::ShortDate(QDate::currentDate()));
    QCOMPARE(IniReadString(journal::DayHeading(QDateTime::currentDateTime()), "Famille", "",
                           logs + "DOSSIERS_JOUR.LOG"),
             QStringLiteral("2019"));
}

void TestSorting::folderReportShortensAndKeepsPercent() {
    for (int i = 0; i < 20; ++i)
        QVERIFY(QDir().mkpath(path(QString("dir %1%s %2%d").arg(i, 2, 10, QChar('0')).arg(i))));
    useRoot(rootPath());
    form->PageControl_Fichiers->setTabIndex(1);
    form->chk_MOUCHARD->setChecked(false);
    form->Button1->click();
    const QStringList lines = infos().value(0).split("\r\n");
    QCOMPARE(lines.first(), QStringLiteral("20 dossiers rangés"));
    QCOMPARE(lines.mid(2, 16).first(), QStringLiteral("dir 19%s 19%d"));
    QCOMPARE(lines.mid(2, 16).last(), QStringLiteral("..."));
    QCOMPARE(lines.at(16), QStringLiteral("dir 05%s 5%d"));
    QVERIFY(lines.contains("0 dossiers ignorés"));
}

void TestSorting::folderRunFirstLetterJournal() {
    QVERIFY(QDir().mkpath(path("Holidays")));
    useRoot(rootPath());
    form->PageControl_Fichiers->setTabIndex(1);
    setCriteria(true, false, false, false);
    form->Button1->click();
    QVERIFY(QFileInfo(path("H/Holidays")).isDir());
    const QString logs = journal::LogFolder(rootPath());
    QCOMPARE(IniReadString("Holidays", "", "?", logs + "DOSSIERS_TRACE.LOG"),
             journal::ShortDate(QDate::currentDate()));
    QCOMPARE(IniReadString(journal::DayHeading(QDateTime::currentDateTime()), "Holidays", "?",
                           logs + "DOSSIERS_JOUR.LOG"),
             QString());
}

void TestSorting::journalFailureEndsTheCommand() {
    QVERIFY(TestFiles::write(path("a.txt"), "a"));
    QVERIFY(TestFiles::write(path("b.txt"), "b"));
    // The log folder's place is taken by a file: no record can be written.
    QVERIFY(TestFiles::write(journal::LogFolder(rootPath()).chopped(1), "in the way"));
    useRoot(rootPath());
    form->chk_AutoClose->setChecked(true);
    form->Button1->click();
    QCOMPARE(dialogs->shown.last().type, mtError);
    QVERIFY(dialogs->shown.last().text.startsWith("Impossible d'écrire dans "));
    // The folder's failure is told once, right before the write error.
    int folderBoxes = 0;
    for (const auto& request : dialogs->shown)
        folderBoxes += request.text.startsWith("Echec de création du dossier") ? 1 : 0;
    QCOMPARE(folderBoxes, 1);
    QVERIFY(dialogs->shown.at(dialogs->shown.size() - 2).text.startsWith("Echec de création"));
    // The first file was copied but stays in the root; the run and the command ended.
    QCOMPARE(TestFiles::read(path("b.txt")), QByteArray("b"));
    QCOMPARE(TestFiles::read(path("a.txt")), QByteArray("a"));
    QCOMPARE(form->Button1->Caption(), IdleCaption);
    QVERIFY(!ApplicationTerminated());
}

QTEST_MAIN(TestSorting)
#include "tst_sorting.moc"
