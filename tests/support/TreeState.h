// What a tree of numbered files holds, for the tests that check that no file was lost or cut:
// each file's content is unique, so its hash names it wherever it ends up.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace TreeState {

// Writes `count` files named by `pattern` (an %1 for the number) below `root`, each with
// content of its own of `size` bytes.
bool writeNumbered(const QString& root, const QString& pattern, int count, int size = 512);
// Hash of every regular file below these folders (links not followed), by path.
QHash<QString, QByteArray> hashes(const QStringList& folders);
// The originals (their hashes) found nowhere among `now`.
QSet<QByteArray> missing(const QSet<QByteArray>& originals, const QHash<QString, QByteArray>& now);
// Visible files (no dot name anywhere in their path below `root`) whose content is no original
// and which are not INI files of the program: half-written or foreign files.
QStringList strangers(const QString& root, const QSet<QByteArray>& originals,
                      const QHash<QString, QByteArray>& now);
// The settings and journal files below a folder.
QStringList iniFiles(const QString& folder);
// Lines of an INI file that are neither empty, a comment, a [section] nor a key=value.
QStringList badIniLines(const QString& file);

} // namespace TreeState
