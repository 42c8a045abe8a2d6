// The flatten command over 10,000 files spread over 1,000 folders, one name in twenty a repeat
// of an earlier one, against `find -exec mv` on an identical tree; each side is measured three
// times, in turns, each time on a tree of its own, and the fastest kept (the -slowest-seconds
// lines tell the spread). flatten-seconds is the whole command
// (count, walk, file list re-read); walk-seconds the walk alone. The command keeps every
// replaced file in the trash, where the plain `mv` overwrites it; the check afterwards makes sure
// that every original file is in the top folder or the trash.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>

#include "BenchSupport.h"
#include "Flatten.h"
#include "FormFlattenWindow.h"
#include "Unit1.h"
#include "outil32_Dialogs.h"

namespace {

constexpr int kFiles = 10000;
constexpr int kOuterFolders = 100;
constexpr int kInnerFolders = 9; // in each outer folder: 100 + 900 = 1,000 folders
constexpr int kFilesPerFolder = kFiles / (kOuterFolders * (1 + kInnerFolders));

QElapsedTimer g_clock;
qint64 g_walkStart = 0; // the gauge is shown right before the walk
qint64 g_walkEnd = 0;   // the report follows it

// Answers every dialog with OK, as a user who confirms, and notes when the report comes.
class Confirming : public Dialogs::Presenter {
public:
    Dialogs::Answer present(const Dialogs::Request& request) override {
        if (request.type == mtInformation)
            g_walkEnd = g_clock.nsecsElapsed();
        return Dialogs::Answer::Ok;
    }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

class TimedView : public FormFlattenWindow {
public:
    using FormFlattenWindow::FormFlattenWindow;
    void showGauge() override {
        g_walkStart = g_clock.nsecsElapsed();
        FormFlattenWindow::showGauge();
    }
};

// Stands in for the file manager the command opens at its end.
class NoFileManager : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl&) {}
};

// The name of file `i`: every twentieth repeats the name of a file of an earlier folder.
QString fileName(int i) {
    if (i % 20 == 19) {
        const unsigned earlierFolders = unsigned(i - i % kFilesPerFolder);
        return fileName(int((unsigned(i) * 2654435761u >> 7) % earlierFolders));
    }
    return QString::asprintf("f%05d.dat", i);
}

// Each file holds its own number, so that the check can tell every original apart.
bool makeTree(const QString& top) {
    int i = 0;
    for (int outer = 0; outer < kOuterFolders; ++outer) {
        for (int inner = 0; inner <= kInnerFolders; ++inner) {
            QString folder = top + QString::asprintf("/d%03d", outer);
            if (inner > 0)
                folder += QString::asprintf("/e%d", inner);
            if (!QDir().mkpath(folder))
                return false;
            for (int k = 0; k < kFilesPerFolder; ++k, ++i) {
                QFile file(folder + u'/' + fileName(i));
                const QByteArray content = QByteArray::number(i);
                if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
                    return false;
            }
        }
    }
    return i == kFiles;
}

// The numbers held by the files directly in `folder`.
QSet<int> numbersIn(const QString& folder) {
    QSet<int> numbers;
    QDirIterator files(folder, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            numbers.insert(file.readAll().toInt());
    }
    return numbers;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/bench-flatten-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 1;
    }
    // A fresh ext4 where we may mount one, so that both sides meet the same file system.
    bench::FreshExt4 volume(work.path());
    std::printf("fresh-ext4: %d\n", volume.mounted() ? 1 : 0);
    // A home and a trash of our own on the same file system: the home trash only takes files
    // of its own file system.
    qputenv("HOME", QFile::encodeName(work.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(work.filePath("data")));
    // The runs' own records too stay in the work folder, never in the user's home.
    qputenv("XDG_STATE_HOME", QFile::encodeName(work.filePath("state")));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QDir().mkpath(work.filePath("data"));

    for (int round = 1; round <= bench::Rounds; ++round) {
        for (const char* side : {"find", "flatten"}) {
            if (!makeTree(work.filePath(QString("%1-%2").arg(QLatin1String(side)).arg(round)))) {
                std::fprintf(stderr, "cannot create the trees\n");
                return 1;
            }
        }
    }
    // File renames on ext4 vary from one minute to the next: the plain command and the flatten
    // take turns. Within one batch, mv refuses a second file of a name it has just moved, says
    // so and ends with status 1; that is its normal work here.
    auto findMv = [&](int round) {
        return bench::commandSeconds(
            1, QStringLiteral("find '%1' -mindepth 2 -type f -exec mv -t '%1' {} + 2>/dev/null; "
                              "test $? -le 1")
                   .arg(work.filePath(QString("find-%1").arg(round))));
    };
    Confirming confirming;
    Dialogs::setPresenter(&confirming);
    NoFileManager fileManager;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &fileManager, "open");
    TForm1 form;
    form.show();

    // The flatten runs each time on a tree of its own into an emptied trash: the same rule for
    // both sides.
    bench::Side flattenSide;
    double walkSeconds = 0;
    long before = 0;
    long peak = 0;
    int inTop = 0;
    auto flattenRun = [&](int round) {
        const QString top = work.filePath(QString("flatten-%1").arg(round));
        QDir(work.filePath("data/Trash")).removeRecursively();
        form.JvDirectoryEdit1->setDirectory(top);
        QApplication::processEvents();
        TimedView view(form);
        if (round == 1) {
            before = bench::residentKib();
            bench::resetPeak();
        }
        g_clock.start();
        flatten::DeOrdalixExecute(view);
        const double seconds = g_clock.nsecsElapsed() / 1e9;
        if (round == 1)
            peak = bench::peakKib();
        if (flattenSide.best() < 0 || seconds < flattenSide.best())
            walkSeconds = (g_walkEnd - g_walkStart) / 1e9;
        flattenSide.add(seconds);
        QSet<int> kept = numbersIn(top);
        inTop = int(kept.size());
        kept.unite(numbersIn(work.filePath("data/Trash/files")));
        if (kept.size() != kFiles || form.JvStatusBar1->Tag() != kFiles) {
            std::fprintf(stderr, "the flatten kept %d of %d files (%d counted)\n", int(kept.size()),
                         kFiles, form.JvStatusBar1->Tag());
            return false;
        }
        return true;
    };
    bench::Side findSide;
    for (int round = 1; round <= bench::Rounds; ++round) {
        findSide.add(findMv(round));
        if (!flattenRun(round))
            return 1;
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    Dialogs::setPresenter(nullptr);
    const double findSeconds = findSide.best();
    const double flattenSeconds = flattenSide.best();
    if (findSeconds <= 0) {
        std::fprintf(stderr, "cannot run find and mv\n");
        return 1;
    }

    const QString lastFind = work.filePath(QString("find-%1").arg(bench::Rounds));
    const int findKept = int(numbersIn(lastFind).size());
    int findLeft = 0;
    for (QDirIterator left(lastFind, QDir::Files, QDirIterator::Subdirectories); left.hasNext();
         left.next())
        ++findLeft;
    findLeft -= findKept;
    bench::print("find-mv-seconds", findSeconds);
    bench::print("find-mv-slowest-seconds", findSide.slowest());
    bench::print("flatten-seconds", flattenSeconds);
    bench::print("flatten-slowest-seconds", flattenSide.slowest());
    bench::print("flatten-ratio", flattenSeconds / findSeconds);
    bench::print("walk-seconds", walkSeconds);
    bench::print("walk-ratio", walkSeconds / findSeconds);
    bench::print("peak-added-mb", (peak - before) / 1024.0);
    bench::print("files-in-top-folder", inTop);
    bench::print("files-in-trash", kFiles - inTop);
    bench::print("find-mv-files-overwritten", kFiles - findKept - findLeft);
    bench::print("find-mv-files-left-below", findLeft);
    return 0;
}

#include "bench_flatten.moc"
