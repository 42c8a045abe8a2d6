#include "WindowTest.h"

#include "Settings.h"
#include "TestFiles.h"
#include "outil32_WIN.h"

#include <QDesktopServices>
#include <QDir>

void TestForm1::OrdalixExecute() {
    if (!recordCommands) {
        TForm1::OrdalixExecute();
        return;
    }
    Timer1->stop();
    commands.append(QStringLiteral("Ordalix"));
}

void TestForm1::DeOrdalixExecute() {
    if (!recordCommands) {
        TForm1::DeOrdalixExecute();
        return;
    }
    commands.append(QStringLiteral("DeOrdalix"));
}

void WindowTest::createWindow() {
    createWindowWith({});
}

void WindowTest::createWindowWith(const QStringList& arguments, const QByteArray& settings) {
    // Not named after the test program: the file run leaves alone paths holding its name.
    root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/root-XXXXXX"));
    QVERIFY(root->isValid());
    // The program runs from a folder of its own, where its settings file goes.
    appFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/app-XXXXXX"));
    QVERIFY(appFolder->isValid());
    ExeNames::setExecutablePathForTesting(TestFiles::native(appFolder->filePath(TestProgramName)));
    if (!settings.isEmpty())
        QVERIFY(TestFiles::write(appFolder->filePath(TestProgramName + ".INI"), settings));
    IniPath.clear();
    ClearApplicationTerminatedForTesting();
    dialogs = std::make_unique<RecordingPresenter>();
    form = std::make_unique<TestForm1>(arguments);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    openedFolders.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openInFileManager");
}

QStringList WindowTest::rootFiles() const {
    return QDir(root->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void WindowTest::destroyWindow() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    form.reset();
    dialogs.reset();
    root.reset();
    ExeNames::setExecutablePathForTesting({});
    IniPath.clear();
    appFolder.reset();
}
