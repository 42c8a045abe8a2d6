#include "WindowTest.h"

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
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    dialogs = std::make_unique<RecordingPresenter>();
    form = std::make_unique<TestForm1>();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void WindowTest::destroyWindow() {
    form.reset();
    dialogs.reset();
    root.reset();
}
