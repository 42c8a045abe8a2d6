#include "RunRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "outil32_DIR.h"
#include "platform_convert.h"

namespace undo {

namespace {

using ordalix::PathDelim;

const QString kHeader = QStringLiteral("ordalix-rangement");
const QString kEnd = QStringLiteral("fin");

QString kindName(RunKind kind) {
    switch (kind) {
    case RunKind::Folders:
        return QStringLiteral("dossiers");
    case RunKind::Flatten:
        return QStringLiteral("deordalix");
    case RunKind::Files:
        break;
    }
    return QStringLiteral("fichiers");
}

// A field of a line: "%", tabs and line breaks percent-encoded, so that any name fits.
QString encoded(const QString& field) {
    const auto plain = [](QChar c) { return c != u'%' && c != u'\t' && c != u'\n' && c != u'\r'; };
    if (std::all_of(field.cbegin(), field.cend(), plain))
        return field; // most names: shared, not copied
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case u'%':
            out += QStringLiteral("%25");
            break;
        case u'\t':
            out += QStringLiteral("%09");
            break;
        case u'\n':
            out += QStringLiteral("%0A");
            break;
        case u'\r':
            out += QStringLiteral("%0D");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString decoded(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == u'%' && i + 2 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

QString stamp(const QDateTime& moment) {
    return moment.toString(Qt::ISODate);
}

QByteArray encodedLine(const QStringList& fields) {
    QStringList parts;
    parts.reserve(fields.size());
    for (const QString& field : fields)
        parts.append(encoded(field));
    return (parts.join(u'\t') + u'\n').toUtf8();
}

// Writes whole lines; false with errno set when they are not all on disk. A part written before
// a failure (a full disk) is cut off again, so that a record never ends in half a line: a
// record that does is damaged, not merely stopped.
bool writeLines(int fd, const QByteArray& lines) {
    // One write: with O_APPEND the lines land whole, after whatever is there.
    qsizetype done = 0;
    while (done < lines.size()) {
        const ssize_t n =
            ::write(fd, lines.constData() + done, static_cast<size_t>(lines.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // The record has one writer at a time (the run, or an undo holding its folder): what
            // this call wrote is the end of the file. Asked only now, so that a write that
            // works costs no more than itself.
            const off_t end = done > 0 ? ::lseek(fd, 0, SEEK_END) : -1;
            if (end >= done && ::ftruncate(fd, end - done) != 0) {
                // Nothing more to try: the reader takes the record as damaged.
            }
            errno = error;
            return false;
        }
        done += n;
    }
    return true;
}

bool appendLine(int fd, const QStringList& fields) {
    return writeLines(fd, encodedLine(fields));
}

QString identityOf(const struct stat& st) {
    return QString::number(static_cast<quint64>(st.st_dev)) + u':' +
           QString::number(static_cast<quint64>(st.st_ino));
}

int openForAppend(const QString& path, bool create) {
    const QByteArray native = QFile::encodeName(path);
    return ::open(native.constData(),
                  O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0), 0600);
}

bool appendTo(const QString& recordPath, const QStringList& fields) {
    const int fd = openForAppend(recordPath, false);
    if (fd < 0)
        return false;
    const bool written = appendLine(fd, fields);
    ::close(fd);
    return written;
}

QStringList recordFiles() {
    return QDir(RecordFolder()).entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
}

QString systemError(int error) {
    return ordalix::fromPlatformPath(ordalix::platform::errorText(error));
}

QString withoutDelimiter(const QString& folder) {
    return folder.size() > 1 && folder.endsWith(PathDelim) ? folder.chopped(1) : folder;
}

QString parentOf(const QString& folder) {
    const qsizetype slash = folder.lastIndexOf(PathDelim);
    return slash <= 0 ? QString() : folder.left(slash);
}

} // namespace

QString RecordFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/ordalix");
}

RunRecord::RunRecord(RunKind kind, const QString& root)
    : m_kind(kind), m_root(withoutDelimiter(root)), m_started(QDateTime::currentDateTime()) {}

RunRecord::~RunRecord() {
    if (m_fd < 0)
        return;
    if (m_steps == 0) {
        // Nothing was done: the record goes, if it is still the file this run made.
        struct stat mine;
        struct stat named;
        const QByteArray native = QFile::encodeName(m_path);
        if (::fstat(m_fd, &mine) == 0 && ::lstat(native.constData(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
            ::unlink(native.constData());
        ::close(m_fd);
        return;
    }
    if (!m_failed)
        appendLine(m_fd, {kEnd, stamp(QDateTime::currentDateTime())});
    // The record outlives the run, like the files it tells of: it is synced to the disk, but
    // on a thread of its own. After a large copy the sync waits until every byte of it is
    // written, which would freeze the window for as long.
    const auto sync = [fd = m_fd] {
        ::fdatasync(fd);
        ::close(fd);
    };
    try {
        std::thread(sync).detach();
    } catch (const std::system_error&) {
        sync(); // no thread to be had: here, then
    }
}

bool RunRecord::fail(const QString& why) {
    m_failed = true;
    m_failure =
        QStringLiteral("Le journal d'annulation %1 n'a pas pu être écrit : %2").arg(m_path, why);
    return false;
}

bool RunRecord::open() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd >= 0)
        return true;
    if (m_failed)
        return false;
    const QString folder = RecordFolder();
    QDir().mkpath(folder);
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Runs nest in one process (STOP! runs the command again) and may start within one
    // millisecond: a later one takes the next free name, which sorts after the first.
    const QString stem = folder + PathDelim +
                         m_started.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) +
                         QStringLiteral("-%1").arg(::getpid());
    for (int n = 1; n < 100; ++n) {
        m_path = stem + (n > 1 ? QStringLiteral("~%1").arg(n) : QString()) + QStringLiteral(".log");
        m_fd = openForAppend(m_path, true);
        if (m_fd >= 0 || errno != EEXIST)
            break;
    }
    if (m_fd < 0)
        return fail(systemError(errno));
    if (!appendLine(m_fd,
                    {kHeader, QStringLiteral("1"), kindName(m_kind), m_root, stamp(m_started)})) {
        const QString why = systemError(errno);
        ::close(m_fd);
        m_fd = -1;
        QFile::remove(m_path); // made just now, by this run
        return fail(why);
    }
    return true;
}

bool RunRecord::failed() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed;
}

QString RunRecord::failure() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failure;
}

bool RunRecord::append(const QStringList& fields) {
    // A folder's date is no change: a record of nothing else is no run to take back.
    return appendLines(encodedLine(fields), fields.value(0) == step::FolderDated ? 0 : 1);
}

bool RunRecord::appendLines(const QByteArray& lines, int steps) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failed)
            return false;
        if (m_fd >= 0) {
            if (!writeLines(m_fd, lines))
                return fail(systemError(errno));
            const bool first = m_steps == 0 && steps > 0;
            m_steps += steps;
            if (!first)
                return true;
        }
    }
    if (m_fd < 0) {
        // A run that did not open its record first: it is opened at its first step.
        if (!open())
            return false;
        return appendLines(lines, steps);
    }
    // The first step: the oldest records beyond the kept number go.
    const QString folder = RecordFolder();
    const QStringList existing = recordFiles();
    for (qsizetype i = 0; i + KeptRecords < existing.size(); ++i)
        QFile::remove(folder + PathDelim + existing[i]);
    return true;
}

bool RunRecord::createFolder(const QString& folder, const std::function<void()>& beforeMaking,
                             QStringList* made) {
    const QString target = withoutDelimiter(folder);
    if (IsFolder(target))
        return folderDated(target); // it gets a new entry: its date is noted first
    if (beforeMaking)
        beforeMaking();
    QStringList missing;
    for (QString level = target; !level.isEmpty() && !IsFolder(level); level = parentOf(level))
        missing.prepend(level);
    if (!missing.isEmpty() && !folderDated(parentOf(missing.first())))
        return false;
    for (const QString& level : missing) {
        if (!append({step::FolderCreated, level}))
            return false;
    }
    const bool created = CreateDir(target);
    if (made) {
        for (const QString& level : missing) {
            if (IsFolder(level))
                made->append(level);
        }
    }
    return created;
}

bool RunRecord::targetReplaced(const QString& target, const TrashedItem& where) {
    return append({step::TargetReplaced, target, where.item, where.info});
}

bool RunRecord::copying(const QString& source, const QString& copy) {
    return append({step::Copied, source, copy});
}

bool RunRecord::originalTrashed(const QString& source, const TrashedItem& where) {
    return append({step::OriginalTrashed, source, where.item, where.info});
}

bool RunRecord::folderMoving(const QString& from, const QString& to) {
    return append({step::FolderMoved, from, to, Identity(from)});
}

bool RunRecord::fileMovingUp(const QString& from, const QString& to, const QString& now,
                             const QString& identity) {
    return append({step::FileMovedUp, from, to,
                   identity.isEmpty() ? Identity(now.isEmpty() ? from : now) : identity});
}

bool RunRecord::fileReplaced(const QString& path, const TrashedItem& where) {
    return append({step::FileReplaced, path, where.item, where.info});
}

bool RunRecord::fileParking(const QString& path, const QString& parked, const QString& identity) {
    return append({step::FileParked, path, parked, identity.isEmpty() ? Identity(path) : identity});
}

bool RunRecord::filesMovingUp(const QString& folder, QList<FileMove>& moves) {
    QByteArray lines;
    const QStringList dated = dateLine(folder);
    if (!dated.isEmpty())
        lines += encodedLine(dated);
    int steps = 0;
    for (FileMove& move : moves) {
        struct stat st;
        move.identity.clear();
        if (::lstat(QFile::encodeName(move.from).constData(), &st) != 0 || S_ISDIR(st.st_mode))
            continue;
        move.identity = identityOf(st);
        lines += encodedLine({step::FileMovedUp, move.from, move.to, move.identity});
        ++steps;
    }
    return lines.isEmpty() || appendLines(lines, steps);
}

QStringList RunRecord::dateLine(const QString& folder) {
    struct stat st;
    const QString target = withoutDelimiter(folder);
    if (target.isEmpty() || m_existing.contains(target))
        return {}; // noted once, before the run first changed it
    m_existing.insert(target);
    if (::lstat(QFile::encodeName(target).constData(), &st) != 0)
        return {}; // nothing there to give a date back to
    return {step::FolderDated, target,
            QStringLiteral("%1.%2")
                .arg(static_cast<qint64>(st.st_mtim.tv_sec))
                .arg(static_cast<qint64>(st.st_mtim.tv_nsec), 9, 10, QLatin1Char('0')),
            identityOf(st)};
}

bool RunRecord::folderDated(const QString& folder) {
    const QStringList line = dateLine(folder);
    return line.isEmpty() || append(line);
}

QString Identity(const QString& path, bool* folder) {
    struct stat st;
    const bool there = ::lstat(QFile::encodeName(path).constData(), &st) == 0;
    if (folder)
        *folder = there && S_ISDIR(st.st_mode);
    return there ? identityOf(st) : QString();
}

QString TargetIdentity(const QString& path) {
    const FileSnapshot snapshot = SnapshotFile(path);
    return snapshot.exists ? QStringLiteral("%1:%2").arg(snapshot.device).arg(snapshot.index)
                           : QString();
}

std::optional<Record> ReadRecord(const QString& path, QString* problem) {
    const auto damaged = [&](const QString& what) -> std::optional<Record> {
        if (problem)
            *problem = what;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return damaged(QStringLiteral("il ne peut pas être lu (%1)").arg(file.errorString()));
    const QByteArray all = file.readAll();
    if (all.isEmpty())
        return damaged(QStringLiteral("il est vide"));
    // Every line is written whole, its line break last: a record that ends inside a line was
    // cut short afterwards.
    if (!all.endsWith('\n'))
        return damaged(QStringLiteral("il est coupé au milieu d'une ligne"));
    const QList<QByteArray> lines = all.chopped(1).split('\n');
    Record record;
    record.path = path;
    for (int i = 0; i < lines.size(); ++i) {
        const QString text = QString::fromUtf8(lines[i]);
        if (text.toUtf8() != lines[i])
            return damaged(QStringLiteral("sa ligne %1 n'est pas du texte").arg(i + 1));
        const QStringList raw = text.split(u'\t');
        QStringList fields;
        for (const QString& field : raw)
            fields.append(decoded(field));
        const QString name = fields.value(0);
        if (i == 0) {
            const QString kind = fields.value(2);
            if (name != kHeader || fields.size() < 5 ||
                !(kind == QStringLiteral("fichiers") || kind == QStringLiteral("dossiers") ||
                  kind == QStringLiteral("deordalix")))
                return damaged(QStringLiteral("son en-tête est illisible"));
            record.kind = kind == QStringLiteral("dossiers")    ? RunKind::Folders
                          : kind == QStringLiteral("deordalix") ? RunKind::Flatten
                                                                : RunKind::Files;
            record.root = fields.value(3);
            record.started = QDateTime::fromString(fields.value(4), Qt::ISODate);
            continue;
        }
        bool known = true;
        if (name == step::Undone) {
            bool number = false;
            record.undone.insert(fields.value(1).toInt(&number));
            known = number;
        } else if (name == step::AllUndone) {
            record.allUndone = true;
        } else if (name == kEnd) {
            // The run's end: nothing to take back.
        } else if (name == step::FolderCreated || name == step::TargetReplaced ||
                   name == step::Copied || name == step::OriginalTrashed ||
                   name == step::FolderMoved || name == step::FileMovedUp ||
                   name == step::FileReplaced || name == step::FileParked ||
                   name == step::FolderDated) {
            const int needed = name == step::FolderCreated ? 2 : name == step::Copied ? 3 : 4;
            known = fields.size() >= needed;
            if (known)
                record.steps.append(Step{i, name, fields.mid(1)});
        } else {
            known = false;
        }
        if (!known)
            return damaged(QStringLiteral("sa ligne %1 est illisible").arg(i + 1));
    }
    return record;
}

std::optional<Record> LastRecord(QString* damage) {
    const QStringList files = recordFiles();
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        const QString path = RecordFolder() + PathDelim + files[i];
        QString problem;
        std::optional<Record> record = ReadRecord(path, &problem);
        if (!record) {
            // Never an older run in its place: the user did not ask for that one.
            if (damage)
                *damage = QStringLiteral("Le journal d'annulation du dernier rangement est "
                                         "abîmé : %1\n%2\nRien n'a été annulé. Mettez ce fichier "
                                         "de côté pour pouvoir annuler les rangements d'avant.")
                              .arg(problem, path);
            return std::nullopt;
        }
        if (record->allUndone)
            continue;
        for (const Step& s : record->steps) {
            if (!record->undone.contains(s.line) && s.name != step::FolderDated)
                return record;
        }
    }
    return std::nullopt;
}

bool MarkUndone(const QString& recordPath, int line) {
    return appendTo(recordPath, {step::Undone, QString::number(line)});
}

bool MarkAllUndone(const QString& recordPath) {
    return appendTo(recordPath, {step::AllUndone, stamp(QDateTime::currentDateTime())});
}

} // namespace undo
