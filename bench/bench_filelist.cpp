// Reading a folder of 1,000,000 files into the file list, against `ls -1` on the same folder.
#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>

#include "BenchSupport.h"
#include "controls/FileListBox.h"

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    constexpr int files = 1000000;
    QTemporaryDir dir;
    if (!dir.isValid() || !bench::makeFiles(dir.path(), files)) {
        std::fprintf(stderr, "cannot create the test folder\n");
        return 1;
    }
    const double ls =
        bench::commandSeconds(3, QStringLiteral("ls -1 '%1' >/dev/null").arg(dir.path()));
    if (ls <= 0) {
        std::fprintf(stderr, "cannot time ls\n");
        return 1;
    }

    controls::FileListBox list;
    list.resize(300, 400);
    list.show();
    QApplication::processEvents();
    const long before = bench::residentKib();
    const bool peakReset = bench::resetPeak();
    const double read = bench::bestSeconds(3, [&] {
        list.setDirectory(QStringLiteral("/"));
        list.setDirectory(dir.path());
        QApplication::processEvents(); // the view lays out and paints its rows
    });
    const long peak = bench::peakKib();
    if (list.Count() != files || !peakReset || before < 0 || peak < 0) {
        std::fprintf(stderr, "cannot measure (listed %d)\n", list.Count());
        return 1;
    }
    bench::print("ls-seconds", ls);
    bench::print("filelist-seconds", read);
    bench::print("million-filelist-ratio", read / ls);
    bench::print("million-filelist-peak-added-mb", (peak - before) / 1024.0);
    return 0;
}
