// The sort command, the destination rules and the two sorting runs.
#pragma once

#include <QString>

#include "SortWindow.h"
#include "outil32_Dialogs.h"
#include "outil32_math.h"

namespace sorting {

inline const QString RunningCaption = QStringLiteral("STOP!");

// How far the copy of a large file has come, as the status bar and the command show it:
// "Copie de video.mp4 : 1,2 Go sur 4,0 Go (30 %)".
QString CopyProgressText(const QString& item, qint64 done, qint64 total);
inline const QString IdleCaption = QStringLiteral("Ranger tout!");
inline const QString NoDestinationWarning =
    QStringLiteral("Vous avez défini des critères de rangements qui ne semblent pas avoir été "
                   "prévus par le  programme");

// Year, two-digit month and two-digit day of an item's local last-write time.
struct DateComponents {
    int Year = 0;
    QString Month;
    QString Day;
};
DateComponents DateComponentsOf(const DateTimeValue& stamp);

// The first character of a name, a surrogate pair kept whole.
QString FirstCharacter(const QString& name);

// The file run's folder below the root folder; false when the criteria lead nowhere.
bool FileRelativeDestination(const SortRequest& request, const QString& name,
                             const DateComponents& date, QString& relative);
// The folder run's destination folder (absolute); false when the criteria lead nowhere.
bool FolderDestination(const SortRequest& request, const QString& name, const DateComponents& date,
                       QString& destination);
// Folders named like the ones the runs create are left alone.
bool SkipFolderName(const QString& name);

// The question the sort command asks, or an empty text when no criterion is on.
QString SortQuestion(const SortWindow& window, int count);

// The plan shown under the question: one line per item the run is expected to handle, in the
// order it handles them ("nom → dossier", or why the item stays), computed with the run's own
// rules. A forecast: the run still reads the criteria at each step.
QStringList SortPlan(const SortWindow& window);

// Refuses a run on a system folder: the window says why, and so does a message box unless the
// run is unattended. True when refused; nothing has been touched then.
bool RefuseSystemFolder(SortWindow& window);

} // namespace sorting

namespace undo {
class RunLock;
class RunRecord;
} // namespace undo

namespace sorting {

// Refuses a run that cannot start: another run holds its folder (the lock was not taken), or
// its record cannot be made. The window says why, and a box does unless the run is unattended.
// True when refused; nothing has been touched then.
bool RefuseToStart(SortWindow& window, const undo::RunLock& lock, undo::RunRecord& record);
// Says why a run did not start or did not finish: the window (or the command) always, a box too
// unless the run is unattended.
void TellNotDone(SortWindow& window, const QString& reason, TMsgDlgType type);
// What a run says when a line of its record could not be written: it stopped there, and what
// it did can be taken back.
QString RecordFailureText(const undo::RunRecord& record, int done);

void OrdalixExecute(SortWindow& window);
void RangerFichiers(SortWindow& window);
void RangerDossiers(SortWindow& window);

} // namespace sorting
