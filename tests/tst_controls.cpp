#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "RecordingPresenter.h"
#include "TestFiles.h"
#include "controls/CheckBox.h"
#include "controls/DirectoryEdit.h"
#include "controls/DirectoryListBox.h"
#include "controls/DragDrop.h"
#include "controls/FileListBox.h"
#include "controls/Gauge.h"
#include "controls/Led.h"
#include "controls/MenuItem.h"
#include "controls/PageControl.h"

using namespace controls;

namespace {

QMimeData* urls(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> list;
    for (const QString& path : paths)
        list.append(QUrl::fromLocalFile(path));
    data->setUrls(list);
    return data;
}

// Sends a whole drag-and-drop of these paths onto a widget.
void dropOn(QWidget* widget, const QStringList& paths) {
    std::unique_ptr<QMimeData> data(urls(paths));
    const QPoint at = widget->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    QDropEvent drop(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &drop);
}

// A point on the box of a check box, which is what the user clicks.
QPoint onBox(QCheckBox* box) {
    return QPoint(6, box->height() / 2);
}

} // namespace

class TestControls : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fileListShowsDottedVisibleFiles();
    void fileListSelection();
    void folderListRows();
    void folderListRoot();
    void folderListChangeEvents();
    void folderListDoubleClickOpensFirst();
    void chooserWritesAndDialog();
    void chooserDrops_data();
    void chooserDrops();
    void gauge_data();
    void gauge();
    void checkBoxEvents();
    void menuItemRunsOnlyOnUserClick();
    void tabIndexFromCodeIsSilent();
    void lampBlinks();
    void windowDropDeliversAllPaths();

private:
    // Paths in the system's form, as the controls give them.
    QString path(const QString& name) const { return TestFiles::native(m_dir->filePath(name)); }
    QString dirPath() const { return TestFiles::native(m_dir->path()); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestControls::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
}

void TestControls::cleanup() {
    m_dir.reset();
}

void TestControls::fileListShowsDottedVisibleFiles() {
    for (const char* name : {"c.txt", "README", "B.TXT", ".h.txt", "a.txt", "a.b.c", "é.txt"})
        QVERIFY(TestFiles::write(path(name)));
    QVERIFY(TestFiles::hide(path(".h.txt")));
    QVERIFY(QDir().mkpath(path("folder.d")));
    // A link to a file is listed as a file.
    const bool linked = TestFiles::link(path("a.txt"), path("link.txt"));
    QStringList expected{"a.b.c", "a.txt", "B.TXT", "c.txt", "é.txt"};
    if (linked)
        expected.append("link.txt");
    FileListBox list;
    list.setDirectory(dirPath());
    QCOMPARE(list.Items(), expected);
    QCOMPARE(list.model()->rowCount(), expected.size());
    QCOMPARE(list.model()->index(2, 0).data().toString(), QStringLiteral("B.TXT"));

    // A folder that cannot be read shows nothing, without a word.
    list.setDirectory(path("missing"));
    QCOMPARE(list.Count(), 0);
}

void TestControls::fileListSelection() {
    QVERIFY(TestFiles::write(path("a.txt")));
    QVERIFY(TestFiles::write(path("b.txt")));
    FileListBox list;
    list.setDirectory(dirPath());
    QCOMPARE(list.ItemIndex(), -1);
    QCOMPARE(list.FileName(), QString());
    list.setSelected(1, true);
    QCOMPARE(list.ItemIndex(), 1);
    QCOMPARE(list.FileName(), path("b.txt"));
    list.Update();
    QCOMPARE(list.ItemIndex(), -1);
    QCOMPARE(list.FileName(), QString());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestControls::folderListRows() {
    for (const char* name : {"top/zeta", "top/Alpha", "top/beta", "top/.hidden"})
        QVERIFY(QDir().mkpath(path(name)));
    QVERIFY(TestFiles::hide(path("top/.hidden")));
    QVERIFY(TestFiles::write(path("top/file.txt")));
    // A link to a folder is listed as a folder.
    const bool linked = TestFiles::link(path("top/beta"), path("top/linked"));
    DirectoryListBox list;
    list.setDirectory(path("top") + QDir::separator()); // reported without the delimiter
    QCOMPARE(list.Directory(), path("top"));

    // The drive's root, each folder down to this one, then its sub-folders.
    const QChar delimiter = QDir::separator();
    const QString top = path("top");
#ifdef _WIN32
    QStringList expected{top.left(3)}; // "C:\"
    QString ancestor = top.left(2);
    const QStringList pieces = top.mid(3).split(delimiter, Qt::SkipEmptyParts);
#else
    QStringList expected{"/"};
    QString ancestor;
    const QStringList pieces = top.split(delimiter, Qt::SkipEmptyParts);
#endif
    for (const QString& piece : pieces)
        expected.append(ancestor += delimiter + piece);
    const int current = int(expected.size()) - 1;
    for (const char* name : {"Alpha", "beta", "linked", "zeta"})
        if (linked || QLatin1String(name) != QLatin1String("linked"))
            expected.append(path("top/") + name);
    QCOMPARE(list.Items(), expected);
    QCOMPARE(list.ItemIndex(), current);
    QCOMPARE(list.Count() - list.ItemIndex() - 1, linked ? 4 : 3);

    const QList<FolderRow> rows = DirectoryListBox::buildRows(top);
    QCOMPARE(rows.first().indent, 2);
    QCOMPARE(rows.at(1).indent, 6 + 4);
    QCOMPARE(rows.at(current).display, QStringLiteral("top"));
    QCOMPARE(rows.at(current).indent, 6 + 4 * int(top.count(delimiter)));
    QCOMPARE(rows.last().indent, 6 + 4 * int(path("top/zeta").count(delimiter)));

    // A folder without sub-folders shows none below its own row.
    list.setDirectory(path("top/zeta"));
    QCOMPARE(list.Count() - list.ItemIndex() - 1, 0);
}

void TestControls::folderListRoot() {
    // The root of the drive the tests run on.
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    const QList<FolderRow> rows = DirectoryListBox::buildRows(root);
    QCOMPARE(rows.first().path, root);
    QVERIFY(rows.size() > 1);
    QCOMPARE(rows.at(1).path.count(QDir::separator()), 1); // "/usr", not "//usr"
}

void TestControls::folderListChangeEvents() {
    QVERIFY(QDir().mkpath(path("a/b")));
    DirectoryListBox list;
    QSignalSpy changes(&list, &DirectoryListBox::Change);
    list.setDirectory(path("a"));
    QCOMPARE(changes.size(), 1);
    list.setDirectory(path("a")); // the folder shown: nothing
    list.setDirectory(path("missing"));
    list.setDirectory("relative/path");
    QCOMPARE(changes.size(), 1);
    QCOMPARE(list.Directory(), path("a"));
    list.Update(); // always one
    QCOMPARE(changes.size(), 2);
}

void TestControls::folderListDoubleClickOpensFirst() {
    QVERIFY(QDir().mkpath(path("a/b")));
    DirectoryListBox list;
    list.resize(300, 400);
    list.setDirectory(path("a"));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QStringList seen;
    connect(&list, &DirectoryListBox::DblClick, this,
            [&] { seen.append(list.Items().value(list.ItemIndex())); });
    const int row = list.ItemIndex() - 1; // the parent's row
    const QPoint at = list.visualRect(list.model()->index(row, 0)).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(seen, QStringList{dirPath()});
    QCOMPARE(list.Directory(), dirPath());
}

void TestControls::chooserWritesAndDialog() {
    DirectoryEdit edit;
    edit.setDialogText("Dossier racine");
    QVERIFY(edit.isReadOnly());
    QSignalSpy changes(&edit, &DirectoryEdit::Change);
    edit.setDirectory(dirPath());
    edit.setDirectory(dirPath());
    QCOMPARE(changes.size(), 1);

    RecordingPresenter dialogs;
    edit.browse(); // cancelled
    QCOMPARE(changes.size(), 1);
    QVERIFY(QDir().mkpath(path("chosen")));
    dialogs.setNextFolder(path("chosen"));
    edit.findChild<QAction*>("browse")->trigger();
    QCOMPARE(edit.Directory(), path("chosen"));
    QCOMPARE(edit.InitialDir(), path("chosen"));
    QCOMPARE(changes.size(), 2);
    QCOMPARE(dialogs.folderDialogs,
             (QStringList{dirPath() + "|Dossier racine", dirPath() + "|Dossier racine"}));
}

void TestControls::chooserDrops_data() {
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("result");
    QTest::newRow("folder") << QStringList{"sub"} << "sub";
    QTest::newRow("folder with delimiter") << QStringList{"sub/"} << "sub";
    QTest::newRow("file gives its folder") << QStringList{"sub/file.txt", "other"} << "sub";
    QTest::newRow("first item only") << QStringList{"other", "sub"} << "other";
}

void TestControls::chooserDrops() {
    QFETCH(QStringList, dropped);
    QFETCH(QString, result);
    QVERIFY(TestFiles::write(path("sub/file.txt")));
    QVERIFY(QDir().mkpath(path("other")));
    QStringList full;
    for (const QString& name : dropped)
        full.append(path(name));
    DirectoryEdit edit;
    dropOn(&edit, full);
    QCOMPARE(edit.Directory(), path(result));
}

void TestControls::gauge_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("kept");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty range") << 0 << 0 << 5 << 0 << "0%";
    QTest::newRow("two of three") << 0 << 3 << 2 << 2 << "66%";
    QTest::newRow("above max") << 0 << 10 << 15 << 10 << "100%";
    QTest::newRow("below min") << 5 << 10 << 1 << 5 << "0%";
    QTest::newRow("offset range") << 10 << 20 << 15 << 15 << "50%";
}

void TestControls::gauge() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, progress);
    QFETCH(int, kept);
    QFETCH(QString, text);
    Gauge gauge;
    gauge.setMaxValue(max);
    gauge.setMinValue(min);
    gauge.setProgress(progress);
    QCOMPARE(gauge.Progress(), kept);
    QCOMPARE(gauge.text(), text);
    // Moving the bounds drags the progress along.
    gauge.setMaxValue(100);
    gauge.setProgress(80);
    gauge.setMaxValue(50);
    QCOMPARE(gauge.Progress(), 50);
    gauge.setMinValue(60);
    QCOMPARE(gauge.Progress(), 60);
    QVERIFY(!gauge.grab().isNull());
}

void TestControls::checkBoxEvents() {
    CheckBox box("Jour");
    box.resize(200, 20);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QStringList events;
    connect(&box, &CheckBox::Click, this, [&] { events << "click"; });
    connect(&box, &CheckBox::MouseDown, this, [&](Qt::MouseButton button) {
        events << (button == Qt::RightButton ? "right-down" : "left-down") +
                      QString(box.isChecked() ? "(checked)" : "(unchecked)");
    });
    box.setChecked(false); // its state already: nothing
    box.setChecked(true);
    QCOMPARE(events, QStringList{"click"});
    events.clear();
    QTest::mouseClick(&box, Qt::LeftButton, {}, onBox(&box));
    QCOMPARE(events, (QStringList{"left-down(checked)", "click"}));
    QVERIFY(!box.isChecked());
    events.clear();
    QTest::mouseClick(&box, Qt::RightButton, {}, onBox(&box));
    QCOMPARE(events, QStringList{"right-down(unchecked)"});
    QVERIFY(!box.isChecked());
    events.clear();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Space);
    QCOMPARE(events, QStringList{"click"});
    QVERIFY(box.isChecked());
}

void TestControls::menuItemRunsOnlyOnUserClick() {
    QObject owner;
    MenuItem item("chk_AUTO", "Mode automatique", &owner);
    item.setCheckable(true);
    QSignalSpy clicks(&item, &MenuItem::Click);
    item.setCheckedSilently(true);
    item.setChecked(false);
    QCOMPARE(clicks.size(), 0);
    item.trigger(); // what a user's click does: invert, then the handler
    QCOMPARE(clicks.size(), 1);
    QVERIFY(item.Checked());

    Action action("Ordalix", "RANGER Tout !", &owner);
    QSignalSpy runs(&action, &Action::OnExecute);
    action.Execute();
    QCOMPARE(runs.size(), 1);
}

void TestControls::tabIndexFromCodeIsSilent() {
    PageControl tabs;
    tabs.addTab(new QWidget, "Ordalix");
    tabs.addTab(new QWidget, "DéOrdalix");
    tabs.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tabs));
    QSignalSpy changes(&tabs, &PageControl::Change);
    tabs.setTabIndex(1);
    QCOMPARE(tabs.TabIndex(), 1);
    QCOMPARE(changes.size(), 0);
    QTest::mouseClick(tabs.tabBar(), Qt::LeftButton, {}, tabs.tabBar()->tabRect(0).center());
    QCOMPARE(tabs.TabIndex(), 0);
    QCOMPARE(changes.size(), 1);
}

void TestControls::lampBlinks() {
    Led lamp;
    QVERIFY(!lamp.Active());
    lamp.setActive(true);
    QVERIFY(lamp.Lit());
    QCOMPARE(lamp.color(), QColor(0, 255, 0));
    QTRY_VERIFY_WITH_TIMEOUT(!lamp.Lit(), 1500);
    QCOMPARE(lamp.color(), QColor(255, 0, 0));
    lamp.setActive(false); // stops on the colour it shows
    QTest::qWait(1100);
    QVERIFY(!lamp.Lit());
}

void TestControls::windowDropDeliversAllPaths() {
    QWidget window;
    DragDrop target(&window);
    QSignalSpy drops(&target, &DragDrop::Drop);
    dropOn(&window, {path("one"), path("two"), path("three")});
    QCOMPARE(drops.size(), 1);
    QCOMPARE(drops.first().at(1).toStringList(),
             (QStringList{path("one"), path("two"), path("three")}));
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
