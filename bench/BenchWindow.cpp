#include "BenchWindow.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>

namespace bench {

bool makeDatedFiles(const QString& folder, int count, const char* pattern,
                    const QByteArray& content, const QDateTime& first, int years) {
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QLatin1Char('/') + QString::asprintf(pattern, i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return false;
        file.close();
        const qint64 when =
            first.toSecsSinceEpoch() + qint64(i) * years * 365 * 86400 / std::max(count, 1);
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
            return false;
    }
    return true;
}

void useOwnTrashAndRecords(const QString& work) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(work + QStringLiteral("/data")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(work + QStringLiteral("/state")));
    QDir().mkpath(work + QStringLiteral("/data"));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace bench
