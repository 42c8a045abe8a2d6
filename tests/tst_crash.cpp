// Kills the program with SIGKILL at random moments of a sort, a folder sort, a flatten, a
// settings save and a row of trashings, and checks after each kill that no file was lost or
// cut, that no temporary file shows as a real one, and that the settings and journals still
// read as INI.
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "Driver.h"
#include "TestFiles.h"
#include "TreeState.h"

namespace {

struct Case {
    QString op;
    QStringList extra;
    // Lays out the tree below the root; returns false on failure.
    std::function<bool(const QString&)> setup;
};

} // namespace

class TestCrash : public QObject {
    Q_OBJECT
private slots:
    void killAtRandomMoments_data();
    void killAtRandomMoments();
    void cleanupTestCase();

private:
    void checkTrashAfterKill(const QString& trash, const QProcessEnvironment& env);
    int m_orphans = 0;
    int m_tried = 0;
    int m_survived = 0;
};

void TestCrash::killAtRandomMoments_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("file sort") << 0;
    QTest::newRow("folder sort") << 1;
    QTest::newRow("flatten") << 2;
    QTest::newRow("settings save") << 3;
    QTest::newRow("trash") << 4;
}

void TestCrash::killAtRandomMoments() {
    QFETCH(int, which);
    // Under Wine every file step goes through its server: a tenth of the files and a quarter of
    // the kills keep the suite within minutes there.
    const int scale = TestFiles::underWine() ? 10 : 1;
    const QList<Case> cases{
        {"sortfiles",
         {"YM"},
         [scale](const QString& root) {
             return TreeState::writeNumbered(root, "photo%1.jpg", 2000 / scale);
         }},
        {"sortfolders",
         {"L"},
         [scale](const QString& root) {
             return TreeState::writeNumbered(root, "Dossier%1/inside.txt", 300 / scale);
         }},
        {"flatten",
         {},
         [scale](const QString& root) {
             // 5% of the names repeat in other folders.
             return TreeState::writeNumbered(root, "tree/f%1/file.txt", 100 / scale) &&
                    TreeState::writeNumbered(root, "tree/g%1/h/x%1.dat", 1900 / scale);
         }},
        {"save",
         {},
         [scale](const QString& root) {
             // Journals to tidy, large enough for the save to take a while.
             QDir().mkpath(root + "/ORDALIX_DRIVER_LOG");
             QFile trace(root + "/ORDALIX_DRIVER_LOG/_TRACE.LOG");
             if (!trace.open(QIODevice::WriteOnly))
                 return false;
             for (int i = 20000 / scale; i > 0; --i)
                 trace.write(QByteArray("[photo") + QByteArray::number(i) +
                             "]\r\n01/01/2026=/root/2026\r\n");
             return TreeState::writeNumbered(root, "keep%1.txt", 20);
         }},
        {"recycleall",
         {},
         [scale](const QString& root) {
             return TreeState::writeNumbered(root, "photo%1.jpg", 2000 / scale);
         }},
    };
    const Case& c = cases.at(which);
    const quint32 seed = qEnvironmentVariableIsSet("ORDALIX_CRASH_SEED")
                             ? quint32(qEnvironmentVariableIntValue("ORDALIX_CRASH_SEED"))
                             : 20261210u + quint32(which);
    QRandomGenerator random(seed);
    qInfo("seed %u", seed);

    // One whole run tells how long the operation lasts.
    qint64 duration = 0;
    {
        QTemporaryDir root(QDir::tempPath() + "/crash-XXXXXX");
        QTemporaryDir data(QDir::tempPath() + "/crash-data-XXXXXX");
        if (c.op == "flatten")
            QDir().mkpath(root.filePath("tree"));
        QVERIFY(c.setup(root.path()));
        const QString top = c.op == "flatten" ? root.filePath("tree") : root.path();
        const Driver::Result whole =
            Driver::run(QStringList{c.op, top} + c.extra, Driver::environment(data.path()));
        QVERIFY2(whole.normalExit && whole.exitCode == 0, qPrintable(whole.output));
        duration = whole.elapsedMs;
    }

    const int kills = 20 / (scale > 1 ? 4 : 1);
    for (int k = 0; k < kills; ++k) {
        QTemporaryDir root(QDir::tempPath() + "/crash-XXXXXX");
        QTemporaryDir data(QDir::tempPath() + "/crash-data-XXXXXX");
        QVERIFY(c.setup(root.path()));
        // The user's files; journals and settings are rewritten on purpose and checked apart.
        const QSet<QByteArray> originals = [&] {
            QSet<QByteArray> set;
            const auto before = TreeState::hashes({root.path()});
            for (auto it = before.cbegin(); it != before.cend(); ++it) {
                if (!it.key().endsWith(".LOG") && !it.key().endsWith(".INI"))
                    set.insert(it.value());
            }
            return set;
        }();
        const QString top = c.op == "flatten" ? root.filePath("tree") : root.path();
        const int at = int(random.bounded(qint64(duration) + 1));
        Driver::run(QStringList{c.op, top} + c.extra, Driver::environment(data.path()), at);
        ++m_tried;

        const auto now = TreeState::hashes({root.path(), data.path() + "/Trash/files"});
        const QSet<QByteArray> lost = TreeState::missing(originals, now);
        const QStringList strangers = TreeState::strangers(root.path(), originals, now);
        QStringList badIni;
        for (const QString& file : TreeState::iniFiles(root.path()))
            badIni += TreeState::badIniLines(file);
        QVERIFY2(
            lost.isEmpty(),
            qPrintable(QString("kill %1 at %2 ms: %3 files lost").arg(k).arg(at).arg(lost.size())));
        QVERIFY2(
            strangers.isEmpty(),
            qPrintable(QString("kill %1 at %2 ms: %3").arg(k).arg(at).arg(strangers.join(", "))));
        QVERIFY2(
            badIni.isEmpty(),
            qPrintable(QString("kill %1 at %2 ms: %3").arg(k).arg(at).arg(badIni.join(" | "))));
#ifndef _WIN32 // the recycle bin's order of steps is the system's
        if (c.op == "recycleall")
            checkTrashAfterKill(data.path() + "/Trash", Driver::environment(data.path()));
#endif
        ++m_survived;
    }
}

// A kill between an item's info file and its rename leaves the info file alone, as the trash's
// rules intend; never an item without its info file. trash-cli still lists every item there.
void TestCrash::checkTrashAfterKill(const QString& trash, const QProcessEnvironment& env) {
    const QStringList items =
        QDir(trash + "/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const QStringList infos =
        QDir(trash + "/info").entryList({"*.trashinfo"}, QDir::Files | QDir::Hidden);
    for (const QString& item : items)
        QVERIFY2(infos.contains(item + ".trashinfo"), qPrintable(item + " has no info file"));
    m_orphans += int(infos.size() - items.size());
    if (QStandardPaths::findExecutable("trash-list").isEmpty())
        return;
    QProcess list;
    list.setProcessEnvironment(env);
    list.start("trash-list", {});
    QVERIFY(list.waitForFinished(120000));
    QCOMPARE(list.exitCode(), 0);
    const QString listed = QString::fromUtf8(list.readAllStandardOutput());
    for (const QString& item : items)
        QVERIFY2(listed.contains("/" + item + "\n"), qPrintable(item + " not listed"));
}

void TestCrash::cleanupTestCase() {
    qInfo("crash-kills-survived: %d of %d", m_survived, m_tried);
    qInfo("crash-trash-info-files-without-item: %d", m_orphans);
}

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
