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
// The trash the tests' runs use: below XDG_DATA_HOME; on Windows the recycle bin's folder
// where the test run says it is (ORDALIX_TEST_TRASH: Wine keeps it as a freedesktop trash),
// empty when it is not known.
QString trashFolder();
// Whether a trash info file (its bytes) tells that its item came from `original`.
bool trashInfoNames(const QByteArray& info, const QString& original);
// What a child process gets as XDG_DATA_HOME for its trash to be `folder`/Trash: the folder
// itself; under Wine its Unix path (Wine's recycle bin is a freedesktop trash and takes its
// place from there); empty on Windows, whose recycle bin has no such place.
QString dataHomeFor(const QString& folder);
// Whether this Windows program runs under Wine, which lacks a few of Windows' services.
bool underWine();
// The contents of the items of trashFolder() that came from `original`.
QList<QByteArray> trashedContents(const QString& original);
// The path in the system's form, as the program shows and records it.
QString native(const QString& path);
// Hides a file or folder: on Windows by its attribute (a leading dot hides nothing there);
// elsewhere its name, which must start with a dot.
bool hide(const QString& path);
// A symbolic link; false where none can be made (Windows asks for a privilege, and Wine 8
// says it made one and did not).
bool link(const QString& target, const QString& link);
// Names of the entries of a folder, hidden ones included, sorted.
QStringList entries(const QString& folder);
// True when a command runs (used to skip tests that need a tool or a privilege).
int run(const QString& program, const QStringList& arguments);

} // namespace TestFiles

// Windows' recycle bin does not yet say where it put an item, so that a run made there cannot be
// undone: the tests of the undo stop there.
#ifdef _WIN32
#define SKIP_UNDO_ON_WINDOWS()                                                                     \
    QSKIP("the recycle bin does not yet say where it put an item: no undo on Windows")
#else
#define SKIP_UNDO_ON_WINDOWS()
#endif
