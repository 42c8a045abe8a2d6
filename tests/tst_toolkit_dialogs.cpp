#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "Driver.h"
#include "RecordingPresenter.h"
#include "TestFiles.h"
#include "outil32_Dialogs.h"
#include "outil32_WIN.h"

namespace {

struct Seen {
    QString title;
    QString text;
    QStringList buttons;
    QString defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
    bool centred = false;
};

// Waits for the message box, records it and closes it with a click or a key.
void closeNextBox(Seen& seen, const QString& click, int key = 0) {
    QTimer::singleShot(0, [&seen, click, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            closeNextBox(seen, click, key);
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.modal = box->isModal();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        seen.centred = (box->frameGeometry().center() - screen.center()).manhattanLength() <= 2;
        for (QAbstractButton* button : box->buttons())
            seen.buttons.append(button->text());
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text();
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else if (!click.isEmpty())
            box->findChild<QPushButton*>(click)->click();
        else
            box->close();
    });
}

} // namespace

class TestToolkitDialogs : public QObject {
    Q_OBJECT
private slots:
    void presenterSeesEveryDialog_data();
    void presenterSeesEveryDialog();
    void confirmAnswers();
    void realMessageBox_data();
    void realMessageBox();
    void openFolderInFileManager();
    void openFolderPassesOverThisProgram_data();
    void openFolderPassesOverThisProgram();
    void openFolderHandler(const QUrl& url) { m_opened.append(url); }

private:
    QList<QUrl> m_opened;
};

void TestToolkitDialogs::presenterSeesEveryDialog_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("okCancel");
    QTest::newRow("InfoDlg") << 0 << int(mtInformation) << "Informations" << false;
    QTest::newRow("MsgDlg warning") << 1 << int(mtWarning) << "Avertissement" << false;
    QTest::newRow("MsgDlg error") << 1 << int(mtError) << "Erreur" << false;
    QTest::newRow("ConfirmDlg") << 2 << int(mtConfirmation) << "Confirmer" << true;
    QTest::newRow("plain message") << 3 << int(mtCustom) << "Tidy" << false;
}

void TestToolkitDialogs::presenterSeesEveryDialog() {
    QFETCH(int, which);
    QFETCH(int, type);
    QFETCH(QString, title);
    QFETCH(bool, okCancel);
    ExeNames::setExecutablePathForTesting(QDir::toNativeSeparators("/opt/TIDY.BIN"));
    RecordingPresenter dialogs;
    const QString text = QStringLiteral("50 % de \"réussite\"\r\nsuite");
    switch (which) {
    case 0:
        InfoDlg(text);
        break;
    case 1:
        QVERIFY(MsgDlg(text, TMsgDlgType(type)));
        break;
    case 2:
        QVERIFY(ConfirmDlg(text, TMsgDlgType(type)));
        break;
    default:
        ShowMessage(text);
    }
    ExeNames::setExecutablePathForTesting({});
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(int(dialogs.shown[0].type), type);
    QCOMPARE(dialogs.shown[0].title, title);
    QCOMPARE(dialogs.shown[0].text, text);
    QCOMPARE(dialogs.shown[0].buttons == Dialogs::Buttons::OkCancel, okCancel);
}

void TestToolkitDialogs::confirmAnswers() {
    RecordingPresenter dialogs;
    dialogs.setNextAnswer(Dialogs::Answer::Cancel);
    QVERIFY(!ConfirmDlg("?", mtConfirmation));
    QVERIFY(ConfirmDlg("?", mtConfirmation)); // only the next one was answered
    dialogs.setNextAnswer(Dialogs::Answer::Cancel);
    QVERIFY(MsgDlg("!", mtWarning)); // true however it is closed
}

void TestToolkitDialogs::realMessageBox_data() {
    QTest::addColumn<int>("which"); // 0 ConfirmDlg, 1 MsgDlg
    QTest::addColumn<QString>("click");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("result");
    QTest::newRow("confirm OK") << 0 << "OK" << 0 << true;
    QTest::newRow("confirm Enter") << 0 << "" << int(Qt::Key_Return) << true;
    QTest::newRow("confirm Annuler") << 0 << "Annuler" << 0 << false;
    QTest::newRow("confirm Escape") << 0 << "" << int(Qt::Key_Escape) << false;
    QTest::newRow("confirm closed") << 0 << "" << 0 << false;
    QTest::newRow("message OK") << 1 << "OK" << 0 << true;
    QTest::newRow("message Escape") << 1 << "" << int(Qt::Key_Escape) << true;
}

void TestToolkitDialogs::realMessageBox() {
    QFETCH(int, which);
    QFETCH(QString, click);
    QFETCH(int, key);
    QFETCH(bool, result);
    Seen seen;
    closeNextBox(seen, click, key);
    const bool answer =
        which == 0 ? ConfirmDlg("Continuer ?", mtConfirmation) : MsgDlg("Attention", mtWarning);
    QCOMPARE(answer, result);
    QVERIFY(seen.modal);
    QVERIFY(seen.centred);
    QCOMPARE(seen.defaultButton, QStringLiteral("OK"));
    if (which == 0) {
        QCOMPARE(seen.title, QStringLiteral("Confirmer"));
        QCOMPARE(seen.text, QStringLiteral("Continuer ?"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, (QStringList{"OK", "Annuler"}));
    } else {
        QCOMPARE(seen.title, QStringLiteral("Avertissement"));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(seen.buttons, QStringList{"OK"});
    }
}

void TestToolkitDialogs::openFolderInFileManager() {
    QDesktopServices::setUrlHandler("file", this, "openFolderHandler");
    QVERIFY(ShellOpenFolder("/tmp/Photos 100%"));
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile("/tmp/Photos 100%")});
}

void TestToolkitDialogs::openFolderPassesOverThisProgram_data() {
    QTest::addColumn<QStringList>("handlers"); // "desktop id=program", the first the default
    QTest::addColumn<QString>("opener");       // the one that gets the folder; none: nothing does
    QTest::newRow("only this program") << QStringList{"ordalix.desktop=ordalix-open"} << "";
    QTest::newRow("this program under another entry")
        << QStringList{"viewer.desktop=ordalix_driver"} << "";
    // "Open with" entries often quote their program.
    QTest::newRow("this program, quoted") << QStringList{"viewer.desktop=\"ordalix_driver\""} << "";
    QTest::newRow("a file manager, this program the default")
        << QStringList{"ordalix.desktop=ordalix-open", "viewer.desktop=ordalix_driver",
                       "other-fm.desktop=other-fm"}
        << "other-fm.desktop";
}

void TestToolkitDialogs::openFolderPassesOverThisProgram() {
#ifdef _WIN32
    QSKIP("the desktop's handlers for folders are the freedesktop.org ones; Windows opens a "
          "folder with Explorer");
#endif
    QFETCH(QStringList, handlers);
    QFETCH(QString, opener);
    // A desktop of the test's own, nothing of the machine's: its handlers for folders are
    // scripts that write down the folder they were given.
    QTemporaryDir desktop;
    QVERIFY(desktop.isValid());
    const QString folder = desktop.filePath("Mes photos");
    QVERIFY(QDir().mkpath(folder));
    const auto marker = [&](const QString& id) { return desktop.filePath("opened-by-" + id); };
    QStringList ids;
    for (const QString& handler : handlers) {
        const QString id = handler.section('=', 0, 0);
        QString name = handler.section('=', 1);
        const bool quoted = name.startsWith('"');
        name.remove('"');
        const QString program = desktop.filePath("bin/" + name);
        QVERIFY(TestFiles::write(program, "#!/bin/sh\nprintf '%s' \"$1\" > '" +
                                              QFile::encodeName(marker(id)) + "'\n"));
        QVERIFY(
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(TestFiles::write(desktop.filePath("data/applications/" + id),
                                 "[Desktop Entry]\nType=Application\nName=" + id.toUtf8() +
                                     "\nExec=" + (quoted ? "\"" : "") + QFile::encodeName(program) +
                                     (quoted ? "\"" : "") + " %f\nMimeType=inode/directory;\n"));
        ids.append(id);
    }
    // As the desktop's database lists them, the first chosen by the user.
    QVERIFY(TestFiles::write(desktop.filePath("data/applications/mimeinfo.cache"),
                             "[MIME Cache]\ninode/directory=" + ids.join(';').toUtf8() + ";\n"));
    QVERIFY(
        TestFiles::write(desktop.filePath("config/mimeapps.list"),
                         "[Default Applications]\ninode/directory=" + ids.first().toUtf8() + "\n"));
    QProcessEnvironment environment = Driver::environment(desktop.filePath("data"));
    environment.insert("XDG_CONFIG_HOME", desktop.filePath("config"));
    environment.insert("XDG_DATA_DIRS", desktop.filePath("system"));
    environment.insert("XDG_CONFIG_DIRS", desktop.filePath("system"));
    environment.remove("XDG_CURRENT_DESKTOP");
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:"); // no word to a real session

    // The driver's answer as it printed it: a leak report of a system library at its exit
    // (seen under the sanitizers) may change its status, not what it said.
    const Driver::Result result = Driver::run({"openfolder", folder}, environment);
    QVERIFY2(result.normalExit, qPrintable(result.output));
    QVERIFY2(result.output.startsWith(opener.isEmpty() ? "NOT OPENED" : "OPENED"),
             qPrintable(result.output));
    QVERIFY2(!result.output.contains("MSG"), qPrintable(result.output)); // silently
    if (!opener.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(TestFiles::read(marker(opener)), QFile::encodeName(folder),
                                  10000);
    for (const QString& id : std::as_const(ids)) {
        if (id != opener)
            QVERIFY2(!QFile::exists(marker(id)), qPrintable(id));
    }
}

QTEST_MAIN(TestToolkitDialogs)
#include "tst_toolkit_dialogs.moc"
