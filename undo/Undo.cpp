#include "Undo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QUrl>

#include "RunLock.h"
#include "StopRequest.h"
#include "outil32_Dialogs.h"
#include "outil32_FILE.h"
#include "outil32_WIN.h"
#include "platform_convert.h"

namespace undo {

namespace {

using ordalix::PathDelim;

enum class Outcome { Restored, Gone, Taken, Failed };

// Anything at the path, a dangling link included.
bool occupied(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The original path an info file names: absolute in the home trash, relative to the top of
// its volume in another one.
bool infoNames(const QString& info, const QString& original) {
    QFile file(info);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith("Path="))
            continue;
        const QString path = QUrl::fromPercentEncoding(line.mid(5).trimmed());
        return path == original ||
               (!path.startsWith(PathDelim) && original.endsWith(PathDelim + path));
    }
    return false;
}

// Brings an item back from the trash under its old name. The item must still be the one the
// run put there (its info file names that path), and nothing may hold the name now.
Outcome restore(const QString& item, const QString& info, const QString& to) {
    if (!occupied(item) || !infoNames(info, to))
        return Outcome::Gone;
    if (occupied(to))
        return Outcome::Taken;
    QDir().mkpath(QFileInfo(to).absolutePath());
    if (!ordalix::platform::moveFile(ordalix::toPlatformPath(item), ordalix::toPlatformPath(to), 0))
        return Outcome::Failed;
    QFile::remove(info);
    return Outcome::Restored;
}

// Gives a folder back the last-write time "seconds.nanoseconds" it had.
void setLastWriteTime(const QString& path, const QString& stamp) {
    bool secondsOk = false;
    bool nanosOk = false;
    const qint64 seconds = stamp.section(u'.', 0, 0).toLongLong(&secondsOk);
    const long nanos = stamp.section(u'.', 1, 1).toLong(&nanosOk);
    if (!secondsOk || !nanosOk)
        return;
    ordalix::platform::setLastWriteTime(
        ordalix::toPlatformPath(path),
        ordalix::platform::FileTime{seconds, static_cast<std::uint32_t>(nanos)});
}

// Same size, time stamp and content: the one may go, the other holds all it held.
bool identical(const QString& a, const QString& b) {
    const FileSnapshot first = SnapshotFile(a);
    const FileSnapshot second = SnapshotFile(b);
    if (!first.exists || !second.exists || first.directory || second.directory ||
        first.sameFileAs(second) || first.size != second.size || first.seconds != second.seconds ||
        first.nanoseconds != second.nanoseconds)
        return false;
    QFile one(a);
    QFile two(b);
    if (!one.open(QIODevice::ReadOnly) || !two.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 Chunk = 1 << 16;
    while (!one.atEnd()) {
        if (one.read(Chunk) != two.read(Chunk))
            return false;
    }
    return two.atEnd();
}

// The undo's own progress, appended to the record as it goes, so that an undo that is
// stopped or killed is taken up where it ended.
class Progress {
public:
    explicit Progress(const QString& record) {
        m_file.open(ordalix::toPlatformPath(record), false);
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void undone(int line) {
        const QByteArray text = step::Undone.toUtf8() + '\t' + QByteArray::number(line) + '\n';
        if (m_file.isOpen())
            m_file.append(text.constData(), static_cast<std::size_t>(text.size()));
    }

private:
    ordalix::platform::AppendFile m_file;
};

const QString GoneReason = QStringLiteral("l'original n'est plus dans la corbeille : sa copie "
                                          "rangée reste à sa place");
const QString TakenReason = QStringLiteral("son ancien nom est pris par un autre élément");
const QString ChangedReason =
    QStringLiteral("copie modifiée depuis le rangement : laissée où le rangement l'avait mise, "
                   "l'original remis aussi");
const QString MissingReason = QStringLiteral("introuvable là où le rangement l'avait mis");

QString kindText(RunKind kind) {
    switch (kind) {
    case RunKind::Folders:
        return QStringLiteral("Rangement des dossiers");
    case RunKind::Flatten:
        return QStringLiteral("DéOrdalix (fichiers remontés)");
    case RunKind::Files:
        break;
    }
    return QStringLiteral("Rangement des fichiers");
}

} // namespace

QString UndoReport::text() const {
    QString out = QStringLiteral("%1 éléments remis en place").arg(restored);
    QStringList left;
    if (changedCopies > 0)
        left.append(QStringLiteral("%1 fichier(s) modifié(s) depuis le rangement : laissé(s) "
                                   "où le rangement les avait mis, l'original remis aussi.")
                        .arg(changedCopies));
    if (namesTaken > 0)
        left.append(QStringLiteral("%1 élément(s) laissé(s) où ils sont : leur ancien nom est "
                                   "pris par un autre.")
                        .arg(namesTaken));
    if (goneFromTrash > 0)
        left.append(QStringLiteral("%1 original(aux) ne sont plus dans la corbeille : leur copie "
                                   "rangée reste à sa place.")
                        .arg(goneFromTrash));
    if (missing > 0)
        left.append(QStringLiteral("%1 élément(s) introuvable(s) là où le rangement les avait "
                                   "mis.")
                        .arg(missing));
    if (failed > 0)
        left.append(QStringLiteral("%1 élément(s) n'ont pas pu être remis en place.\r\n%2")
                        .arg(failed)
                        .arg(failedReason));
    if (pending)
        left.append(QStringLiteral("Ce qui n'a pas pu être remis en place le sera au prochain "
                                   "« Annuler le dernier rangement »."));
    if (stopped)
        left.append(QStringLiteral("Interruption utilisateur : le reste pourra être annulé plus "
                                   "tard."));
    if (!left.isEmpty())
        out += QStringLiteral("\r\n\r\n") + left.join(QStringLiteral("\r\n"));
    return out;
}

QString UndoReport::leftText() const {
    QStringList lines;
    lines.reserve(left.size());
    for (const Left& item : left)
        lines.append(QStringLiteral("laissé : %1 (%2)").arg(item.item, item.reason));
    return DetailsText(lines);
}

bool UndoReport::complete() const {
    return changedCopies == 0 && namesTaken == 0 && goneFromTrash == 0 && missing == 0 &&
           failed == 0 && !stopped;
}

int ItemCount(const Record& record) {
    int count = 0;
    for (const Step& s : record.steps) {
        if (!record.undone.contains(s.line) &&
            (s.name == step::Copied || s.name == step::FolderMoved || s.name == step::FileMovedUp))
            ++count;
    }
    return count;
}

QString UndoQuestion(const Record& record) {
    const QLocale locale;
    return QStringLiteral("Annuler le dernier rangement ?\r\n\r\n%1 dans le dossier %2\r\nle %3 à "
                          "%4\r\n\r\n%5 éléments à remettre en place")
        .arg(kindText(record.kind), record.root,
             locale.toString(record.started.date(), QLocale::ShortFormat),
             locale.toString(record.started.time(), QStringLiteral("HH:mm:ss")))
        .arg(ItemCount(record));
}

UndoReport UndoRecord(const Record& record, UndoWindow& window) {
    UndoReport report;
    Progress progress(record.path);
    RunMessagePump pump;
    QList<Step> steps;
    for (const Step& s : record.steps) {
        if (!record.undone.contains(s.line))
            steps.append(s);
    }
    window.setGaugeMinValue(0);
    window.setGaugeMaxValue(int(steps.size()));
    window.setGaugeProgress(0);
    window.showGauge();
    // What became of each original this undo tried to bring back, by its path.
    QHash<QString, Outcome> originals;
    const auto count = [&](Outcome outcome, const QString& item) {
        switch (outcome) {
        case Outcome::Restored:
            ++report.restored;
            break;
        case Outcome::Gone:
            ++report.goneFromTrash;
            report.left.append({item, GoneReason});
            break;
        case Outcome::Taken:
            ++report.namesTaken;
            report.left.append({item, TakenReason});
            break;
        case Outcome::Failed:
            ++report.failed;
            report.failedReason = LastFileErrorText();
            report.left.append({item, report.failedReason});
            break;
        }
    };
    // A step is marked done once done, or once it cannot be done any more (what it would bring
    // back is gone); one that failed stays, and the next undo tries it again.
    bool pending = false;
    int done = 0;
    for (auto it = steps.crbegin(); it != steps.crend(); ++it) {
        const Step& s = *it;
        const QString first = s.fields.value(0);
        const QString second = s.fields.value(1);
        bool settled = true;
        if (s.name == step::OriginalTrashed) {
            // Counted with its copy, below: one item, its original back and its copy gone.
            const QString info = s.fields.value(2);
            const Outcome outcome = restore(second, info, first);
            if (outcome == Outcome::Gone && !occupied(second) && occupied(first)) {
                // The move into the trash never happened (stopped or killed before it): its
                // info file, if it was written, tells of nothing and goes.
                if (QFileInfo::exists(info) && infoNames(info, first))
                    QFile::remove(info);
            } else if (outcome == Outcome::Gone && originals.contains(first)) {
                // A line for a try that did not happen, the original handled by a later line.
            } else {
                originals.insert(first, outcome);
                if (outcome != Outcome::Restored)
                    count(outcome, first);
                settled = outcome != Outcome::Failed;
            }
        } else if (s.name == step::Copied) {
            const auto original = originals.constFind(first);
            const bool trashed = original != originals.cend();
            if (trashed && *original != Outcome::Restored) {
                // Counted above: the copy stays, the only one left; and it stays in the record
                // while its original may still come back.
                settled = *original != Outcome::Failed;
            } else if (!occupied(second)) {
                if (trashed)
                    ++report.restored; // the copy is gone already; the original is back
            } else if (identical(first, second)) {
                if (QFile::remove(second)) {
                    ++report.restored;
                } else {
                    count(Outcome::Failed, second);
                    settled = false;
                }
            } else if (occupied(first)) {
                ++report.changedCopies;
                report.left.append({second, ChangedReason});
            } else {
                ++report.missing;
                report.left.append({second, MissingReason});
            }
        } else if (s.name == step::TargetReplaced || s.name == step::FileReplaced) {
            const Outcome outcome = restore(second, s.fields.value(2), first);
            if (!(outcome == Outcome::Gone && !occupied(second) && occupied(first)))
                count(outcome, first);
            settled = outcome != Outcome::Failed;
        } else if (s.name == step::FolderMoved || s.name == step::FileMovedUp) {
            // Only what the run moved goes back: the same file, folder or link, by its own
            // identity (records of earlier versions named a link by its target's).
            const QString moved = s.fields.value(2);
            const bool there = Identity(second) == moved ||
                               (QFileInfo(second).isSymLink() && TargetIdentity(second) == moved);
            if (!there) {
                if (Identity(first) != moved) {
                    ++report.missing; // moved on since, or the move never happened and it went
                    report.left.append({second, MissingReason});
                }
            } else if (occupied(first)) {
                count(Outcome::Taken, second);
            } else {
                QDir().mkpath(QFileInfo(first).absolutePath());
                const bool movedBack =
                    s.name == step::FolderMoved
                        ? ShellMove(second, first)
                        : ordalix::platform::moveFile(ordalix::toPlatformPath(second),
                                                      ordalix::toPlatformPath(first), 0);
                count(movedBack ? Outcome::Restored : Outcome::Failed, second);
                settled = movedBack;
            }
        } else if (s.name == step::FileParked) {
            // Set aside and never moved on: the run was ended between the two moves.
            if (Identity(second) == s.fields.value(2) && !occupied(first))
                settled = ordalix::platform::moveFile(ordalix::toPlatformPath(second),
                                                      ordalix::toPlatformPath(first), 0);
        } else if (s.name == step::FolderDated) {
            // Last of its folder's steps to be taken back: the folder's date as it was, if it is
            // still that folder.
            if (Identity(first) == s.fields.value(2))
                setLastWriteTime(first, second);
        } else if (s.name == step::FolderCreated) {
            // Only once empty: whatever else is in it stays. While items wait in it for the
            // next undo, so does the step.
            settled = QDir().rmdir(first) || !pending || !QFileInfo::exists(first);
        }
        if (settled)
            progress.undone(s.line);
        else
            pending = true;
        window.setGaugeProgress(++done);
        pump.whenDue();
        if (StopRequested || ApplicationTerminated()) {
            report.stopped = done < steps.size();
            break;
        }
    }
    if (!report.stopped && !pending)
        MarkAllUndone(record.path);
    report.pending = pending;
    window.hideGauge();
    return report;
}

std::optional<UndoReport> UndoLastRunExecute(UndoWindow& window) {
    QString damage;
    const std::optional<Record> record = LastRecord(&damage);
    if (!damage.isEmpty()) {
        MsgDlg(damage, mtError);
        return std::nullopt;
    }
    if (!record) {
        InfoDlg(QStringLiteral("Aucun rangement à annuler."));
        return std::nullopt;
    }
    return UndoRunExecute(*record, window);
}

std::optional<UndoReport> UndoRunExecute(const Record& asked, UndoWindow& window) {
    if (!ConfirmDlg(UndoQuestion(asked), mtConfirmation, {}, UndoYes, UndoNo))
        return std::nullopt;
    // Not while a run or another undo works in that folder; the record is read again once the
    // folder is ours, for what another undo may have taken back meanwhile.
    const RunLock lock(asked.root);
    if (!lock.taken()) {
        MsgDlg(lock.refusal(), mtWarning);
        return std::nullopt;
    }
    QString problem;
    const std::optional<Record> fresh = ReadRecord(asked.path, &problem);
    if (!fresh) {
        MsgDlg(QStringLiteral("Le journal d'annulation %1 ne peut plus être lu : %2\r\nRien n'a "
                              "été annulé.")
                   .arg(asked.path, problem),
               mtError);
        return std::nullopt;
    }
    const Record& record = *fresh;
    StopRequested = false;
    window.setPanelText(0, QStringLiteral("Annulation ..."));
    const UndoReport report = UndoRecord(record, window);
    StopRequested = false;
    if (ApplicationTerminated())
        return std::nullopt;
    window.setPanelText(0, QStringLiteral("%1 éléments remis en place").arg(report.restored));
    window.updateLists();
    MsgDlg(report.text(), report.complete() ? mtInformation : mtWarning, report.leftText());
    return report;
}

} // namespace undo
