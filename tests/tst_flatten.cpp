#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <functional>

#include "Settings.h"
#include "StopRequest.h"
#include "TestFiles.h"
#include "WindowTest.h"
#include "outil32_WIN.h"
#include "platform_convert.h"

namespace {

const QString kReport = QStringLiteral(
    "%1 fichiers présents ou déplacés dans %2\r\n\r\nVous pouvez supprimer les dossiers vides si "
    "vous le désirez");

QString question(int count, const QString& folder) {
    return QStringLiteral("Extraire les %1 fichiers contenus dans l'arborescence de :\r\n\r\n%2")
        .arg(QString::number(count), QFileInfo(folder).fileName());
}

// Sub-folders of `folder` in the order the platform lists them, as the walk meets them.
QStringList listingOrder(const QString& folder) {
    QStringList names;
    ordalix::platform::FindHandle search;
    ordalix::platform::FindData entry;
    for (bool found = search.findFirst(ordalix::toPlatformPath(folder + "/*.*"), entry, false);
         found; found = search.findNext(entry)) {
        const QString name = ordalix::fromPlatformPath(entry.name);
        if (name != "." && name != ".." && QFileInfo(folder + "/" + name).isDir())
            names.append(name);
    }
    return names;
}

// Runs `action` once, at the first message pump where `due` holds.
void atPumpWhen(QObject* context, std::function<bool()> due, std::function<void()> action) {
    auto* timer = new QTimer(context);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, context, [timer, due, action] {
        if (!due())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

bool chattr(const QString& flag, const QString& path) {
    return TestFiles::run("chattr", {flag, path}) == 0;
}

} // namespace

class TestFlatten : public WindowTest {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void filesOfTheTopFolderStay_data();
    void filesOfTheTopFolderStay();
    void sameNamesKeepTheLastListedAndTrashTheOthers();
    void topFolderFileReplacedFromSubFolder();
    void linkToTheTopFolderFileLeavesItWhole();
    void hiddenFilesMovedHiddenFoldersSkipped();
    void linksToFoldersAreNotEntered();
    void whatTheWalkLeavesIsNamedWithWhy();
    void cancelMovesNothing();
    void keyDuringCountIsDropped();
    void keyDuringWalkStopsAfterTheFolderInHand();
    void closeDuringWalkEndsIt();
    void anotherFolderOpenedDuringTheWalk();
    void secondFlattenIsRefused();
    void replacementThatCannotHappenLosesNothing_data();
    void replacementThatCannotHappenLosesNothing();

private:
    void useTop(const QString& folder) { form->JvDirectoryEdit1->setDirectory(folder); }
    QStringList shownOfType(TMsgDlgType type) const;
    QStringList infos() const { return shownOfType(mtInformation); }
    QStringList questions() const { return shownOfType(mtConfirmation); }
    void pressKey() {
        form->JvFileListBox1->setFocus();
        QTest::keyClick(form->JvFileListBox1, Qt::Key_Q);
    }
    QStringList frozen; // paths made immutable by a test, released in cleanup
    std::unique_ptr<QTemporaryDir> m_data;
};

void TestFlatten::initTestCase() {
    // A trash of this test's own: one case freezes it, and other tests run beside this one.
    m_data = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/flatten-data-XXXXXX");
    QVERIFY(m_data->isValid());
#ifndef _WIN32 // Windows has one recycle bin for the test run
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
#endif
}

void TestFlatten::init() {
    createWindow();
    form->recordCommands = false;
    StopRequested = false;
}

void TestFlatten::cleanup() {
    for (const QString& path : frozen)
        chattr("-i", path);
    frozen.clear();
    destroyWindow();
}

QStringList TestFlatten::shownOfType(TMsgDlgType type) const {
    QStringList texts;
    for (const auto& request : dialogs->shown) {
        if (request.type == type)
            texts.append(request.text);
    }
    return texts;
}

void TestFlatten::filesOfTheTopFolderStay_data() {
    QTest::addColumn<QStringList>("files");
    QTest::newRow("three files") << QStringList{"a.txt", "b", "c.jpg"};
    QTest::newRow("empty tree") << QStringList{};
}

void TestFlatten::filesOfTheTopFolderStay() {
    QFETCH(QStringList, files);
    for (const QString& name : files)
        QVERIFY(TestFiles::write(path(name), name.toUtf8()));
    QVERIFY(QDir().mkpath(path("empty")));
    useTop(rootPath());
    form->PageControl_Range->setTabIndex(1);
    form->Button2->click();

    const int n = int(files.size());
    QCOMPARE(questions(), QStringList{question(n, rootPath())});
    QCOMPARE(infos(), QStringList{kReport.arg(QString::number(n), rootPath())});
    QCOMPARE(form->Gauge1->MaxValue(), n);
    QCOMPARE(form->Gauge1->Progress(), n);
    QCOMPARE(form->JvStatusBar1->Tag(), n);
    for (const QString& name : files)
        QCOMPARE(TestFiles::read(path(name)), name.toUtf8());
    QCOMPARE(rootFiles().size(), files.size());
    QVERIFY(!form->Gauge1->isVisible());
    QCOMPARE(form->PageControl_Range->TabIndex(), 0);
    QCOMPARE(form->PageControl_Fichiers->TabIndex(), 0);
    QCOMPARE(openedFolders, QStringList{rootPath()});
    if (n > 0)
        QVERIFY(panel0().startsWith(QString::number(n - 1) + " - []=>"));
}

void TestFlatten::sameNamesKeepTheLastListedAndTrashTheOthers() {
    QVERIFY(TestFiles::write(path("A/x.txt"), "A"));
    QVERIFY(TestFiles::write(path("B/x.txt"), "B"));
    QVERIFY(TestFiles::write(path("B/y.txt"), "y"));
    const QStringList order = listingOrder(rootPath());
    QCOMPARE(order.size(), 2);
    useTop(rootPath());
    form->Button2->click();

    QCOMPARE(questions(), QStringList{question(3, rootPath())});
    QCOMPARE(infos(), QStringList{kReport.arg("3", rootPath())});
    QCOMPARE(rootFiles(), (QStringList{"x.txt", "y.txt"}));
    QCOMPARE(TestFiles::read(path("x.txt")), order.last().toUtf8());
    QCOMPARE(TestFiles::trashedContents(path("x.txt")), QList<QByteArray>{order.first().toUtf8()});
    QVERIFY(TestFiles::entries(path("A")).isEmpty());
    QVERIFY(TestFiles::entries(path("B")).isEmpty());
}

void TestFlatten::topFolderFileReplacedFromSubFolder() {
    QVERIFY(TestFiles::write(path("x.txt"), "old"));
    QVERIFY(TestFiles::write(path("sub/x.txt"), "new"));
    useTop(rootPath());
    form->Button2->click();
    QCOMPARE(TestFiles::read(path("x.txt")), QByteArray("new"));
    QCOMPARE(TestFiles::trashedContents(path("x.txt")), QList<QByteArray>{"old"});
    QCOMPARE(infos(), QStringList{kReport.arg("2", rootPath())});
    QCOMPARE(rootFiles(), QStringList{"x.txt"}); // nothing parked on the way is left behind
}

void TestFlatten::linkToTheTopFolderFileLeavesItWhole() {
    QVERIFY(TestFiles::write(path("x.txt"), "only copy"));
    QVERIFY(QDir().mkpath(path("sub")));
    if (!TestFiles::link(path("x.txt"), path("sub/x.txt")))
        QSKIP("no symbolic link can be made here");
    useTop(rootPath());
    form->Button2->click();
    // A link stays where it is: the file it names is not replaced, nor sent to the trash.
    QCOMPARE(TestFiles::read(path("x.txt")), QByteArray("only copy"));
    QVERIFY(!QFileInfo(path("x.txt")).isSymLink());
    QVERIFY(QFileInfo(path("sub/x.txt")).isSymLink());
    QVERIFY(TestFiles::trashedContents(path("x.txt")).isEmpty());
    QCOMPARE(infos(), QStringList{kReport.arg("1", rootPath())});
}

void TestFlatten::hiddenFilesMovedHiddenFoldersSkipped() {
    QVERIFY(TestFiles::write(path("sub/inner/.hidden.txt"), "h"));
    QVERIFY(TestFiles::write(path(".secret/s.txt"), "s"));
    QVERIFY(TestFiles::write(path("sub/.cache/c.txt"), "c"));
    for (const char* hidden : {"sub/inner/.hidden.txt", ".secret", "sub/.cache"})
        QVERIFY(TestFiles::hide(path(hidden)));
    useTop(rootPath());
    form->Button2->click();
    QCOMPARE(questions(), QStringList{question(1, rootPath())});
    QCOMPARE(rootFiles(), QStringList{".hidden.txt"});
    QVERIFY(QFile::exists(path(".secret/s.txt")));
    QVERIFY(QFile::exists(path("sub/.cache/c.txt")));
    QCOMPARE(panel0(), TestFiles::native("0 - [sub/inner]=>.hidden.txt"));
}

void TestFlatten::linksToFoldersAreNotEntered() {
    QTemporaryDir outside;
    QVERIFY(TestFiles::write(outside.filePath("o.txt"), "outside"));
    QVERIFY(TestFiles::write(path("sub/f.txt"), "f"));
    if (!TestFiles::link(rootPath(), path("sub/loop")) ||
        !TestFiles::link(outside.path(), path("out")))
        QSKIP("no symbolic link can be made here");
    useTop(rootPath());
    form->Button2->click();
    QCOMPARE(questions(), QStringList{question(1, rootPath())});
    QCOMPARE(infos(), QStringList{kReport.arg("1", rootPath())});
    QCOMPARE(rootFiles(), QStringList{"f.txt"});
    QCOMPARE(TestFiles::read(outside.filePath("o.txt")), QByteArray("outside"));
}

void TestFlatten::whatTheWalkLeavesIsNamedWithWhy() {
    QVERIFY(TestFiles::write(path("Photos/p.jpg"), "p"));
    QVERIFY(TestFiles::write(path("sub/Photos"), "a file named like a top folder"));
    QVERIFY(TestFiles::write(path("sub/f.txt"), "f"));
    if (!TestFiles::link("f.txt", path("sub/link.txt")))
        QSKIP("no symbolic link can be made here");
    useTop(rootPath());
    form->Button2->click();

    // The plan says beforehand what the report names afterwards, with the same reasons.
    QStringList plan = dialogs->shown.first().details.split('\n');
    plan.sort();
    const QString top = QFileInfo(rootPath()).fileName();
    QCOMPARE(plan, (QStringList{TestFiles::native("Photos/p.jpg → ") + top,
                                TestFiles::native("sub/Photos (laissé : un dossier porte ce nom)"),
                                TestFiles::native("sub/f.txt → ") + top,
                                TestFiles::native("sub/link.txt (laissé : lien symbolique)")}));
    const Dialogs::Request warning = dialogs->shown.last();
    QCOMPARE(warning.type, mtWarning);
    QStringList left = warning.details.split('\n');
    left.sort();
    QCOMPARE(left, (QStringList{path("sub/Photos") + " (un dossier porte ce nom)",
                                path("sub/link.txt") + " (lien symbolique)"}));
    QCOMPARE(TestFiles::read(path("sub/Photos")), QByteArray("a file named like a top folder"));
    QCOMPARE(rootFiles(), (QStringList{"f.txt", "p.jpg"}));
}

void TestFlatten::cancelMovesNothing() {
    QVERIFY(TestFiles::write(path("sub/f.txt")));
    useTop(rootPath());
    form->JvStatusBar1->setTag(5);
    dialogs->setNextAnswer(Dialogs::Answer::Cancel);
    form->Button2->click();
    QCOMPARE(questions().size(), 1);
    QVERIFY(infos().isEmpty());
    QVERIFY(QFile::exists(path("sub/f.txt")));
    QCOMPARE(form->JvStatusBar1->Tag(), 0);
    QVERIFY(!form->Gauge1->isVisible());
    QVERIFY(openedFolders.isEmpty());
}

void TestFlatten::keyDuringCountIsDropped() {
    QVERIFY(TestFiles::write(path("a/f.txt")));
    QVERIFY(TestFiles::write(path("b/g.txt")));
    useTop(rootPath());
    QTimer::singleShot(0, form.get(), [this] { pressKey(); }); // the count's first pump
    form->Button2->click();
    QCOMPARE(rootFiles(), (QStringList{"f.txt", "g.txt"}));
    QCOMPARE(infos(), QStringList{kReport.arg("2", rootPath())});
}

void TestFlatten::keyDuringWalkStopsAfterTheFolderInHand() {
    QVERIFY(TestFiles::write(path("A/a1.txt")));
    QVERIFY(TestFiles::write(path("A/a2.txt")));
    QVERIFY(TestFiles::write(path("A/deep/d.txt")));
    QVERIFY(TestFiles::write(path("B/b1.txt")));
    QVERIFY(TestFiles::write(path("B/b2.txt")));
    const QString first = listingOrder(rootPath()).first();
    useTop(rootPath());
    form->Gauge1->setProgress(100); // left by an earlier command: cut to 5, then back to 0
    int progressAtStop = -1;
    atPumpWhen(
        form.get(), [this] { return form->JvStatusBar1->Tag() >= 2; },
        [&] {
            progressAtStop = form->Gauge1->Progress();
            pressKey();
        });
    form->Button2->click();

    // The first folder's files all moved; neither its sub-folder nor the other folder entered.
    QCOMPARE(rootFiles(),
             first == "A" ? (QStringList{"a1.txt", "a2.txt"}) : (QStringList{"b1.txt", "b2.txt"}));
    QVERIFY(QFile::exists(path("A/deep/d.txt")));
    // The gauge counts from its minimum, whatever an earlier command left in it.
    QVERIFY(progressAtStop >= 0 && progressAtStop <= 2);
    QVERIFY(panel0().startsWith("1 - [" + first + "]=>"));
    QCOMPARE(infos(), QStringList{kReport.arg("2", rootPath())});
    QCOMPARE(openedFolders, QStringList{rootPath()});
    QVERIFY(!form->Gauge1->isVisible());
}

void TestFlatten::closeDuringWalkEndsIt() {
    QVERIFY(TestFiles::write(path("A/a1.txt")));
    QVERIFY(TestFiles::write(path("A/a2.txt")));
    QVERIFY(TestFiles::write(path("B/b1.txt")));
    QVERIFY(TestFiles::write(path("B/b2.txt")));
    const QString first = listingOrder(rootPath()).first();
    useTop(rootPath());
    bool closed = false;
    atPumpWhen(
        form.get(), [this] { return form->JvStatusBar1->Tag() >= 2; },
        [&] { closed = form->close(); });
    form->Button2->click();

    // The close is taken and the settings saved; the walk ends there, and says nothing more.
    QVERIFY(closed);
    QVERIFY(ApplicationTerminated());
    QVERIFY(QFileInfo::exists(IniPath));
    QCOMPARE(rootFiles(),
             first == "A" ? (QStringList{"a1.txt", "a2.txt"}) : (QStringList{"b1.txt", "b2.txt"}));
    QCOMPARE(infos(), QStringList{});
    QCOMPARE(openedFolders, QStringList{});
    ClearApplicationTerminatedForTesting();
}

void TestFlatten::anotherFolderOpenedDuringTheWalk() {
    QVERIFY(TestFiles::write(path("A/a.txt")));
    QVERIFY(TestFiles::write(path("B/b.txt")));
    const QString first = listingOrder(rootPath()).first();
    QTemporaryDir other;
    useTop(rootPath());
    atPumpWhen(
        form.get(), [this] { return form->JvStatusBar1->Tag() >= 1; },
        [&] { form->JvDirectoryListBox2->setDirectory(TestFiles::native(other.path())); });
    form->Button2->click();

    const QString second = first == "A" ? "b.txt" : "a.txt";
    QCOMPARE(rootFiles(), QStringList{first.toLower() + ".txt"});
    QVERIFY(QFile::exists(other.filePath(second)));
    QCOMPARE(infos(), QStringList{kReport.arg("2", TestFiles::native(other.path()))});
}

void TestFlatten::secondFlattenIsRefused() {
    QVERIFY(TestFiles::write(path("A/a.txt")));
    QVERIFY(TestFiles::write(path("B/b.txt")));
    useTop(rootPath());
    atPumpWhen(
        form.get(), [this] { return form->JvStatusBar1->Tag() >= 1; },
        [this] { form->Button2->click(); });
    form->Button2->click();
    QCOMPARE(questions().size(), 1);
    QCOMPARE(infos(), QStringList{kReport.arg("2", rootPath())});
    QCOMPARE(rootFiles(), (QStringList{"a.txt", "b.txt"}));
    // Once the command is over, the button works again.
    form->Button2->click();
    QCOMPARE(questions().size(), 2);
}

void TestFlatten::replacementThatCannotHappenLosesNothing_data() {
    QTest::addColumn<bool>("sourceFrozen");
    QTest::newRow("the file cannot move") << true;
    QTest::newRow("the trash refuses the replaced file") << false;
}

void TestFlatten::replacementThatCannotHappenLosesNothing() {
    QFETCH(bool, sourceFrozen);
    QVERIFY(TestFiles::write(path("x.txt"), "old"));
    QVERIFY(TestFiles::write(path("sub/x.txt"), "new"));
    QVERIFY(TestFiles::write(path("sub/y.txt"), "y"));
    // The trash cannot take the file's record (and so the file) when its info folder is frozen.
    const QString trashInfo = TestFiles::trashFolder() + "/info";
    QVERIFY(QDir().mkpath(trashInfo));
    const QString frozenPath = sourceFrozen ? path("sub/x.txt") : trashInfo;
    if (!chattr("+i", frozenPath))
        QSKIP("chattr +i is not available here");
    frozen.append(frozenPath);
    useTop(rootPath());
    form->Button2->click();

    QCOMPARE(TestFiles::read(path("x.txt")), QByteArray("old"));
    QCOMPARE(TestFiles::read(path("sub/x.txt")), QByteArray("new"));
    QCOMPARE(TestFiles::read(path("y.txt")), QByteArray("y"));
    QVERIFY(TestFiles::trashedContents(path("x.txt")).isEmpty());
    QCOMPARE(rootFiles(), (QStringList{"x.txt", "y.txt"}));
    QCOMPARE(infos(), QStringList{kReport.arg("2", rootPath())}); // the top's x.txt and y.txt
    // The file left behind is told, not silently skipped.
    QCOMPARE(dialogs->shown.last().type, mtWarning);
    QVERIFY(dialogs->shown.last().text.startsWith(
        "1 fichier(s) n'ont pas pu être déplacés : ils restent dans leur dossier.\r\n\r\n"));
}

QTEST_MAIN(TestFlatten)
#include "tst_flatten.moc"
