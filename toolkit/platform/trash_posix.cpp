// The freedesktop.org trash (version 1.0 of its rules), by hand: GIO re-read the mount table and
// re-checked the trash folders on every call, which made trashing five times slower than the
// rename it comes down to, and could not tell where it had put an item.
//
// An item only ever moves by a rename into a trash on its own volume: the home trash when it
// lies on the mount of $XDG_DATA_HOME, else $topdir/.Trash/$uid or $topdir/.Trash-$uid at the
// top of its mount. No copy across volumes and no deletion: when none of them can take the item
// it stays where it is and the caller gets a French reason.
//
// A tmpfs is a volume like the others (GIO refuses it outright): its items go to its own
// .Trash-$uid, where they last exactly as long as they would have where they were, and trash-cli
// lists and restores them. A read-only one, or one whose top we may not write, refuses.
//
// The trash found for a volume is kept for the life of the process and only looked for again
// when it fails; the mount table is read once, and again for a volume it does not know.
#include "trash_posix.h"
#include "posix_io.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

namespace ordalix::platform::posix {

namespace {

constexpr std::size_t NameMax = 255;
constexpr char InfoSuffix[] = ".trashinfo";

// ---- Texts ----

std::string quoted(const std::string& path) {
    return "« " + path + " »";
}

bool refuse(TrashOutcome& outcome, int error, const std::string& sentence) {
    outcome.error = error;
    outcome.reason = sentence + " (système : " + errorText(error) + ")";
    return false;
}

// ---- Paths ----

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An absolute path without trailing or doubled slashes; `.` and `..` are left for the kernel.
std::string absolute(const std::string& path) {
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        std::vector<char> cwd(4096);
        while (!::getcwd(cwd.data(), cwd.size()) && errno == ERANGE)
            cwd.resize(cwd.size() * 2);
        full = std::string(cwd.data()) + "/" + full;
    }
    std::string clean;
    clean.reserve(full.size());
    for (const char c : full) {
        if (c == '/' && !clean.empty() && clean.back() == '/')
            continue;
        clean += c;
    }
    while (clean.size() > 1 && clean.back() == '/')
        clean.pop_back();
    return clean;
}

// Percent-encoding of a byte path as URLs escape it: unreserved characters and the delimiter
// stay, every other byte becomes %XX, so that readers get back the exact bytes.
std::string percentEncoded(const std::string& bytes) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        const bool unreserved = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                                (u >= '0' && u <= '9') || std::strchr("-_.!~*'()/", u) != nullptr;
        if (unreserved && u != 0) {
            out += c;
        } else {
            out += '%';
            out += Hex[u >> 4];
            out += Hex[u & 0xF];
        }
    }
    return out;
}

// A name cut to `limit` bytes without splitting a UTF-8 sequence.
std::string shortened(const std::string& name, std::size_t limit) {
    if (name.size() <= limit)
        return name;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

std::string localDeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// ---- Volumes ----

// What says which mount an entry lies on: the mount's id where the kernel tells it, otherwise
// its device.
struct Placement {
    bool exists = false;
    bool directory = false;
    bool symlink = false;
    std::uint64_t mount = 0;
    bool byMountId = false;
    dev_t device = 0;
    uid_t owner = 0;
    mode_t mode = 0;
};

Placement placementOf(const std::string& path, bool followLink = false) {
    struct statx sx {};
    Placement p;
    if (::statx(AT_FDCWD, path.c_str(), followLink ? 0 : AT_SYMLINK_NOFOLLOW,
                STATX_TYPE | STATX_MODE | STATX_UID | STATX_MNT_ID, &sx) != 0)
        return p;
    p.exists = true;
    p.directory = S_ISDIR(sx.stx_mode);
    p.symlink = S_ISLNK(sx.stx_mode);
    p.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    p.byMountId = (sx.stx_mask & STATX_MNT_ID) != 0;
    p.mount = p.byMountId ? sx.stx_mnt_id : static_cast<std::uint64_t>(p.device);
    p.owner = sx.stx_uid;
    p.mode = sx.stx_mode;
    return p;
}

bool sameVolume(const Placement& a, const Placement& b) {
    return a.exists && b.exists && a.byMountId == b.byMountId && a.mount == b.mount &&
           a.device == b.device;
}

struct MountEntry {
    std::uint64_t id = 0;
    dev_t device = 0;
    std::string point;
};

// Mount points are written with octal escapes for space, tab, newline and backslash.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<MountEntry> readMountTable() {
    std::vector<MountEntry> mounts;
    FILE* table = std::fopen("/proc/self/mountinfo", "re");
    if (!table)
        return mounts;
    char* line = nullptr;
    std::size_t capacity = 0;
    while (::getline(&line, &capacity, table) > 0) {
        unsigned long long id = 0;
        unsigned long long parent = 0;
        unsigned major = 0;
        unsigned minor = 0;
        char root[4096];
        char point[4096];
        if (std::sscanf(line, "%llu %llu %u:%u %4095s %4095s", &id, &parent, &major, &minor, root,
                        point) != 6)
            continue;
        mounts.push_back({id, makedev(major, minor), unescapeMountField(point)});
    }
    std::free(line);
    std::fclose(table);
    return mounts;
}

// ---- Trash folders ----

struct TrashFolder {
    std::string dir; // $trash
    std::string top; // $topdir; empty for the home trash
};

struct Cache {
    std::mutex mutex;
    std::vector<MountEntry> mounts;
    bool mountsRead = false;
    std::string homeTrash; // $XDG_DATA_HOME/Trash as last worked out
    Placement homeVolume;  // where it lies, or would be made
    bool homeVolumeKnown = false;
    std::unordered_map<std::uint64_t, TrashFolder> byVolume; // by mount id (or device)
};

Cache& cache() {
    static Cache instance;
    return instance;
}

std::string homeTrashPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return absolute(data) + "/Trash";
    const char* home = std::getenv("HOME");
    std::string base = home && home[0] == '/' ? std::string(home) : std::string();
    if (base.empty()) {
        if (const passwd* account = ::getpwuid(::getuid()))
            base = account->pw_dir ? account->pw_dir : "";
    }
    return absolute(base) + "/.local/share/Trash";
}

// The volume a folder lies on, or would be made on: that of its nearest existing ancestor.
Placement volumeOfFolder(const std::string& folder) {
    for (std::string path = folder;; path = parentOf(path)) {
        const Placement p = placementOf(path, true);
        if (p.exists || path == "/" || path == ".")
            return p;
    }
}

// mkdir -p, with the missing folders made private.
int makeFolders(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0)
        return 0;
    if (errno == EEXIST)
        return 0;
    if (errno != ENOENT || folder == "/")
        return errno;
    if (const int error = makeFolders(parentOf(folder)))
        return error;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

bool writableFolder(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// A trash folder's info and files folders, made when missing; both must be real folders on the
// item's volume that we may write.
bool prepareTrash(const std::string& dir, const Placement& item, const std::string& itemPath,
                  TrashOutcome& outcome) {
    for (const char* sub : {"/info", "/files"}) {
        const std::string folder = dir + sub;
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return refuse(outcome, errno,
                          "Le dossier " + quoted(folder) +
                              " de la corbeille n'a pas pu être créé ; " + quoted(itemPath) +
                              " reste à sa place");
        const Placement p = placementOf(folder);
        if (!p.directory)
            return refuse(outcome, ENOTDIR,
                          quoted(folder) + " n'est pas un vrai dossier : la corbeille " +
                              quoted(dir) + " n'est pas utilisable ; " + quoted(itemPath) +
                              " reste à sa place");
        if (!writableFolder(folder))
            return refuse(outcome, errno,
                          "La corbeille " + quoted(dir) + " refuse l'écriture dans " +
                              quoted(folder) + " ; " + quoted(itemPath) + " reste à sa place");
        if (!sameVolume(p, item))
            return refuse(outcome, EXDEV,
                          "La corbeille " + quoted(dir) + " n'est pas sur le volume de " +
                              quoted(itemPath) + ", qui reste à sa place");
    }
    return true;
}

// A top-directory trash folder of the user: a real folder (never a link) that is theirs, made
// when missing. Not usable otherwise, and never repaired.
bool userTopTrash(const std::string& dir, int& error) {
    Placement p = placementOf(dir);
    if (!p.exists) {
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            error = errno;
            return false;
        }
        p = placementOf(dir);
    }
    if (!p.directory || p.symlink) {
        error = ENOTDIR;
        return false;
    }
    if (p.owner != ::getuid()) {
        error = EPERM;
        return false;
    }
    return true;
}

const MountEntry* mountOf(Cache& c, const Placement& item, const std::string& itemPath) {
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1 || !c.mountsRead) {
            c.mounts = readMountTable();
            c.mountsRead = true;
        }
        const MountEntry* best = nullptr;
        if (item.byMountId) {
            for (const MountEntry& m : c.mounts) {
                if (m.id == item.mount)
                    best = &m;
            }
        } else {
            // Without mount ids: among the mounts of the device, the deepest one above the item.
            char* real = ::realpath(parentOf(itemPath).c_str(), nullptr);
            const std::string at = real ? std::string(real) + "/" : std::string();
            std::free(real);
            for (const MountEntry& m : c.mounts) {
                const std::string prefix = m.point == "/" ? "/" : m.point + "/";
                if (m.device == item.device && at.compare(0, prefix.size(), prefix) == 0 &&
                    (!best || m.point.size() > best->point.size()))
                    best = &m;
            }
        }
        // A table read before the volume was mounted may name the place of a mount gone since
        // (its id given to the new one): the top folder must be the item's own mount.
        if (best && (!item.byMountId || sameVolume(placementOf(best->point, true), item)))
            return best;
    }
    return nullptr;
}

// Finds, and makes where needed, the trash of the item's volume.
bool locateTrash(Cache& c, const Placement& item, const std::string& itemPath, TrashFolder& found,
                 TrashOutcome& outcome) {
    if (!c.homeVolumeKnown) {
        c.homeVolume = volumeOfFolder(c.homeTrash);
        c.homeVolumeKnown = c.homeVolume.exists;
    }
    if (sameVolume(c.homeVolume, item)) {
        if (const int error = makeFolders(c.homeTrash))
            return refuse(outcome, error,
                          "La corbeille " + quoted(c.homeTrash) + " n'a pas pu être créée ; " +
                              quoted(itemPath) + " reste à sa place");
        if (!prepareTrash(c.homeTrash, item, itemPath, outcome))
            return false;
        found = {c.homeTrash, {}};
        return true;
    }

    const MountEntry* mount = mountOf(c, item, itemPath);
    if (!mount)
        return refuse(outcome, ENODEV,
                      "Le volume de " + quoted(itemPath) +
                          " est introuvable dans la table des montages : il n'a pas de corbeille, "
                          "et l'élément reste à sa place");
    const std::string top = mount->point;
    const std::string uid = std::to_string(::getuid());
    const std::string base = top == "/" ? std::string() : top;

    // A shared .Trash made by the administrator: a real folder with the sticky bit, holding one
    // folder per user. Anything else is passed over for the user's own .Trash-$uid.
    const std::string shared = base + "/.Trash";
    const Placement sharedFolder = placementOf(shared);
    if (sharedFolder.exists && sharedFolder.directory && !sharedFolder.symlink &&
        (sharedFolder.mode & S_ISVTX)) {
        const std::string dir = shared + "/" + uid;
        int error = 0;
        TrashOutcome tried;
        if (userTopTrash(dir, error) && prepareTrash(dir, item, itemPath, tried)) {
            found = {dir, top};
            return true;
        }
    }

    const std::string own = base + "/.Trash-" + uid;
    int error = 0;
    if (!userTopTrash(own, error))
        return refuse(outcome, error,
                      "Aucune corbeille n'est possible sur le volume " + quoted(top) + " : " +
                          quoted(own) +
                          (error == ENOTDIR || error == EPERM ? " n'est pas un dossier à vous"
                                                              : " n'a pas pu être créé") +
                          " ; " + quoted(itemPath) + " reste à sa place");
    if (!prepareTrash(own, item, itemPath, outcome))
        return false;
    found = {own, top};
    return true;
}

// ---- Directory sizes ----

// Disk space of a tree as `du -B1` counts it: allocated blocks, each inode once.
std::uint64_t diskUsage(int dirFd, std::set<std::pair<dev_t, ino_t>>& seen) {
    std::uint64_t total = 0;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (st.st_nlink > 1 && !S_ISDIR(st.st_mode) && !seen.insert({st.st_dev, st.st_ino}).second)
            continue;
        total += static_cast<std::uint64_t>(st.st_blocks) * 512;
        if (S_ISDIR(st.st_mode)) {
            const int child = ::openat(::dirfd(dir), entry->d_name,
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                total += diskUsage(child, seen);
        }
    }
    ::closedir(dir);
    return total;
}

// Adds the trashed folder's line to $trash/directorysizes, through a temporary file renamed over
// it. Only a cache for the trash's total size: a failure here does not undo the trashing.
void recordDirectorySize(const std::string& trash, const std::string& name,
                         std::int64_t infoModified) {
    struct stat st;
    const std::string folder = trash + "/files/" + name;
    if (::lstat(folder.c_str(), &st) != 0)
        return;
    std::set<std::pair<dev_t, ino_t>> seen;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const std::uint64_t size =
        static_cast<std::uint64_t>(st.st_blocks) * 512 + (fd >= 0 ? diskUsage(fd, seen) : 0);
    const std::string encoded = percentEncoded(name);

    std::string contents;
    const std::string file = trash + "/directorysizes";
    if (FILE* old = std::fopen(file.c_str(), "re")) {
        char* line = nullptr;
        std::size_t capacity = 0;
        ssize_t n = 0;
        while ((n = ::getline(&line, &capacity, old)) > 0) {
            std::string text(line, static_cast<std::size_t>(n));
            if (text.back() != '\n')
                text += '\n';
            // "size mtime name": a line for the same name is replaced.
            const auto first = text.find(' ');
            const auto second = first == std::string::npos ? first : text.find(' ', first + 1);
            if (second != std::string::npos &&
                text.compare(second + 1, text.size() - second - 2, encoded) == 0)
                continue;
            contents += text;
        }
        std::free(line);
        std::fclose(old);
    }
    contents += std::to_string(size) + " " + std::to_string(infoModified) + " " + encoded + "\n";

    std::string temporary = trash + "/.directorysizes-XXXXXX";
    Fd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0)
        return;
    if (!writeAll(out.get(), contents.data(), contents.size()) || ::close(out.release()) != 0 ||
        ::rename(temporary.c_str(), file.c_str()) != 0)
        ::unlink(temporary.c_str());
}

// ---- Trashing ----

// Writes the whole text to a file just made and closes it; `st` gets its status. False with
// errno set.
bool writeAndClose(Fd& fd, const std::string& text, struct stat& st) {
    return writeAll(fd.get(), text.data(), text.size()) && ::fstat(fd.get(), &st) == 0 &&
           ::close(fd.release()) == 0;
}

// An info file's text, whole, under a temporary name in info/ until it is linked to its own:
// ".NAME-XXXXXX.tmp" is hidden and does not end in .trashinfo, so no listing takes it for an
// info file. Removed on every way out.
class PendingInfo {
public:
    PendingInfo() = default;
    PendingInfo(const PendingInfo&) = delete;
    PendingInfo& operator=(const PendingInfo&) = delete;
    ~PendingInfo() { discard(); }

    // 0, or the error.
    int write(const std::string& folder, const std::string& name, const std::string& text,
              struct stat& written) {
        static constexpr char Tail[] = "-XXXXXX.tmp";
        static constexpr int AfterXs = 4; // ".tmp"
        m_path = folder + "/." + shortened(name, NameMax - 1 - (sizeof Tail - 1)) + Tail;
        Fd fd(::mkostemps(m_path.data(), AfterXs, O_CLOEXEC));
        if (fd.get() < 0) {
            const int error = errno;
            m_path.clear();
            return error;
        }
        if (!writeAndClose(fd, text, written)) {
            const int error = errno;
            discard();
            return error;
        }
        return 0;
    }
    bool ready() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }
    void discard() {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
        m_path.clear();
    }

private:
    std::string m_path;
};

// Vetoed: the caller could not note the move, so this trash is fine and no other is tried.
enum class Put { Done, Failed, Vetoed };

// The info file first, whole, under a free name (name, name.2, name.3, ...): written under a
// temporary name and linked to its own, since a link never replaces and a kill must never leave
// a half-written info file. Where the file system has no hard links, it is made under its name
// with O_EXCL and written there. Then the caller is told, then the item is renamed under the
// same name; a failed rename takes the info file back.
Put putIntoTrash(const TrashFolder& trash, const std::string& itemPath, const Placement& item,
                 TrashOutcome& outcome, const BeforeTrashMove& beforeMove) {
    const std::string name = lastComponent(itemPath);
    std::string original = itemPath;
    if (!trash.top.empty()) {
        // Relative to the top folder of the volume, through the real path of the item's folder.
        char* real = ::realpath(parentOf(itemPath).c_str(), nullptr);
        if (!real) {
            refuse(outcome, errno,
                   "Le dossier de " + quoted(itemPath) + " est illisible ; il reste à sa place");
            return Put::Failed;
        }
        const std::string folder = real;
        std::free(real);
        const std::string prefix = trash.top == "/" ? "/" : trash.top + "/";
        const std::string full = (folder == "/" ? "" : folder) + "/" + name;
        original = full.compare(0, prefix.size(), prefix) == 0 ? full.substr(prefix.size()) : full;
    }
    const std::string contents = "[Trash Info]\nPath=" + percentEncoded(original) +
                                 "\nDeletionDate=" + localDeletionDate() + "\n";
    const std::string infoFolder = trash.dir + "/info";

    constexpr unsigned MaxCandidates = 100000;
    PendingInfo pending;
    bool links = true; // until the file system says it has none
    struct stat written {};
    for (unsigned n = 1;; ++n) {
        const bool lastTry = n >= MaxCandidates;
        std::string suffix;
        if (n > 1)
            suffix.append(1, '.').append(std::to_string(n));
        const std::size_t room = NameMax - (sizeof InfoSuffix - 1) - suffix.size();
        const std::string candidate = shortened(name, room) + suffix;
        const std::string info = infoFolder + "/" + candidate + InfoSuffix;
        const std::string target = trash.dir + "/files/" + candidate;
        // A name taken in files/ by an item without its info file (another program's leftover)
        // is passed over before the caller notes it, so that one item is noted once.
        struct stat taken;
        if (!lastTry && ::lstat(target.c_str(), &taken) == 0)
            continue;
        const auto notMade = [&](int error) {
            refuse(outcome, error,
                   "La fiche " + quoted(info) + " n'a pas pu être créée dans la corbeille ; " +
                       quoted(itemPath) + " reste à sa place");
            return Put::Failed;
        };
        if (links) {
            if (!pending.ready()) {
                if (const int error = pending.write(infoFolder, name, contents, written)) {
                    refuse(outcome, error,
                           "La fiche de " + quoted(itemPath) + " n'a pas pu être écrite dans " +
                               quoted(infoFolder) + " ; il reste à sa place");
                    return Put::Failed;
                }
            }
            if (::link(pending.path().c_str(), info.c_str()) == 0) {
                pending.discard();
            } else if (errno == EEXIST && !lastTry) {
                continue;
            } else if (errno == EPERM || errno == EOPNOTSUPP) {
                links = false; // written under its own name from now on
                pending.discard();
            } else {
                return notMade(errno);
            }
        }
        if (!links) {
            Fd fd(::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (fd.get() < 0) {
                if (errno == EEXIST && !lastTry)
                    continue;
                return notMade(errno);
            }
            if (!writeAndClose(fd, contents, written)) {
                const int error = errno;
                ::unlink(info.c_str());
                refuse(outcome, error,
                       "La fiche " + quoted(info) + " n'a pas pu être écrite dans la corbeille ; " +
                           quoted(itemPath) + " reste à sa place");
                return Put::Failed;
            }
        }
        if (beforeMove && !beforeMove(target, info)) {
            ::unlink(info.c_str());
            refuse(outcome, EIO,
                   "L'étape n'a pas pu être notée dans le journal d'annulation ; " +
                       quoted(itemPath) + " reste à sa place");
            return Put::Vetoed;
        }
        if (!renameNoReplace(itemPath, target)) {
            const int error = errno;
            ::unlink(info.c_str());
            if (error == EEXIST && !lastTry)
                continue; // taken in files/ since it was looked at
            refuse(outcome, error,
                   quoted(itemPath) + " n'a pas pu être déplacé dans " +
                       quoted(trash.dir + "/files") + " et reste à sa place");
            return Put::Failed;
        }
        if (item.directory)
            recordDirectorySize(trash.dir, candidate, written.st_mtim.tv_sec);
        outcome.item = target;
        outcome.info = info;
        return Put::Done;
    }
}

} // namespace

bool moveToTrash(const std::string& path, TrashOutcome& outcome,
                 const BeforeTrashMove& beforeMove) {
    outcome = {};
    const std::string itemPath = absolute(path);
    const std::string name = lastComponent(itemPath);
    if (itemPath == "/" || name == "." || name == "..")
        return refuse(outcome, EINVAL, quoted(path) + " ne peut pas aller à la corbeille");
    const Placement item = placementOf(itemPath);
    if (!item.exists)
        return refuse(outcome, errno,
                      quoted(itemPath) +
                          " n'a pas pu être mis à la corbeille : il est introuvable");
    const std::string parent = parentOf(itemPath);
    if (!writableFolder(parent))
        return refuse(outcome, errno,
                      quoted(itemPath) + " n'a pas pu être mis à la corbeille : son dossier " +
                          quoted(parent) + " ne peut pas être modifié");

    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    const std::string home = homeTrashPath();
    if (home != c.homeTrash) {
        c.homeTrash = home;
        c.homeVolumeKnown = false;
        c.byVolume.clear();
    }
    // The trash found for a volume serves every later item of that volume; one that fails is
    // looked for again from the start, mount table included, and tried once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto known = c.byVolume.find(item.mount);
        if (attempt > 0 || known == c.byVolume.end()) {
            c.byVolume.erase(item.mount);
            if (attempt > 0) {
                c.homeVolumeKnown = false;
                c.mountsRead = false;
            }
            TrashFolder found;
            if (!locateTrash(c, item, itemPath, found, outcome))
                continue;
            known = c.byVolume.emplace(item.mount, found).first;
        }
        switch (putIntoTrash(known->second, itemPath, item, outcome, beforeMove)) {
        case Put::Done:
            return true;
        case Put::Vetoed:
            return false; // trying again would only ask the caller a second time
        case Put::Failed:
            break;
        }
    }
    c.byVolume.erase(item.mount);
    return false;
}

} // namespace ordalix::platform::posix
