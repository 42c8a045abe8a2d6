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

class TrashLane {
public:
    // Called on the lane's thread once the item's place in the trash is known, before it moves.
    using BeforeMove = std::function<void(const QString& original, const TrashedItem& at)>;
    struct Outcome {
        QString original;
        QString destination; // the folder its copy went to
        bool trashed = false;
        QString reason; // why not, when not
    };

    explicit TrashLane(BeforeMove beforeMove);
    // Tries every original handed over before it ends: none stays behind its copy untried.
    ~TrashLane();
    TrashLane(const TrashLane&) = delete;
    TrashLane& operator=(const TrashLane&) = delete;

    // Hands an original over; waits while a few are already waiting, so that the copies never
    // run far ahead of the trash.
    void send(const QString& original, const QString& destination);
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
