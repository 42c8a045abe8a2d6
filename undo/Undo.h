// The undo of the last run: its record walked backwards, each item put back where it was.
#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "RunRecord.h"
#include "UndoWindow.h"

namespace undo {

// What an undo put back and what it had to leave, and why.
struct UndoReport {
    int restored = 0;      // items back where they were
    int changedCopies = 0; // sorted copies changed since the run: kept, their original too
    int namesTaken = 0;    // items whose old name is taken now: left where they are
    int goneFromTrash = 0; // originals no longer in the trash: their copy stays
    int missing = 0;       // items no longer where the run put them
    int failed = 0;        // items the system refused to move back
    QString failedReason;
    bool stopped = false;
    bool pending = false; // steps that failed, left in the record for the next undo
    // Each item left, and why, in the order the undo met them.
    struct Left {
        QString item;
        QString reason;
    };
    QList<Left> left;

    // "N éléments remis en place", then what was left and why.
    QString text() const;
    // Each item left, "laissé : PATH (why)", one line each: the box's details.
    QString leftText() const;
    bool complete() const; // everything put back
};

// The undo question's buttons: they say what they do ("Annuler" would read as the undo itself).
inline const QString UndoYes = QStringLiteral("Remettre en place");
inline const QString UndoNo = QStringLiteral("Ne rien faire");

// The items an undo of the record puts back: files sorted, folders moved, files moved up.
int ItemCount(const Record& record);

// The question shown before an undo: the kind of run, its root folder, its date, how many items.
QString UndoQuestion(const Record& record);

// Walks the record backwards and puts each item back; never removes anything that is not
// identical to something it just put back. Stops at the next step once StopRequested is set.
UndoReport UndoRecord(const Record& record, UndoWindow& window);

// The command: finds the last run, asks, undoes it and reports. The report, or nothing when
// there was no run to undo, the question was declined or the program is ending.
std::optional<UndoReport> UndoLastRunExecute(UndoWindow& window);
// The same for a record its caller has read already.
std::optional<UndoReport> UndoRunExecute(const Record& record, UndoWindow& window);

} // namespace undo
