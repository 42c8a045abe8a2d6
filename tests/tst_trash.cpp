// The desktop trash for real: what the file run and RecycleFile trash, on the home file system
// and on another mounted volume with each kind of top-level .Trash folder, comes back whole
// through trash-cli (trash-list, trash-restore); where the trash refuses, the item stays where
// it was and the user is told why.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TempVolume.h"
#include "TestFiles.h"
#include "outil32_FILE.h"

namespace {

QString driver() {
    return QCoreApplication::applicationDirPath() + "/ordalix_driver";
}

QByteArray hashOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

struct Run {
    int code = -1;
    QString output;
};

Run run(const QString& program, const QStringList& arguments, const QString& folder = {},
        const QByteArray& input = {},
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        process.kill();
    process.waitForFinished();
    Run result;
    result.output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() == QProcess::NormalExit)
        result.code = process.exitCode();
    return result;
}

bool have(const QString& tool) {
    return !QStandardPaths::findExecutable(tool).isEmpty();
}

// Original paths trash-list shows.
QStringList trashListed() {
    QStringList paths;
    const QRegularExpression line(QStringLiteral("^\\S+ \\S+ (.+)$"));
    for (const QString& text : run("trash-list", {}).output.split(u'\n')) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            paths.append(match.captured(1));
    }
    return paths;
}

// Restores one trashed item with trash-restore, which lists what was trashed from its working
// folder and asks for a number.
bool trashRestore(const QString& original) {
    const QString folder = QFileInfo(original).absolutePath();
    const QRegularExpression line(QStringLiteral("^\\s*(\\d+) \\S+ \\S+ (.+)$"));
    QString number;
    for (const QString& text : run("trash-restore", {}, folder).output.split(u'\n')) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch() && match.captured(2) == original)
            number = match.captured(1);
    }
    if (number.isEmpty()) {
        qWarning("trash-restore does not offer %s", qPrintable(original));
        return false;
    }
    return run("trash-restore", {}, folder, number.toUtf8() + '\n').code == 0;
}

// Checks that trash-cli lists an item Ordalix trashed and gives it back with the same content.
void checkRestoredByTrashCli(const QString& original, const QByteArray& hash) {
    QVERIFY2(trashListed().contains(original), qPrintable(original));
    QVERIFY(trashRestore(original));
    QCOMPARE(hashOf(original), hash);
    QVERIFY(!trashListed().contains(original));
}

// A volume of the test's own: a small ext4 through a loop device, or a tmpfs.
class Volume : public TempVolume {
public:
    explicit Volume(Kind kind = Kind::Ext4) : TempVolume(kind), top(path()) {}
    // Entries of the top folder besides the file system's own.
    QStringList topEntries() const {
        QStringList names = TestFiles::entries(top);
        names.removeAll("lost+found");
        return names;
    }

    const QString top;
};

// The account the refusal tests run as, with a home and data folder of its own.
struct OtherUser {
    uid_t uid = 0;
    gid_t gid = 0;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    bool prepare(const QString& home) {
        const passwd* account = ::getpwnam("nobody");
        if (!account || ::getuid() != 0 || !have("setpriv"))
            return false;
        uid = account->pw_uid;
        gid = account->pw_gid;
        for (const QString& folder : {home, home + "/share", home + "/state", home + "/runtime"}) {
            if (!QDir().mkpath(folder) || !own(folder))
                return false;
        }
        QFile::setPermissions(home + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("HOME", home);
        env.insert("XDG_DATA_HOME", home + "/share");
        env.insert("XDG_STATE_HOME", home + "/state");
        env.insert("XDG_CONFIG_HOME", home);
        env.insert("XDG_CACHE_HOME", home);
        env.insert("XDG_RUNTIME_DIR", home + "/runtime");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return true;
    }
    bool own(const QString& path) const {
        return ::chown(QFile::encodeName(path).constData(), uid, gid) == 0;
    }
    Run runDriver(const QStringList& arguments) const {
        return run("setpriv",
                   QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", driver()} +
                       arguments,
                   {}, {}, env);
    }
};

// The reason of a driver's "FAILED: reason" line, or a null string.
QString failedReason(const QString& output) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^FAILED: (.*)$"), QRegularExpression::MultilineOption)
            .match(output);
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

const QDateTime Sorted = QDateTime(QDate(2021, 3, 5), QTime(10, 0));

// A key of an info file, as written.
QByteArray infoValue(const QString& info, const QByteArray& key) {
    for (const QByteArray& line : TestFiles::read(info).split('\n')) {
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    }
    return {};
}

// The hashes of every file below a folder, by relative path: a tree to compare whole.
QMap<QString, QByteArray> treeHashes(const QString& folder) {
    QMap<QString, QByteArray> hashes;
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        hashes.insert(QDir(folder).relativeFilePath(file), hashOf(file));
    }
    return hashes;
}

enum class Where { Home, Ext4, Tmpfs };

// A data folder, and so a home trash, of the test's own while it lives; trash-cli, started
// from this process, sees the same.
class OwnDataHome {
public:
    OwnDataHome() : m_saved(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
    }
    ~OwnDataHome() { qputenv("XDG_DATA_HOME", m_saved); }
    OwnDataHome(const OwnDataHome&) = delete;
    OwnDataHome& operator=(const OwnDataHome&) = delete;
    QString trash() const { return m_dir.filePath("Trash"); }

private:
    QTemporaryDir m_dir;
    QByteArray m_saved;
};

} // namespace

enum class TopTrash { Sticky, NotSticky, Link, None, ImmutableTop, ForeignUidFolder, OwnTrashLink };
Q_DECLARE_METATYPE(TopTrash)
Q_DECLARE_METATYPE(Where)

class TestTrash : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(QFile::exists(driver()));
        if (!have("trash-list") || !have("trash-restore"))
            QSKIP("trash-cli is not installed (scripts/deps.sh installs it)");
    }

    // The file run copies each file to its year folder and trashes the original; trash-cli lists
    // the original under its own name and restores it whole.
    void fileRunOriginalsRestoredByTrashCli_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("percent") << "100 %.txt";
        QTest::newRow("percent escapes") << "%20 %25 %s %d %%.txt";
        QTest::newRow("spaces") << "deux  espaces .txt";
        QTest::newRow("leading space") << " devant.txt";
        QTest::newRow("accents and percent") << "été à 50 % + 1.txt";
    }
    void fileRunOriginalsRestoredByTrashCli() {
        QFETCH(QString, name);
        QTemporaryDir root;
        const QString original = root.path() + "/" + name;
        QVERIFY(TestFiles::write(original, "contenu de " + name.toUtf8()));
        QVERIFY(TestFiles::setModified(original, Sorted));
        const QByteArray hash = hashOf(original);

        const Run sort = run(driver(), {"sortfiles", root.path(), "Y"});
        QCOMPARE(sort.code, 0);
        QVERIFY2(!sort.output.contains("corbeille"), qPrintable(sort.output));
        QVERIFY(!QFile::exists(original));
        QCOMPARE(hashOf(root.path() + "/2021/" + name), hash);

        checkRestoredByTrashCli(original, hash);
    }

    // On another volume the item goes to the volume's own trash: the shared .Trash/UID when
    // .Trash is a real folder with the sticky bit, .Trash-UID otherwise (never through a link,
    // which could lead anywhere). Where neither can be made, the item stays and a reason is given.
    void recycleOnAnotherVolume_data() {
        QTest::addColumn<TopTrash>("layout");
        QTest::addColumn<QString>("trash"); // below the top folder; empty when refused
        const QString uid = QString::number(::getuid());
        QTest::newRow("sticky .Trash") << TopTrash::Sticky << ".Trash/" + uid;
        QTest::newRow(".Trash without the sticky bit") << TopTrash::NotSticky << ".Trash-" + uid;
        QTest::newRow(".Trash is a link") << TopTrash::Link << ".Trash-" + uid;
        QTest::newRow("no .Trash") << TopTrash::None << ".Trash-" + uid;
        QTest::newRow("immutable top folder") << TopTrash::ImmutableTop << QString();
        // Folders someone else made for us are never used, nor followed.
        QTest::newRow("sticky .Trash, UID folder of another user")
            << TopTrash::ForeignUidFolder << ".Trash-" + uid;
        QTest::newRow(".Trash-UID is a link") << TopTrash::OwnTrashLink << QString();
    }
    void recycleOnAnotherVolume() {
        QFETCH(TopTrash, layout);
        QFETCH(QString, trash);
        Volume volume;
        if (!volume.mounted())
            QSKIP("cannot mount an ext4 image here (needs root and a loop device)");
        const QString top = volume.top;
        const QString linked = top + "/ailleurs";
        switch (layout) {
        case TopTrash::Sticky:
        case TopTrash::NotSticky:
            QVERIFY(QDir().mkdir(top + "/.Trash"));
            QCOMPARE(::chmod(QFile::encodeName(top + "/.Trash").constData(),
                             layout == TopTrash::Sticky ? 01777 : 0777),
                     0);
            break;
        case TopTrash::Link:
            QVERIFY(QDir().mkdir(linked));
            QCOMPARE(::chmod(QFile::encodeName(linked).constData(), 01777), 0);
            QVERIFY(QFile::link(linked, top + "/.Trash"));
            break;
        case TopTrash::ForeignUidFolder:
            QVERIFY(QDir().mkpath(top + "/.Trash/" + QString::number(::getuid())));
            QCOMPARE(::chmod(QFile::encodeName(top + "/.Trash").constData(), 01777), 0);
            QCOMPARE(
                ::chown(
                    QFile::encodeName(top + "/.Trash/" + QString::number(::getuid())).constData(),
                    65534, 65534),
                0);
            break;
        case TopTrash::OwnTrashLink:
            QVERIFY(QDir().mkdir(linked));
            QVERIFY(QFile::link(linked, top + "/.Trash-" + QString::number(::getuid())));
            break;
        case TopTrash::None:
        case TopTrash::ImmutableTop:
            break;
        }
        const QString original = top + "/dossier/50 % de remise %20.txt";
        QVERIFY(TestFiles::write(original, "à garder"));
        const QByteArray hash = hashOf(original);
        const QStringList before = volume.topEntries();
        if (layout == TopTrash::ImmutableTop && run("chattr", {"+i", top}).code != 0)
            QSKIP("chattr +i is not available here");

        const bool trashed = RecycleFile(original);
        run("chattr", {"-i", top});
        if (trash.isEmpty()) {
            QVERIFY(!trashed);
            QCOMPARE(hashOf(original), hash);
            // Our own sentence: the trash folder that could not be made, and that the item stays.
            QVERIFY2(LastFileErrorText().contains(top + "/.Trash-" + QString::number(::getuid())) &&
                         LastFileErrorText().contains("reste"),
                     qPrintable(LastFileErrorText()));
            QCOMPARE(volume.topEntries(), before);
            QVERIFY(TestFiles::entries(linked).isEmpty());
            return;
        }
        QVERIFY2(trashed, qPrintable(LastFileErrorText()));
        QVERIFY(!QFile::exists(original));
        const QString name = QFileInfo(original).fileName();
        QCOMPARE(hashOf(top + "/" + trash + "/files/" + name), hash);
        // In a volume's own trash the path is relative to its top folder.
        const QByteArray stored =
            infoValue(top + "/" + trash + "/info/" + name + ".trashinfo", "Path");
        QCOMPARE(QUrl::fromPercentEncoding(stored), "dossier/" + name);
        if (layout == TopTrash::Link)
            QVERIFY(TestFiles::entries(linked).isEmpty());
        if (layout == TopTrash::ForeignUidFolder)
            QVERIFY(TestFiles::entries(top + "/.Trash/" + QString::number(::getuid())).isEmpty());
        if (layout == TopTrash::NotSticky)
            QVERIFY(TestFiles::entries(top + "/.Trash").isEmpty());

        checkRestoredByTrashCli(original, hash);
    }

    // A user who may not write the volume's top folder has no trash there: the item stays, the
    // driver reports the refusal with GLib's reason, and the file run, which has already copied
    // the file, tells the user that the original stayed in the root folder.
    void refusedForAnotherUser() {
        Volume volume;
        if (!volume.mounted())
            QSKIP("cannot mount an ext4 image here (needs root and a loop device)");
        OtherUser user;
        if (!user.prepare(volume.outside("nobody")))
            QSKIP("setpriv or the nobody account is not available");
        const QString shared = volume.top + "/partage";
        const QString root = shared + "/racine";
        QVERIFY(QDir().mkpath(root));
        QVERIFY(user.own(shared) && user.own(root));
        const QString single = shared + "/seul 100 %.txt";
        const QString sorted = root + "/rangé 100 %.txt";
        for (const QString& path : {single, sorted}) {
            QVERIFY(TestFiles::write(path, "à garder : " + path.toUtf8()));
            QVERIFY(TestFiles::setModified(path, Sorted));
            QVERIFY(user.own(path));
        }
        const QByteArray singleHash = hashOf(single);
        const QByteArray sortedHash = hashOf(sorted);

        const Run recycle = user.runDriver({"recycle", single});
        QCOMPARE(recycle.code, 1);
        // Our own sentence, naming the trash folder that could not be made, then the system's.
        QVERIFY2(failedReason(recycle.output)
                     .contains(volume.top + "/.Trash-" + QString::number(user.uid)),
                 qPrintable(recycle.output));
        QCOMPARE(hashOf(single), singleHash);

        const Run sort = user.runDriver({"sortfiles", root, "Y"});
        QCOMPARE(sort.code, 0);
        const QRegularExpressionMatch told =
            QRegularExpression(QStringLiteral("^MSG \\d+: (1 fichier.*corbeille.*)$"),
                               QRegularExpression::MultilineOption)
                .match(sort.output);
        QVERIFY2(told.hasMatch(), qPrintable(sort.output));
        // The count, then the reason after an empty line.
        QVERIFY2(!told.captured(1).section("\\n\\n", 1).trimmed().isEmpty(),
                 qPrintable(told.captured(1)));
        QCOMPARE(hashOf(sorted), sortedHash);
        QCOMPARE(hashOf(root + "/2021/" + QFileInfo(sorted).fileName()), sortedHash);

        QVERIFY(volume.topEntries() == QStringList{"partage"});
    }

    // A home trash that cannot be written refuses too: the driver names the reason and the
    // item stays.
    void refusedByTheHomeTrash() {
        if (::getuid() != 0 || !have("chattr"))
            QSKIP("needs root and chattr");
        QTemporaryDir home;
        const QString files = home.path() + "/share/Trash/files";
        QVERIFY(QDir().mkpath(files));
        QVERIFY(QDir().mkpath(home.path() + "/share/Trash/info"));
        const QString original = home.path() + "/gardé 10 %.txt";
        QVERIFY(TestFiles::write(original, "à garder"));
        const QByteArray hash = hashOf(original);
        if (run("chattr", {"+i", files}).code != 0)
            QSKIP("chattr +i is not supported on this file system");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", home.path() + "/share");
        const Run recycle = run(driver(), {"recycle", original}, {}, {}, env);
        run("chattr", {"-i", files});
        QCOMPARE(recycle.code, 1);
        QVERIFY2(failedReason(recycle.output).contains(files), qPrintable(recycle.output));
        QCOMPARE(hashOf(original), hash);
        QVERIFY(TestFiles::entries(files).isEmpty());
        QVERIFY(TestFiles::entries(home.path() + "/share/Trash/info").isEmpty());
    }

    // Two items of one name trashed in the same second get two names in the trash (name, then
    // name.2), each told back to the caller; trash-cli lists and restores both. On a tmpfs too:
    // it gets a .Trash-UID of its own like any other volume.
    void sameNameInTheSameSecond_data() {
        QTest::addColumn<Where>("where");
        QTest::newRow("home trash") << Where::Home;
        QTest::newRow("ext4 volume") << Where::Ext4;
        QTest::newRow("tmpfs") << Where::Tmpfs;
    }
    void sameNameInTheSameSecond() {
        QFETCH(Where, where);
        const OwnDataHome data;
        QTemporaryDir home;
        std::unique_ptr<Volume> volume;
        QString base = home.path();
        QString trash = data.trash();
        if (where != Where::Home) {
            volume = std::make_unique<Volume>(where == Where::Ext4 ? Volume::Kind::Ext4
                                                                   : Volume::Kind::Tmpfs);
            if (!volume->mounted())
                QSKIP("cannot mount a volume here (needs root)");
            base = volume->top;
            trash = base + "/.Trash-" + QString::number(::getuid());
        }
        const QStringList originals{base + "/un/même nom 5 %.txt", base + "/deux/même nom 5 %.txt"};
        QList<QByteArray> hashes;
        for (const QString& original : originals) {
            QVERIFY(TestFiles::write(original, "contenu de " + original.toUtf8()));
            hashes.append(hashOf(original));
        }
        // Both in one second: tried again when the clock turned between the two.
        TrashedItem first;
        TrashedItem second;
        for (int attempt = 0; attempt < 3; ++attempt) {
            QVERIFY2(RecycleFile(originals[0], &first), qPrintable(LastFileErrorText()));
            QVERIFY2(RecycleFile(originals[1], &second), qPrintable(LastFileErrorText()));
            if (infoValue(first.info, "DeletionDate") == infoValue(second.info, "DeletionDate"))
                break;
            QVERIFY(QFile::rename(first.item, originals[0]) && QFile::remove(first.info));
            QVERIFY(QFile::rename(second.item, originals[1]) && QFile::remove(second.info));
        }
        QCOMPARE(infoValue(first.info, "DeletionDate"), infoValue(second.info, "DeletionDate"));

        QCOMPARE(QFileInfo(first.item).absolutePath(), trash + "/files");
        QCOMPARE(second.item, first.item + ".2");
        QCOMPARE(second.info, trash + "/info/" + QFileInfo(second.item).fileName() + ".trashinfo");
        QCOMPARE(hashOf(first.item), hashes[0]);
        QCOMPARE(hashOf(second.item), hashes[1]);
        const QByteArray date = infoValue(second.info, "DeletionDate");
        QVERIFY2(date.size() == 19 &&
                     QDateTime::fromString(QString::fromLatin1(date), "yyyy-MM-ddTHH:mm:ss")
                             .secsTo(QDateTime::currentDateTime()) < 60,
                 date.constData());

        for (int i = 0; i < 2; ++i)
            checkRestoredByTrashCli(originals[i], hashes[i]);
    }

    // A folder goes whole, under one info file, with its line in directorysizes (its disk
    // usage as du counts it, and the info file's time); trash-cli gives it back whole.
    void folderTrashedWhole_data() {
        QTest::addColumn<Where>("where");
        QTest::newRow("home trash") << Where::Home;
        QTest::newRow("ext4 volume") << Where::Ext4;
    }
    void folderTrashedWhole() {
        QFETCH(Where, where);
        const OwnDataHome data;
        QTemporaryDir home;
        std::unique_ptr<Volume> volume;
        QString base = home.path();
        if (where == Where::Ext4) {
            volume = std::make_unique<Volume>();
            if (!volume->mounted())
                QSKIP("cannot mount a volume here (needs root)");
            base = volume->top;
        }
        const QString folder = base + "/Vacances 100 %";
        QVERIFY(TestFiles::write(folder + "/a.jpg", QByteArray(10000, 'a')));
        QVERIFY(TestFiles::write(folder + "/sous dossier/b.jpg", "b"));
        QVERIFY(TestFiles::write(folder + "/.cache", "c"));
        QVERIFY(QDir().mkpath(folder + "/vide"));
        const QMap<QString, QByteArray> before = treeHashes(folder);

        TrashedItem placed;
        QVERIFY2(RecycleFile(folder, &placed), qPrintable(LastFileErrorText()));
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(treeHashes(placed.item), before);
        QVERIFY(QFileInfo(placed.item + "/vide").isDir());

        const QString trash = QFileInfo(QFileInfo(placed.item).absolutePath()).absolutePath();
        QProcess du;
        du.start("du", {"-s", "-B1", placed.item});
        QVERIFY(du.waitForFinished());
        const QByteArray usage = du.readAllStandardOutput().split('\t').value(0);
        const QByteArray modified =
            QByteArray::number(QFileInfo(placed.info).lastModified().toSecsSinceEpoch());
        const QByteArray sizes = TestFiles::read(trash + "/directorysizes");
        QVERIFY2(
            sizes.split('\n').contains(usage + ' ' + modified + ' ' +
                                       QUrl::toPercentEncoding(QFileInfo(placed.item).fileName())),
            sizes.constData());

        QVERIFY(trashListed().contains(folder));
        QVERIFY(trashRestore(folder));
        QCOMPARE(treeHashes(folder), before);
        QVERIFY(QFileInfo(folder + "/vide").isDir());
    }

    // What a kill can leave: an info file whose item never came (or an empty one, killed just
    // after its creation). trash-cli passes over them and still lists and restores the rest,
    // and a later item of the same name takes the next free name.
    void infoFileWithoutItemPassedOver() {
        const OwnDataHome data;
        QTemporaryDir home;
        const QString original = home.filePath("photo 1 %.jpg");
        QVERIFY(TestFiles::write(original, "la vraie"));
        const QByteArray hash = hashOf(original);
        QVERIFY(QDir().mkpath(data.trash() + "/info") && QDir().mkpath(data.trash() + "/files"));
        QVERIFY(TestFiles::write(data.trash() + "/info/photo 1 %.jpg.trashinfo",
                                 "[Trash Info]\nPath=" + QUrl::toPercentEncoding(original, "/") +
                                     "\nDeletionDate=2026-01-02T03:04:05\n"));
        QVERIFY(TestFiles::write(data.trash() + "/info/vide.trashinfo", ""));

        TrashedItem placed;
        QVERIFY2(RecycleFile(original, &placed), qPrintable(LastFileErrorText()));
        QCOMPARE(QFileInfo(placed.item).fileName(), QString("photo 1 %.jpg.2"));
        QCOMPARE(run("trash-list", {}).code, 0);
        QVERIFY(trashRestore(original)); // the newest of the two entries for this path
        QCOMPARE(hashOf(original), hash);
        QVERIFY(!QFileInfo::exists(placed.item));
    }

    // An item left in files/ without its info file (by another program) keeps its name: the
    // names it takes are passed over before the caller is told of one, so one original is
    // noted once, under the free name it then gets.
    void orphanItemNamesPassedOver() {
        const OwnDataHome data;
        QTemporaryDir home;
        const QString original = home.filePath("x.txt");
        QVERIFY(TestFiles::write(original, "l'original"));
        const QString files = data.trash() + "/files";
        const QStringList orphans{"x.txt", "x.txt.2"};
        for (const QString& orphan : orphans)
            QVERIFY(TestFiles::write(files + "/" + orphan, "orphelin " + orphan.toUtf8()));
        QVERIFY(QDir().mkpath(data.trash() + "/info"));

        QList<TrashedItem> told;
        QVERIFY2(RecycleFile(original,
                             [&](const TrashedItem& at) {
                                 told.append(at);
                                 return true;
                             }),
                 qPrintable(LastFileErrorText()));
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0].item, files + "/x.txt.3");
        QCOMPARE(TestFiles::read(told[0].item), QByteArray("l'original"));
        QCOMPARE(QUrl::fromPercentEncoding(infoValue(told[0].info, "Path")), original);
        QCOMPARE(TestFiles::entries(data.trash() + "/info"), QStringList{"x.txt.3.trashinfo"});
        for (const QString& orphan : orphans)
            QCOMPARE(TestFiles::read(files + "/" + orphan), "orphelin " + orphan.toUtf8());
    }

    // An info file is written whole before it takes its name, so a kill never leaves one
    // half-written: no write ever reaches a name ending in .trashinfo, not even when the first
    // name is taken in info/ and the next is tried, and no temporary file stays behind.
    void infoFileNeverWrittenUnderItsName() {
        const OwnDataHome data;
        QTemporaryDir home;
        const QString info = data.trash() + "/info";
        QVERIFY(QDir().mkpath(info) && QDir().mkpath(data.trash() + "/files"));
        QVERIFY(TestFiles::write(info + "/photo.jpg.trashinfo",
                                 "[Trash Info]\nPath=/ailleurs/photo.jpg\n"
                                 "DeletionDate=2026-01-02T03:04:05\n"));
        const QString original = home.filePath("photo.jpg");
        QVERIFY(TestFiles::write(original, "jpeg"));
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        const auto closeWatch = qScopeGuard([&] { ::close(watch); });
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(info).constData(),
                                    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE) >= 0);

        TrashedItem placed;
        QVERIFY2(RecycleFile(original, &placed), qPrintable(LastFileErrorText()));
        QCOMPARE(placed.info, info + "/photo.jpg.2.trashinfo");

        alignas(inotify_event) char buffer[16384];
        QStringList writtenUnderItsName;
        for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                const QString name = event->len ? QFile::decodeName(event->name) : QString();
                if (name.endsWith(".trashinfo") && (event->mask & (IN_MODIFY | IN_CLOSE_WRITE)))
                    writtenUnderItsName.append(name);
                at += sizeof(inotify_event) + event->len;
            }
        }
        QVERIFY2(writtenUnderItsName.isEmpty(), qPrintable(writtenUnderItsName.join(", ")));
        QCOMPARE(TestFiles::entries(info),
                 (QStringList{"photo.jpg.2.trashinfo", "photo.jpg.trashinfo"}));
        QCOMPARE(QUrl::fromPercentEncoding(infoValue(placed.info, "Path")), original);
    }

    // The trash of a volume is found once and kept; when it stops working (removed, or another
    // volume mounted in the same place) it is looked for again, not given up.
    void trashFoundAgainWhenItFails() {
        const OwnDataHome data;
        QTemporaryDir home;
        for (int i = 0; i < 2; ++i) {
            const QString file = home.filePath(QString("fichier%1.txt").arg(i));
            QVERIFY(TestFiles::write(file, "x"));
            TrashedItem placed;
            QVERIFY2(RecycleFile(file, &placed), qPrintable(LastFileErrorText()));
            QCOMPARE(placed.item, data.trash() + "/files/" + QFileInfo(file).fileName());
            QVERIFY(QDir(data.trash()).removeRecursively());
        }

        auto volume = std::make_unique<Volume>(Volume::Kind::Tmpfs);
        if (!volume->mounted())
            QSKIP("cannot mount a volume here (needs root)");
        const QString top = volume->top;
        const QString trash = top + "/.Trash-" + QString::number(::getuid());
        QVERIFY(TestFiles::write(top + "/a.txt", "a"));
        QVERIFY(RecycleFile(top + "/a.txt"));
        QVERIFY(QDir(trash).removeRecursively());
        QVERIFY(TestFiles::write(top + "/b.txt", "b"));
        QVERIFY2(RecycleFile(top + "/b.txt"), qPrintable(LastFileErrorText()));
        QCOMPARE(TestFiles::read(trash + "/files/b.txt"), QByteArray("b"));

        // Another volume in the same place: its own trash, never the one of the volume before.
        QCOMPARE(TestFiles::run("umount", {top}), 0);
        QCOMPARE(TestFiles::run("mount", {"-t", "tmpfs", "tmpfs", top}), 0);
        QVERIFY(TestFiles::write(top + "/c.txt", "c"));
        QVERIFY2(RecycleFile(top + "/c.txt"), qPrintable(LastFileErrorText()));
        QCOMPARE(TestFiles::entries(trash + "/files"), QStringList{"c.txt"});
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
