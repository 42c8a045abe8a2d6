#include "RunLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <memory>
#include <mutex>

#include "RunRecord.h"
#include "platform.h"
#include "platform_convert.h"

namespace undo {

namespace {

// One lock per folder and process: a lock taken by this process is counted, not taken a second
// time (the system would refuse this very process through another handle).
struct Held {
    std::shared_ptr<ordalix::platform::FolderLock> lock;
    int count = 0;
};

std::mutex& tableMutex() {
    static std::mutex mutex;
    return mutex;
}

QHash<QString, Held>& table() {
    static QHash<QString, Held> held;
    return held;
}

// The folder and the folders above it, the folder first, through its real path.
QStringList chainOf(const QString& folder) {
    QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty())
        real = QFileInfo(folder).absoluteFilePath();
    // The top: "/", or a drive's root.
    const QString top = real.size() >= 3 && real[1] == u':' ? real.left(3) : QStringLiteral("/");
    QStringList chain;
    for (QString level = real; !level.isEmpty();) {
        chain.append(QDir::toNativeSeparators(level));
        if (level == top)
            break;
        const qsizetype slash = level.lastIndexOf(u'/');
        level = slash < top.size() ? top : level.left(slash);
    }
    return chain;
}

void giveBack(const QList<QString>& ids) {
    for (const QString& id : ids) {
        auto it = table().find(id);
        if (it != table().end() && --it->count == 0)
            table().erase(it); // the last holder in this process gives the lock back
    }
}

// One attempt at the whole chain; on any refusal, what this attempt took is given back.
bool tryChain(const QStringList& chain, QList<QString>& heldHere) {
    const std::lock_guard<std::mutex> lock(tableMutex());
    const auto lockFolder =
        ordalix::toPlatformPath(RecordFolder() + ordalix::PathDelim + QStringLiteral("locks"));
    QList<QString> taken;
    for (qsizetype i = chain.size() - 1; i >= 0; --i) {
        auto folderLock = std::make_shared<ordalix::platform::FolderLock>();
        std::uint64_t device = 0;
        std::uint64_t index = 0;
        if (!folderLock->open(ordalix::toPlatformPath(chain[i]), lockFolder, device, index))
            continue; // a folder we may not open cannot be taken by anyone like us either
        const QString id = QStringLiteral("%1:%2").arg(device).arg(index);
        auto it = table().find(id);
        if (it != table().end()) {
            ++it->count;
            taken.append(id);
            continue;
        }
        if (!folderLock->tryLock(i == 0)) {
            giveBack(taken);
            return false;
        }
        table().insert(id, Held{std::move(folderLock), 1});
        taken.append(id);
    }
    heldHere = taken;
    return true;
}

} // namespace

RunLock::RunLock(const QString& folder, int waitMs) : m_folder(folder) {
    const QStringList chain = chainOf(folder);
    constexpr int StepMs = 50;
    for (int waited = 0;; waited += StepMs) {
        if (tryChain(chain, m_held)) {
            m_taken = true;
            return;
        }
        if (waited >= waitMs)
            return;
        QThread::msleep(StepMs);
    }
}

RunLock::~RunLock() {
    release();
}

void RunLock::release() {
    const std::lock_guard<std::mutex> lock(tableMutex());
    giveBack(m_held);
    m_held.clear();
}

QString RunLock::refusal() const {
    return QStringLiteral("Un autre rangement, une autre extraction ou une autre annulation est "
                          "en cours dans le dossier %1, ou dans un dossier qui le contient ou "
                          "qu'il contient.\r\nRien n'a été fait : réessayez quand il sera "
                          "terminé.")
        .arg(m_folder);
}

} // namespace undo
