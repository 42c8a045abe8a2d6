// The executable's own names, the application's message pump and cursor, and the file manager.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>

// Base name of the running executable, upper-cased (ASCII letters only).
QString ExeNameUpper();
// Folder of the running executable, ending with the delimiter; lower-cased only where file
// names ignore case, since elsewhere that would name another folder.
QString ExeFolder();
// Base name of the running executable, upper-cased when asked.
QString ExeName(bool upper);
// The executable's file name up to its first dot, all but the first character lower-cased.
QString ApplicationTitle();

namespace ExeNames {
// The rules behind the functions above, for any executable path.
QString fileName(const QString& path);
qsizetype extensionStart(const QString& path); // -1 when the name has no extension
QString baseName(const QString& path);
QString folder(const QString& path);
QString title(const QString& path);
QString asciiUpper(const QString& text);
QString asciiLower(const QString& text);
// Overrides the running executable's path (tests); an empty path restores it.
void setExecutablePathForTesting(const QString& path);
QString executablePath();
} // namespace ExeNames

// Handles the window messages waiting in the queue.
void ProcessMessages();
// The message pump of one long run, called between its items: the first call always handles
// the messages, later ones at most once every few milliseconds, so the window answers as fast
// as a person can tell without repainting for every item. Each run has its own clock: what
// another run did last has no say in when this one pumps.
class RunMessagePump {
public:
    // `beforePump`, when given, runs just before the messages are handled, and only then.
    void whenDue(const std::function<void()>& beforePump = {});

private:
    QElapsedTimer m_last;
};
// True once the application has been asked to end (its message loop will not go on).
bool ApplicationTerminated();
// Asks the application to end once the running handler returns to the message loop.
void TerminateApplication();
// Forgets an earlier request to end (tests build many windows in one process).
void ClearApplicationTerminatedForTesting();

enum TCursor { crDefault, crHourGlass };
// The screen cursor: crDefault clears every override, whatever was shown before.
void SetScreenCursor(TCursor cursor);

// Shows a folder in the desktop's file manager, without waiting for it.
bool ShellOpenFolder(const QString& folder);
