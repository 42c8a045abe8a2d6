#include "TrashLane.h"

#include <QFile>
#include <QFileInfo>

#include <exception>
#include <system_error>
#include <utility>

namespace sorting {

namespace {
// Enough to keep the lane busy between two copies, few enough that a stop or a message box
// waits for nothing noticeable.
constexpr std::size_t kMaxWaiting = 16;
} // namespace

TrashLane::TrashLane(BeforeMove beforeMove) : m_beforeMove(std::move(beforeMove)) {
#ifdef _WIN32
    // The shell's recycle bin wants the calling thread set up for it: there the lane works in
    // line, on the run's own thread.
    m_inLine = true;
#endif
}

TrashLane::~TrashLane() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TrashLane::send(const QString& original, const QString& destination, const QString& copyPath,
                     const FileSnapshot& source, const FileSnapshot& copy) {
    Outcome job;
    job.original = original;
    job.destination = destination;
    job.copyPath = copyPath;
    job.source = source;
    job.copy = copy;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_inLine && !m_thread.joinable()) {
        try {
            m_thread = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            m_inLine = true; // no thread to be had (a process limit): one step after the other
        }
    }
    if (m_inLine) {
        lock.unlock();
        attempt(job);
        lock.lock();
        m_outcomes.append(std::move(job));
        return;
    }
    m_changed.wait(lock, [&] { return m_waiting.size() < kMaxWaiting; });
    m_waiting.push_back(std::move(job));
    lock.unlock();
    m_changed.notify_all();
}

QList<TrashLane::Outcome> TrashLane::takeOutcomes() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_outcomes, {});
}

void TrashLane::finish() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_waiting.empty() && !m_busy; });
}

void TrashLane::attempt(Outcome& job) const {
    try {
        // A file written to or saved over since its copy was made would go to the trash newer
        // than the copy that stays: it stays in its place instead, and the copy, ours, goes.
        const auto dropCopy = [&] {
            if (SnapshotFile(job.copyPath).unchangedSince(job.copy))
                QFile::remove(job.copyPath);
        };
        if (!SnapshotFile(job.original).unchangedSince(job.source)) {
            job.changed = true;
            job.reason = ChangedWhileSorted;
            dropCopy();
            return;
        }
        TrashedItem at;
        job.trashed = RecycleFile(
            job.original,
            [&](const TrashedItem& where) {
                return !m_beforeMove || m_beforeMove(job.original, where);
            },
            &at);
        if (!job.trashed) {
            job.reason = LastFileErrorText(); // this thread's own error
            return;
        }
        // A writer that held it open may have written until the move: looked at once more
        // where it lies now (a link is its own item there, and its target was looked at above).
        // Where the recycle bin does not say where the item went, it cannot be looked at again.
        if (at.item.isEmpty() || SnapshotFile(at.item).unchangedSince(job.source) ||
            QFileInfo(at.item).isSymLink())
            return;
        job.trashed = false;
        job.changed = true;
        job.reason = ChangedWhileSorted;
        if (MoveBackFromTrash(at, job.original)) {
            dropCopy();
        } else {
            job.reason += QStringLiteral(" ; son nom a été repris entre-temps, il reste dans la "
                                         "corbeille (%1) à côté de sa copie")
                              .arg(at.item);
        }
    } catch (const std::exception& error) {
        // Almost always thrown before the move, with the original still in its place.
        job.trashed = false;
        job.reason = QString::fromLocal8Bit(error.what());
    }
}

void TrashLane::work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_ending || !m_waiting.empty(); });
        if (m_waiting.empty())
            return;
        Outcome job = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_busy = true;
        lock.unlock();
        m_changed.notify_all(); // room for one more
        attempt(job);
        lock.lock();
        m_busy = false;
        m_outcomes.append(std::move(job));
        m_changed.notify_all();
    }
}

} // namespace sorting
