// Cost of INI writes and reads as files grow:
// - 100,000 distinct keys written into one section, one call at a time, as the journals write
//   their records: the cost per write over the last 1,000 writes against the first 1,000;
// - a run's journal records (a trace section per new name, a key per name in the day's
//   section) written one call at a time into journals of 50 MB and of 50 kB: the cost per
//   write, the file indexed once per run (`large-file-write-ratio`, the indexing apart);
// - the program started with a 50 MB settings file against a plain one, to its window's first
//   paint (`large-settings-start-ratio`).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "BenchSupport.h"
#include "Settings.h"
#include "Unit1.h"
#include "outil32_Dialogs.h"
#include "outil32_ini.h"

namespace {

// A trace journal of about `bytes`: a section per name with two dated keys, as years of runs
// leave it.
bool writeTrace(const QString& file, qint64 bytes) {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    for (int i = 0; out.size() + chunk.size() < bytes; ++i) {
        chunk += QStringLiteral("[IMG_%1]\r\n10/03/2024=/home/u/Images/2024/03\r\n"
                                "12/03/2024=/home/u/Images/2024/03\r\n\r\n")
                     .arg(i, 7, 10, QLatin1Char('0'))
                     .toUtf8();
        if (chunk.size() > (1 << 20)) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out.write(chunk) == chunk.size();
}

// Microseconds per write of a run's records into a trace and a journal, not counting the
// first write of each file, which indexes it; `indexMs` gets that first write's cost.
double runWriteUs(const QString& folder, qint64 bytes, int names, double& indexMs) {
    const QString trace = folder + QStringLiteral("/_TRACE.LOG");
    const QString journal = folder + QStringLiteral("/_JOURNAL.LOG");
    if (!writeTrace(trace, bytes) || !writeTrace(journal, bytes))
        return -1;
    const QString day = QStringLiteral("11/12/2026 (vendredi)");
    QElapsedTimer clock;
    clock.start();
    IniWriteString(QStringLiteral("DSC_first"), QStringLiteral("11/12/2026"),
                   QStringLiteral("/home/u/Images/2026/12"), trace);
    IniWriteString(day, QStringLiteral("DSC_first.jpg"), QStringLiteral(".jpg"), journal);
    indexMs = clock.nsecsElapsed() / 1e6;
    clock.start();
    for (int i = 0; i < names; ++i) {
        const QString name = QStringLiteral("DSC_%1").arg(i, 5, 10, QLatin1Char('0'));
        IniWriteString(name, QStringLiteral("11/12/2026"), QStringLiteral("/home/u/Images/2026/12"),
                       trace);
        IniWriteString(day, name + QStringLiteral(".jpg"), QStringLiteral(".jpg"), journal);
    }
    const double us = clock.nsecsElapsed() / 1e3 / (2.0 * names);
    if (IniReadString(day, QStringLiteral("DSC_00000.jpg"), QString(), journal) !=
        QStringLiteral(".jpg"))
        return -1;
    QFile::remove(trace);
    QFile::remove(journal);
    return us;
}

class Confirming : public Dialogs::Presenter {
public:
    Dialogs::Answer present(const Dialogs::Request&) override { return Dialogs::Answer::Ok; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

// Seconds a start of the program on a folder takes, to its window's first paint, with the
// folder's own settings file given (a fresh copy each time: nothing read before is reused).
// The start is this benchmark started again with --start, as a user's start is a process.
double startSeconds(const QString& folder, const QString& settings) {
    const QString file = folder + QLatin1Char('/') + settings::FolderSettingsName;
    QFile::remove(file);
    if (!QFile::copy(settings, file))
        return -1;
    QProcess start;
    start.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    start.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--start"), folder});
    if (!start.waitForFinished(120000) || start.exitStatus() != QProcess::NormalExit ||
        start.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e9;
}

int startOnce(int argc, char** argv) {
    QApplication app(argc, argv);
    Confirming confirming;
    Dialogs::setPresenter(&confirming);
    {
        TForm1 form(QStringList{QString::fromLocal8Bit(argv[2])});
        form.show();
        QApplication::processEvents();
        form.repaint();
    }
    Dialogs::setPresenter(nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && qstrcmp(argv[1], "--start") == 0)
        return startOnce(argc, argv);
    QApplication app(argc, argv);
    constexpr int Writes = 100000;
    constexpr int Window = 1000;

    // Next to the executable, on the build's disk: a RAM disk would hide the cost of syncing.
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-ini-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const QString file = dir.filePath(QStringLiteral("_JOURNAL.LOG"));
    const QString section = QStringLiteral("09/12/2021 (jeudi)");

    qint64 first = 0;
    qint64 last = 0;
    QElapsedTimer timer;
    try {
        for (int i = 0; i < Writes; ++i) {
            const QString key = QStringLiteral("photo_%1.jpg").arg(i, 6, 10, QLatin1Char('0'));
            timer.start();
            IniWriteString(section, key, QStringLiteral(".jpg"), file);
            const qint64 elapsed = timer.nsecsElapsed();
            if (i < Window)
                first += elapsed;
            else if (i >= Writes - Window)
                last += elapsed;
        }
        const QString lastKey =
            QStringLiteral("photo_%1.jpg").arg(Writes - 1, 6, 10, QLatin1Char('0'));
        if (IniReadString(section, lastKey, QString(), file) != QStringLiteral(".jpg")) {
            std::fprintf(stderr, "the last record was not found\n");
            return 1;
        }
    } catch (const EIniError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    if (first <= 0 || last <= 0) {
        std::fprintf(stderr, "the clock did not move\n");
        return 1;
    }
    const double firstUs = double(first) / Window / 1000.0;
    const double lastUs = double(last) / Window / 1000.0;
    std::printf("first-1000-us-per-write: %.2f\n", firstUs);
    std::printf("last-1000-us-per-write: %.2f\n", lastUs);
    std::printf("write-cost-ratio: %.3f\n", lastUs / firstUs);

    // A run's records into small and large journals, best of three of each.
    constexpr int Names = 200;
    double smallUs = 1e18;
    double largeUs = 1e18;
    double smallIndexMs = 1e18;
    double largeIndexMs = 1e18;
    for (int round = 0; round < 3; ++round) {
        double indexMs = 0;
        const double small = runWriteUs(dir.path(), 50 * 1000, Names, indexMs);
        smallIndexMs = std::min(smallIndexMs, indexMs);
        const double large = runWriteUs(dir.path(), 50 * 1000 * 1000, Names, indexMs);
        largeIndexMs = std::min(largeIndexMs, indexMs);
        if (small <= 0 || large <= 0) {
            std::fprintf(stderr, "the journal records were not written\n");
            return 1;
        }
        smallUs = std::min(smallUs, small);
        largeUs = std::min(largeUs, large);
    }
    bench::print("small-file-us-per-write", smallUs);
    bench::print("large-file-us-per-write", largeUs);
    bench::print("large-file-write-ratio", largeUs / smallUs);
    bench::print("small-file-index-ms", smallIndexMs);
    bench::print("large-file-index-ms", largeIndexMs);

    // The window on a folder whose settings file is plain, then 50 MB (other programs' sections
    // before ours), best of three of each.
    const QString folder = dir.filePath(QStringLiteral("root"));
    const QString plain = dir.filePath(QStringLiteral("plain.ini"));
    const QString large = dir.filePath(QStringLiteral("large.ini"));
    const QByteArray ours = "[OPTIONS]\r\nDOSSIER=" + QFile::encodeName(folder) +
                            "\r\nA=1\r\nM=1\r\nD=0\r\nMOUCHARD=1\r\n";
    {
        QFile out(plain);
        if (!QDir().mkpath(folder) || !out.open(QIODevice::WriteOnly) ||
            out.write(ours) != ours.size())
            return 1;
    }
    if (!writeTrace(large, 50 * 1000 * 1000))
        return 1;
    {
        QFile out(large);
        if (!out.open(QIODevice::Append) || out.write(ours) != ours.size())
            return 1;
    }
    double plainSeconds = 1e18;
    double largeSeconds = 1e18;
    startSeconds(folder, plain); // the first start brings the program's files into memory
    for (int round = 0; round < 3; ++round) {
        plainSeconds = std::min(plainSeconds, startSeconds(folder, plain));
        largeSeconds = std::min(largeSeconds, startSeconds(folder, large));
    }
    if (plainSeconds <= 0 || largeSeconds <= 0) {
        std::fprintf(stderr, "the window did not start\n");
        return 1;
    }
    bench::print("plain-settings-start-seconds", plainSeconds);
    bench::print("large-settings-start-seconds", largeSeconds);
    bench::print("large-settings-start-ratio", largeSeconds / plainSeconds);
    return 0;
}
