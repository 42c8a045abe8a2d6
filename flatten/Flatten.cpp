#include "Flatten.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>

#include "RunLock.h"
#include "StopRequest.h"
#include "SystemFolders.h"
#include "outil32_DIR.h"
#include "outil32_Dialogs.h"
#include "outil32_FILE.h"
#include "outil32_WIN.h"
#include "outil32_math.h"
#include "platform_convert.h"

namespace flatten {

namespace {

using ordalix::PathDelim;
namespace platform = ordalix::platform;

// True while a flatten command runs: its walk handles the window's messages, and a second walk
// started from there would move files under the first one's feet.
bool g_running = false;

QString withDelimiter(const QString& folder) {
    return folder.endsWith(PathDelim) ? folder : folder + PathDelim;
}

bool hasAttribute(std::uint32_t attributes, std::uint32_t flag) {
    return HasFlags(static_cast<int>(attributes), static_cast<int>(flag));
}

// Hidden and system folders are left alone, and so are links to folders: they may loop, or
// lead out of the tree and pull in files that do not belong to it.
bool isWalkedFolder(const platform::FindData& entry) {
    return hasAttribute(entry.attributes, platform::FileAttributeDirectory) &&
           !hasAttribute(entry.attributes, platform::FileAttributeReparsePoint) &&
           !hasAttribute(entry.attributes, platform::FileAttributeHidden) &&
           !hasAttribute(entry.attributes, platform::FileAttributeSystem) && entry.name != u"." &&
           entry.name != u"..";
}

// A symbolic link stays where it is: moved up, a relative one would point elsewhere or nowhere,
// and an absolute one could lose a target that the walk moves.
bool isLink(const platform::FindData& entry) {
    return hasAttribute(entry.attributes, platform::FileAttributeReparsePoint) &&
           entry.name != u"." && entry.name != u"..";
}
const QString LinkLeftReason = QStringLiteral("lien symbolique");
const QString FolderTakesNameReason = QStringLiteral("un dossier porte ce nom");

// A move on one volume that never replaces anything.
bool moveToFreeName(const QString& source, const QString& destination) {
    return platform::moveFile(ordalix::toPlatformPath(source), ordalix::toPlatformPath(destination),
                              0);
}

// The same for a file known to be one, onto a name just seen free: nothing looked at first.
bool renameToFreeName(const QString& source, const QString& destination) {
    return platform::renameNoReplace(ordalix::toPlatformPath(source),
                                     ordalix::toPlatformPath(destination));
}

// A name in `folder` where nothing lies yet, a dangling link included (one look each).
QString freeName(const QString& folder) {
    for (int n = 0;; ++n) {
        QString candidate = folder + QStringLiteral(".ordalix-move-%1").arg(n);
        if (undo::Identity(candidate).isEmpty())
            return candidate;
    }
}

// An entry of a folder's listing that is a file: the listing tells files from folders, and
// only a link needs its target looked at.
bool isFileEntry(const platform::FindData& entry, const QString& path) {
    if (hasAttribute(entry.attributes, platform::FileAttributeReparsePoint))
        return IsFile(path);
    return !hasAttribute(entry.attributes, platform::FileAttributeDirectory);
}

// The command's run marker and its end step, on every way out.
class Run {
public:
    explicit Run(FlattenWindow& window) : m_window(window) { g_running = true; }
    ~Run() {
        m_window.hideGauge();
        g_running = false;
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

private:
    FlattenWindow& m_window;
};

class HourGlass {
public:
    HourGlass() { SetScreenCursor(crHourGlass); }
    ~HourGlass() { SetScreenCursor(crDefault); }
    HourGlass(const HourGlass&) = delete;
    HourGlass& operator=(const HourGlass&) = delete;
};

// Milliseconds between two writes of the status line and the gauge: each write costs a repaint
// at the next message pump, dearer than the moves of a whole folder, and a person cannot tell
// the difference.
constexpr qint64 kShowEvery = 15;

} // namespace

// One walk: its window, the one path string it extends and cuts back, and what the status line
// and the gauge are to show, written to the window when due and when the walk ends.
class Walk {
public:
    Walk(FlattenWindow& window, const QString& folder)
        : window(window), path(withDelimiter(folder)), topLength(path.size()),
          record(undo::RunKind::Flatten, folder) {}
    ~Walk() { show(); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    FlattenWindow& window;
    QString path;
    const qsizetype topLength;
    undo::RunRecord record;

    void setStatusLine(int moved, const QString& folder, const QString& name) {
        m_moved = moved;
        m_folder = folder;
        m_name = name;
        m_hasLine = true;
    }
    void advanceGauge() { ++m_steps; }
    void showWhenDue() {
        if (m_shown.isValid() && m_shown.elapsed() < kShowEvery)
            return;
        show();
        m_shown.start();
    }
    void show() {
        if (m_hasLine)
            window.setPanelText(0, QString::number(m_moved) + QStringLiteral(" - [") + m_folder +
                                       QStringLiteral("]=>") + m_name);
        m_hasLine = false;
        // Step by step, the gauge would stop at its maximum just the same.
        if (m_steps > 0)
            window.setGaugeProgress(window.gaugeProgress() + m_steps);
        m_steps = 0;
    }

private:
    int m_moved = 0;
    QString m_folder;
    QString m_name;
    bool m_hasLine = false;
    int m_steps = 0;
    QElapsedTimer m_shown;
};

namespace {
// Files the last walk had to leave where they were, and why the last of them could not move.
int g_notMoved = 0;
QString g_notMovedReason;
int g_unreadFolders = 0; // folders the walk could not list (a path too long, a refusal)
int g_linksLeft = 0;     // symbolic links below the top folder, left where they are
QStringList g_left;      // each item left, "path (why)", for the report's details

// An item the walk leaves where it is: told to the window now, and named in the report.
void leave(FlattenWindow& window, const QString& path, const QString& reason) {
    g_left.append(QStringLiteral("%1 (%2)").arg(path, reason));
    window.itemLeft(path, reason);
}
QString g_recordFailure;   // why the walk's record could not be written, when it could not
bool g_notStarted = false; // the record could not even be made: nothing was moved
} // namespace

bool Running() {
    return g_running;
}

namespace {

// What the walk of the plan gathers, folder after folder.
struct PlanWalk {
    qsizetype topLength = 0;
    QString topName;
    QSet<QString> folders; // of the top folder: a file of one of these names cannot go there
    QSet<QString> names;   // in the top folder by then
    QStringList lines;
    // With a count, the walk also counts the files of the tree as CountAllFiles does, and
    // handles the window's messages after each folder as that count does: the question needs
    // both, and one walk of the tree costs half of two.
    int* counted = nullptr;
};

PlanWalk planOf(const QString& topFolder) {
    PlanWalk plan;
    plan.topLength = withDelimiter(topFolder).size();
    plan.topName = ExeNames::fileName(QDir::toNativeSeparators(QDir::cleanPath(topFolder)));
    platform::FindHandle search;
    platform::FindData entry;
    for (bool found = search.findFirst(
             ordalix::toPlatformPath(withDelimiter(topFolder) + AllFilesMask), entry, false);
         found; found = search.findNext(entry)) {
        // A link to a folder is no folder here: the run replaces it like a file.
        if (hasAttribute(entry.attributes, platform::FileAttributeDirectory) &&
            !hasAttribute(entry.attributes, platform::FileAttributeReparsePoint))
            plan.folders.insert(ordalix::fromPlatformPath(entry.name));
    }
    return plan;
}

// The walk of the plan: the same folders in the same order as the run, nothing moved. False
// when the program is ending, which only a walk that counts looks at.
bool planFolder(QString& path, PlanWalk& plan) {
    const qsizetype length = path.size();
    const bool top = length == plan.topLength;
    QStringList subFolders;
    {
        platform::FindHandle search;
        platform::FindData entry;
        for (bool found =
                 search.findFirst(ordalix::toPlatformPath(path + AllFilesMask), entry, false);
             found; found = search.findNext(entry)) {
            if (plan.counted && !hasAttribute(entry.attributes, platform::FileAttributeDirectory))
                ++*plan.counted;
            const QString name = ordalix::fromPlatformPath(entry.name);
            if (isWalkedFolder(entry)) {
                subFolders.append(name);
                continue;
            }
            if (top) {
                if (isLink(entry) || isFileEntry(entry, path + name))
                    plan.names.insert(name); // stays where it is
                continue;
            }
            const QString shown = path.mid(plan.topLength) + name;
            if (isLink(entry)) {
                plan.lines.append(shown + QStringLiteral(" (laissé : %1)").arg(LinkLeftReason));
                continue;
            }
            if (!isFileEntry(entry, path + name))
                continue;
            if (plan.folders.contains(name))
                plan.lines.append(shown +
                                  QStringLiteral(" (laissé : %1)").arg(FolderTakesNameReason));
            else if (plan.names.contains(name))
                plan.lines.append(shown + QStringLiteral(" → ") + plan.topName +
                                  QStringLiteral(" (remplace %1)").arg(name));
            else
                plan.lines.append(shown + QStringLiteral(" → ") + plan.topName);
            plan.names.insert(name);
        }
    }
    if (plan.counted) {
        ProcessMessages();
        if (ApplicationTerminated())
            return false;
    }
    for (const QString& name : std::as_const(subFolders)) {
        path += name + PathDelim;
        const bool complete = planFolder(path, plan);
        path.truncate(length);
        if (!complete)
            return false;
    }
    return true;
}

// The count the question tells and the plan shown under it, from one walk of the tree, under
// the hourglass cursor. False when the program is ending.
bool surveyTree(const QString& topFolder, int& counted, QStringList& lines) {
    const HourGlass cursor;
    PlanWalk plan = planOf(topFolder);
    plan.counted = &counted;
    QString path = withDelimiter(topFolder);
    if (!planFolder(path, plan))
        return false;
    lines = std::move(plan.lines);
    return true;
}

} // namespace

QStringList FlattenPlan(const QString& topFolder) {
    PlanWalk plan = planOf(topFolder);
    QString path = withDelimiter(topFolder);
    planFolder(path, plan);
    return plan.lines;
}

namespace {

// The rest of MoveIntoFolder, once the move's line is in the record, after a move that never
// replaces failed (its error still the last one). `seen` is the source's identity when the
// caller has just seen a file there, and empty when nothing is known of it.
bool moveOntoTakenName(const QString& source, const QString& folder, const QString& name,
                       undo::RunRecord* record, const QString& seen = {}) {
    const QString destination = folder + name;
    // One look at each: what holds the name (a dangling link does), and what moves.
    bool folderThere = false;
    const QString there = undo::Identity(destination, &folderThere);
    if (there.isEmpty() || folderThere)
        return false; // the file cannot move, or a folder has its name
    const QString moving = seen.isEmpty() ? undo::Identity(source) : seen;
    if (there == moving)
        return true; // already there under that name (another name of the same file)
    // The file is parked beside its destination first: if it cannot move, the file it would
    // replace has not gone to the trash for nothing.
    const QString parked = freeName(folder);
    if (record && !record->fileParking(source, parked, moving))
        return false;
    // A file just seen needs no second look before it moves.
    if (!(seen.isEmpty() ? moveToFreeName(source, parked) : renameToFreeName(source, parked)))
        return false;
    const auto noteReplaced = [&](const TrashedItem& at) {
        return !record || record->fileReplaced(destination, at);
    };
    // Parked, it is a file; its name is free once the other went to the trash.
    if (RecycleFile(destination, noteReplaced) &&
        (!record || record->fileMovingUp(source, destination, parked, moving)) &&
        renameToFreeName(parked, destination))
        return true;
    moveToFreeName(parked, source);
    return false;
}

// A move of a batch whose line is on disk already (undo::RunRecord::filesMovingUp), of the file
// the batch has just seen: nothing more to look at before the rename.
bool moveWritten(const undo::FileMove& move, const QString& folder, const QString& name,
                 undo::RunRecord& record) {
    return renameToFreeName(move.from, move.to) ||
           moveOntoTakenName(move.from, folder, name, &record, move.identity);
}

} // namespace

bool MoveIntoFolder(const QString& source, const QString& folder, const QString& name,
                    undo::RunRecord* record) {
    const QString destination = folder + name;
    if (destination == source)
        return FileMoveReplace(source, destination); // the file stays as it is
    // Most names are new to the folder: a move that never replaces settles them at once.
    if (record && !record->fileMovingUp(source, destination))
        return false;
    return moveToFreeName(source, destination) || moveOntoTakenName(source, folder, name, record);
}

void DeOrdalixExecute(FlattenWindow& window) {
    // No folder chosen yet: with a delimiter appended, the empty text would name the root of
    // the whole file system.
    if (g_running || window.TopFolder().isEmpty())
        return;
    if (systemfolders::IsSystemFolder(window.TopFolder())) {
        MsgDlg(systemfolders::RefusalText(window.TopFolder()), mtWarning);
        return;
    }
    const undo::RunLock lock(window.TopFolder());
    if (!lock.taken()) {
        MsgDlg(lock.refusal(), mtWarning);
        window.runNotStarted();
        return;
    }
    Run run(window);
    window.setStatusTag(0);
    StopRequested = false;
    int counted = 0;
    QStringList plan;
    // The window closed during the count or the walk: the program is ending, and nothing more
    // is asked, moved or shown.
    if (!surveyTree(window.TopFolder(), counted, plan))
        return;
    const QString question =
        QStringLiteral("Extraire les %1 fichiers contenus dans l'arborescence de :").arg(counted) +
        QStringLiteral("\r\n\r\n") + ExeNames::fileName(window.TopFolder());
    if (!ConfirmDlg(question, mtConfirmation, DetailsText(plan)) || ApplicationTerminated())
        return;
    window.setGaugeMaxValue(counted);
    window.setGaugeMinValue(0);
    window.setGaugeProgress(0);
    window.showGauge();
    ExtraireArborescence(window, window.TopFolder(), AllFilesMask);
    if (ApplicationTerminated())
        return;
    if (!g_recordFailure.isEmpty()) {
        if (g_notStarted) {
            MsgDlg(g_recordFailure + QStringLiteral("\r\n\r\nL'extraction n'a pas commencé : "
                                                    "rien n'a été changé."),
                   mtError);
            window.runNotStarted();
            return;
        }
        MsgDlg(g_recordFailure +
                   QStringLiteral("\r\n\r\nL'extraction s'arrête ici, avant l'étape suivante : "
                                  "%1 fichier(s) remonté(s) jusque-là. Ils peuvent être remis en "
                                  "place avec « Annuler le dernier rangement » (Ctrl+Z).")
                       .arg(window.StatusTag()),
               mtError);
        window.runNotStarted();
    } else {
        window.setGaugeProgress(window.gaugeMaxValue());
        InfoDlg(QStringLiteral("%1 fichiers présents ou déplacés dans %2\r\n\r\nVous pouvez "
                               "supprimer les dossiers vides si vous le désirez")
                    .arg(QString::number(window.StatusTag()), window.TopFolder()));
    }
    // Told rather than left unnoticed: those files are still below the top folder.
    if (g_notMoved > 0 || g_unreadFolders > 0 || g_linksLeft > 0) {
        QString text;
        if (g_linksLeft > 0)
            text += QStringLiteral("%1 lien(s) symbolique(s) laissé(s) dans leur dossier : "
                                   "déplacés, ils ne mèneraient plus au même endroit.\r\n")
                        .arg(g_linksLeft);
        if (g_notMoved > 0)
            text += QStringLiteral("%1 fichier(s) n'ont pas pu être déplacés : ils restent dans "
                                   "leur dossier.\r\n")
                        .arg(g_notMoved);
        if (g_unreadFolders > 0)
            text += QStringLiteral("%1 dossier(s) n'ont pas pu être lus : leurs fichiers restent "
                                   "en place.\r\n")
                        .arg(g_unreadFolders);
        MsgDlg(text + QStringLiteral("\r\n") + g_notMovedReason, mtWarning, DetailsText(g_left));
    }
    window.selectFirstTabs();
    window.updateFileList();
    window.clickExplore();
}

bool ExtraireArborescence(FlattenWindow& window, const QString& folder, const QString& mask) {
    StopRequested = false; // a key pressed during the count or the question is dropped
    g_notMoved = 0;
    g_unreadFolders = 0;
    g_linksLeft = 0;
    g_left.clear();
    g_notMovedReason.clear();
    g_recordFailure.clear();
    g_notStarted = false;
    HourGlass cursor;
    Walk walk(window, folder);
    if (!walk.record.open()) {
        g_recordFailure = walk.record.failure();
        g_notStarted = true;
        return false;
    }
    return ExtraireDossier(walk, mask);
}

bool ExtraireDossier(Walk& walk, const QString& mask) {
    QString& path = walk.path;
    const qsizetype length = path.size();
    const bool topFolder = length == walk.topLength;
    // Files arrive in the top folder: its date is noted before the first. A folder below gets
    // its date noted with the moves that take its files.
    if (topFolder && !walk.record.folderDated(path)) {
        g_recordFailure = walk.record.failure();
        return false;
    }
    // The folder is listed once, before anything moves: its files' moves are then written to
    // the record in one batch, and its sub-folders are walked afterwards. With a narrower mask,
    // the sub-folders are listed on their own.
    struct Entry {
        QString name;
        bool link;
    };
    QList<Entry> entries;
    QStringList subFolders;
    const bool oneListing = mask == AllFilesMask;
    {
        platform::FindHandle search;
        platform::FindData entry;
        bool found = search.findFirst(ordalix::toPlatformPath(path + mask), entry, false);
        if (!found && !platform::lastErrorIsNotFound()) {
            ++g_unreadFolders;
            g_notMovedReason = LastFileErrorText();
            leave(walk.window, path, QStringLiteral("dossier illisible : ") + g_notMovedReason);
        }
        for (; found; found = search.findNext(entry)) {
            QString name = ordalix::fromPlatformPath(entry.name);
            if (isWalkedFolder(entry)) {
                if (oneListing)
                    subFolders.append(name);
            } else if (isLink(entry)) {
                entries.append({std::move(name), true});
            } else if (isFileEntry(entry, path + name)) {
                entries.append({std::move(name), false});
            }
        }
    }
    const QString top = withDelimiter(walk.window.TopFolder());
    QList<undo::FileMove> moves;
    if (path != top) {
        for (const Entry& entry : std::as_const(entries)) {
            if (!entry.link)
                moves.append({path + entry.name, top + entry.name, {}});
        }
        if (!moves.isEmpty() && !walk.record.filesMovingUp(path, moves)) {
            // Not one of its moves can be noted down: none taken, and the walk ends here.
            g_recordFailure = walk.record.failure();
            return false;
        }
    }
    // The folder in hand, as the status line shows it.
    const QString shown =
        topFolder ? QString() : path.mid(walk.topLength, length - walk.topLength - 1);
    qsizetype nextMove = 0;
    for (const Entry& entry : std::as_const(entries)) {
        const QString& name = entry.name;
        path += name;
        if (entry.link) {
            if (!topFolder) {
                ++g_linksLeft;
                leave(walk.window, path, LinkLeftReason);
            }
            path.truncate(length);
            continue;
        }
        const int moved = walk.window.StatusTag();
        walk.setStatusLine(moved, shown, name);
        // The batch holds one move for each file but in the top folder. One it could not write
        // (its file gone or changed since the listing) is taken the single way, which tells
        // what became of it.
        const undo::FileMove* move = moves.isEmpty() ? nullptr : &moves[nextMove++];
        if ((move && !move->identity.isEmpty()) ? moveWritten(*move, top, name, walk.record)
                                                : MoveIntoFolder(path, top, name, &walk.record)) {
            walk.window.setStatusTag(moved + 1);
            walk.advanceGauge();
            walk.window.itemSorted(path, top);
        } else if (walk.record.failed()) {
            // Its step could not be noted down: not taken, and the walk ends here.
            g_recordFailure = walk.record.failure();
            path.truncate(length);
            return false;
        } else {
            ++g_notMoved;
            // Said as the plan says it when a folder of the top holds the name.
            const QFileInfo there(top + name);
            g_notMovedReason =
                there.isDir() && !there.isSymLink() ? FolderTakesNameReason : LastFileErrorText();
            leave(walk.window, path, g_notMovedReason);
        }
        path.truncate(length);
    }
    walk.showWhenDue();
    ProcessMessages();
    bool goOn = !StopRequested && !ApplicationTerminated();
    if (goOn && !oneListing) {
        platform::FindHandle search;
        platform::FindData entry;
        for (bool found =
                 search.findFirst(ordalix::toPlatformPath(path + AllFilesMask), entry, false);
             found; found = search.findNext(entry)) {
            if (isWalkedFolder(entry))
                subFolders.append(ordalix::fromPlatformPath(entry.name));
        }
    }
    for (const QString& name : std::as_const(subFolders)) {
        if (!goOn)
            break;
        path += name + PathDelim;
        goOn = ExtraireDossier(walk, mask);
        path.truncate(length);
    }
    return goOn;
}

} // namespace flatten
