// Where no run may go: the file system's root and the system's own folders, refused with a
// reason and with nothing touched.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "Journal.h"
#include "SystemFolders.h"
#include "TestFiles.h"
#include "TreeState.h"
#include "WindowTest.h"
#include "outil32_WIN.h"

class TestSafety : public WindowTest {
    Q_OBJECT
private slots:
    void initTestCase() {
        // A trash of this test's own: it checks that nothing went into it, while other tests
        // beside it fill the shared one.
        m_data = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/safety-data-XXXXXX");
        QVERIFY(m_data->isValid());
#ifndef _WIN32 // Windows has one recycle bin for the test run
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
#endif
    }
    void init() {
        createWindow();
        form->recordCommands = false;
    }
    void cleanup() {
        destroyWindow();
    }

    void systemFolders_data();
    void systemFolders();
    void runsRefused_data();
    void runsRefused();
    void saveMakesNoLogFolderThere();
    void folderListShowingAnotherFolderMovesNothing();

private:
    std::unique_ptr<QTemporaryDir> m_data;
    // A folder of the test's own inside a system tree, or an empty path when none can be made.
    std::unique_ptr<QTemporaryDir> insideSystemTree();
};

void TestSafety::systemFolders_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("refused");
#ifdef _WIN32
    // The known folders, wherever this Windows keeps them, and a drive's root.
    const QString windows = QDir::fromNativeSeparators(qEnvironmentVariable("SystemRoot"));
    const QString programs = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles"));
    const QString data = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramData"));
    const QString drive = windows.left(2);
    QTest::newRow("drive root") << drive + "\\" << true;
    QTest::newRow("drive root, other delimiter") << drive + "/" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("Windows") << windows << true;
    QTest::newRow("below Windows, other case") << windows.toUpper() + "/System32" << true;
    QTest::newRow("Program Files") << programs + "\\Ordalix" << true;
    QTest::newRow("ProgramData") << data << true;
    QTest::newRow("missing below a system folder") << data + "/no/such/folder" << true;
    QTest::newRow("climbing into Windows") << drive + "/users/../" + windows.mid(3) << true;
    QTest::newRow("a user's folder") << QDir::homePath() << false;
    QTest::newRow("a name that only starts like Windows") << windows + "Data" << false;
#else
    QTest::newRow("root") << "/" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("usr") << "/usr" << true;
    QTest::newRow("below usr") << "/usr/share/doc" << true;
    QTest::newRow("trailing delimiter") << "/etc/" << true;
    QTest::newRow("doubled delimiters") << "//var//tmp" << true;
    QTest::newRow("missing below a system folder") << "/var/no/such/folder" << true;
    QTest::newRow("dev") << "/dev/shm" << true;
    QTest::newRow("proc") << "/proc" << true;
    QTest::newRow("lib64") << "/lib64" << true;
    QTest::newRow("libx32") << "/libx32/x" << true;
    QTest::newRow("climbing into usr") << "/home/../usr/bin" << true;
    QTest::newRow("tmp") << "/tmp" << false;
    QTest::newRow("home") << "/home" << false;
    QTest::newRow("mnt") << "/mnt/photos" << false;
    QTest::newRow("media") << "/media" << false;
    QTest::newRow("srv") << "/srv/data" << false;
    QTest::newRow("opt") << "/opt" << false;
    QTest::newRow("a name that only starts like usr") << "/usrdata" << false;
    QTest::newRow("climbing out of usr") << "/usr/../home" << false;
#endif
}

void TestSafety::systemFolders() {
    QFETCH(QString, folder);
    QFETCH(bool, refused);
    QCOMPARE(systemfolders::IsSystemFolder(folder), refused);
}

std::unique_ptr<QTemporaryDir> TestSafety::insideSystemTree() {
#ifdef _WIN32
    const QStringList trees{qEnvironmentVariable("ProgramData")};
#else
    const QStringList trees{"/var/tmp", "/dev/shm"};
#endif
    for (const QString& tree : trees) {
        auto folder = std::make_unique<QTemporaryDir>(tree + "/zq-XXXXXX");
        if (folder->isValid())
            return folder;
    }
    return nullptr;
}

void TestSafety::runsRefused_data() {
    QTest::addColumn<QString>("run");
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("files") << "files" << false << false;
    QTest::newRow("folders") << "folders" << false << false;
    QTest::newRow("flatten") << "flatten" << false << false;
    QTest::newRow("files, automatic mode") << "files" << true << false;
    QTest::newRow("folders, automatic mode") << "folders" << true << false;
    QTest::newRow("files, through a link") << "files" << false << true;
    QTest::newRow("flatten, through a link") << "flatten" << false << true;
}

void TestSafety::runsRefused() {
    QFETCH(QString, run);
    QFETCH(bool, automatic);
    QFETCH(bool, throughLink);
#ifdef _WIN32
    if (throughLink)
        QSKIP("a symbolic link to a folder needs a privilege on Windows");
#endif
    // Should the refusal fail, the run would only touch this folder of the test's own.
    const auto system = insideSystemTree();
    if (!system)
        QSKIP("no system tree takes a temporary folder here");
    for (int i = 0; i < 6; ++i)
        QVERIFY(TestFiles::write(system->filePath(QString("file%1.txt").arg(i))));
    QVERIFY(TestFiles::write(system->filePath("album/photo.jpg")));
    QString folder = QDir::toNativeSeparators(system->path());
    if (throughLink) {
        folder = path("link");
        QVERIFY(QFile::link(system->path(), folder));
    }
    const auto before = TreeState::hashes({system->path()});
    const QStringList trashBefore = TestFiles::entries(TestFiles::trashFolder() + "/files");

    form->JvDirectoryEdit1->setDirectory(folder);
    form->chk_AUTO->setCheckedSilently(automatic);
    if (run == "flatten") {
        form->PageControl_Range->setTabIndex(1);
        form->Button2->click();
    } else {
        form->PageControl_Fichiers->setTabIndex(run == "files" ? 0 : 1);
        form->Ordalix->Execute();
    }

    QCOMPARE(TreeState::hashes({system->path()}), before);
    QCOMPARE(TestFiles::entries(system->path()),
             (QStringList{"album", "file0.txt", "file1.txt", "file2.txt", "file3.txt", "file4.txt",
                          "file5.txt"}));
    QCOMPARE(TestFiles::entries(TestFiles::trashFolder() + "/files"), trashBefore);
    const QString reason = systemfolders::RefusalText(folder);
    // An unattended run shows no box; the status bar and the lamp say why.
    QCOMPARE(dialogs->texts(), automatic ? QStringList{} : QStringList{reason});
    if (run != "flatten") {
        QVERIFY(panel0().startsWith("Le dossier " + folder));
        QVERIFY(form->JvLED1->toolTip().contains(reason));
    }
    QCOMPARE(openedFolders, QStringList{});
}

void TestSafety::saveMakesNoLogFolderThere() {
    const auto system = insideSystemTree();
    if (!system)
        QSKIP("no system tree takes a temporary folder here");
    form->JvDirectoryEdit1->setDirectory(system->path());
    QVERIFY(form->close());
    QCOMPARE(TestFiles::entries(system->path()), QStringList{});
    QVERIFY(!QFileInfo::exists(journal::LogFolder(system->path())));
    QVERIFY(dialogs->shown.isEmpty());
}

void TestSafety::folderListShowingAnotherFolderMovesNothing() {
    // The folder sort takes its folders from the list: should the list show any folder but the
    // root (it could not follow it), none of what it shows may move.
    QTemporaryDir root;
    QTemporaryDir elsewhere;
    QVERIFY(TestFiles::write(root.filePath("mine/a.txt")));
    QVERIFY(TestFiles::write(elsewhere.filePath("theirs/b.txt")));
    const auto before = TreeState::hashes({elsewhere.path()});
    form->JvDirectoryEdit1->setDirectory(QDir::toNativeSeparators(root.path()));
    form->JvDirectoryListBox1->setDirectory(QDir::toNativeSeparators(elsewhere.path()));
    form->PageControl_Fichiers->setTabIndex(1);
    form->Ordalix->Execute();
    QCOMPARE(TestFiles::entries(elsewhere.path()), QStringList{"theirs"});
    QCOMPARE(TreeState::hashes({elsewhere.path()}), before);
    QCOMPARE(TestFiles::entries(root.path()), QStringList{"mine"});
}

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
