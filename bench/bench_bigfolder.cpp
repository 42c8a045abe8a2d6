// A folder of 100,000 small files, as a camera archive or a download folder holds, sorted by
// year and month from the window with its journals on: the cost per file must not grow with
// the files already sorted (`sort-100k-growth-ratio`, the last 10,000 files' time against the
// first 10,000's), and the plan shown under the question must come within a tenth of the run's
// time (`plan-to-run-ratio`).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "BenchSupport.h"
#include "BenchWindow.h"
#include "FormViews.h"
#include "Sorting.h"
#include "Unit1.h"

namespace {

constexpr int Files = 100000;
constexpr int Slice = 10000;

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

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/bench-bigfolder-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 1;
    }
    bench::useOwnTrashAndRecords(work.path());
    QApplication application(argc, argv);
    const QString root = work.filePath("root");
    if (!bench::makeDatedFiles(root, Files, "IMG_%06d.jpg", "x",
                               QDateTime(QDate(2015, 1, 1), QTime(12, 0)), 8)) {
        std::fprintf(stderr, "cannot create the folder\n");
        return 1;
    }

    bench::Confirming confirming;
    Dialogs::setPresenter(&confirming);
    TForm1 form(QStringList{root});
    form.show();
    form.chk_A->setChecked(true);
    form.chk_M->setChecked(true);
    form.chk_MOUCHARD->setChecked(true);
    form.chk_AUTO->setCheckedSilently(true); // no report, no file manager
    QApplication::processEvents();

    TimedView view(form);
    QElapsedTimer clock;
    clock.start();
    const QStringList plan = sorting::SortPlan(view);
    const double planSeconds = clock.nsecsElapsed() / 1e9;
    if (plan.size() != Files) {
        std::fprintf(stderr, "the plan does not list every file (%lld)\n",
                     static_cast<long long>(plan.size()));
        return 1;
    }
    view.clock.start();
    sorting::RangerFichiers(view);
    const double run = view.clock.nsecsElapsed() / 1e9;
    Dialogs::setPresenter(nullptr);
    const int left = int(QDir(root).entryList(QDir::Files).size());
    if (view.starts.size() != Files || left != 0) {
        std::fprintf(stderr, "the run did not sort every file (%d left)\n", left);
        return 1;
    }
    const double first = (view.starts[Slice] - view.starts[0]) / 1e9;
    const double last = (run * 1e9 - view.starts[Files - Slice]) / 1e9;
    bench::print("plan-seconds", planSeconds);
    bench::print("run-seconds", run);
    bench::print("plan-to-run-ratio", planSeconds / run);
    bench::print("first-10000-seconds", first);
    bench::print("last-10000-seconds", last);
    bench::print("sort-100k-growth-ratio", last / first);
    return 0;
}
