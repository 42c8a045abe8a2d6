#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>

#include "Journal.h"
#include "Settings.h"
#include "StopRequest.h"
#include "TestFiles.h"
#include "WindowTest.h"
#include "outil32_WIN.h"
#include "outil32_ini.h"

using namespace settings;

namespace {

// The keys of a section, in file order.
QStringList keysOf(const QByteArray& content, const QByteArray& section) {
    QStringList keys;
    bool inside = false;
    for (const QByteArray& raw : content.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('['))
            inside = line == "[" + section + "]";
        else if (inside && line.contains('='))
            keys.append(QString::fromUtf8(line.left(line.indexOf('='))));
    }
    return keys;
}

// The ten keys in their order, then the date-of-capture option.
const QStringList kTenKeys{"DOSSIER",  "PAGE",      "alpha",   "A",    "M",         "D",
                           "MOUCHARD", "AUTOCLOSE", "DIALOGS", "AUTO", "PRISEDEVUE"};

} // namespace

class TestSettings : public WindowTest {
    Q_OBJECT
private slots:
    void cleanup() {
        destroyWindow();
        setWorkAreaForTesting({});
    }

    void firstStartAndClose();
    void startRestoresSettings();
    void folderArgument_data();
    void folderArgument();
    void missingFolderArgument_data();
    void missingFolderArgument();
    void startFolderWithoutStoredFolder();
    void placement_data();
    void placement();
    void placementRoundTrip();
    void placementKeptOverRestarts_data();
    void placementKeptOverRestarts();
    void closeDuringSortRefusedThenSaved();
    void readOnlySettingsFile();
    void fullDiskKeepsOldSettings();
    void autoCloseAfterInterruptedRun();

private:
    QString settingsFile() const {
        return TestFiles::native(appFolder->filePath(TestProgramName + ".INI"));
    }
};

void TestSettings::firstStartAndClose() {
    createWindow();
    QCOMPARE(IniPath, settingsFile());
    QCOMPARE(form->JvDirectoryEdit1->Directory(), programFolder());
    QVERIFY(form->chk_A->isChecked() && !form->chk_ABC->isChecked());
    QVERIFY(form->chk_MOUCHARD->isChecked() && form->chk_Dialogs->isChecked());
    QVERIFY(!form->chk_AutoClose->isChecked());
    QVERIFY(!QFileInfo::exists(settingsFile()));

    form->JvDirectoryEdit1->setDirectory(rootPath());
    QVERIFY(form->close());
    const QByteArray saved = TestFiles::read(settingsFile());
    QCOMPARE(keysOf(saved, "OPTIONS"), kTenKeys);
    QCOMPARE(keysOf(saved, TestProgramName.toUtf8()), QStringList{"Form1"});
    QCOMPARE(IniReadString("OPTIONS", "DOSSIER", "", settingsFile()), rootPath());
    QVERIFY(QFileInfo(journal::LogFolder(rootPath())).isDir());
    QVERIFY(dialogs->shown.isEmpty());
}

void TestSettings::startRestoresSettings() {
    QTemporaryDir other(QDir::tempPath() + "/other-XXXXXX");
    // Written before the window exists, as an earlier session would have left it.
    appFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/app-XXXXXX");
    const QString file = appFolder->filePath(TestProgramName + ".INI");
    QVERIFY(TestFiles::write(file, "[OPTIONS]\nDOSSIER=" + other.path().toUtf8() +
                                       "\nPAGE=1\nalpha=1\nA=1\nM=0\nD=1\nMOUCHARD=0\n"
                                       "AUTOCLOSE=1\nDIALOGS=0\nAUTO=1\n"));
    ExeNames::setExecutablePathForTesting(TestFiles::native(appFolder->filePath(TestProgramName)));
    root = std::make_unique<QTemporaryDir>();
    dialogs = std::make_unique<RecordingPresenter>();
    IniPath.clear();
    form = std::make_unique<TestForm1>();
    form->show();

    QCOMPARE(form->JvDirectoryEdit1->Directory(), TestFiles::native(other.path()));
    QVERIFY(form->chk_ABC->isChecked() && form->chk_A->isChecked()); // both come back
    QVERIFY(!form->chk_M->isChecked() && form->chk_D->isChecked());
    QVERIFY(!form->chk_MOUCHARD->isChecked() && form->chk_AutoClose->isChecked());
    QVERIFY(!form->chk_Dialogs->isChecked());
    QVERIFY(!form->chk_AUTO->isChecked() && !form->Timer1->isActive()); // never restored
    QCOMPARE(form->PageControl_Range->TabIndex(), 0);
    QCOMPARE(form->PageControl_Fichiers->TabIndex(), 0);
    QCOMPARE(form->Button1->Caption(), QStringLiteral("RANGER Tout !"));
    // The last box that changed was "Jour": its preview, year and day, ends in panel 0.
    QCOMPARE(panel0(), TestFiles::native(QDate::currentDate().toString("yyyy/dd")));
}

void TestSettings::folderArgument_data() {
    QTest::addColumn<QString>("argument"); // "@" stands for the base folder
    QTest::addColumn<QString>("workingFolder");
    QTest::addColumn<QString>("expected"); // below the base folder
    QTest::newRow("absolute") << "@/given"
                              << ""
                              << "given";
    QTest::newRow("trailing delimiter") << "@/given/"
                                        << ""
                                        << "given/";
    QTest::newRow("dot") << "."
                         << "given"
                         << "given";
    QTest::newRow("relative name") << "given"
                                   << ""
                                   << "given";
    QTest::newRow("relative, trailing delimiter") << "given/"
                                                  << ""
                                                  << "given/";
    QTest::newRow("dot slash, doubled delimiters") << "./given//sub/."
                                                   << ""
                                                   << "given/sub";
    QTest::newRow("parent") << "../given"
                            << "other"
                            << "given";
}

void TestSettings::folderArgument() {
    QFETCH(QString, argument);
    QFETCH(QString, workingFolder);
    QFETCH(QString, expected);
    QTemporaryDir base(QDir::tempPath() + "/base-XXXXXX");
    QTemporaryDir elsewhere(QDir::tempPath() + "/elsewhere-XXXXXX");
    for (const char* folder : {"given/sub", "other"})
        QVERIFY(QDir().mkpath(base.filePath(folder)));
    const QString folder = QDir::cleanPath(base.filePath(expected));
    QVERIFY(TestFiles::write(folder + "/OrdalixParDate.INI",
                             "[OPTIONS]\nDOSSIER=" + elsewhere.path().toUtf8() + "\nM=1\n"));
    const QString before = QDir::currentPath();
    QDir::setCurrent(base.filePath(workingFolder));
    createWindowWith({argument.replace("@", base.path()), elsewhere.path()});
    QDir::setCurrent(before);

    // Absolute and clean wherever it is used: the settings file, the root folder, both lists.
    const QString root = TestFiles::native(base.path() + "/" + expected);
    QCOMPARE(IniPath, TestFiles::native(folder + "/OrdalixParDate.INI"));
    QCOMPARE(form->JvDirectoryEdit1->Directory(), root);
    QCOMPARE(QDir::cleanPath(form->JvDirectoryListBox1->Directory()), folder);
    QCOMPARE(QDir::cleanPath(form->JvDirectoryListBox2->Directory()), folder);
    QVERIFY(form->chk_M->isChecked());
    QVERIFY(form->close());
    QCOMPARE(IniReadString("OPTIONS", "DOSSIER", "", IniPath), root);
    QVERIFY(!QFileInfo::exists(settingsFile()));
}

void TestSettings::missingFolderArgument_data() {
    QTest::addColumn<QString>("argument");
    QTest::newRow("absolute") << "/no/such/folder";
    QTest::newRow("relative") << "no-such-folder";
    QTest::newRow("a file") << QDir::tempPath() + "/a-file.txt";
}

void TestSettings::missingFolderArgument() {
    QFETCH(QString, argument);
    QVERIFY(TestFiles::write(QDir::tempPath() + "/a-file.txt"));
    // The usual settings, as an earlier session left them: they are the ones used.
    QTemporaryDir stored(QDir::tempPath() + "/stored-XXXXXX");
    createWindowWith({argument}, "[OPTIONS]\nDOSSIER=" + stored.path().toUtf8() + "\nM=1\n");
    QCOMPARE(dialogs->texts(),
             QStringList{"Le dossier passé en paramètre n'existe pas\r\n\r\n" + argument});
    QCOMPARE(dialogs->shown.first().type, mtWarning);
    QCOMPARE(IniPath, settingsFile());
    QCOMPARE(form->JvDirectoryEdit1->Directory(), TestFiles::native(stored.path()));
    QCOMPARE(form->JvDirectoryListBox2->Directory(), TestFiles::native(stored.path()));
    QVERIFY(form->chk_M->isChecked());
    QVERIFY(form->close());
    QCOMPARE(IniReadString("OPTIONS", "DOSSIER", "", settingsFile()),
             TestFiles::native(stored.path()));
}

void TestSettings::startFolderWithoutStoredFolder() {
    // A portable copy starts in its own folder (firstStartAndClose); an installed one, whose
    // folder it cannot write, on the user's home.
    appFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/app-XXXXXX");
    if (TestFiles::run("chattr", {"+i", appFolder->path()}) != 0)
        QSKIP("chattr +i is not available here");
    const auto writable = qScopeGuard([&] { TestFiles::run("chattr", {"-i", appFolder->path()}); });
    ExeNames::setExecutablePathForTesting(TestFiles::native(appFolder->filePath(TestProgramName)));
    root = std::make_unique<QTemporaryDir>();
    dialogs = std::make_unique<RecordingPresenter>();
    IniPath.clear();
    form = std::make_unique<TestForm1>();
    QCOMPARE(form->JvDirectoryEdit1->Directory(), QDir::homePath());
    QCOMPARE(IniPath, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/" +
                          TestProgramName + ".INI");
    QVERIFY(dialogs->shown.isEmpty());
}

void TestSettings::placement_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QRect>("expected"); // the outer frame
    QTest::addColumn<QString>("error");
    QTest::newRow("beyond the right edge") << "3000:-20:800:600" << QRect(1320, 0, 800, 600) << "";
    QTest::newRow("maximised") << "-8:-8:1936:1056" << QRect(-8, 0, 1920, 1040) << "";
    QTest::newRow("left at the width") << "1920:5:500:300" << QRect(1920, 5, 500, 300) << "";
    QTest::newRow("five pieces") << "10:20:500:300:77" << QRect(10, 20, 500, 300) << "";
    QTest::newRow("two pieces") << "10:20" << QRect(10, 20, 600, 400) << "";
    QTest::newRow("empty piece") << "10::500:300" << QRect(10, 50, 500, 300) << "";
    QTest::newRow("not a number") << "10:x:500:300" << QRect(10, 50, 600, 400)
                                  << "''x'' n'est pas une valeur entière valide";
}

void TestSettings::placement() {
    QFETCH(QString, stored);
    QFETCH(QRect, expected);
    QFETCH(QString, error);
    QTemporaryDir folder;
    const QString file = folder.filePath("settings.INI");
    IniWriteString(ExeName(false), "Form1", stored, file);
    setWorkAreaForTesting(QRect(0, 0, 1920, 1040));
    QWidget window;
    window.setObjectName("Form1");
    window.setGeometry(40, 50, 600, 400);
    QString raised;
    try {
        LoadFormPlacement(window, file);
    } catch (const EConvertError& e) {
        raised = e.message();
    }
    QCOMPARE(raised, error);
    QCOMPARE(window.frameGeometry(), expected);
}

void TestSettings::placementRoundTrip() {
    QTemporaryDir folder;
    const QString file = folder.filePath("settings.INI");
    QWidget window;
    window.setObjectName("Form1");
    window.setGeometry(100, 50, 600, 400);
    SaveFormPlacement(window, file);
    QCOMPARE(IniReadString(ExeName(false), "Form1", "", file), QStringLiteral("100:50:600:400"));
    window.setGeometry(0, 0, 300, 200);
    setWorkAreaForTesting(QRect(0, 0, 1920, 1040));
    LoadFormPlacement(window, file);
    QCOMPARE(window.frameGeometry(), QRect(100, 50, 600, 400));
}

void TestSettings::placementKeptOverRestarts_data() {
    QTest::addColumn<bool>("windowManager");
    QTest::newRow("offscreen") << false;
    QTest::newRow("under a window manager") << true;
}

void TestSettings::placementKeptOverRestarts() {
    QFETCH(bool, windowManager);
#ifdef _WIN32
    QSKIP("Windows asks a program to close through its windows (WM_CLOSE), which the offscreen "
          "platform does not make");
#endif
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess display;
    QProcess manager;
    const auto stop = qScopeGuard([&] {
        for (QProcess* process : {&manager, &display}) {
            process->terminate();
            process->waitForFinished();
        }
    });
    if (windowManager) {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString openbox = QStandardPaths::findExecutable("openbox");
        if (xvfb.isEmpty() || openbox.isEmpty())
            QSKIP("Xvfb and openbox are not installed");
        // Xvfb picks a free display and writes its number on standard output.
        display.start(xvfb,
                      {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        QVERIFY(display.waitForReadyRead(10000));
        environment.insert("DISPLAY", ":" + QString::fromLatin1(display.readLine()).trimmed());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        manager.setProcessEnvironment(environment);
        manager.start(openbox, {});
        QVERIFY(manager.waitForStarted());
        QTest::qSleep(1000); // openbox takes the screen
    } else {
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir folder(QDir::tempPath() + "/placed-XXXXXX");
    QStringList stored;
    for (int start = 0; start < 3; ++start) {
        // Started, shown, then closed as a session's end closes it: the placement is saved.
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(ORDALIX_PROGRAM, {folder.path()});
        QVERIFY(program.waitForStarted());
        QTest::qSleep(1500);
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        stored.append(IniReadString("ordalix", "Form1", "", folder.filePath("OrdalixParDate.INI")));
    }
    QVERIFY(!stored.first().isEmpty());
    QCOMPARE(stored, QStringList(3, stored.first()));
}

void TestSettings::closeDuringSortRefusedThenSaved() {
    createWindow();
    QVERIFY(TestFiles::write(path("a.txt")));
    QVERIFY(TestFiles::write(path("b.txt")));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    form->recordCommands = false;
    bool refused = false;
    QTimer::singleShot(0, form.get(), [&] { refused = !form->close(); });
    form->Button1->click();
    QVERIFY(refused);
    QVERIFY(!QFileInfo::exists(settingsFile())); // nothing saved then
    QVERIFY(form->close());
    QCOMPARE(keysOf(TestFiles::read(settingsFile()), "OPTIONS"), kTenKeys);
}

void TestSettings::readOnlySettingsFile() {
    createWindow();
    QVERIFY(TestFiles::write(settingsFile(), "[OPTIONS]\nA=1\n"));
    if (TestFiles::run("chattr", {"+i", settingsFile()}) != 0)
        QSKIP("chattr +i is not available here");
    const bool closed = form->close();
    TestFiles::run("chattr", {"-i", settingsFile()});
    QVERIFY(closed);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->texts().first(),
             "ERREUR form1, ini save : 504 \r\nImpossible d'écrire dans " + settingsFile());
    QCOMPARE(TestFiles::read(settingsFile()), QByteArray("[OPTIONS]\nA=1\n"));
    // The save stopped at its first failure: the journals were not tidied, no log folder.
    QVERIFY(!QFileInfo::exists(journal::LogFolder(form->JvDirectoryEdit1->Directory())));
}

void TestSettings::fullDiskKeepsOldSettings() {
    createWindow();
    QTemporaryDir mount(QDir::tempPath() + "/full-XXXXXX");
    if (TestFiles::run("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mount.path()}) != 0)
        QSKIP("mounting a small file system is not permitted here");
    const QString file = mount.filePath("OrdalixParDate.INI");
    const QByteArray old = "[OPTIONS]\r\nDOSSIER=" + QByteArray(2000, 'x') + "\r\n";
    TestFiles::write(file, old);
    TestFiles::write(mount.filePath("filler"), QByteArray(64 * 1024, 'f')); // fills what is left
    IniPath = file;
    form->JvDirectoryEdit1->setDirectory(mount.path());
    form->chk_ABC->setChecked(true);
    const bool closed = form->close();
    const QByteArray after = TestFiles::read(file);
    const QStringList left = QDir(mount.path()).entryList(QDir::Files | QDir::Hidden);
    TestFiles::run("umount", {mount.path()});
    QVERIFY(closed);
    QCOMPARE(dialogs->shown.size(), 1);
    QVERIFY(dialogs->texts().first().startsWith("ERREUR form1, ini save : 504 \r\n"));
    // Whatever the save managed, the file reads as it was or as one more value: never cut.
    QVERIFY(after.startsWith(old));
    QCOMPARE(left, (QStringList{"filler", "OrdalixParDate.INI"})); // no temporary left over
}

void TestSettings::autoCloseAfterInterruptedRun() {
    createWindow();
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        QVERIFY(TestFiles::write(path(name)));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    form->recordCommands = false;
    form->chk_AutoClose->setChecked(true);
    form->chk_MOUCHARD->setChecked(false);
    form->JvFileListBox1->setFocus();
    QTimer::singleShot(0, form.get(),
                       [this] { QTest::keyClick(form->JvFileListBox1, Qt::Key_Space); });
    form->Button1->click();
    QVERIFY(dialogs->texts().contains("Interruption utilisateur"));
    QCOMPARE(rootFiles().size(), 2);
    QCOMPARE(keysOf(TestFiles::read(settingsFile()), "OPTIONS"), kTenKeys);
    QVERIFY(ApplicationTerminated());
    StopRequested = false;
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
