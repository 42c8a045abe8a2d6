// The record a run leaves of what it did, one line per step, so that the run can be taken back.
#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>

#include "outil32_FILE.h"
#include "platform.h"

namespace undo {

enum class RunKind { Files, Folders, Flatten };

// How many records are kept; an older one goes when a new run starts writing.
inline constexpr int KeptRecords = 20;

// Where the records live: $XDG_STATE_HOME/ordalix (by default ~/.local/state/ordalix).
QString RecordFolder();

// The steps, as the record names them.
namespace step {
inline const QString FolderCreated = QStringLiteral("dossier-cree");
inline const QString TargetReplaced = QStringLiteral("cible-en-corbeille");
inline const QString Copied = QStringLiteral("copie");
inline const QString OriginalTrashed = QStringLiteral("original-en-corbeille");
inline const QString FolderMoved = QStringLiteral("dossier-deplace");
inline const QString FileMovedUp = QStringLiteral("fichier-remonte");
inline const QString FileReplaced = QStringLiteral("remplace-en-corbeille");
inline const QString FileParked = QStringLiteral("fichier-mis-de-cote");
inline const QString FolderDated = QStringLiteral("date-dossier");
inline const QString Undone = QStringLiteral("annule");
inline const QString AllUndone = QStringLiteral("annulation-terminee");
} // namespace step

// A file about to move up, as a batch of moves tells it.
struct FileMove {
    QString from;
    QString to;
    QString identity; // what is at `from` as the batch is written; empty: no line, see below
};

// The record of one run, written as the run goes, ahead of each step: a step's line is on disk
// (in one write) before the step starts, so that a run that is stopped, fails or is killed
// still tells everything it did. A line may name a step that then did not happen; the undo
// checks what is there (a file's identity, a copy's content) before it touches anything.
// Where a step's result is only known after it (where the trash put an item), its line is
// written as soon as it is known. A run whose record cannot be written does nothing more: each
// step method answers false when its line is not on disk, and the step must not be taken.
class RunRecord {
public:
    RunRecord(RunKind kind, const QString& root);
    // A record without a single step is removed: nothing was done that could be taken back.
    ~RunRecord();
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // Makes the record's file, before the run changes anything; false (see failure()) when it
    // cannot be made or written, and the run must not start.
    bool open();
    // Whether a line could not be written, and why, in French; the run stops at once.
    bool failed() const;
    QString failure() const;

    // Makes sure `folder` exists (CreateDir, with its messages), recording every level it is
    // about to make; `beforeMaking` runs first when there is one to make. False when the folder
    // is not there, made or not recorded (failed() then tells).
    // `made`, when given, gets the levels this call made, the deepest last.
    bool createFolder(const QString& folder, const std::function<void()>& beforeMaking = {},
                      QStringList* made = nullptr);
    bool targetReplaced(const QString& target, const TrashedItem& where);
    bool copying(const QString& source, const QString& copy);
    bool originalTrashed(const QString& source, const TrashedItem& where);
    // Moves, told with the identity of what moves (a link's own, not its target's), so that the
    // undo moves back only that.
    bool folderMoving(const QString& from, const QString& to);
    // `now` is where the file is when it is not at `from` any more (set aside). `identity`, in
    // this call and fileParking, is the file's when its caller has just read it; else read here.
    bool fileMovingUp(const QString& from, const QString& to, const QString& now = {},
                      const QString& identity = {});
    // The moves out of one folder, in one write ahead of the first of them, after the folder's
    // date when it is not noted yet (see folderDated): one write instead of one per file. A
    // move written and then not taken (the run stopped or killed within the batch) names a
    // file the undo finds still in its place, and leaves there. Each file's identity is read
    // here; a move whose source is gone or is a folder by now gets none and no line: its
    // caller takes it the single way (fileMovingUp, then the move), which tells what happened.
    bool filesMovingUp(const QString& folder, QList<FileMove>& moves);
    bool fileReplaced(const QString& path, const TrashedItem& where);
    // The file set aside under a temporary name before it replaces another.
    bool fileParking(const QString& path, const QString& parked, const QString& identity = {});
    // A folder's last-write time before the run first adds or takes entries, so that an undo
    // gives it back (a folder sort orders folders by it). Once per folder; from the run's thread.
    bool folderDated(const QString& folder);

private:
    bool append(const QStringList& fields);
    // Lines already encoded, written whole in one write; `steps` of them are changes.
    bool appendLines(const QByteArray& lines, int steps);
    // The date line of a folder not noted yet; empty when there is none to write.
    QStringList dateLine(const QString& folder);
    bool fail(const QString& why);

    RunKind m_kind;
    QString m_root;
    QDateTime m_started;
    // Steps come from the run and from its trash lane: each line is written whole, one at a time.
    mutable std::mutex m_mutex;
    QString m_path;
    ordalix::platform::AppendFile m_file;
    bool m_failed = false;
    QString m_failure;
    int m_steps = 0;          // lines of changes (a folder's date is none)
    QSet<QString> m_existing; // folders whose date is noted already
};

// One step of a record: its name, its paths, and its place among the record's lines.
struct Step {
    int line = 0;
    QString name;
    QStringList fields;
};

// A record as read back.
struct Record {
    QString path;
    RunKind kind = RunKind::Files;
    QString root;
    QDateTime started;
    QList<Step> steps; // the run's steps, in the order they were done
    QSet<int> undone;  // lines of the steps an earlier, stopped undo already took back
    bool allUndone = false;
};

// A record read whole; nothing when it cannot be (unreadable, empty, cut inside a line, a line
// that is no step), and then `problem` says what is wrong, in French.
std::optional<Record> ReadRecord(const QString& path, QString* problem = nullptr);
// "device:index" of what is at the path itself (a link's own, not its target's), empty when
// nothing is there.
// `folder`, when given, tells whether that is a folder itself (a link to one is not).
QString Identity(const QString& path, bool* folder = nullptr);
// The same through a link: what the records of earlier versions named.
QString TargetIdentity(const QString& path);

// The newest record with something left to take back; when the newest record cannot be read
// whole, nothing, and `damage` says which record and what is wrong with it (an older run is
// never taken back in its place).
std::optional<Record> LastRecord(QString* damage = nullptr);
// Appends an undo's progress to a record: one step taken back, or the whole record.
bool MarkUndone(const QString& recordPath, int line);
bool MarkAllUndone(const QString& recordPath);

} // namespace undo
