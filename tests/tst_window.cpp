#include <QDesktopServices>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTabBar>
#include <QUrl>

#include "StopRequest.h"
#include "TestFiles.h"
#include "WindowTest.h"

using namespace controls;

namespace {
QPoint onBox(QCheckBox* box) {
    return QPoint(6, box->height() / 2);
}
} // namespace

class TestWindow : public WindowTest {
    Q_OBJECT
private slots:
    void init() { createWindow(); }
    void cleanup() { destroyWindow(); }

    void layoutAndInitialValues();
    void criteriaInterplay_data();
    void criteriaInterplay();
    void previews_data();
    void previews();
    void rootFolderFeedsTheLists();
    void statusCountByOuterTab();
    void dropOnWindow();
    void doubleClickAncestorRow();
    void flattenTabDoubleClickAndWarning();
    void innerTabChangesCaption();
    void enterClicksDefaultButton();
    void refreshAndExplore();
    void explored(const QUrl& url) { m_explored.append(TestFiles::native(url.toLocalFile())); }
    void autoModeStates();
    void timerTick_data();
    void timerTick();

private:
    QStringList m_explored;
};

void TestWindow::layoutAndInitialValues() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Ordalix : Vermilux ***{:- V.21.12"));
    QCOMPARE(form->objectName(), QStringLiteral("Form1"));
    for (const char* name : {"PageControl_Range",
                             "TabSheet1",
                             "PageControl_Fichiers",
                             "TabSheet3",
                             "JvCaptionPanel3",
                             "JvFileListBox1",
                             "TabSheet4",
                             "JvCaptionPanel2",
                             "JvDirectoryListBox1",
                             "Panel1",
                             "GroupBox1",
                             "Label1",
                             "chk_ABC",
                             "Label2",
                             "chk_A",
                             "Label3",
                             "chk_M",
                             "chk_D",
                             "Button1",
                             "TabSheet2",
                             "panel_files",
                             "JvDirectoryListBox2",
                             "Panel3",
                             "Panel4",
                             "Button3",
                             "Button2",
                             "Gbox_derange",
                             "lbl_derange",
                             "Gauge1",
                             "JvStatusBar1",
                             "JvCaptionPanel1",
                             "JvDirectoryEdit1",
                             "JvLED1",
                             "JvDragDrop1",
                             "PopupMenu1",
                             "Timer1"})
        QVERIFY2(form->findChild<QObject*>(name), name);
    QCOMPARE(form->Button1->Caption(), QStringLiteral("RANGER Tout !"));
    QCOMPARE(form->Button2->Caption(), QStringLiteral("DéOrdalix !"));
    QCOMPARE(form->Button3->Caption(), QStringLiteral("!"));
    QVERIFY(form->chk_A->isChecked());
    QVERIFY(!form->chk_ABC->isChecked() && !form->chk_M->isChecked() && !form->chk_D->isChecked());
    QVERIFY(form->chk_MOUCHARD->isChecked() && form->chk_Dialogs->isChecked());
    QVERIFY(!form->chk_AUTO->isChecked() && !form->chk_AutoClose->isChecked());
    QVERIFY(!form->Timer1->isActive());
    QCOMPARE(form->Timer1->interval(), 6000);
    QVERIFY(!form->Gauge1->isVisible());
    QCOMPARE(form->JvDirectoryEdit1->Directory(), programFolder()); // no settings yet
    QCOMPARE(form->Raffraichir1->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(form->mnu_ANNULER->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    QStringList menu;
    for (QAction* action : form->PopupMenu1->actions())
        menu.append(action->isSeparator() ? "-" : action->text());
    QCOMPARE(menu, (QStringList{"Raffraichir", "Explorer le dossier racine",
                                "Annuler le dernier rangement", "-",
                                "Ajouter des mouchards (trace + journal)", "Ranger et fermer",
                                "Mode automatique", "Date de prise de vue (photos, vidéos)", "-",
                                "Activer les avertissements"}));
    // From top to bottom: the tabs, the status bar, the drop panel.
    QVERIFY(form->PageControl_Range->geometry().bottom() < form->JvStatusBar1->geometry().top());
    QVERIFY(form->JvStatusBar1->geometry().bottom() < form->JvCaptionPanel1->geometry().top());
    QVERIFY(form->JvLED1->geometry().left() > form->JvDirectoryEdit1->geometry().right());
}

void TestWindow::criteriaInterplay_data() {
    QTest::addColumn<QString>("before"); // checked boxes among L(etter), A, M, D
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("how"); // left, right or space
    QTest::addColumn<QString>("after");
    QTest::newRow("letter clears the dates") << "AMD"
                                             << "chk_ABC"
                                             << "left"
                                             << "L";
    QTest::newRow("right-click clears, no tick") << "AM"
                                                 << "chk_ABC"
                                                 << "right"
                                                 << "";
    QTest::newRow("year clears the letter") << "L"
                                            << "chk_A"
                                            << "left"
                                            << "A";
    QTest::newRow("month clears the letter") << "L"
                                             << "chk_M"
                                             << "left"
                                             << "M";
    QTest::newRow("day leaves the letter") << "L"
                                           << "chk_D"
                                           << "left"
                                           << "LD";
    QTest::newRow("space bar leaves the letter") << "L"
                                                 << "chk_A"
                                                 << "space"
                                                 << "LA";
    QTest::newRow("right-click on month") << "LA"
                                          << "chk_M"
                                          << "right"
                                          << "A";
    QTest::newRow("unticking the letter") << "L"
                                          << "chk_ABC"
                                          << "left"
                                          << "";
}

void TestWindow::criteriaInterplay() {
    QFETCH(QString, before);
    QFETCH(QString, box);
    QFETCH(QString, how);
    QFETCH(QString, after);
    const QList<QPair<QChar, CheckBox*>> boxes{
        {'L', form->chk_ABC}, {'A', form->chk_A}, {'M', form->chk_M}, {'D', form->chk_D}};
    for (const auto& [letter, check] : boxes)
        check->setChecked(before.contains(letter));
    auto* target = widget<CheckBox>(box);
    if (how == "space") {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Space);
    } else {
        QTest::mouseClick(target, how == "left" ? Qt::LeftButton : Qt::RightButton, {},
                          onBox(target));
    }
    QString state;
    for (const auto& [letter, check] : boxes) {
        if (check->isChecked())
            state += letter;
    }
    QCOMPARE(state, after);
}

void TestWindow::previews_data() {
    QTest::addColumn<bool>("year");
    QTest::addColumn<bool>("month");
    QTest::addColumn<bool>("day");
    QTest::addColumn<QString>("preview");
    QTest::newRow("YMD") << true << true << true << "2021/12/09";
    QTest::newRow("YM") << true << true << false << "2021/12/";
    QTest::newRow("YD") << true << false << true << "2021/09";
    QTest::newRow("Y") << true << false << false << "2021/";
    QTest::newRow("MD") << false << true << true << "12/09";
    QTest::newRow("M") << false << true << false << "12/";
    QTest::newRow("D") << false << false << true << "09";
    QTest::newRow("none") << false << false << false << "";
}

void TestWindow::previews() {
    QFETCH(bool, year);
    QFETCH(bool, month);
    QFETCH(bool, day);
    QFETCH(QString, preview);
    // Every change of a date box, by code or by the user, writes the preview.
    form->chk_D->setChecked(!day);
    form->chk_M->setChecked(month);
    form->chk_D->setChecked(day);
    form->chk_A->setChecked(!year);
    form->chk_A->setChecked(year);
    QCOMPARE(panel0(), TestFiles::native(preview));
    form->chk_ABC->setChecked(true);
    QCOMPARE(panel0(), TestFiles::native("A/..."));
    form->chk_ABC->setChecked(false);
    QCOMPARE(panel0(), TestFiles::native("A/..."));
}

void TestWindow::rootFolderFeedsTheLists() {
    for (const char* name : {"a.txt", "B.TXT", "README", "c.txt", ".h.txt"})
        QVERIFY(TestFiles::write(path(name)));
    QVERIFY(TestFiles::hide(path(".h.txt")));
    QVERIFY(QDir().mkpath(path("sub")));
    QSignalSpy flattenChanges(form->JvDirectoryListBox2, &DirectoryListBox::Change);
    form->JvDirectoryEdit1->setDirectory(rootPath());
    QCOMPARE(form->JvFileListBox1->Directory(), rootPath());
    QCOMPARE(form->JvFileListBox1->Items(), (QStringList{"a.txt", "B.TXT", "c.txt"}));
    QCOMPARE(form->JvDirectoryListBox1->Directory(), rootPath());
    QCOMPARE(form->JvDirectoryListBox2->Directory(), rootPath());
    QCOMPARE(flattenChanges.size(), 1);
    QCOMPARE(panel0(), QStringLiteral("3 fichiers à ranger     "));
    QVERIFY(form->lbl_derange->text().endsWith(": " + QDir(rootPath()).dirName()));

    // The same folder again: nothing is re-read.
    QVERIFY(TestFiles::write(path("d.txt")));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    QCOMPARE(form->JvFileListBox1->Count(), 3);
    QCOMPARE(flattenChanges.size(), 1);
}

void TestWindow::statusCountByOuterTab() {
    QVERIFY(QDir().mkpath(path("one")));
    QVERIFY(QDir().mkpath(path("two")));
    QVERIFY(TestFiles::write(path("x.txt")));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    QTest::mouseClick(form->PageControl_Range->tabBar(), Qt::LeftButton, {},
                      form->PageControl_Range->tabBar()->tabRect(1).center());
    QCOMPARE(form->PageControl_Range->TabIndex(), 1);
    QCOMPARE(panel0(), QStringLiteral("2 sous-dossiers à ranger"));
    QTest::mouseClick(form->PageControl_Range->tabBar(), Qt::LeftButton, {},
                      form->PageControl_Range->tabBar()->tabRect(0).center());
    QCOMPARE(panel0(), QStringLiteral("1 fichiers à ranger     "));
}

void TestWindow::dropOnWindow() {
    QVERIFY(QDir().mkpath(path("photos")));
    QVERIFY(QDir().mkpath(path("other")));
    QVERIFY(TestFiles::write(path("file.txt")));
    auto drop = [this](const QStringList& names) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : names)
            urls.append(QUrl::fromLocalFile(path(name)));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(form.get(), &enter);
        QDropEvent event(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(form.get(), &event);
    };
    drop({"photos", "other"});
    QCOMPARE(form->JvDirectoryEdit1->Directory(), path("photos"));
    QVERIFY(dialogs->shown.isEmpty());
    drop({"file.txt", "other"});
    QCOMPARE(form->JvDirectoryEdit1->Directory(), path("photos"));
    QCOMPARE(dialogs->texts(), QStringList{"Vous devez déposer uniquemement un dossier"});
    QCOMPARE(dialogs->shown.first().type, mtWarning);
}

void TestWindow::doubleClickAncestorRow() {
    QVERIFY(QDir().mkpath(path("inner")));
    form->JvDirectoryEdit1->setDirectory(path("inner"));
    form->PageControl_Fichiers->setTabIndex(1);
    const QString caption = form->Button1->Caption();
    DirectoryListBox* list = form->JvDirectoryListBox1;
    const QModelIndex parentRow = list->model()->index(list->ItemIndex() - 1, 0);
    list->scrollTo(parentRow);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(parentRow).center());
    QCOMPARE(form->JvDirectoryEdit1->Directory(), rootPath());
    QCOMPARE(form->JvFileListBox1->Directory(), rootPath());
    QCOMPARE(form->PageControl_Range->TabIndex(), 0);
    QCOMPARE(form->PageControl_Fichiers->TabIndex(), 0);
    QCOMPARE(form->Button1->Caption(), caption); // no tab-change handler ran
}

void TestWindow::flattenTabDoubleClickAndWarning() {
    QVERIFY(QDir().mkpath(path("deep/er")));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    form->PageControl_Range->setTabIndex(1);
    DirectoryListBox* list = form->JvDirectoryListBox2;
    const QModelIndex child = list->model()->index(list->ItemIndex() + 1, 0);
    list->scrollTo(child);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(child).center());
    QCOMPARE(form->JvDirectoryEdit1->Directory(), path("deep"));
    QCOMPARE(form->PageControl_Range->TabIndex(), 0);
    QCOMPARE(
        form->lbl_derange->text(),
        QStringLiteral("ATTENTION\r\nLe programme va extraire tous les fichiers disponibles dans "
                       "tous les sous dossiers et les replacer dans le dossier racine: deep"));
    form->JvDirectoryListBox2->setDirectory(TestFiles::native(QDir::rootPath()));
    QVERIFY(form->lbl_derange->text().endsWith("dossier racine: "));
}

void TestWindow::innerTabChangesCaption() {
    QTabBar* bar = form->PageControl_Fichiers->tabBar();
    form->JvStatusBar1->setPanelText(0, "unchanged");
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(form->Button1->Caption(), QStringLiteral("Ranger Tous !\r\nles Dossiers"));
    QCOMPARE(form->Button1->text(), QStringLiteral("Ranger Tous !\nles Dossiers"));
    QCOMPARE(panel0(), QStringLiteral("unchanged"));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    QCOMPARE(form->Button1->Caption(), QStringLiteral("Ranger Tous !\r\nles Fichiers"));
}

void TestWindow::enterClicksDefaultButton() {
    StopRequested = false;
    form->JvFileListBox1->setFocus();
    QTest::keyClick(form->JvFileListBox1, Qt::Key_Return);
    form->chk_M->setFocus();
    QTest::keyClick(form->chk_M, Qt::Key_Enter);
    QCOMPARE(form->commands, (QStringList{"Ordalix", "Ordalix"}));
    QVERIFY(!form->chk_M->isChecked());
    QVERIFY(!StopRequested);

    form->PageControl_Range->setTabIndex(1);
    form->JvDirectoryListBox2->setFocus();
    QTest::keyClick(form->JvDirectoryListBox2, Qt::Key_Return);
    QVERIFY(StopRequested); // Button3 comes first on the flatten tab
    QCOMPARE(form->commands.size(), 2);
    // A focused button takes Enter itself.
    form->Button2->setFocus();
    QTest::keyClick(form->Button2, Qt::Key_Return);
    QCOMPARE(form->commands.last(), QStringLiteral("DeOrdalix"));
    StopRequested = false;
}

void TestWindow::refreshAndExplore() {
    QVERIFY(TestFiles::write(path("a.txt")));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    QVERIFY(TestFiles::write(path("b.txt")));
    form->JvFileListBox1->setFocus();
    QTest::keyClick(form->JvFileListBox1, Qt::Key_F5);
    QCOMPARE(form->JvFileListBox1->Count(), 2);

    QDesktopServices::setUrlHandler("file", this, "explored");
    form->mnu_EXPLORE->trigger();
    QTest::mouseDClick(form->JvDirectoryEdit1, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(m_explored, (QStringList{rootPath(), rootPath()}));
}

void TestWindow::autoModeStates() {
    form->chk_AUTO->trigger(); // off -> armed
    QVERIFY(form->chk_AUTO->isChecked());
    QVERIFY(form->JvLED1->Active());
    QVERIFY(form->Timer1->isActive());
    form->Ordalix->Execute(); // armed -> spent
    QVERIFY(form->chk_AUTO->isChecked() && form->JvLED1->Active());
    QVERIFY(!form->Timer1->isActive());
    QTest::mouseClick(form->JvLED1, Qt::LeftButton); // spent -> off, from the lamp
    QVERIFY(!form->JvLED1->Active());
    QVERIFY(!form->chk_AUTO->isChecked());
    QVERIFY(!form->Timer1->isActive());
    QTest::mouseClick(form->JvLED1, Qt::LeftButton); // off -> armed
    QVERIFY(form->chk_AUTO->isChecked() && form->Timer1->isActive());
    form->chk_AUTO->trigger(); // armed -> off
    QVERIFY(!form->JvLED1->Active() && !form->Timer1->isActive());
}

void TestWindow::timerTick_data() {
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("runs");
    QTest::newRow("four files") << 4 << 0;
    QTest::newRow("five files") << 5 << 1;
}

void TestWindow::timerTick() {
    QFETCH(int, files);
    QFETCH(int, runs);
    // Files without a dot and hidden ones count too.
    for (int i = 0; i < files; ++i)
        QVERIFY(TestFiles::write(path(i % 2 ? QString("f%1").arg(i) : QString(".f%1.txt").arg(i))));
    QVERIFY(QDir().mkpath(path("folder")));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    form->chk_AUTO->trigger();
    form->Timer1->setInterval(10);
    QTest::qWait(100);
    QCOMPARE(form->commands.size(), runs); // one run at most: the command switches the timer off
    QCOMPARE(form->Timer1->isActive(), runs == 0);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
