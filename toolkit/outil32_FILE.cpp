#include "outil32_FILE.h"

#include <QLocale>

#include "platform_convert.h"
#include "profile_text.h"

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace ordalix;

namespace {

QDateTime localTime(const platform::FileTime& time) {
    const qint64 msecs = time.secondsSinceEpoch * 1000 + time.nanoseconds / 1000000;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime();
}

} // namespace

bool FileCopy(const QString& source, const QString& destination) {
    return platform::copyFile(toPlatformPath(source), toPlatformPath(destination), false);
}

bool FileMoveReplace(const QString& source, const QString& destination) {
    return platform::moveFile(toPlatformPath(source), toPlatformPath(destination),
                              platform::MoveFileReplaceExisting);
}

bool ShellMove(const QString& source, const QString& destination) {
    platform::ShellFileOperation operation;
    operation.function = platform::FoMove;
    operation.from = toPlatformPath(source);
    operation.to = toPlatformPath(destination);
    operation.flags = platform::FofFilesOnly;
    return platform::shellFileOperation(operation) == 0;
}

bool RecycleFile(const QString& path) {
    platform::ShellFileOperation operation;
    operation.function = platform::FoDelete;
    operation.from = toPlatformPath(path);
    operation.flags = platform::FofSilent | platform::FofNoConfirmation | platform::FofAllowUndo;
    return platform::shellFileOperation(operation) == 0;
}

bool RecycleFile(const QString& path, ::TrashedItem* where) {
    platform::TrashedItem placed;
    if (!platform::moveToTrash(toPlatformPath(path), where ? &placed : nullptr))
        return false;
    if (where) {
        where->item = fromPlatformPath(placed.item);
        where->info = fromPlatformPath(placed.info);
    }
    return true;
}

bool RecycleFile(const QString& path, const std::function<void(const ::TrashedItem&)>& beforeMove) {
    return platform::moveToTrash(
        toPlatformPath(path), nullptr, [&](const platform::TrashedItem& placed) {
            beforeMove(::TrashedItem{fromPlatformPath(placed.item), fromPlatformPath(placed.info)});
        });
}

bool FileBeingWritten(const QString& path) {
    return platform::isOpenForWritingElsewhere(toPlatformPath(path));
}

DateTimeValue FileTimeStamp(const QString& path) {
    platform::FindHandle search;
    platform::FindData entry;
    if (!search.findFirst(toPlatformPath(path), entry))
        return {};
    const QDateTime local = localTime(entry.lastWriteTime);
    return local.isValid() ? DateTimeValue::fromDateTime(local) : DateTimeValue{};
}

QString FileDateStr(const QString& path) {
    const platform::Path native = toPlatformPath(path);
    const std::uint32_t attributes = platform::getFileAttributes(native);
    platform::FileTime time;
    if (attributes == platform::InvalidFileAttributes ||
        HasFlags(static_cast<int>(attributes), platform::FileAttributeDirectory) ||
        !platform::getLastWriteTime(native, time))
        return {};
    const QDateTime local = localTime(time);
    return local.isValid() ? QLocale().toString(local.date(), QLocale::ShortFormat) : QString();
}

int CountFiles(const QString& folder, const QString& mask) {
    platform::FindHandle search;
    platform::FindData entry;
    int count = 0;
    // The delimiter goes in even after one already there, as callers expect.
    for (bool found = search.findFirst(toPlatformPath(folder + PathDelim + mask), entry, false);
         found; found = search.findNext(entry)) {
        if (!HasFlags(static_cast<int>(entry.attributes), platform::FileAttributeDirectory))
            ++count;
    }
    return count;
}

bool FileSnapshot::sameFileAs(const FileSnapshot& other) const {
    return exists && other.exists && device == other.device && index == other.index;
}

bool FileSnapshot::unchangedSince(const FileSnapshot& earlier) const {
    return sameFileAs(earlier) && size == earlier.size && seconds == earlier.seconds &&
           nanoseconds == earlier.nanoseconds;
}

FileSnapshot SnapshotFile(const QString& path) {
    platform::FileStatus status;
    FileSnapshot snapshot;
    if (!platform::getFileStatus(toPlatformPath(path), status))
        return snapshot;
    snapshot.exists = true;
    snapshot.directory = status.directory;
    snapshot.size = status.size;
    snapshot.seconds = status.lastWriteTime.secondsSinceEpoch;
    snapshot.nanoseconds = status.lastWriteTime.nanoseconds;
    snapshot.device = status.device;
    snapshot.index = status.index;
    return snapshot;
}

FileSnapshot SnapshotFile(const QString& path, bool& beingWritten) {
#ifndef _WIN32
    // The file run looks at every source this way before copying it: one open and one fstat
    // serve both questions, where the two calls make two opens and a stat.
    std::string native;
    if (platform::profile::utf16ToUtf8(toPlatformPath(path), native, true) && !native.empty() &&
        native.find('\0') == std::string::npos) {
        const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0) {
            FileSnapshot snapshot;
            snapshot.exists = true;
            snapshot.directory = S_ISDIR(st.st_mode);
            snapshot.size = static_cast<quint64>(st.st_size);
            snapshot.seconds = st.st_mtim.tv_sec;
            snapshot.nanoseconds = static_cast<quint32>(st.st_mtim.tv_nsec);
            snapshot.device = static_cast<quint64>(st.st_dev);
            snapshot.index = static_cast<quint64>(st.st_ino);
            bool known = true;
            beingWritten = false;
            // A read lease is refused exactly while someone has the file open for writing;
            // where none is offered, FileBeingWritten looks further.
            if (S_ISREG(st.st_mode)) {
                if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
                    ::fcntl(fd, F_SETLEASE, F_UNLCK);
                else if (errno == EAGAIN || errno == EBUSY)
                    beingWritten = true;
                else
                    known = false;
            }
            ::close(fd);
            if (!known)
                beingWritten = FileBeingWritten(path);
            return snapshot;
        }
        if (fd >= 0)
            ::close(fd);
    }
#endif
    beingWritten = FileBeingWritten(path);
    return SnapshotFile(path);
}

QString LastFileErrorText() {
    return fromPlatformPath(platform::lastErrorText());
}
