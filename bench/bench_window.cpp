// The window kept open on a folder of 5,000 small files, as a user works in it: the file run
// by year and month with journals on, its undo from the window, the same run again; then an
// undo from the command line while the window shows the folder. Every run and undo must cost
// the same whatever came before: `second-run-to-first-ratio` (the run after an undo against
// the first) and `window-undo-to-cli-ratio` (the window's undo against the command's). The
// sequence is made three times on fresh folders; each figure takes the fastest of its kind.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "BenchSupport.h"
#include "BenchWindow.h"
#include "FormViews.h"
#include "Sorting.h"
#include "Unit1.h"

namespace {

constexpr int Files = 5000;

int filesIn(const QString& root) {
    return int(QDir(root).entryList(QDir::Files).size());
}

// The run as the window's button starts it, on the folder the window shows.
double windowRun(TForm1& form) {
    QElapsedTimer clock;
    clock.start();
    form.Ordalix->Execute();
    return clock.nsecsElapsed() / 1e9;
}

double windowUndo(TForm1& form) {
    QElapsedTimer clock;
    clock.start();
    form.mnu_ANNULER->trigger();
    return clock.nsecsElapsed() / 1e9;
}

double commandUndo(const QString& root) {
    QElapsedTimer clock;
    clock.start();
    QProcess undo;
    undo.setStandardOutputFile(QProcess::nullDevice());
    undo.setStandardErrorFile(QProcess::nullDevice());
    undo.start(QStringLiteral(ORDALIX_PROGRAM), {QStringLiteral("--annuler"), root});
    if (!undo.waitForFinished(600000) || undo.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/bench-window-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 1;
    }
    bench::FreshExt4 volume(work.path());
    std::printf("fresh-ext4: %d\n", volume.mounted() ? 1 : 0);
    bench::useOwnTrashAndRecords(work.path());
    QApplication application(argc, argv);

    bench::Confirming confirming;
    Dialogs::setPresenter(&confirming);
    double first = 1e18;
    double second = 1e18;
    double undoWindow = 1e18;
    double undoCommand = 1e18;
    for (int round = 0; round < 3; ++round) {
        const QString root = work.filePath(QStringLiteral("root-%1").arg(round));
        if (!bench::makeDatedFiles(root, Files, "photo%05d.jpg", "x",
                                   QDateTime(QDate(2019, 1, 1), QTime(12, 0)), 3)) {
            std::fprintf(stderr, "cannot create the folder\n");
            return 1;
        }
        TForm1 form(QStringList{root});
        form.show();
        form.chk_A->setChecked(true);
        form.chk_M->setChecked(true);
        form.chk_MOUCHARD->setChecked(true);
        form.chk_AUTO->setCheckedSilently(true); // no report, no file manager
        QApplication::processEvents();

        const double run1 = windowRun(form);
        const bool sorted1 = filesIn(root) == 0;
        const double undo1 = windowUndo(form);
        const bool back1 = filesIn(root) == Files;
        const double run2 = windowRun(form);
        const bool sorted2 = filesIn(root) == 0;
        const double undo2 = commandUndo(root);
        const bool back2 = filesIn(root) == Files;
        if (!sorted1 || !back1 || !sorted2 || !back2 || undo2 < 0) {
            std::fprintf(stderr, "a run or an undo did not do its work (round %d)\n", round);
            return 1;
        }
        first = std::min(first, run1);
        second = std::min(second, run2);
        undoWindow = std::min(undoWindow, undo1);
        undoCommand = std::min(undoCommand, undo2);
        std::printf("round-%d-seconds: run %.3f, window undo %.3f, run again %.3f, command "
                    "undo %.3f\n",
                    round, run1, undo1, run2, undo2);
    }
    Dialogs::setPresenter(nullptr);
    bench::print("first-run-seconds", first);
    bench::print("second-run-seconds", second);
    bench::print("second-run-to-first-ratio", second / first);
    bench::print("window-undo-seconds", undoWindow);
    bench::print("command-undo-seconds", undoCommand);
    bench::print("window-undo-to-cli-ratio", undoWindow / undoCommand);
    return 0;
}
