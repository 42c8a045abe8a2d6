// Runs that change one folder exclude each other, whichever program started them.
#pragma once

#include <QList>
#include <QString>

namespace undo {

// How long a run waits for another one to end before it gives up.
inline constexpr int RunLockWaitMs = 2000;

// Takes a folder for one run (a sort, a flatten, an undo), across processes: the folder itself
// for this run alone, and every folder above it shared, so that a run in a folder and a run on a
// tree that holds it exclude each other while runs side by side do not. The lock is the folder's
// own (its identity, not its name): a run by another path or through a link meets it too.
// Within one process a folder already taken is taken again: the window's runs nest by design
// (a second click on STOP! runs the command again, which stops the first).
class RunLock {
public:
    explicit RunLock(const QString& folder, int waitMs = RunLockWaitMs);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    bool taken() const { return m_taken; }
    // Why not, in French, naming the folder.
    QString refusal() const;

private:
    void release();

    QString m_folder;
    QList<QString> m_held; // identities this lock counts in the process's table
    bool m_taken = false;
};

} // namespace undo
