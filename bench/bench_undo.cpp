// Undo and plan against the run they serve, measured in the same process on the same files:
// the file run over 10,000 files of 4 KiB by year and month, then its undo (`undo-to-run-ratio`,
// with the memory the undo adds); and the plan shown under the question for 20,000 files
// against the run over those files (`plan-to-run-ratio`). Each side is measured three times, in
// turns, and its fastest kept (the -slowest-seconds lines tell the spread).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include "BenchSupport.h"
#include "FormViews.h"
#include "Journal.h"
#include "RunRecord.h"
#include "Sorting.h"
#include "Undo.h"
#include "Unit1.h"
#include "outil32_Dialogs.h"

namespace {

// Answers every dialog with OK, as a user who confirms.
class Confirming : public Dialogs::Presenter {
public:
    Dialogs::Answer present(const Dialogs::Request&) override { return Dialogs::Answer::Ok; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

// `count` files of 4 KiB spread over three years.
bool makeRoot(const QString& folder, int count) {
    if (!QDir().mkpath(folder))
        return false;
    const QByteArray content(4096, 'x');
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QString::asprintf("/photo%05d.jpg", i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return false;
        file.close();
        const qint64 when = QDateTime(QDate(2019, 1, 1), QTime(12, 0)).toSecsSinceEpoch() +
                            qint64(i) * 3 * 365 * 86400 / count;
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
            return false;
    }
    return true;
}

double runSeconds(TForm1& form, const QString& root) {
    form.JvDirectoryEdit1->setDirectory(root);
    QApplication::processEvents();
    FormSortWindow view(form);
    QElapsedTimer clock;
    clock.start();
    sorting::RangerFichiers(view);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/bench-undo-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 1;
    }
    bench::FreshExt4 volume(work.path());
    std::printf("fresh-ext4: %d\n", volume.mounted() ? 1 : 0);
    // A trash and records of our own, on the same file system.
    qputenv("XDG_DATA_HOME", QFile::encodeName(work.filePath("data")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(work.filePath("state")));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QDir().mkpath(work.filePath("data"));
    constexpr int Files = 10000;
    constexpr int PlanFiles = 20000;
    // Every side is measured in each round on folders of their own, made beforehand; each folder
    // goes once measured, and so does the trash: the small volume has only so many inodes.
    const auto root = [&](int round) { return work.filePath(QString("root-%1").arg(round)); };
    const auto planned = [&](int round) { return work.filePath(QString("planned-%1").arg(round)); };
    for (int round = 1; round <= bench::Rounds; ++round) {
        if (!makeRoot(root(round), Files) || !makeRoot(planned(round), PlanFiles)) {
            std::fprintf(stderr, "cannot create the folders\n");
            return 1;
        }
    }
    const auto emptyTrash = [&] { QDir(work.filePath("data/Trash")).removeRecursively(); };

    Confirming confirming;
    Dialogs::setPresenter(&confirming);
    TForm1 form;
    form.show();
    form.chk_A->setChecked(true);
    form.chk_M->setChecked(true);
    form.chk_AUTO->setCheckedSilently(true); // no report, no file manager

    bench::Side runSide;
    bench::Side undoSide;
    bench::Side planSide;
    bench::Side planRunSide;
    long before = 0;
    long peak = 0;
    for (int round = 1; round <= bench::Rounds; ++round) {
        // The run, then its undo, in the same process.
        runSide.add(runSeconds(form, root(round)));
        if (!QDir(root(round)).entryList(QDir::Files).isEmpty()) {
            std::fprintf(stderr, "the run did not sort every file\n");
            return 1;
        }
        const std::optional<undo::Record> record = undo::LastRecord();
        if (!record) {
            std::fprintf(stderr, "the run left no record\n");
            return 1;
        }
        undo::QuietUndoWindow quiet;
        if (round == 1) {
            before = bench::residentKib();
            bench::resetPeak();
        }
        QElapsedTimer clock;
        clock.start();
        const undo::UndoReport report = undo::UndoRecord(*record, quiet);
        undoSide.add(clock.nsecsElapsed() / 1e9);
        if (round == 1)
            peak = bench::peakKib();
        const int back = int(QDir(root(round)).entryList(QDir::Files).size());
        // The journals stay: they tell what happened, the undo included.
        const QStringList folders = QDir(root(round)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (report.restored != Files || back != Files ||
            folders != QStringList{QFileInfo(journal::LogFolder(root(round))).dir().dirName()}) {
            std::fprintf(stderr, "the undo did not put every file back (%d of %d, folders %s)\n",
                         report.restored, Files, qPrintable(folders.join(u' ')));
            return 1;
        }
        QDir(root(round)).removeRecursively();
        emptyTrash();

        // The plan of 20,000 files, then the run over them.
        form.JvDirectoryEdit1->setDirectory(planned(round));
        QApplication::processEvents();
        FormSortWindow view(form);
        clock.start();
        const QStringList plan = sorting::SortPlan(view);
        planSide.add(clock.nsecsElapsed() / 1e9);
        if (plan.size() != PlanFiles) {
            std::fprintf(stderr, "the plan does not list every file\n");
            return 1;
        }
        planRunSide.add(runSeconds(form, planned(round)));
        QDir(planned(round)).removeRecursively();
        emptyTrash();
    }

    const double run = runSide.best();
    const double undone = undoSide.best();
    const double planSeconds = planSide.best();
    const double planRun = planRunSide.best();
    if (run <= 0 || undone <= 0 || planSeconds <= 0 || planRun <= 0) {
        std::fprintf(stderr, "cannot measure the runs\n");
        return 1;
    }
    bench::print("run-seconds", run);
    bench::print("run-slowest-seconds", runSide.slowest());
    bench::print("undo-seconds", undone);
    bench::print("undo-slowest-seconds", undoSide.slowest());
    bench::print("undo-to-run-ratio", undone / run);
    bench::print("undo-peak-added-mb", (peak - before) / 1024.0);
    bench::print("plan-seconds", planSeconds);
    bench::print("plan-slowest-seconds", planSide.slowest());
    bench::print("plan-run-seconds", planRun);
    bench::print("plan-run-slowest-seconds", planRunSide.slowest());
    bench::print("plan-to-run-ratio", planSeconds / planRun);
    Dialogs::setPresenter(nullptr);
    return 0;
}
