#include "outil32_FILE.h"

#include <QFile>
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

bool RecycleFile(const QString& path, const std::function<bool(const ::TrashedItem&)>& beforeMove,
                 ::TrashedItem* where) {
    ::TrashedItem told;
    const bool moved = platform::moveToTrash(
        toPlatformPath(path), nullptr, [&](const platform::TrashedItem& placed) {
            told = ::TrashedItem{fromPlatformPath(placed.item), fromPlatformPath(placed.info)};
            return beforeMove(told);
        });
    if (moved && where)
        *where = told;
    return moved;
}

bool MoveBackFromTrash(const ::TrashedItem& at, const QString& original) {
    if (at.item.isEmpty() ||
        !platform::moveFile(toPlatformPath(at.item), toPlatformPath(original), 0))
        return false;
    if (!at.info.isEmpty())
        QFile::remove(at.info);
    return true;
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

namespace {

FileSnapshot snapshotOf(const platform::FileStatus& status) {
    FileSnapshot snapshot;
    snapshot.exists = true;
    snapshot.directory = status.directory;
    snapshot.size = status.size;
    snapshot.seconds = status.lastWriteTime.secondsSinceEpoch;
    snapshot.nanoseconds = status.lastWriteTime.nanoseconds;
    snapshot.device = status.device;
    snapshot.index = status.index;
    return snapshot;
}

} // namespace

FileSnapshot SnapshotFile(const QString& path) {
    platform::FileStatus status;
    if (!platform::getFileStatus(toPlatformPath(path), status))
        return {};
    return snapshotOf(status);
}

SourceFile::SourceFile(const QString& path, const std::function<void()>& beforeFollowingLink)
    : m_path(path) {
    bool linksToldApart = false; // whether the open below could tell a link from a file
#ifndef _WIN32
    // The file run looks at every source this way before copying it: one open and one fstat
    // serve both questions and then the copy, where the three calls make three opens and a stat.
    std::string native;
    if (platform::profile::utf16ToUtf8(toPlatformPath(path), native, true) && !native.empty() &&
        native.find('\0') == std::string::npos) {
        linksToldApart = true;
        m_fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
        if (m_fd < 0 && errno == ELOOP) {
            if (beforeFollowingLink)
                beforeFollowingLink();
            m_fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        }
        struct stat st;
        if (m_fd >= 0 && ::fstat(m_fd, &st) == 0) {
            m_snapshot.exists = true;
            m_snapshot.directory = S_ISDIR(st.st_mode);
            m_snapshot.size = static_cast<quint64>(st.st_size);
            m_snapshot.seconds = st.st_mtim.tv_sec;
            m_snapshot.nanoseconds = static_cast<quint32>(st.st_mtim.tv_nsec);
            m_snapshot.device = static_cast<quint64>(st.st_dev);
            m_snapshot.index = static_cast<quint64>(st.st_ino);
            bool known = true;
            // A read lease is refused exactly while someone has the file open for writing;
            // where none is offered, FileBeingWritten looks further.
            if (S_ISREG(st.st_mode)) {
                platform::ignoreLeaseBreaks();
                if (::fcntl(m_fd, F_SETLEASE, F_RDLCK) == 0)
                    ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
                else if (errno == EAGAIN || errno == EBUSY)
                    m_beingWritten = true;
                else
                    known = false;
            }
            if (!known)
                m_beingWritten = FileBeingWritten(path);
            return;
        }
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
#endif
    if (beforeFollowingLink && !linksToldApart)
        beforeFollowingLink();
    m_beingWritten = FileBeingWritten(path);
    m_snapshot = SnapshotFile(path);
}

#ifndef _WIN32
struct SourceFile::Pending {
    platform::PendingCopy copy;
};
#else
// Where copies cannot be made nameless: a hidden name beside the destination, ours to remove.
struct SourceFile::Pending {
    QString temporary;
    QString destination;
    bool published = false;
    ~Pending() {
        if (!published && !temporary.isEmpty())
            platform::moveToTrash(toPlatformPath(temporary), nullptr);
    }
};
#endif

SourceFile::~SourceFile() {
#ifndef _WIN32
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

bool SourceFile::copyBeside(const QString& destination, const CopyProgress& progress) {
    auto pending = std::make_unique<Pending>();
    const platform::CopyProgress told = [&](std::uint64_t done, std::uint64_t total) {
        return !progress || progress(qint64(done), qint64(total));
    };
#ifndef _WIN32
    if (m_fd < 0) {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool written = pending->copy.write(fd, toPlatformPath(destination), told);
        ::close(fd);
        if (!written)
            return false;
    } else {
        const bool written = pending->copy.write(m_fd, toPlatformPath(destination), told);
        ::close(m_fd);
        m_fd = -1;
        if (!written)
            return false;
    }
#else
    const qsizetype slash = destination.lastIndexOf(PathDelim);
    for (int n = 0; n < 1000 && pending->temporary.isEmpty(); ++n) {
        const QString candidate =
            destination.left(slash + 1) + QStringLiteral(".ordalix-tmp-%1").arg(n);
        if (platform::copyFile(toPlatformPath(m_path), toPlatformPath(candidate), true, told))
            pending->temporary = candidate;
        else if (platform::getFileAttributes(toPlatformPath(candidate)) ==
                 platform::InvalidFileAttributes)
            return false;
    }
    if (pending->temporary.isEmpty())
        return false;
    pending->destination = destination;
#endif
    m_copy = std::move(pending);
    return true;
}

bool SourceFile::publishCopy() {
    if (!m_copy)
        return false;
#ifndef _WIN32
    return m_copy->copy.publish();
#else
    m_copy->published = platform::moveFile(toPlatformPath(m_copy->temporary),
                                           toPlatformPath(m_copy->destination), 0);
    return m_copy->published;
#endif
}

FileSnapshot SourceFile::copySnapshot() const {
    platform::FileStatus status;
#ifndef _WIN32
    const bool known = m_copy && m_copy->copy.status(status);
#else
    const bool known =
        m_copy &&
        platform::getFileStatus(
            toPlatformPath(m_copy->published ? m_copy->destination : m_copy->temporary), status);
#endif
    return known ? snapshotOf(status) : FileSnapshot{};
}

QString LastFileErrorText() {
    return fromPlatformPath(platform::lastErrorText());
}
