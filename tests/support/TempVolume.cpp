#include "TempVolume.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

bool quiet(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

TempVolume::TempVolume(Kind kind, const QString& options) {
#ifdef _WIN32
    return; // loop devices and mounts are Linux's
#else
    if (::getuid() != 0 || !m_dir.isValid())
        return;
#endif
    // Reachable by another user, for the tests that run as one.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther);
    m_top = m_dir.filePath(QStringLiteral("top"));
    if (!QDir().mkpath(m_top))
        return;
    QStringList arguments;
    if (!options.isEmpty())
        arguments << QStringLiteral("-o") << options;
    if (kind == Kind::Tmpfs) {
        m_mounted = quiet(QStringLiteral("mount"),
                          QStringList{QStringLiteral("-t"), QStringLiteral("tmpfs")} + arguments +
                              QStringList{QStringLiteral("tmpfs"), m_top});
        return;
    }
    const QString image = m_dir.filePath(QStringLiteral("volume.img"));
    QFile file(image);
    if (QStandardPaths::findExecutable(QStringLiteral("mkfs.ext4")).isEmpty() ||
        !file.open(QIODevice::WriteOnly) || !file.resize(8 << 20))
        return;
    file.close();
    arguments = QStringList{QStringLiteral("-o"),
                            options.isEmpty() ? QStringLiteral("loop") : "loop," + options};
    m_mounted =
        quiet(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), image}) &&
        quiet(QStringLiteral("mount"), arguments + QStringList{image, m_top});
}

TempVolume::~TempVolume() {
    if (!m_mounted)
        return;
    quiet(QStringLiteral("chattr"), {QStringLiteral("-R"), QStringLiteral("-i"), m_top});
    // A process of the test that still holds a file there must not leave the mount behind.
    if (!quiet(QStringLiteral("umount"), {m_top}))
        quiet(QStringLiteral("umount"), {QStringLiteral("-l"), m_top});
}

bool TempVolume::remount(const QString& options) {
    return m_mounted &&
           quiet(QStringLiteral("mount"), {QStringLiteral("-o"), "remount," + options, m_top});
}
