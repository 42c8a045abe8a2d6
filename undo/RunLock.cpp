#include "RunLock.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <mutex>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace undo {

namespace {

#ifndef _WIN32
// One open description per folder and process: a lock taken by this process is counted, not
// taken a second time (flock would refuse this very process through another descriptor).
struct Held {
    int fd = -1;
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

QString identityOf(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return {};
    return QStringLiteral("%1:%2")
        .arg(static_cast<quint64>(st.st_dev))
        .arg(static_cast<quint64>(st.st_ino));
}

// The folder and the folders above it, the folder first, through its real path.
QStringList chainOf(const QString& folder) {
    QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty())
        real = QFileInfo(folder).absoluteFilePath();
    QStringList chain;
    for (QString level = real; !level.isEmpty();) {
        chain.append(level);
        if (level == QStringLiteral("/"))
            break;
        const qsizetype slash = level.lastIndexOf(u'/');
        level = slash <= 0 ? QStringLiteral("/") : level.left(slash);
    }
    return chain;
}

// One attempt at the whole chain; on any refusal, what this attempt took is given back.
bool tryChain(const QStringList& chain, QList<QString>& heldHere) {
    const std::lock_guard<std::mutex> lock(tableMutex());
    QList<QString> taken;
    for (qsizetype i = chain.size() - 1; i >= 0; --i) {
        const int fd = ::open(QFile::encodeName(chain[i]).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue; // a folder we may not open cannot be taken by anyone like us either
        const QString id = identityOf(fd);
        auto it = table().find(id);
        if (it != table().end()) {
            ::close(fd);
            ++it->count;
            taken.append(id);
            continue;
        }
        const int mode = i == 0 ? LOCK_EX : LOCK_SH;
        if (::flock(fd, mode | LOCK_NB) != 0) {
            ::close(fd);
            for (const QString& back : taken) {
                Held& held = table()[back];
                if (--held.count == 0) {
                    ::close(held.fd);
                    table().remove(back);
                }
            }
            return false;
        }
        table().insert(id, Held{fd, 1});
        taken.append(id);
    }
    heldHere = taken;
    return true;
}
#endif

} // namespace

RunLock::RunLock(const QString& folder, int waitMs) : m_folder(folder) {
#ifndef _WIN32
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
#else
    m_taken = true;
#endif
}

RunLock::~RunLock() {
    release();
}

void RunLock::release() {
#ifndef _WIN32
    const std::lock_guard<std::mutex> lock(tableMutex());
    for (const QString& id : std::as_const(m_held)) {
        auto it = table().find(id);
        if (it == table().end())
            continue;
        if (--it->count == 0) {
            ::close(it->fd); // closing the last descriptor gives the lock back
            table().erase(it);
        }
    }
#endif
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
