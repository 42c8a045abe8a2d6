#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#else
#include <windows.h>

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
#ifdef _WIN32
    return QDir::fromNativeSeparators(qEnvironmentVariable("ORDALIX_TEST_TRASH"));
#else
    return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Trash");
#endif
}

bool trashInfoNames(const QByteArray& info, const QString& original) {
    for (const QByteArray& line : info.split('\n')) {
        if (!line.startsWith("Path="))
            continue;
        const QString path = QUrl::fromPercentEncoding(line.mid(5).trimmed());
#ifdef _WIN32
        // Wine's recycle bin notes where an item was as its Unix path, through the drive's
        // link: ".../dosdevices/c:/users/...".
        const QString windows = QDir::fromNativeSeparators(original);
        return path.endsWith("/dosdevices/" + windows.left(1).toLower() + windows.mid(1));
#else
        return path == original;
#endif
    }
    return false;
}

QString dataHomeFor(const QString& folder) {
#ifdef _WIN32
    using UnixName = char*(CDECL*)(const wchar_t*);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto unixName = kernel ? reinterpret_cast<UnixName>(reinterpret_cast<void*>(
                                       ::GetProcAddress(kernel, "wine_get_unix_file_name")))
                                 : nullptr;
    if (!unixName)
        return {};
    QDir().mkpath(folder); // Wine makes the trash's own folder, not the ones above it
    char* name = unixName(QDir::toNativeSeparators(folder).toStdWString().c_str());
    if (!name)
        return {};
    const QString path = QString::fromUtf8(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return path;
#else
    return folder;
#endif
}

bool underWine() {
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

QList<QByteArray> trashedContents(const QString& original) {
    QList<QByteArray> contents;
    const QString trash = trashFolder();
    for (const QString& info : QDir(trash + "/info").entryList({"*.trashinfo"}, QDir::Files)) {
        if (trashInfoNames(read(trash + "/info/" + info), original))
            contents.append(read(trash + "/files/" + info.chopped(int(strlen(".trashinfo")))));
    }
    return contents;
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

bool hide(const QString& path) {
#ifdef _WIN32
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           ::SetFileAttributesW(name.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
#else
    return QFileInfo(path).fileName().startsWith(u'.') && QFileInfo::exists(path);
#endif
}

bool link(const QString& target, const QString& link) {
#ifdef _WIN32
    const QFileInfo info(QDir(QFileInfo(link).absolutePath()).filePath(target));
    const DWORD flags = (info.isDir() ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    return ::CreateSymbolicLinkW(QDir::toNativeSeparators(link).toStdWString().c_str(),
                                 QDir::toNativeSeparators(target).toStdWString().c_str(), flags) &&
           QFileInfo(link).isSymLink();
#else
    return QFile::link(target, link);
#endif
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
