#include "BenchSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace bench {

double bestSeconds(int runs, const std::function<void()>& work) {
    double best = 1e100;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

double commandSeconds(int runs, const QString& shell) {
    bool ok = true;
    const double seconds = bestSeconds(runs, [&] {
        ok = ok && QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), shell}) == 0;
    });
    return ok ? seconds : -1;
}

bool resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

static long statusKib(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

long residentKib() {
    return statusKib("VmRSS:");
}
long peakKib() {
    return statusKib("VmHWM:");
}

bool makeFiles(const QString& folder, int count) {
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 1; i <= count; ++i) {
        const QByteArray name = QFile::encodeName(folder + QString::asprintf("/file%06d.txt", i));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    return true;
}

void print(const char* name, double value) {
    std::printf("%s: %.4g\n", name, value);
    std::fflush(stdout);
}

} // namespace bench
