// The flatten command: every file of a folder tree moved up into its top folder.
#pragma once

#include <QString>

#include "FlattenWindow.h"
#include "RunRecord.h"

namespace flatten {

// The mask every folder's files are listed with: every name.
inline const QString AllFilesMask = QStringLiteral("*.*");

// The action DeOrdalix: counts the tree below the top folder, asks, walks it, reports.
// Does nothing while a flatten is already walking.
void DeOrdalixExecute(FlattenWindow& window);

// The plan shown under the question: every file below the top folder that the walk is expected
// to move up, in the walk's order, marked where it will replace a file of the same name.
QStringList FlattenPlan(const QString& topFolder);

// True while a flatten command counts, asks or walks.
bool Running();

// The walk below `folder`, under the hourglass cursor. False when it was stopped.
bool ExtraireArborescence(FlattenWindow& window, const QString& folder, const QString& mask);

class Walk; // one walk's state: its window, its path, what it shows

// One folder of the walk: moves the files of `walk.path` (ending with the delimiter) into the
// top folder, then walks its sub-folders. That path is the one string of the whole walk: it is
// extended before each descent and cut back after it. False when a stop was requested.
bool ExtraireDossier(Walk& walk, const QString& mask);

// Moves `source` to `folder` (ending with the delimiter) followed by `name`. A different file
// already there goes to the trash first; when it cannot, nothing moves and nothing is replaced.
// A file onto its own path, or onto another name of itself, stays where it is. True when the
// file is now there.
// The record, when given, gets the move and any file replaced.
bool MoveIntoFolder(const QString& source, const QString& folder, const QString& name,
                    undo::RunRecord* record = nullptr);

} // namespace flatten
