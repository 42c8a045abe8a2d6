#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#else
#include "platform.h"
#include "platform_convert.h"
#endif

namespace TestFiles {

bool write(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool setModified(const QString& path, const QDateTime& time, long nanoseconds) {
#ifdef _WIN32
    return ordalix::platform::setLastWriteTime(
        ordalix::toPlatformPath(path),
        {time.toSecsSinceEpoch(), static_cast<std::uint32_t>(nanoseconds)});
#else
    const struct timespec times[2] = {{time.toSecsSinceEpoch(), nanoseconds},
                                      {time.toSecsSinceEpoch(), nanoseconds}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
#endif
}

QString trashFolder() {
    return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Trash");
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace TestFiles
