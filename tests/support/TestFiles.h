// Small file fixtures for the tests.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace TestFiles {

// Writes a file (and its missing folders); fails the test on error.
bool write(const QString& path, const QByteArray& content = "x");
QByteArray read(const QString& path);
// Sets the last-write time of a file or folder (a link itself is not followed).
bool setModified(const QString& path, const QDateTime& time, long nanoseconds = 0);
// A path of the trash the tests use, below XDG_DATA_HOME.
QString trashFolder();
// Names of the entries of a folder, hidden ones included, sorted.
QStringList entries(const QString& folder);
// True when a command runs (used to skip tests that need a tool or a privilege).
int run(const QString& program, const QStringList& arguments);

} // namespace TestFiles
