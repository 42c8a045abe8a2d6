#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "RecordingPresenter.h"
#include "TestFiles.h"
#include "outil32_DIR.h"
#include "outil32_WIN.h"

class TestToolkitFolders : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void createDir_data();
    void createDir();
    void createDirRefused();
    void countAllFiles();
    void countAllFilesSkipsLinksAndHiddenFolders();
    void countStopsWhenTerminating();
    void eachRunPumpsAfterItsFirstItem();
    void folderOrFile_data();
    void folderOrFile();

private:
    QString path(const QString& name) const {
        return QDir::toNativeSeparators(m_dir->filePath(name));
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestToolkitFolders::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestToolkitFolders::cleanup() {
    m_dir.reset();
}

void TestToolkitFolders::createDir_data() {
    QTest::addColumn<QString>("folder"); // relative to the test folder; "" stays empty
    QTest::addColumn<bool>("created");
    QTest::addColumn<QString>("message");
    QTest::newRow("existing") << "." << true << "";
    QTest::newRow("one level") << "2021" << true << "";
    QTest::newRow("nested levels") << "2021/03/05" << true << "";
    QTest::newRow("trailing delimiter") << "V/" << true << "";
    QTest::newRow("doubled delimiter") << "a//b" << true << "";
    QTest::newRow("empty") << "" << false
                           << "OUTIL32_DIR : CreateDir \r\nLe nom de dossier ne peut êre vide";
    QTest::newRow("below a file") << "file.txt/sub" << false
                                  << "Echec de création du dossier \r\n\r\nDOSSIER=\"%1\"";
}

void TestToolkitFolders::createDir() {
    QFETCH(QString, folder);
    QFETCH(bool, created);
    QFETCH(QString, message);
    QVERIFY(TestFiles::write(path("file.txt")));
    const QString full = folder.isEmpty() ? QString() : path(folder);
    RecordingPresenter dialogs;
    QCOMPARE(CreateDir(full), created);
    QCOMPARE(QFileInfo(full).isDir(), created);
    if (message.isEmpty()) {
        QVERIFY(dialogs.shown.isEmpty());
        return;
    }
    QCOMPARE(dialogs.texts(), QStringList{message.contains("%1") ? message.arg(full) : message});
    QCOMPARE(dialogs.shown.first().type, mtCustom);
    QCOMPARE(dialogs.shown.first().title, ApplicationTitle());
}

void TestToolkitFolders::createDirRefused() {
    // An immutable folder refuses new entries even to root.
    QVERIFY(QDir().mkpath(path("locked")));
    if (TestFiles::run("chattr", {"+i", path("locked")}) != 0)
        QSKIP("chattr +i is not available here");
    RecordingPresenter dialogs;
    const bool created = CreateDir(path("locked/2021/03"));
    TestFiles::run("chattr", {"-i", path("locked")});
    QVERIFY(!created);
    QCOMPARE(dialogs.texts(), QStringList{"Echec de création du dossier \r\n\r\nDOSSIER=\"" +
                                          path("locked/2021/03") + "\""});
}

void TestToolkitFolders::countAllFiles() {
    QVERIFY(TestFiles::write(path("top/a")));
    QVERIFY(TestFiles::write(path("top/b.txt")));
    QVERIFY(TestFiles::write(path("top/.c")));
    int counter = 0;
    QVERIFY(CountAllFiles(path("top/"), "*.*", counter));
    QCOMPARE(counter, 3);

    QVERIFY(TestFiles::write(path("top/sub/d.txt")));
    QVERIFY(TestFiles::write(path("top/sub/deeper/e.txt")));
    QVERIFY(QDir().mkpath(path("top/empty")));
    counter = 10; // added to, never reset
    QVERIFY(CountAllFiles(path("top/"), "*.*", counter));
    QCOMPARE(counter, 15);

    counter = 0; // the mask selects what counts, the descent still sees every folder
    QVERIFY(CountAllFiles(path("top/"), "*.txt", counter));
    QCOMPARE(counter, 3);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestToolkitFolders::countAllFilesSkipsLinksAndHiddenFolders() {
#ifdef _WIN32
    QSKIP("symbolic links need a privilege on Windows, and its hidden folders are marked so");
#endif
    QVERIFY(TestFiles::write(path("top/a.txt")));
    QVERIFY(TestFiles::write(path("top/.hidden/one.txt")));
    QVERIFY(TestFiles::write(path("top/.hidden/two.txt")));
    QVERIFY(TestFiles::write(path("top/sub/.deep/x.txt")));
    QVERIFY(TestFiles::write(path("outside/many1.txt")));
    QVERIFY(TestFiles::write(path("outside/many2.txt")));
    QVERIFY(QFile::link(path("top"), path("top/sub/loop")));       // a link loop
    QVERIFY(QFile::link(path("outside"), path("top/to-outside"))); // out of the tree
    int counter = 0;
    QVERIFY(CountAllFiles(path("top/"), "*.*", counter));
    QCOMPARE(counter, 1);
}

void TestToolkitFolders::countStopsWhenTerminating() {
    for (int i = 0; i < 5; ++i)
        QVERIFY(TestFiles::write(path(QString("top/f%1/file.txt").arg(i))));
    QVERIFY(TestFiles::write(path("top/own.txt")));
    // A quit request arrives during the count's first message pump.
    QTimer::singleShot(0, [] { TerminateApplication(); });
    int counter = 0;
    QGuiApplication::setOverrideCursor(QCursor(Qt::PointingHandCursor));
    QGuiApplication::setOverrideCursor(QCursor(Qt::IBeamCursor));
    QVERIFY(!CountAllFiles(path("top/"), "*.*", counter));
    QCOMPARE(counter, 1);                        // what was counted before the stop is kept
    QVERIFY(!QGuiApplication::overrideCursor()); // the default cursor, not the earlier one
}

void TestToolkitFolders::eachRunPumpsAfterItsFirstItem() {
    int handled = 0;
    const auto post = [&] { QTimer::singleShot(0, [&] { ++handled; }); };
    RunMessagePump earlier;
    post();
    earlier.whenDue();
    QCOMPARE(handled, 1);
    // A new run pumps after its first item, however recently another run pumped.
    RunMessagePump run;
    post();
    run.whenDue();
    QCOMPARE(handled, 2);
    // Then a few milliseconds apart: an item done at once after the first waits.
    post();
    run.whenDue();
    QCOMPARE(handled, 2);
    QTest::qSleep(20); // handles nothing meanwhile
    run.whenDue();
    QCOMPARE(handled, 3);
}

void TestToolkitFolders::folderOrFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("file");
    QTest::newRow("folder") << "dir" << true << false;
    QTest::newRow("folder with delimiter") << "dir/" << true << false;
    QTest::newRow("file") << "file.txt" << false << true;
    QTest::newRow("link to folder") << "dirlink" << true << false;
    QTest::newRow("link to file") << "filelink" << false << true;
    QTest::newRow("dangling link") << "dangling" << false << false;
    QTest::newRow("missing") << "missing" << false << false;
    QTest::newRow("empty path") << "" << false << false;
}

void TestToolkitFolders::folderOrFile() {
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(bool, file);
#ifdef _WIN32
    if (QString(QTest::currentDataTag()).contains("link"))
        QSKIP("symbolic links need a privilege on Windows");
#endif
    QVERIFY(QDir().mkpath(path("dir")));
    QVERIFY(TestFiles::write(path("file.txt")));
    QVERIFY(QFile::link(path("dir"), path("dirlink")));
    QVERIFY(QFile::link(path("file.txt"), path("filelink")));
    QVERIFY(QFile::link(path("nowhere"), path("dangling")));
    const QString full = name.isEmpty() ? QString() : path(name);
    QCOMPARE(IsFolder(full), folder);
    QCOMPARE(IsFile(full), file);
}

QTEST_MAIN(TestToolkitFolders)
#include "tst_toolkit_folders.moc"
