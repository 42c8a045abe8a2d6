// Timing, memory and fixture helpers shared by the benchmarks.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace bench {

// How many times each side of a ratio is measured, the program's and its baseline's, each on
// files of its own; the fastest of each side is kept, so that one run slowed by the machine
// (another build, a disk flush) does not decide.
inline constexpr int Rounds = 3;

// The seconds each round of one side took, and the best of them.
class Side {
public:
    // A negative value is a measure that could not be made.
    void add(double seconds);
    // The fastest round; negative when any round could not be measured, or none was.
    double best() const;
    double slowest() const;

private:
    QList<double> m_seconds;
};

// Seconds of the fastest of `runs` runs of `work`.
double bestSeconds(int runs, const std::function<void()>& work);
// Seconds of the fastest of `runs` runs of a command; negative when it cannot run.
double commandSeconds(int runs, const QString& shell);
// Resets the process's peak resident size, so that peakKib() measures from now.
bool resetPeak();
long residentKib();
long peakKib();
// A folder of `count` empty files named file000001.txt and so on.
bool makeFiles(const QString& folder, int count);
void print(const char* name, double value);

// Mounts a new, empty ext4 file system on `folder` for the life of the object, where the
// process may (root, with mkfs.ext4 and loop devices); otherwise leaves the folder as it is.
class FreshExt4 {
public:
    explicit FreshExt4(const QString& folder);
    ~FreshExt4();
    bool mounted() const { return m_mounted; }

private:
    QString m_folder;
    QString m_image;
    bool m_mounted = false;
};

// Mounts a tmpfs of `bytes` on `folder` for the life of the object, where the process may.
class FreshTmpfs {
public:
    FreshTmpfs(const QString& folder, qint64 bytes);
    ~FreshTmpfs();
    bool mounted() const { return m_mounted; }

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace bench
