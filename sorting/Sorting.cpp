#include "Sorting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include "CaptureDate.h"
#include "Journal.h"
#include "RunLock.h"
#include "RunRecord.h"
#include "StopRequest.h"
#include "SystemFolders.h"
#include "TrashLane.h"
#include "outil32_DIR.h"
#include "outil32_Dialogs.h"
#include "outil32_FILE.h"
#include "outil32_STR.h"
#include "outil32_WIN.h"
#include "platform_convert.h"

namespace sorting {

namespace {

using ordalix::PathDelim;
const QString kDelim = QString(PathDelim);

QString withDelimiter(const QString& folder) {
    return folder.endsWith(PathDelim) ? folder : folder + PathDelim;
}

QString lastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(PathDelim) + 1);
}

// The run-start step on construction, the run-end step on every way out.
class Run {
public:
    explicit Run(SortWindow& window) : m_window(window) {
        if (m_window.Button1Caption() == RunningCaption) {
            // "STOP!" clicked: this second run stops at its first stop test, and so does the first.
            StopRequested = true;
            m_window.setButton1Caption(IdleCaption);
        } else {
            m_window.setButton1Caption(RunningCaption);
            StopRequested = false;
        }
    }
    ~Run() {
        m_window.hideGauge();
        m_window.setButton1Caption(IdleCaption);
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

private:
    SortWindow& m_window;
};

const QString& ChangedReason = ChangedWhileSorted;
const QString BeingWrittenReason =
    QStringLiteral("en cours d'écriture par un autre programme : il sera rangé la prochaine fois");

// What became of one copy.
struct Copied {
    bool done = false;
    bool stopped = false; // a stop came during the copy of a large file: it was given up
    QString reason;       // why not, when not
    FileSnapshot source;  // the original as copied
    FileSnapshot copy;    // the copy as made: only that may be removed without the trash
};

// Copies a file to its target. The copy is written whole beside the target before anything
// else: only then does a different file holding the name go to the trash, and the copy take
// the name (never replacing). It only counts when the source is not being written and did not
// change meanwhile; otherwise the source stays where it is and the copy, never named, goes.
Copied copyIntoPlace(const QString& source, const QString& target, undo::RunRecord& record,
                     const std::function<void()>& beforeFollowingLink,
                     const SourceFile::CopyProgress& progress) {
    Copied result;
    // A file another program still has open for writing would be copied half-written, and the
    // writer would go on writing into the original in the trash: it stays where it is.
    SourceFile file(source, beforeFollowingLink);
    if (file.beingWritten()) {
        result.reason = BeingWrittenReason;
        return result;
    }
    const FileSnapshot& before = file.snapshot();
    bool stopped = false;
    const bool copied = file.copyBeside(target, [&](qint64 done, qint64 total) {
        stopped = !progress(done, total);
        return !stopped;
    });
    if (!copied) {
        result.stopped = stopped;
        result.reason = LastFileErrorText();
        return result;
    }
    if (!SnapshotFile(source).unchangedSince(before)) {
        result.reason = ChangedReason;
        return result;
    }
    const FileSnapshot existing = SnapshotFile(target);
    if (existing.exists && existing.sameFileAs(before)) {
        result.reason = QStringLiteral("le fichier est déjà à cette place");
        return result;
    }
    if (existing.exists && existing.directory) {
        result.reason = QStringLiteral("un dossier porte son nom dans ") + target;
        return result;
    }
    if (existing.exists && !RecycleFile(target, [&](const TrashedItem& at) {
            return record.targetReplaced(target, at);
        })) {
        result.reason = LastFileErrorText();
        return result;
    }
    if (!record.copying(source, target) || !file.publishCopy()) {
        result.reason = record.failed() ? record.failure() : LastFileErrorText();
        return result;
    }
    result.done = true;
    result.source = before;
    result.copy = file.copySnapshot();
    return result;
}

// Items a run could not take out of the root folder, told to the user once, at the run's end,
// rather than left unnoticed: the original of a copied file that the trash refused stays in the
// root folder beside its copy, and a folder that could not be moved stays where it was.
class LeftBehind {
public:
    explicit LeftBehind(QString text) : m_text(std::move(text)) {}
    void add(const QString& reason = LastFileErrorText()) {
        ++m_count;
        m_reason = reason;
    }
    void report() const {
        if (m_count > 0)
            MsgDlg(m_text.arg(m_count) +
                       (m_reason.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + m_reason),
                   mtWarning);
    }

private:
    QString m_text;
    int m_count = 0;
    QString m_reason;
};

const QString UnreadableNameReason =
    QStringLiteral("nom illisible (codage non valide), ou disparu pendant le rangement");
const QString UnreadableDateReason = QStringLiteral("date illisible");
const QString FolderLinkReason = QStringLiteral("lien symbolique vers un dossier");
const QString NotInRootReason = QStringLiteral("ce n'est pas un sous-dossier du dossier racine");

// At most 15 names, then "...".
void shorten(QStringList& names) {
    if (names.size() > 15) {
        names.erase(names.begin() + 15, names.end());
        names.append(QStringLiteral("..."));
    }
}

// The text of a list of lines, each followed by a line break.
QString linesText(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

// Capture dates only matter to the date criteria: by first character, nothing is read.
bool usesCaptureDate(const SortRequest& request) {
    return request.CaptureDate() && !request.ByLetter();
}

} // namespace

QStringList SortPlan(const SortWindow& window) {
    QStringList lines;
    const QString arrow = QStringLiteral(" → ");
    if (window.innerTabIndex() == 0) {
        const QString program = ExeNameUpper();
        const QString root = window.RootFolder();
        const int count = window.fileCount();
        lines.reserve(count);
        for (int i = count - 1; i >= 0; --i) {
            const QString full = window.fileItem(i);
            const QString name = lastComponent(full);
            if (full.contains(program, Qt::CaseInsensitive)) {
                lines.append(name + QStringLiteral(" (ignoré : porte le nom du programme)"));
                continue;
            }
            photodate::Capture capture;
            const DateComponents date =
                DateComponentsOf(photodate::SortStamp(full, usesCaptureDate(window), &capture));
            QString relative;
            if (date.Year < 1900)
                lines.append(name + QStringLiteral(" (laissé : date illisible)"));
            else if (FileRelativeDestination(window, name, date, relative)) {
                // A different file already there goes to the trash: the plan says so.
                const QString there = relative + PathDelim + name;
                const FileSnapshot existing = SnapshotFile(withDelimiter(root) + there);
                if (existing.exists && existing.directory) {
                    lines.append(name + QStringLiteral(" (laissé : un dossier porte son nom dans "
                                                       "%1)")
                                            .arg(relative));
                    continue;
                }
                const bool replaces = existing.exists && !existing.directory &&
                                      !existing.sameFileAs(SnapshotFile(full));
                lines.append(name + arrow + relative +
                             (capture.found
                                  ? (capture.fromName ? QStringLiteral(" (date du nom : %1)")
                                                      : QStringLiteral(" (prise de vue : %1)"))
                                        .arg(capture.shown)
                                  : QString()) +
                             (replaces ? QStringLiteral(" (remplace %1)").arg(there) : QString()));
            }
        }
        return lines;
    }
    const QString root = withDelimiter(window.RootFolder());
    for (int i = window.folderCount() - 1; i > window.folderItemIndex(); --i) {
        const QString full = window.folderItem(i);
        const QString name = lastComponent(full);
        if (SkipFolderName(name)) {
            lines.append(name + QStringLiteral(" (laissé : déjà un nom de rangement)"));
            continue;
        }
        if (QFileInfo(full).isSymLink()) {
            lines.append(name + QStringLiteral(" (laissé : %1)").arg(FolderLinkReason));
            continue;
        }
        const DateComponents date = DateComponentsOf(FileTimeStamp(full));
        QString destination;
        if (date.Year < 1900)
            lines.append(name + QStringLiteral(" (laissé : date illisible)"));
        else if (FolderDestination(window, name, date, destination))
            lines.append(name + arrow + QDir::cleanPath(destination.mid(root.size())));
    }
    return lines;
}

bool RefuseSystemFolder(SortWindow& window) {
    const QString root = window.RootFolder();
    if (!systemfolders::IsSystemFolder(root))
        return false;
    const QString reason = systemfolders::RefusalText(root);
    window.showRefusal(reason);
    // An unattended run shows no box: the window says why.
    if (!window.AutoMode())
        MsgDlg(reason, mtWarning);
    return true;
}

bool RefuseToStart(SortWindow& window, const undo::RunLock& lock, undo::RunRecord& record) {
    QString reason;
    if (!lock.taken())
        reason = lock.refusal();
    else if (!record.open() || !record.folderDated(window.RootFolder()))
        reason = record.failure() +
                 QStringLiteral("\r\n\r\nLe rangement n'a pas commencé : rien n'a été changé.");
    if (reason.isEmpty())
        return false;
    TellNotDone(window, reason, mtWarning);
    return true;
}

void TellNotDone(SortWindow& window, const QString& reason, TMsgDlgType type) {
    window.showNotStarted(reason);
    if (!window.AutoMode())
        MsgDlg(reason, type);
}

QString RecordFailureText(const undo::RunRecord& record, int done) {
    return record.failure() +
           QStringLiteral("\r\n\r\nLe rangement s'arrête ici, avant l'étape suivante : %1 "
                          "élément(s) rangé(s) jusque-là. Ils peuvent être remis en place avec "
                          "« Annuler le dernier rangement » (Ctrl+Z).")
               .arg(done);
}

DateComponents DateComponentsOf(const DateTimeValue& stamp) {
    const QDate date = stamp.date();
    return {date.year(), QString::asprintf("%02d", date.month()),
            QString::asprintf("%02d", date.day())};
}

QString FirstCharacter(const QString& name) {
    if (name.isEmpty())
        return {};
    return name.left(name.at(0).isHighSurrogate() && name.size() > 1 ? 2 : 1);
}

bool FileRelativeDestination(const SortRequest& request, const QString& name,
                             const DateComponents& date, QString& relative) {
    if (request.ByLetter()) {
        relative = FirstCharacter(name);
        return true;
    }
    const bool year = request.ByYear();
    const bool month = request.ByMonth();
    const bool day = request.ByDay();
    if (year && !month)
        relative = day ? QString() : QString::number(date.Year);
    else if (year)
        relative = QString::number(date.Year) + kDelim + date.Month +
                   (day ? kDelim + date.Day : QString());
    else if (month)
        relative = date.Month + (day ? kDelim + date.Day : QString());
    else
        relative = day ? date.Day : QString();
    return !relative.isEmpty();
}

bool FolderDestination(const SortRequest& request, const QString& name, const DateComponents& date,
                       QString& destination) {
    const QString root = withDelimiter(request.RootFolder());
    if (request.ByLetter()) {
        destination = root + FirstCharacter(name) + kDelim;
        return true;
    }
    QString relative;
    if (!FileRelativeDestination(request, name, date, relative))
        return false;
    destination = root + relative;
    return true;
}

bool SkipFolderName(const QString& name) {
    return name.size() == 1 || IsNumeric(name);
}

QString SortQuestion(const SortWindow& window, int count) {
    QString words;
    if (window.ByLetter()) {
        words = QStringLiteral("ALPHA");
    } else {
        if (window.ByYear())
            words = QStringLiteral("ANNEE ");
        if (window.ByMonth())
            words += QStringLiteral("MOIS ");
        if (window.ByDay())
            words += QStringLiteral("JOUR");
    }
    if (words.isEmpty())
        return {};
    const QString note =
        window.AutoClose() ? QStringLiteral("Fermeture automatique activée") : QString();
    const QString tab =
        window.innerTabIndex() == 0 ? QStringLiteral("Fichiers") : QStringLiteral("Dossiers");
    const QString summary = QStringLiteral("Voulez-vous ranger par ") + words +
                            QStringLiteral("\r\n\r\n les ") + QString::number(count) +
                            QStringLiteral(" \"") + tab +
                            QStringLiteral("\" présents dans le dossier ") + window.RootFolder() +
                            QStringLiteral("\r\n\r\n") + note;
    return QStringLiteral("RANGEMENT des ") + tab.toUpper() + QStringLiteral("\r\n\r\n") + summary;
}

namespace {

QString sizeText(qint64 bytes) {
    const QLocale french(QLocale::French, QLocale::France);
    if (bytes >= (qint64(1) << 30))
        return french.toString(double(bytes) / double(qint64(1) << 30), 'f', 1) +
               QStringLiteral(" Go");
    return french.toString(double(bytes) / double(1 << 20), 'f', 1) + QStringLiteral(" Mo");
}

} // namespace

QString CopyProgressText(const QString& item, qint64 done, qint64 total) {
    const int percent = total > 0 ? int(100 * done / total) : 0;
    return QStringLiteral("Copie de %1 : %2 sur %3 (%4 %)")
        .arg(item, sizeText(done), sizeText(total))
        .arg(percent);
}

void OrdalixExecute(SortWindow& window) {
    window.stopTimer();
    if (RefuseSystemFolder(window))
        return;
    const bool files = window.innerTabIndex() == 0;
    const int count =
        files ? window.fileCount() : window.folderCount() - window.folderItemIndex() - 1;
    const QString question = SortQuestion(window, count);
    if (question.isEmpty()) {
        ShowMessage(QStringLiteral("Vous n'avez pas défini de critères de tri !"));
        return;
    }
    if (!window.AutoMode() && window.Warnings() &&
        !ConfirmDlg(question, mtConfirmation, DetailsText(SortPlan(window))))
        return;
    if (window.innerTabIndex() == 0)
        RangerFichiers(window);
    else if (window.innerTabIndex() == 1)
        RangerDossiers(window);
    if (window.AutoClose()) {
        window.executeIniSave();
        TerminateApplication();
    }
}

void RangerFichiers(SortWindow& window) {
    if (RefuseSystemFolder(window))
        return;
    const undo::RunLock lock(window.RootFolder());
    undo::RunRecord record(undo::RunKind::Files, window.RootFolder());
    if (RefuseToStart(window, lock, record))
        return;
    Run run(window);
    journal::FileMoveLog log;
    // The records kept back are written at least four times a second, and before a message box, a
    // stop or the end, so that whatever the user sees next finds them on disk.
    RunMessagePump pump;
    window.setPanelText(0, QStringLiteral("Patientez ..."));
    ProcessMessages();
    window.updateFileList();
    const int count = window.fileCount();
    window.setGaugeMinValue(0);
    window.setGaugeMaxValue(count);
    window.showGauge();

    const QString program = ExeNameUpper();
    int ignored = 0;
    LeftBehind notTrashed(QStringLiteral(
        "%1 fichier(s) copié(s) sans pouvoir être mis à la corbeille : l'original reste aussi "
        "dans le dossier racine."));
    LeftBehind unreadable(QStringLiteral(
        "%1 fichier(s) laissé(s) à leur place : leur nom n'a pas pu être lu (codage non valide) "
        "ou ils ont disparu pendant le rangement."));
    LeftBehind changed(QStringLiteral(
        "%1 fichier(s) modifié(s) pendant le rangement : laissé(s) à leur place, ils seront "
        "rangés la prochaine fois."));
    const auto reportLeft = [&] {
        notTrashed.report();
        unreadable.report();
        changed.report();
    };
    // The status bar tells of the last file sorted; nothing shows it between two pumps, so its
    // texts are made only before a pump, a message box or the run's end.
    int sorted = 0;
    QString lastRelative;
    bool progressShown = true;
    const auto showProgress = [&] {
        if (progressShown)
            return;
        progressShown = true;
        window.setPanelText(
            0, QString::asprintf("%d fichiers rangés, %d fichiers ignorés", sorted, ignored));
        window.setPanelText(1, QStringLiteral("=> Dossier = ") + lastRelative + PathDelim);
    };
    // The originals go to the trash beside the copies; what became of them is told here, on
    // the run's own thread, in their order.
    TrashLane lane([&record](const QString& original, const TrashedItem& at) {
        return record.originalTrashed(original, at);
    });
    const auto tellTrashed = [&] {
        for (const TrashLane::Outcome& done : lane.takeOutcomes()) {
            if (done.trashed) {
                window.itemSorted(done.original, done.destination);
                continue;
            }
            if (done.changed) {
                changed.add({});
                window.itemLeft(done.original, done.reason);
                continue;
            }
            notTrashed.add(done.reason);
            window.itemLeft(done.original,
                            QStringLiteral("copié dans ") + done.destination +
                                QStringLiteral(", mais l'original n'a pas pu aller à la "
                                               "corbeille : ") +
                                done.reason);
        }
    };
    // Whatever the window shows or asks next finds every original handed over already tried.
    const auto caughtUp = [&] {
        lane.finish();
        tellTrashed();
    };
    const auto beforePump = [&] {
        caughtUp();
        log.flush();
        showProgress();
    };
    const auto beforeRegularPump = [&] {
        caughtUp();
        log.flushWhenDue();
        showProgress();
    };
    // A step whose line is not in the record is never taken: the run ends there, as a stop.
    const auto stopOnRecordFailure = [&] {
        beforePump();
        TellNotDone(window, RecordFailureText(record, sorted), mtError);
        reportLeft();
    };
    for (int i = count - 1; i >= 0; --i) {
        window.selectFile(i);
        window.setGaugeProgress(count - i);
        const QString full = window.selectedFileName();
        if (full.contains(program, Qt::CaseInsensitive)) {
            ++ignored;
            continue;
        }
        // A capture date is read through a link, which may lead to an original still on its way.
        if (usesCaptureDate(window) && QFileInfo(full).isSymLink())
            caughtUp();
        const DateComponents date =
            DateComponentsOf(photodate::SortStamp(full, usesCaptureDate(window)));
        if (date.Year < 1900) {
            caughtUp(); // the items left are told in the run's order
            // A file listed but not found by its name: one the run cannot handle, told.
            if (!IsFile(full)) {
                unreadable.add();
                window.itemLeft(full, UnreadableNameReason);
            } else {
                window.itemLeft(full, UnreadableDateReason);
            }
            continue;
        }
        const QString name = lastComponent(full);
        QString relative;
        if (!FileRelativeDestination(window, name, date, relative)) {
            beforePump();
            MsgDlg(NoDestinationWarning, mtWarning);
            reportLeft();
            return;
        }
        const QString root = window.RootFolder();
        const QString destination = withDelimiter(root) + relative;
        // The run behaves as if each original had gone before the next file: a folder to make
        // may take the name of one still on its way, and a link may lead to one.
        QStringList made;
        record.createFolder(destination, caughtUp, &made);
        if (record.failed()) {
            stopOnRecordFailure();
            return;
        }
        const QString target = destination + PathDelim + name;
        // A large file is copied in pieces with the window's messages handled between them:
        // the gauge and the status bar follow it, and a stop gives it up at once.
        const auto copying = [&](qint64 done, qint64 total) {
            window.fileCopyProgress(name, done, total);
            pump.whenDue(beforeRegularPump);
            return !StopRequested;
        };
        const Copied copied = copyIntoPlace(full, target, record, caughtUp, copying);
        if (record.failed()) {
            stopOnRecordFailure();
            return;
        }
        if (!copied.done) {
            beforePump(); // a message box handles messages too
            // A folder made for this file alone does not stay behind, empty.
            for (auto level = made.crbegin(); level != made.crend(); ++level)
                QDir().rmdir(*level);
            if (copied.stopped) {
                // The copy given up is gone with its file; the original never moved.
                InfoDlg(QStringLiteral("Interruption utilisateur"));
                window.setPanelText(0, QString::asprintf("%d fichiers restants", i + 1));
                reportLeft();
                return;
            }
            if (copied.reason == ChangedReason) {
                changed.add({});
                window.itemLeft(full, ChangedReason);
                continue;
            }
            window.itemLeft(full, copied.reason == BeingWrittenReason
                                      ? BeingWrittenReason
                                      : QStringLiteral("échec de la copie dans %1 : %2")
                                            .arg(destination, copied.reason));
            ShowMessage(QStringLiteral("#740: Echec copie\r\n\r\n") + name +
                        QStringLiteral("\r\n\r\nDans \r\n\r\n") + destination);
            continue;
        }
        if (window.Journal())
            log.add(root, name, destination);
        lane.send(full, destination, target, copied.source, copied.copy);
        tellTrashed();
        sorted = count - i - ignored;
        lastRelative = relative;
        progressShown = false;
        pump.whenDue(beforeRegularPump);
        if (record.failed()) {
            stopOnRecordFailure();
            return;
        }
        if (StopRequested) {
            beforePump();
            InfoDlg(QStringLiteral("Interruption utilisateur"));
            window.setPanelText(0, QString::asprintf("%d fichiers restants", i));
            reportLeft();
            return;
        }
    }
    beforePump();
    if (record.failed()) {
        stopOnRecordFailure();
        return;
    }
    if (!window.AutoMode() && window.Warnings())
        InfoDlg(QString::asprintf("%d fichiers rangés %d fichiers ignorés",
                                  window.fileCount() - ignored, ignored));
    reportLeft();
    window.updateFileList();
    if (!window.AutoMode())
        window.openRootFolder();
}

void RangerDossiers(SortWindow& window) {
    if (RefuseSystemFolder(window))
        return;
    const undo::RunLock lock(window.RootFolder());
    undo::RunRecord record(undo::RunKind::Folders, window.RootFolder());
    if (RefuseToStart(window, lock, record))
        return;
    RunMessagePump pump;
    QStringList listRange;
    QStringList listIgnore;
    Run run(window);
    window.setPanelText(0, QStringLiteral("Patientez ..."));
    ProcessMessages();
    window.updateFolderList();
    const int count = window.folderCount();
    window.setGaugeMinValue(0);
    window.setGaugeMaxValue(count);
    window.showGauge();

    const int selected = window.folderItemIndex();
    int moved = 0;
    int ignored = 0;
    LeftBehind notMoved(QStringLiteral(
        "%1 dossier(s) n'ont pas pu être déplacés : ils restent dans le dossier racine."));
    // Only the root's own sub-folders move: a list that shows another folder moves nothing.
    const QString root = withDelimiter(window.RootFolder());
    const auto inRoot = [&](const QString& path) {
        return path.size() > root.size() && path.startsWith(root, ordalix::FileNameCase) &&
               !path.mid(root.size()).contains(PathDelim);
    };
    for (int i = count - 1; i > selected; --i) {
        window.setGaugeProgress(count - i);
        const QString full = window.folderItem(i);
        const QString name = lastComponent(full);
        if (!inRoot(full)) {
            notMoved.add();
            window.itemLeft(full, NotInRootReason);
            continue;
        }
        if (SkipFolderName(name)) {
            listIgnore.append(name);
            ++ignored;
            continue;
        }
        // A link to a folder stays: moved, a relative one would lead elsewhere.
        if (QFileInfo(full).isSymLink()) {
            listIgnore.append(name);
            ++ignored;
            window.itemIgnored(full, FolderLinkReason);
            continue;
        }
        const DateComponents date = DateComponentsOf(FileTimeStamp(full));
        if (date.Year < 1900) {
            if (!IsFolder(full)) {
                notMoved.add(); // listed, but not found by its name
                window.itemLeft(full, UnreadableNameReason);
            } else {
                window.itemLeft(full, UnreadableDateReason);
            }
            continue;
        }
        QString destination;
        if (!FolderDestination(window, name, date, destination)) {
            MsgDlg(NoDestinationWarning, mtWarning);
            notMoved.report();
            return;
        }
        if ((!record.createFolder(destination) && record.failed()) ||
            !record.folderMoving(full, destination + PathDelim + name)) {
            TellNotDone(window, RecordFailureText(record, moved), mtError);
            notMoved.report();
            return;
        }
        if (ShellMove(full, destination + PathDelim + name)) {
            listRange.append(name);
            ++moved;
            window.itemSorted(full, destination);
        } else {
            notMoved.add();
            window.itemLeft(full, LastFileErrorText());
        }
        if (window.Journal())
            journal::LogFolderMove(window.RootFolder(), name, destination);
        window.setPanelText(
            0, QString::asprintf("%d dossiers rangés, %d dossiers ignorés", moved, ignored));
        pump.whenDue();
        if (StopRequested) {
            InfoDlg(QStringLiteral("Interruption utilisateur"));
            window.setPanelText(0, QString::asprintf("%d fichiers restants", i - selected - 1));
            notMoved.report();
            return;
        }
    }
    if (!window.AutoMode() && window.Warnings()) {
        try {
            shorten(listRange);
        } catch (const std::exception& error) {
            ShowMessage(QStringLiteral("UNIT1 : 1010 : RangerDossiers : List_Range\r\n") +
                        QString::fromLocal8Bit(error.what()));
        }
        try {
            shorten(listIgnore);
            // The names are shown as they are, never read as a format.
            InfoDlg(QString::asprintf("%d dossiers rangés\r\n\r\n", moved) + linesText(listRange) +
                    QStringLiteral("\r\n\r\n") + QString::asprintf("%d dossiers ignorés", ignored) +
                    QStringLiteral("\r\n\r\n") + linesText(listIgnore));
        } catch (const std::exception& error) {
            ShowMessage(QStringLiteral("UNIT1 : 1021 : RangerDossiers :  List_Ignore\r\n") +
                        QString::fromLocal8Bit(error.what()));
        }
    }
    notMoved.report();
    window.updateFolderList();
    if (!window.AutoMode())
        window.openRootFolder();
}

} // namespace sorting
