#include "ProgramRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#ifdef _WIN32
#include "platform.h"
#include "platform_convert.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "TestFiles.h"
#include "WindowTest.h"

namespace ProgramRun {

QString install(const QString& built, const QString& folder) {
    const QString program = folder + u'/' + TestProgramName;
    if (!QFile::copy(built, program) ||
        !QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner))
        return {};
    return program;
}

QProcessEnvironment environment(const QString& data, const QString& state) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    const QString dataHome = TestFiles::dataHomeFor(data);
    if (!dataHome.isEmpty())
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
#ifdef _WIN32
    // Windows keeps the run records below the local application data.
    environment.insert(QStringLiteral("LOCALAPPDATA"), QDir::toNativeSeparators(state));
#else
    environment.insert(QStringLiteral("XDG_STATE_HOME"), state);
#endif
    return environment;
}

Result run(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& environment, const QString& workingDirectory,
           const QString& input, int timeoutMs) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!input.isEmpty())
        process.write(input.toUtf8());
    process.closeWriteChannel();
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        result.timedOut = process.state() != QProcess::NotRunning;
        process.kill();
        process.waitForFinished();
    }
    result.elapsedMs = timer.elapsed();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    if (result.timedOut)
        return result;
    if (process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    else
        result.signal = process.exitCode();
    return result;
}

QStringList entriesOf(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        entries.append(path.mid(root.size() + 1) +
                       (info.isDir() && !info.isSymLink() ? QStringLiteral("/") : QString()));
    }
    entries.sort();
    return entries;
}

QMap<QString, QString> stateOf(const QString& root) {
    QMap<QString, QString> state;
    for (const QString& entry : entriesOf(root)) {
        const QString path = root + u'/' + entry;
#ifdef _WIN32
        // The entry's own time; a link tells where it leads, a folder nothing more.
        ordalix::platform::FileStatus st;
        ordalix::platform::getLinkStatus(ordalix::toPlatformPath(path), st);
        QString value = QString::number(st.lastWriteTime.secondsSinceEpoch * 1000 +
                                        st.lastWriteTime.nanoseconds / 1000000);
        const QFileInfo info(path);
        if (info.isSymbolicLink() || info.isJunction())
            value += QStringLiteral(" -> ") + info.symLinkTarget();
        else if (!st.directory)
            value += u' ' + QString::fromLatin1(QCryptographicHash::hash(TestFiles::read(path),
                                                                         QCryptographicHash::Sha256)
                                                    .toHex());
        state.insert(entry, value);
#else
        const QByteArray native = QFile::encodeName(path);
        struct stat st {};
        ::lstat(native.constData(), &st);
        QString value =
            QString::number(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
        if (S_ISLNK(st.st_mode)) {
            QByteArray target(4096, '\0');
            const ssize_t n = ::readlink(native.constData(), target.data(), size_t(target.size()));
            value +=
                QStringLiteral(" -> ") + QFile::decodeName(target.left(std::max<ssize_t>(n, 0)));
        } else if (!S_ISREG(st.st_mode)) {
            // A pipe is never read: it would wait for a writer.
            value += S_ISDIR(st.st_mode) ? QString() : QStringLiteral(" special");
        } else {
            value += u' ' + QString::fromLatin1(QCryptographicHash::hash(TestFiles::read(path),
                                                                         QCryptographicHash::Sha256)
                                                    .toHex());
        }
        state.insert(entry, value);
#endif
    }
    return state;
}

} // namespace ProgramRun
