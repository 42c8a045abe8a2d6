// The file run's originals go to the trash on a thread of their own, while the next file is
// copied: the two steps touch different folders, and each waits on the file system, not on the
// other.
#pragma once

#include <QList>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "outil32_FILE.h"

namespace sorting {

// Why a file stays in its place when it changed between its copy and the trash.
inline const QString ChangedWhileSorted =
    QStringLiteral("modifié pendant le rangement : il sera rangé la prochaine fois");

class TrashLane {
public:
    // Called on the lane's thread once the item's place in the trash is known, before it moves;
    // false keeps the item where it is (its move could not be noted down).
    using BeforeMove = std::function<bool(const QString& original, const TrashedItem& at)>;
    struct Outcome {
        QString original;
        QString destination; // the folder its copy went to
        QString copyPath;    // the copy itself
        FileSnapshot source; // the original as it was copied
        FileSnapshot copy;   // the copy as made
        bool trashed = false;
        bool changed = false; // changed since its copy: back in its place, the copy gone
        QString reason;       // why not, when not
    };

    explicit TrashLane(BeforeMove beforeMove);
    // Tries every original handed over before it ends: none stays behind its copy untried.
    ~TrashLane();
    TrashLane(const TrashLane&) = delete;
    TrashLane& operator=(const TrashLane&) = delete;

    // Hands an original over, with its copy; waits while a few are already waiting, so that the
    // copies never run far ahead of the trash. The original goes to the trash only while it is
    // still the file that was copied (`source`, its copy's snapshot), checked again once there.
    void send(const QString& original, const QString& destination, const QString& copyPath,
              const FileSnapshot& source, const FileSnapshot& copy);
    // What became of the originals tried since the last call, in the order they were sent.
    QList<Outcome> takeOutcomes();
    // Waits until every original handed over has been tried.
    void finish();

private:
    // Sends one original to the trash and notes what became of it.
    void attempt(Outcome& job) const;
    void work();

    BeforeMove m_beforeMove;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Outcome> m_waiting;
    QList<Outcome> m_outcomes;
    bool m_busy = false;
    bool m_ending = false;
    bool m_inLine = false; // each original tried at once, on the run's thread
    std::thread m_thread;
};

} // namespace sorting
