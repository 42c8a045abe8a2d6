// Runs the one-operation driver in a process of its own, optionally wrapped (another user,
// injected faults) or killed midway.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace Driver {

struct Result {
    bool normalExit = false; // ended by itself, not killed nor crashed
    int exitCode = -1;
    QString output; // standard output and error
    qint64 elapsedMs = 0;
};

QString path();
// The test environment, headless, with the trash under `data`.
QProcessEnvironment environment(const QString& data);
// Runs the driver with these arguments; `wrapper` (a program and its arguments) goes before it.
// Killed with SIGKILL after `killAfterMs` when that is not negative.
Result run(const QStringList& arguments, const QProcessEnvironment& environment,
           int killAfterMs = -1, const QStringList& wrapper = {});

} // namespace Driver
