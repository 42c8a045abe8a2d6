#include "outil32_FILE.h"

#include <QLocale>

#include "platform_convert.h"

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

QString LastFileErrorText() {
    return fromPlatformPath(platform::lastErrorText());
}
