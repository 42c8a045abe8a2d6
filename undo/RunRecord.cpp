#include "RunRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>

#include "outil32_DIR.h"
#include "platform_convert.h"

namespace undo {

namespace {

using ordalix::PathDelim;
namespace platform = ordalix::platform;

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

bool appendLine(platform::AppendFile& file, const QStringList& fields) {
    const QByteArray line = encodedLine(fields);
    return file.append(line.constData(), static_cast<std::size_t>(line.size()));
}

QString identityOf(const platform::FileStatus& st) {
    return QString::number(st.device) + u':' + QString::number(st.index);
}

// The entry itself, a link not followed.
bool linkStatus(const QString& path, platform::FileStatus& st) {
    return platform::getLinkStatus(ordalix::toPlatformPath(path), st);
}

bool appendTo(const QString& recordPath, const QStringList& fields) {
    platform::AppendFile file;
    return file.open(ordalix::toPlatformPath(recordPath), false) && appendLine(file, fields);
}

QStringList recordFiles() {
    return QDir(RecordFolder()).entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
}

QString systemError() {
    return ordalix::fromPlatformPath(platform::lastErrorText());
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
#ifdef _WIN32
    // Records belong to this machine: the local profile, not the roaming one.
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (!local.isEmpty() && QDir::isAbsolutePath(local))
        return QDir::toNativeSeparators(QDir::cleanPath(local)) + QStringLiteral("\\Ordalix");
    return QDir::toNativeSeparators(QDir::homePath()) + QStringLiteral("\\AppData\\Local\\Ordalix");
#else
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/ordalix");
#endif
}

RunRecord::RunRecord(RunKind kind, const QString& root)
    : m_kind(kind), m_root(withoutDelimiter(root)), m_started(QDateTime::currentDateTime()) {}

RunRecord::~RunRecord() {
    if (!m_file.isOpen())
        return;
    if (m_steps == 0) {
        // Nothing was done: the record goes, if it is still the file this run made.
        if (m_file.isFileAt(ordalix::toPlatformPath(m_path))) {
            m_file.close();
            QFile::remove(m_path);
        }
        return;
    }
    if (!m_failed)
        appendLine(m_file, {kEnd, stamp(QDateTime::currentDateTime())});
    // The record outlives the run, like the files it tells of: it is synced to the disk, but
    // on a thread of its own. After a large copy the sync waits until every byte of it is
    // written, which would freeze the window for as long.
    auto file = std::make_shared<platform::AppendFile>(std::move(m_file));
    const auto sync = [file] {
        file->sync();
        file->close();
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
    if (m_file.isOpen())
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
                         QStringLiteral("-%1").arg(QCoreApplication::applicationPid());
    for (int n = 1; n < 100; ++n) {
        m_path = stem + (n > 1 ? QStringLiteral("~%1").arg(n) : QString()) + QStringLiteral(".log");
        if (m_file.open(ordalix::toPlatformPath(m_path), true) ||
            !platform::lastErrorIsAlreadyExists())
            break;
    }
    if (!m_file.isOpen())
        return fail(systemError());
    if (!appendLine(m_file,
                    {kHeader, QStringLiteral("1"), kindName(m_kind), m_root, stamp(m_started)})) {
        const QString why = systemError();
        m_file.close();
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
        if (m_file.isOpen()) {
            if (!m_file.append(lines.constData(), static_cast<std::size_t>(lines.size())))
                return fail(systemError());
            const bool first = m_steps == 0 && steps > 0;
            m_steps += steps;
            if (!first)
                return true;
        }
    }
    if (!m_file.isOpen()) {
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
        platform::FileStatus st;
        move.identity.clear();
        if (!linkStatus(move.from, st) || st.directory)
            continue;
        move.identity = identityOf(st);
        lines += encodedLine({step::FileMovedUp, move.from, move.to, move.identity});
        ++steps;
    }
    return lines.isEmpty() || appendLines(lines, steps);
}

QStringList RunRecord::dateLine(const QString& folder) {
    platform::FileStatus st;
    const QString target = withoutDelimiter(folder);
    if (target.isEmpty() || m_existing.contains(target))
        return {}; // noted once, before the run first changed it
    m_existing.insert(target);
    if (!linkStatus(target, st))
        return {}; // nothing there to give a date back to
    return {step::FolderDated, target,
            QStringLiteral("%1.%2")
                .arg(static_cast<qint64>(st.lastWriteTime.secondsSinceEpoch))
                .arg(static_cast<qint64>(st.lastWriteTime.nanoseconds), 9, 10, QLatin1Char('0')),
            identityOf(st)};
}

bool RunRecord::folderDated(const QString& folder) {
    const QStringList line = dateLine(folder);
    return line.isEmpty() || append(line);
}

QString Identity(const QString& path, bool* folder) {
    platform::FileStatus st;
    const bool there = linkStatus(path, st);
    if (folder)
        *folder = there && st.directory;
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
