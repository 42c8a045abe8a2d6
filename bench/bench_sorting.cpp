// The file run over 10,000 files of 4 KiB, by year and month with journals on, against three
// floors of its work measured in the same run on the same fresh volume: `cp -a` of the same
// folder plus sending the same files to the trash one by one through RecycleFile (floor),
// through GIO's g_file_trash (gio-floor), and through the least a trash needs, an info file
// made with O_EXCL and a rename (rename-floor). The command line sorts the same files, started as a
// script would start it, next to the window's run (cli-to-window-ratio). Every figure is the
// faster of two measures, one on each side of the others. The run sends its originals to the
// trash on a second thread; held to one processor, it is measured once more (run-one-core).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

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

// GIO, loaded for its trash alone: the program itself no longer uses it.
class Gio {
public:
    Gio() {
        m_library = ::dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!m_library)
            return;
        m_newForPath = reinterpret_cast<NewForPath>(::dlsym(m_library, "g_file_new_for_path"));
        m_trash = reinterpret_cast<Trash>(::dlsym(m_library, "g_file_trash"));
        m_unref = reinterpret_cast<Unref>(::dlsym(m_library, "g_object_unref"));
        m_errorFree = reinterpret_cast<Unref>(::dlsym(m_library, "g_error_free"));
    }
    bool loaded() const { return m_newForPath && m_trash && m_unref && m_errorFree; }
    bool trash(const QString& path) const {
        void* file = m_newForPath(QFile::encodeName(path).constData());
        void* error = nullptr;
        const bool ok = m_trash(file, nullptr, &error) != 0;
        if (error)
            m_errorFree(error);
        m_unref(file);
        return ok;
    }

private:
    using NewForPath = void* (*)(const char*);
    using Trash = int (*)(void*, void*, void**);
    using Unref = void (*)(void*);
    void* m_library = nullptr;
    NewForPath m_newForPath = nullptr;
    Trash m_trash = nullptr;
    Unref m_unref = nullptr;
    Unref m_errorFree = nullptr;
};

// The least a trash on the same volume needs: the info file made with O_EXCL, with the path
// and the local deletion time, then the rename into files/.
bool renameTrash(const QString& trash, const QString& path) {
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    const QByteArray info = QFile::encodeName(trash) + "/info/" + name + ".trashinfo";
    const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const QByteArray contents =
        "[Trash Info]\nPath=" + QFile::encodeName(path) + "\nDeletionDate=" + date + "\n";
    const bool written =
        ::write(fd, contents.constData(), size_t(contents.size())) == contents.size();
    return ::close(fd) == 0 && written &&
           ::rename(QFile::encodeName(path).constData(),
                    (QFile::encodeName(trash) + "/files/" + name).constData()) == 0;
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
    // A trash of our own on the same file system, for the run and every floor alike.
    qputenv("XDG_DATA_HOME", QFile::encodeName(work.filePath("data")));
    // The runs' own records too stay in the work folder, never in the user's home.
    qputenv("XDG_STATE_HOME", QFile::encodeName(work.filePath("state")));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QDir().mkpath(work.filePath("data"));

    // Each floor copies one folder and trashes the files of an identical one, into an emptied
    // trash. File creation on a busy ext4 varies from one minute to the next, so every floor is
    // measured on both sides of the run and the faster kept.
    const Gio gio;
    if (!gio.loaded()) {
        std::fprintf(stderr, "cannot load GIO for its floor\n");
        return 1;
    }
    const QString trash = work.filePath("data/Trash");
    const QStringList kinds{"own", "gio", "rename"};
    QStringList folders{"floor-src", "root-1", "root-2", "cli-root-1", "cli-root-2"};
    for (const QString& kind : kinds)
        folders << kind + "-1" << kind + "-2";
    for (const QString& folder : std::as_const(folders)) {
        if (!makeRoot(work.filePath(folder))) {
            std::fprintf(stderr, "cannot create the folders\n");
            return 1;
        }
    }
    auto emptyTrash = [&] { QDir(trash).removeRecursively(); };
    auto measureFloor = [&](const QString& kind, int side) {
        emptyTrash();
        if (kind == "rename" &&
            !(QDir().mkpath(trash + "/info") && QDir().mkpath(trash + "/files")))
            return -1.0;
        const QString copyTo = work.filePath(QString("floor-copy-%1-%2").arg(kind).arg(side));
        const double copy = bench::commandSeconds(
            1, QStringLiteral("cp -a '%1' '%2'").arg(work.filePath("floor-src"), copyTo));
        const QString folder = work.filePath(QString("%1-%2").arg(kind).arg(side));
        bool trashed = true;
        const double seconds = bench::bestSeconds(1, [&] {
            for (int i = 0; i < kFiles; ++i) {
                const QString file = folder + QString::asprintf("/photo%05d.jpg", i);
                trashed = (kind == "own"   ? RecycleFile(file)
                           : kind == "gio" ? gio.trash(file)
                                           : renameTrash(trash, file)) &&
                          trashed;
            }
        });
        // Inodes are counted on the small volume: the copy and the trash go once measured.
        QDir(copyTo).removeRecursively();
        emptyTrash();
        return copy > 0 && trashed ? copy + seconds : -1.0;
    };
    QHash<QString, QList<double>> measured;
    auto measureFloors = [&](int side) {
        for (const QString& kind : kinds)
            measured[kind].append(measureFloor(kind, side));
    };
    measureFloors(1);

    Confirming confirming;
    Dialogs::setPresenter(&confirming);
    TForm1 form;
    form.show();
    form.chk_A->setChecked(true);
    form.chk_M->setChecked(true);
    form.chk_AUTO->setCheckedSilently(true); // no report, no file manager
    QApplication::processEvents();

    // The window's run and the command are measured on both sides too, each on a folder of its
    // own into an emptied trash, and the faster kept, as for the floors.
    QList<qint64> starts; // when each file's turn began, in the faster window run
    double run = 1e100;
    long before = 0;
    long peak = 0;
    double oneCore = 0; // the run held to one processor, its trash thread included
    auto windowRun = [&](int side) {
        emptyTrash();
        const QString root =
            side > 0 ? work.filePath(QString("root-%1").arg(side)) : work.filePath("root-one-core");
        form.JvDirectoryEdit1->setDirectory(root);
        QApplication::processEvents();
        TimedView view(form);
        if (side == 1) {
            before = bench::residentKib();
            bench::resetPeak();
        }
        view.clock.start();
        sorting::RangerFichiers(view);
        const double seconds = view.clock.nsecsElapsed() / 1e9;
        if (side == 1)
            peak = bench::peakKib();
        const int left = QDir(root).entryList(QDir::Files).size();
        if (view.starts.size() != kFiles || left != 0) {
            std::fprintf(stderr, "the run did not sort every file (%d left)\n", left);
            return false;
        }
        if (side == 0) {
            oneCore = seconds;
        } else if (seconds < run) {
            run = seconds;
            starts = view.starts;
        }
        QDir(root).removeRecursively(); // inodes are counted on the small volume
        return true;
    };
    // The command with its journals on, as the window's are, under a name no path of the
    // benchmark holds: its own name keeps files out.
    const QString program = work.filePath("zqtrieur");
    if (!QFile::copy(QStringLiteral(ORDALIX_PROGRAM), program) ||
        !QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner)) {
        std::fprintf(stderr, "cannot copy the program\n");
        return 1;
    }
    double cli = 1e100;
    auto commandRun = [&](int side) {
        emptyTrash();
        const QString root = work.filePath(QString("cli-root-%1").arg(side));
        const double seconds = bench::commandSeconds(
            1, QStringLiteral("'%1' --fichiers --criteres annee,mois --journal '%2' >/dev/null")
                   .arg(program, root));
        const int left = QDir(root).entryList(QDir::Files).size();
        if (seconds <= 0 || left != 0) {
            std::fprintf(stderr, "the command did not sort every file (%d left)\n", left);
            return false;
        }
        cli = std::min(cli, seconds);
        QDir(root).removeRecursively();
        return true;
    };
    if (!windowRun(1) || !commandRun(1))
        return 1;
    measureFloors(2);
    if (!windowRun(2) || !commandRun(2))
        return 1;
    // The originals go to the trash on a second thread while the next file is copied; on one
    // processor the run has only its own work to save.
    cpu_set_t all;
    cpu_set_t one;
    CPU_ZERO(&one);
    if (::sched_getaffinity(0, sizeof all, &all) != 0) {
        std::fprintf(stderr, "cannot read the processors the benchmark may use\n");
        return 1;
    }
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    // Made only now: the small volume has room for so many inodes.
    if (!makeRoot(work.filePath("root-one-core"))) {
        std::fprintf(stderr, "cannot create the folders\n");
        return 1;
    }
    if (::sched_setaffinity(0, sizeof one, &one) != 0 || !windowRun(0) ||
        ::sched_setaffinity(0, sizeof all, &all) != 0)
        return 1;
    emptyTrash();

    QHash<QString, double> floors;
    for (const QString& kind : kinds) {
        const QList<double>& seconds = measured[kind];
        if (*std::min_element(seconds.begin(), seconds.end()) <= 0) {
            std::fprintf(stderr, "cannot measure the %s floor\n", qPrintable(kind));
            return 1;
        }
        floors[kind] = *std::min_element(seconds.begin(), seconds.end());
    }
    const double first = (starts[1000] - starts[0]) / 1e9;
    const double last = (run * 1e9 - starts[kFiles - 1000]) / 1e9;
    bench::print("floor-seconds", floors["own"]);
    bench::print("gio-floor-seconds", floors["gio"]);
    bench::print("rename-floor-seconds", floors["rename"]);
    bench::print("run-seconds", run);
    bench::print("run-to-floor-ratio", run / floors["own"]);
    bench::print("run-to-gio-floor-ratio", run / floors["gio"]);
    bench::print("run-to-rename-floor-ratio", run / floors["rename"]);
    bench::print("last-to-first-1000-ratio", last / first);
    bench::print("run-one-core-seconds", oneCore);
    bench::print("run-one-core-to-gio-floor-ratio", oneCore / floors["gio"]);
    bench::print("cli-seconds", cli);
    bench::print("cli-to-window-ratio", cli / run);
    bench::print("files-per-second", kFiles / run);
    bench::print("peak-added-mb", (peak - before) / 1024.0);
    Dialogs::setPresenter(nullptr);
    return 0;
}
