#include "RunRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
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

bool appendLine(int fd, const QStringList& fields) {
    QStringList parts;
    parts.reserve(fields.size());
    for (const QString& field : fields)
        parts.append(encoded(field));
    const QByteArray line = (parts.join(u'\t') + u'\n').toUtf8();
    // One write per line: with O_APPEND the line lands whole, after whatever is there.
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::write(fd, line.constData() + done, static_cast<size_t>(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

int openForAppend(const QString& path, bool create) {
    const QByteArray native = QFile::encodeName(path);
    return ::open(native.constData(),
                  O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0), 0600);
}

void appendTo(const QString& recordPath, const QStringList& fields) {
    const int fd = openForAppend(recordPath, false);
    if (fd < 0)
        return;
    appendLine(fd, fields);
    ::close(fd);
}

QStringList recordFiles() {
    return QDir(RecordFolder()).entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
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
    appendLine(m_fd, {kEnd, stamp(QDateTime::currentDateTime())});
    ::fdatasync(m_fd); // the record outlives the run, like the files it tells of
    ::close(m_fd);
}

void RunRecord::append(const QStringList& fields) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failed)
        return;
    if (m_fd < 0) {
        // The first step opens the record, and the oldest records beyond the kept number go.
        const QString folder = RecordFolder();
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        const QString name = m_started.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) +
                             QStringLiteral("-%1.log").arg(::getpid());
        m_fd = openForAppend(folder + PathDelim + name, true);
        if (m_fd < 0 || !appendLine(m_fd, {kHeader, QStringLiteral("1"), kindName(m_kind), m_root,
                                           stamp(m_started)})) {
            m_failed = true;
            return;
        }
        const QStringList existing = recordFiles();
        for (qsizetype i = 0; i + KeptRecords < existing.size(); ++i)
            QFile::remove(folder + PathDelim + existing[i]);
    }
    if (!appendLine(m_fd, fields))
        m_failed = true;
}

bool RunRecord::createFolder(const QString& folder, const std::function<void()>& beforeMaking) {
    const QString target = withoutDelimiter(folder);
    if (IsFolder(target))
        return true;
    if (beforeMaking)
        beforeMaking();
    QStringList missing;
    for (QString level = target; !level.isEmpty() && !IsFolder(level); level = parentOf(level))
        missing.prepend(level);
    for (const QString& level : missing)
        append({step::FolderCreated, level});
    return CreateDir(target);
}

void RunRecord::targetReplaced(const QString& target, const TrashedItem& where) {
    append({step::TargetReplaced, target, where.item, where.info});
}

void RunRecord::copying(const QString& source, const QString& copy) {
    append({step::Copied, source, copy});
}

void RunRecord::originalTrashed(const QString& source, const TrashedItem& where) {
    append({step::OriginalTrashed, source, where.item, where.info});
}

void RunRecord::folderMoving(const QString& from, const QString& to) {
    append({step::FolderMoved, from, to, Identity(from)});
}

void RunRecord::fileMovingUp(const QString& from, const QString& to, const QString& now) {
    append({step::FileMovedUp, from, to, Identity(now.isEmpty() ? from : now)});
}

void RunRecord::fileReplaced(const QString& path, const TrashedItem& where) {
    append({step::FileReplaced, path, where.item, where.info});
}

void RunRecord::fileParking(const QString& path, const QString& parked) {
    append({step::FileParked, path, parked, Identity(path)});
}

QString Identity(const QString& path) {
    const FileSnapshot snapshot = SnapshotFile(path);
    return snapshot.exists ? QStringLiteral("%1:%2").arg(snapshot.device).arg(snapshot.index)
                           : QString();
}

std::optional<Record> ReadRecord(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.readAll().split('\n');
    Record record;
    record.path = path;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList raw = QString::fromUtf8(lines[i]).split(u'\t');
        QStringList fields;
        for (const QString& field : raw)
            fields.append(decoded(field));
        const QString name = fields.value(0);
        if (i == 0) {
            if (name != kHeader)
                return std::nullopt;
            const QString kind = fields.value(2);
            record.kind = kind == QStringLiteral("dossiers")    ? RunKind::Folders
                          : kind == QStringLiteral("deordalix") ? RunKind::Flatten
                                                                : RunKind::Files;
            record.root = fields.value(3);
            record.started = QDateTime::fromString(fields.value(4), Qt::ISODate);
        } else if (name == step::Undone) {
            record.undone.insert(fields.value(1).toInt());
        } else if (name == step::AllUndone) {
            record.allUndone = true;
        } else if (name == step::FolderCreated || name == step::TargetReplaced ||
                   name == step::Copied || name == step::OriginalTrashed ||
                   name == step::FolderMoved || name == step::FileMovedUp ||
                   name == step::FileReplaced || name == step::FileParked) {
            // A line cut short by a kill has fewer fields than its step needs: it is passed over.
            const int needed = name == step::FolderCreated ? 2 : name == step::Copied ? 3 : 4;
            if (fields.size() >= needed && i + 1 < lines.size())
                record.steps.append(Step{i, name, fields.mid(1)});
        }
    }
    return record;
}

std::optional<Record> LastRecord() {
    const QStringList files = recordFiles();
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        std::optional<Record> record = ReadRecord(RecordFolder() + PathDelim + files[i]);
        if (!record || record->allUndone)
            continue;
        for (const Step& s : record->steps) {
            if (!record->undone.contains(s.line))
                return record;
        }
    }
    return std::nullopt;
}

void MarkUndone(const QString& recordPath, int line) {
    appendTo(recordPath, {step::Undone, QString::number(line)});
}

void MarkAllUndone(const QString& recordPath) {
    appendTo(recordPath, {step::AllUndone, stamp(QDateTime::currentDateTime())});
}

} // namespace undo
