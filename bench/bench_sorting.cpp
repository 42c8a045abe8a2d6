// The file run over 10,000 files of 4 KiB, by year and month with journals on, against the floor
// of its work: `cp -a` of the same folder plus sending the same files to the trash one by one.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include "BenchSupport.h"
#include "FormViews.h"
#include "Sorting.h"
#include "Unit1.h"
#include "outil32_Dialogs.h"
#include "outil32_FILE.h"

namespace {

constexpr int kFiles = 10000;

// Answers every dialog with OK, as a user who confirms.
class Confirming : public Dialogs::Presenter {
public:
    Dialogs::Answer present(const Dialogs::Request&) override { return Dialogs::Answer::Ok; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

// Notes when each file's turn begins.
class TimedView : public FormSortWindow {
public:
    using FormSortWindow::FormSortWindow;
    QList<qint64> starts;
    QElapsedTimer clock;
    void selectFile(int index) override {
        starts.append(clock.nsecsElapsed());
        FormSortWindow::selectFile(index);
    }
};

bool makeRoot(const QString& folder) {
    if (!QDir().mkpath(folder))
        return false;
    const QByteArray content(4096, 'x');
    for (int i = 0; i < kFiles; ++i) {
        const QString path = folder + QString::asprintf("/photo%05d.jpg", i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return false;
        file.close();
        // Spread over three years, so that 36 month folders are made.
        const qint64 when = QDateTime(QDate(2019, 1, 1), QTime(12, 0)).toSecsSinceEpoch() +
                            qint64(i) * 3 * 365 * 86400 / kFiles;
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/bench-sorting-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 1;
    }
    // A fresh ext4 of our own where we may mount one: on a disk that has seen many files come
    // and go, creating a file costs more from one minute to the next, for both sides alike.
    bench::FreshExt4 volume(work.path());
    std::printf("fresh-ext4: %d\n", volume.mounted() ? 1 : 0);
    // A trash of our own, on the same file system, read once by GIO.
    qputenv("XDG_DATA_HOME", QFile::encodeName(work.filePath("data")));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QDir().mkpath(work.filePath("data"));

    // The floor: copy the folder, then trash the files of an identical one. File creation
    // on a busy ext4 varies from one minute to the next, so it is measured on both sides of
    // the run and the faster kept.
    for (const char* folder : {"floor-src", "floor-trash-1", "floor-trash-2", "root"}) {
        if (!makeRoot(work.filePath(QLatin1String(folder)))) {
            std::fprintf(stderr, "cannot create the folders\n");
            return 1;
        }
    }
    int floorRuns = 0;
    auto measureFloor = [&]() {
        ++floorRuns;
        const double copy = bench::commandSeconds(
            1, QStringLiteral("cp -a '%1' '%2'")
                   .arg(work.filePath("floor-src"),
                        work.filePath(QString("floor-copy-%1").arg(floorRuns))));
        bool trashed = true;
        const double trash = bench::bestSeconds(1, [&] {
            for (int i = 0; i < kFiles; ++i)
                trashed = RecycleFile(work.filePath(
                              QString::asprintf("floor-trash-%d/photo%05d.jpg", floorRuns, i))) &&
                          trashed;
        });
        return copy > 0 && trashed ? copy + trash : -1.0;
    };
    const double floorBefore = measureFloor();

    Confirming confirming;
    Dialogs::setPresenter(&confirming);
    TForm1 form;
    form.show();
    form.JvDirectoryEdit1->setDirectory(work.filePath("root"));
    form.chk_A->setChecked(true);
    form.chk_M->setChecked(true);
    form.chk_AUTO->setCheckedSilently(true); // no report, no file manager
    QApplication::processEvents();

    TimedView view(form);
    const long before = bench::residentKib();
    bench::resetPeak();
    view.clock.start();
    sorting::RangerFichiers(view);
    const double run = view.clock.nsecsElapsed() / 1e9;
    const long peak = bench::peakKib();

    const double floorAfter = measureFloor();
    if (floorBefore <= 0 || floorAfter <= 0) {
        std::fprintf(stderr, "cannot measure the floor\n");
        return 1;
    }
    const double floor = std::min(floorBefore, floorAfter);
    const int left = QDir(work.filePath("root")).entryList(QDir::Files).size();
    if (view.starts.size() != kFiles || left != 0) {
        std::fprintf(stderr, "the run did not sort every file (%d left)\n", left);
        return 1;
    }
    const double first = (view.starts[1000] - view.starts[0]) / 1e9;
    const double last = (run * 1e9 - view.starts[kFiles - 1000]) / 1e9;
    bench::print("floor-seconds", floor);
    bench::print("run-seconds", run);
    bench::print("run-to-floor-ratio", run / floor);
    bench::print("last-to-first-1000-ratio", last / first);
    bench::print("files-per-second", kFiles / run);
    bench::print("peak-added-mb", (peak - before) / 1024.0);
    Dialogs::setPresenter(nullptr);
    return 0;
}
