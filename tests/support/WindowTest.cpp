#include "WindowTest.h"

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
    // Not named after the test program: the file run leaves alone paths holding its name.
    root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/root-XXXXXX"));
    QVERIFY(root->isValid());
    dialogs = std::make_unique<RecordingPresenter>();
    form = std::make_unique<TestForm1>();
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
}
