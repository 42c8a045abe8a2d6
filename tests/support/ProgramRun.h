// The program itself, started as scripts start it: without a display, with a trash and run
// records of the test's own; and the trees it leaves, told entry by entry.
#pragma once

#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace ProgramRun {

struct Result {
    int status = -1; // the exit status; -1 when it was killed, crashed or ran out of time
    int signal = 0;  // what killed it, when something did
    bool timedOut = false;
    QString out;
    QString err;
    qint64 elapsedMs = 0;
};

// Copies the built program into `folder` under the tests' name for it (a name no test path
// holds by chance: the program leaves alone the files that hold its name). Its path, or empty.
QString install(const QString& built, const QString& folder);
// A server's environment: no display of any kind and no platform chosen for the toolkit; the
// trash below `data` (under Wine; Windows itself has one recycle bin), the run records below
// `state`.
QProcessEnvironment environment(const QString& data, const QString& state);
// Starts the program, feeds it `input` and waits for its end; killed after `timeoutMs`.
Result run(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& environment, const QString& workingDirectory = {},
           const QString& input = {}, int timeoutMs = 300000);

// Every entry below a folder: "path" for a file or a link, "path/" for a folder.
QStringList entriesOf(const QString& root);
// Every entry with its time stamp and its content's hash (a link: its own time stamp and where
// it leads, never followed): two equal states are the same tree, byte for byte.
QMap<QString, QString> stateOf(const QString& root);

} // namespace ProgramRun
