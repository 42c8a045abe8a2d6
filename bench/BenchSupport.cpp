#include "BenchSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace bench {

void Side::add(double seconds) {
    m_seconds.append(seconds);
}

double Side::best() const {
    if (m_seconds.isEmpty() || *std::min_element(m_seconds.begin(), m_seconds.end()) <= 0)
        return -1;
    return *std::min_element(m_seconds.begin(), m_seconds.end());
}

double Side::slowest() const {
    return m_seconds.isEmpty() ? -1 : *std::max_element(m_seconds.begin(), m_seconds.end());
}

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

FreshExt4::FreshExt4(const QString& folder) : m_folder(folder) {
    m_image = folder + QStringLiteral(".img");
    QFile image(m_image);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(qint64(2) << 30))
        return;
    image.close();
    const auto quiet = [](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    };
    m_mounted =
        quiet(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), m_image}) &&
        quiet(QStringLiteral("mount"),
              {QStringLiteral("-o"), QStringLiteral("loop"), m_image, m_folder});
}

FreshExt4::~FreshExt4() {
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_folder});
    QFile::remove(m_image);
}

FreshTmpfs::FreshTmpfs(const QString& folder, qint64 bytes) : m_folder(folder) {
    m_mounted = QProcess::execute(QStringLiteral("mount"),
                                  {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                   QStringLiteral("-o"), QStringLiteral("size=%1").arg(bytes),
                                   QStringLiteral("tmpfs"), folder}) == 0;
}

FreshTmpfs::~FreshTmpfs() {
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_folder});
}

void print(const char* name, double value) {
    std::printf("%s: %.4g\n", name, value);
    std::fflush(stdout);
}

} // namespace bench
