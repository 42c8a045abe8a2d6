// Cost of one INI write as the file grows: 100,000 distinct keys written into one section, one
// call at a time, as the journals write their records. The cost per write over the last 1,000
// writes must stay close to that over the first 1,000.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

#include "outil32_ini.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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
    return 0;
}
