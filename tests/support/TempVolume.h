// A file system of the test's own, mounted on a folder inside a fresh temporary folder for the
// length of a test: a tmpfs, or a small ext4 image through a loop device. It stands for "another
// volume" without touching any mount the machine already has. Mounting needs root: mounted() is
// false otherwise, and the test skips itself.
#pragma once

#include <QString>
#include <QTemporaryDir>

class TempVolume {
public:
    enum class Kind { Tmpfs, Ext4 };
    // `options` are mount options, e.g. "ro" or "mode=0755".
    explicit TempVolume(Kind kind = Kind::Tmpfs, const QString& options = {});
    ~TempVolume();
    TempVolume(const TempVolume&) = delete;
    TempVolume& operator=(const TempVolume&) = delete;

    bool mounted() const { return m_mounted; }
    // The mount point: the volume's top folder.
    QString path() const { return m_top; }
    QString filePath(const QString& name) const { return m_top + QLatin1Char('/') + name; }
    // A path beside the volume, in the temporary folder on the tests' own disk.
    QString outside(const QString& name) const { return m_dir.filePath(name); }
    // Mounts it again with other options (e.g. "ro"), keeping its content.
    bool remount(const QString& options);

private:
    QTemporaryDir m_dir;
    QString m_top;
    bool m_mounted = false;
};
