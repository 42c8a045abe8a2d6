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
inline const QString Undone = QStringLiteral("annule");
inline const QString AllUndone = QStringLiteral("annulation-terminee");
} // namespace step

// The record of one run, written as the run goes, ahead of each step: a step's line is on disk
// (in one write) before the step starts, so that a run that is stopped, fails or is killed
// still tells everything it did. A line may name a step that then did not happen; the undo
// checks what is there (a file's identity, a copy's content) before it touches anything.
// Where a step's result is only known after it (where the trash put an item), its line is
// written as soon as it is known. Nothing is written for a run that does nothing.
class RunRecord {
public:
    RunRecord(RunKind kind, const QString& root);
    ~RunRecord();
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // Makes sure `folder` exists (CreateDir, with its messages), recording every level it is
    // about to make; `beforeMaking` runs first when there is one to make.
    bool createFolder(const QString& folder, const std::function<void()>& beforeMaking = {});
    void targetReplaced(const QString& target, const TrashedItem& where);
    void copying(const QString& source, const QString& copy);
    void originalTrashed(const QString& source, const TrashedItem& where);
    // Moves, told with the identity of what moves, so that the undo moves back only that.
    void folderMoving(const QString& from, const QString& to);
    // `now` is where the file is when it is not at `from` any more (set aside).
    void fileMovingUp(const QString& from, const QString& to, const QString& now = {});
    void fileReplaced(const QString& path, const TrashedItem& where);
    // The file set aside under a temporary name before it replaces another.
    void fileParking(const QString& path, const QString& parked);

private:
    void append(const QStringList& fields);

    RunKind m_kind;
    QString m_root;
    QDateTime m_started;
    // Steps come from the run and from its trash lane: each line is written whole, one at a time.
    std::mutex m_mutex;
    int m_fd = -1;
    bool m_failed = false;
    QSet<QString> m_existing; // folders seen to exist during this run
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

std::optional<Record> ReadRecord(const QString& path);
// "device:index" of what is at the path (a link followed), empty when nothing is.
QString Identity(const QString& path);
// The newest record with something left to take back.
std::optional<Record> LastRecord();
// Appends an undo's progress to a record: one step taken back, or the whole record.
void MarkUndone(const QString& recordPath, int line);
void MarkAllUndone(const QString& recordPath);

} // namespace undo
