// Windows backend of the platform layer: every call on the wide-character Windows API.
#include "platform.h"

#include "error_text_win32.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

namespace ordalix::platform {

namespace {

thread_local DWORD t_lastError = 0;
thread_local std::wstring t_lastErrorText; // our own refusals; the system's text otherwise

bool fail(DWORD error, std::wstring text = {}) {
    t_lastError = error;
    t_lastErrorText = std::move(text);
    ::SetLastError(error);
    return false;
}

bool failLast() {
    return fail(::GetLastError());
}

// Path is UTF-16 like the API's wide strings: the units pass as they are, lone surrogates
// included (NTFS names may hold them). Empty paths and NULs name nothing.
bool toWide(const Path& path, std::wstring& out) {
    if (path.empty())
        return fail(ERROR_PATH_NOT_FOUND);
    if (path.find(u'\0') != Path::npos)
        return fail(ERROR_INVALID_NAME);
    out.assign(path.begin(), path.end());
    return true;
}

Path fromWide(const wchar_t* text, size_t size) {
    return Path(text, text + size);
}

Path fromWide(const std::wstring& text) {
    return fromWide(text.data(), text.size());
}

// FILETIME counts 100 ns since 1601-01-01 UTC.
FileTime fileTimeOf(const FILETIME& ft) {
    constexpr std::int64_t UnixEpoch = 116444736000000000LL;
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                  ft.dwLowDateTime) -
        UnixEpoch;
    std::int64_t seconds = ticks / 10000000;
    std::int64_t rest = ticks % 10000000;
    if (rest < 0)
        --seconds, rest += 10000000;
    return FileTime{seconds, static_cast<std::uint32_t>(rest * 100)};
}

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~Handle() {
        if (valid())
            ::CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE get() const { return m_h; }

private:
    HANDLE m_h;
};

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle for reading what a file or folder is; links are followed.
HANDLE openForQuery(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool queryInformation(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    Handle h(openForQuery(path));
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info))
        return failLast();
    return true;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

std::wstring folderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : L".";
    if (slash == 2 && path[1] == L':')
        return path.substr(0, 3); // a drive root keeps its delimiter
    return path.substr(0, slash);
}

// A name in the destination's folder, so that the final rename stays on one volume.
std::wstring temporaryName(const std::wstring& destination) {
    static std::atomic<unsigned> counter{0};
    std::wstring folder = folderOf(destination);
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/' && folder.back() != L':')
        folder += L'\\';
    return folder + L".ordalix-tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++);
}

void removeTemporary(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL); // a read-only copy included
    ::DeleteFileW(path.c_str());
}

std::wstring quoted(const std::wstring& path) {
    return L"\u00AB " + path + L" \u00BB";
}

// Only a fixed drive has a recycle bin: on a removable, network or RAM drive the shell
// deletes for good, even when asked to allow an undo, and that is never what we want.
bool volumeHasRecycleBin(const std::wstring& path) {
    std::vector<wchar_t> root(path.size() + MAX_PATH);
    if (!::GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size())))
        return false;
    return ::GetDriveTypeW(root.data()) == DRIVE_FIXED;
}

// SHFileOperationW wants a list of names ending with two NULs.
std::wstring nameList(const std::wstring& path) {
    std::wstring list = path;
    list.push_back(L'\0');
    list.push_back(L'\0');
    return list;
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(written < size ? written : 0);
    return full.empty() ? path : full;
}

// The recycle bin of the item's own volume, through the shell; the item stays where it was
// when the bin cannot take it.
bool recycle(const std::wstring& path) {
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return failLast();
    const std::wstring full = fullPath(path);
    if (!volumeHasRecycleBin(full))
        return fail(ERROR_NOT_SUPPORTED, L"Le volume de " + quoted(full) +
                                             L" n'a pas de corbeille : l'\u00E9l\u00E9ment "
                                             L"reste \u00E0 sa place.");
    const std::wstring from = nameList(full);
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    // No questions, no error boxes; but should the shell find that the bin cannot take the
    // item after all (too large for it), it asks rather than deleting it for good.
    operation.fFlags =
        FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_WANTNUKEWARNING;
    const int result = ::SHFileOperationW(&operation);
    if (result != 0 || operation.fAnyOperationsAborted)
        return fail(result != 0 ? static_cast<DWORD>(result) : ERROR_CANCELLED);
    if (::GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES)
        return fail(ERROR_CANCELLED); // still there: nothing was recycled
    return true;
}

// Moves a file or folder to a name that does not exist yet; never merges, never replaces.
int shellMove(const std::wstring& from, const std::wstring& to) {
    if (::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES)
        return failLast(), static_cast<int>(t_lastError);
    if (::GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES)
        return fail(ERROR_ALREADY_EXISTS), ERROR_ALREADY_EXISTS;
    // On one volume a rename, which fails rather than merge when the name is taken meanwhile.
    if (::MoveFileExW(from.c_str(), to.c_str(), 0))
        return 0;
    if (::GetLastError() != ERROR_NOT_SAME_DEVICE)
        return failLast(), static_cast<int>(t_lastError);
    // Another volume: the shell copies the tree and removes the source once copied.
    const std::wstring source = nameList(fullPath(from));
    const std::wstring target = nameList(fullPath(to));
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_MOVE;
    operation.pFrom = source.c_str();
    operation.pTo = target.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
    const int result = ::SHFileOperationW(&operation);
    if (result != 0)
        return fail(static_cast<DWORD>(result)), result;
    if (operation.fAnyOperationsAborted)
        return fail(ERROR_CANCELLED), ERROR_CANCELLED;
    return 0;
}

} // namespace

struct FindHandle::Impl {
    HANDLE find = INVALID_HANDLE_VALUE;

    ~Impl() {
        if (find != INVALID_HANDLE_VALUE)
            ::FindClose(find);
    }

    static void fill(const WIN32_FIND_DATAW& entry, FindData& data) {
        data.name = fromWide(entry.cFileName, ::wcsnlen(entry.cFileName, MAX_PATH));
        data.attributes = entry.dwFileAttributes;
        data.lastWriteTime = fileTimeOf(entry.ftLastWriteTime);
    }
};

FindHandle::FindHandle() = default;
FindHandle::~FindHandle() = default;

bool FindHandle::findFirst(const Path& pattern, FindData& data, bool withTimes) {
    (void)withTimes; // the times come with every entry here
    close();
    std::wstring wide;
    if (!toWide(pattern, wide))
        return false;
    auto impl = std::make_unique<Impl>();
    WIN32_FIND_DATAW entry{};
    // The basic level leaves out the short 8.3 names, which nothing here uses.
    impl->find = ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                    nullptr, 0);
    if (impl->find == INVALID_HANDLE_VALUE)
        return failLast();
    Impl::fill(entry, data);
    d = std::move(impl);
    return true;
}

bool FindHandle::findNext(FindData& data) {
    if (!d)
        return fail(ERROR_INVALID_HANDLE);
    WIN32_FIND_DATAW entry{};
    if (!::FindNextFileW(d->find, &entry))
        return failLast();
    Impl::fill(entry, data);
    return true;
}

void FindHandle::close() {
    d.reset();
}

std::uint32_t getFileAttributes(const Path& path) {
    std::wstring wide;
    if (!toWide(path, wide))
        return InvalidFileAttributes;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        failLast();
        return InvalidFileAttributes;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return attributes;
    // A link: what it leads to, as the POSIX backend's stat() gives.
    BY_HANDLE_FILE_INFORMATION info;
    if (!queryInformation(wide, info))
        return InvalidFileAttributes;
    return info.dwFileAttributes;
}

bool getLastWriteTime(const Path& path, FileTime& time) {
    std::wstring wide;
    if (!toWide(path, wide))
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!queryInformation(wide, info))
        return false;
    time = fileTimeOf(info.ftLastWriteTime);
    return true;
}

namespace {

FileStatus statusOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileStatus status;
    status.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    status.lastWriteTime = fileTimeOf(info.ftLastWriteTime);
    status.device = info.dwVolumeSerialNumber;
    status.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return status;
}

} // namespace

bool getFileStatus(const Path& path, FileStatus& status) {
    std::wstring wide;
    if (!toWide(path, wide))
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!queryInformation(wide, info))
        return false;
    status = statusOf(info);
    return true;
}

namespace {

// A handle on the entry itself: a link or junction is not followed.
HANDLE openEntry(const std::wstring& path, DWORD access) {
    return ::CreateFileW(path.c_str(), access, ShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

FILETIME fileTimeFrom(const FileTime& time) {
    constexpr std::int64_t UnixEpoch = 116444736000000000LL;
    const std::uint64_t ticks = static_cast<std::uint64_t>(time.secondsSinceEpoch * 10000000 +
                                                           time.nanoseconds / 100 + UnixEpoch);
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

bool getLinkStatus(const Path& path, FileStatus& status) {
    std::wstring wide;
    if (!toWide(path, wide))
        return false;
    Handle h(openEntry(wide, FILE_READ_ATTRIBUTES));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info))
        return failLast();
    status = statusOf(info);
    return true;
}

bool setLastWriteTime(const Path& path, const FileTime& time) {
    std::wstring wide;
    if (!toWide(path, wide))
        return false;
    Handle h(openEntry(wide, FILE_WRITE_ATTRIBUTES));
    const FILETIME written = fileTimeFrom(time);
    return (h.valid() && ::SetFileTime(h.get(), nullptr, nullptr, &written)) || failLast();
}

FolderLock::FolderLock() : m_handle(0) {}

FolderLock::~FolderLock() {
    release();
}

bool FolderLock::open(const Path& folder, const Path& lockFolder, std::uint64_t& device,
                      std::uint64_t& index) {
    release();
    FileStatus status;
    if (!getFileStatus(folder, status))
        return false;
    if (!status.directory)
        return fail(ERROR_DIRECTORY);
    device = status.device;
    index = status.index;
    std::wstring wide;
    if (!toWide(lockFolder, wide))
        return false;
    // With the folders above it: on a first run the records' folder does not exist yet, and
    // without the lock file two runs would not see each other. One level at a time, as
    // SHCreateDirectoryExW stops at 248 characters; the levels that exist refuse, harmlessly.
    for (std::size_t at = wide.find(L'\\'); at != std::wstring::npos; at = wide.find(L'\\', at + 1))
        ::CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
    ::CreateDirectoryW(wide.c_str(), nullptr);
    wide += L"\\" + std::to_wstring(device) + L"-" + std::to_wstring(index) + L".lock";
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return failLast();
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool FolderLock::tryLock(bool exclusive) {
    if (m_handle == 0)
        return fail(ERROR_INVALID_HANDLE);
    OVERLAPPED at{};
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return ::LockFileEx(reinterpret_cast<HANDLE>(m_handle), flags, 0, 1, 0, &at) || failLast();
}

void FolderLock::release() {
    if (m_handle != 0)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle)); // the lock goes with the handle
    m_handle = 0;
}

AppendFile::AppendFile() : m_handle(0) {}

AppendFile::~AppendFile() {
    close();
}

AppendFile::AppendFile(AppendFile&& other) noexcept : m_handle(other.m_handle) {
    other.m_handle = 0;
}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        other.m_handle = 0;
    }
    return *this;
}

bool AppendFile::open(const Path& path, bool createNew) {
    close();
    std::wstring wide;
    if (!toWide(path, wide))
        return false;
    // Shared for reading and renaming: an undo reads the record while a run still writes it.
    const HANDLE h =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, ShareAll, nullptr,
                      createNew ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return failLast();
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool AppendFile::isOpen() const {
    return m_handle != 0;
}

bool AppendFile::append(const char* data, std::size_t size) {
    if (m_handle == 0)
        return fail(ERROR_INVALID_HANDLE);
    const HANDLE h = reinterpret_cast<HANDLE>(m_handle);
    std::size_t done = 0;
    while (done < size) {
        // Both offsets all ones: each write lands at the end, whatever the file pointer says.
        OVERLAPPED at{};
        at.Offset = 0xFFFFFFFFu;
        at.OffsetHigh = 0xFFFFFFFFu;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, data + done, chunk, &written, &at) || written == 0) {
            const DWORD error = written == 0 && ::GetLastError() == ERROR_SUCCESS
                                    ? ERROR_DISK_FULL
                                    : ::GetLastError();
            LARGE_INTEGER end{};
            if (done > 0 && ::GetFileSizeEx(h, &end) &&
                end.QuadPart >= static_cast<LONGLONG>(done)) {
                FILE_END_OF_FILE_INFO cut{};
                cut.EndOfFile.QuadPart = end.QuadPart - static_cast<LONGLONG>(done);
                ::SetFileInformationByHandle(h, FileEndOfFileInfo, &cut, sizeof cut);
            }
            return fail(error);
        }
        done += written;
    }
    return true;
}

bool AppendFile::sync() {
    return m_handle != 0 && (::FlushFileBuffers(reinterpret_cast<HANDLE>(m_handle)) || failLast());
}

void AppendFile::close() {
    if (m_handle != 0)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = 0;
}

bool AppendFile::isFileAt(const Path& path) const {
    std::wstring wide;
    if (m_handle == 0 || !toWide(path, wide))
        return false;
    BY_HANDLE_FILE_INFORMATION mine;
    BY_HANDLE_FILE_INFORMATION named;
    Handle h(openEntry(wide, FILE_READ_ATTRIBUTES));
    return ::GetFileInformationByHandle(reinterpret_cast<HANDLE>(m_handle), &mine) && h.valid() &&
           ::GetFileInformationByHandle(h.get(), &named) && sameFile(mine, named);
}

bool copyFile(const Path& from, const Path& to, bool failIfExists) {
    return copyFile(from, to, failIfExists, {});
}

namespace {

DWORD CALLBACK copyProgressRoutine(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER,
                                   LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
    const auto& progress = *static_cast<const CopyProgress*>(data);
    return progress(static_cast<std::uint64_t>(done.QuadPart),
                    static_cast<std::uint64_t>(total.QuadPart))
               ? PROGRESS_CONTINUE
               : PROGRESS_CANCEL;
}

} // namespace

bool copyFile(const Path& from, const Path& to, bool failIfExists, const CopyProgress& progress) {
    std::wstring source;
    std::wstring destination;
    if (!toWide(from, source) || !toWide(to, destination))
        return false;
    BY_HANDLE_FILE_INFORMATION in;
    if (!queryInformation(source, in))
        return false;
    // The codes CopyFileW gives, with what they mean here.
    if (in.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return fail(ERROR_ACCESS_DENIED, L"c'est un dossier");
    BY_HANDLE_FILE_INFORMATION existing;
    const bool exists = queryInformation(destination, existing);
    if (exists) {
        if (sameFile(in, existing))
            return fail(ERROR_SHARING_VIOLATION,
                        L"La source et la destination sont le m\u00EAme fichier.");
        if (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return fail(ERROR_ACCESS_DENIED, L"c'est un dossier");
        if (failIfExists)
            return fail(ERROR_FILE_EXISTS);
        // A read-only or hidden file is not replaced, as CopyFileW would not (Wine's rename
        // below would replace even a read-only one).
        if (existing.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
            return fail(ERROR_ACCESS_DENIED);
    } else if (t_lastError != ERROR_FILE_NOT_FOUND) {
        // The folder itself is missing or unreadable, or is a file.
        const std::size_t cut = destination.find_last_of(L"\\/");
        const DWORD above = cut == std::wstring::npos
                                ? INVALID_FILE_ATTRIBUTES
                                : ::GetFileAttributesW(destination.substr(0, cut).c_str());
        if (above != INVALID_FILE_ATTRIBUTES && !(above & FILE_ATTRIBUTE_DIRECTORY))
            return fail(ERROR_DIRECTORY); // "ce n'est pas un dossier"
        return false;
    }
    // CopyFileW writes in place, so a copy that fails half-way would leave a cut destination:
    // it goes to a name of its own beside it, renamed over the destination once whole.
    const std::wstring temporary = temporaryName(destination);
    const bool copied = progress
                            ? ::CopyFileExW(source.c_str(), temporary.c_str(), copyProgressRoutine,
                                            const_cast<CopyProgress*>(&progress), nullptr,
                                            COPY_FILE_FAIL_IF_EXISTS) != 0
                            : ::CopyFileW(source.c_str(), temporary.c_str(), TRUE) != 0;
    if (!copied) {
        const DWORD error = ::GetLastError();
        removeTemporary(temporary);
        return fail(error);
    }
    const DWORD flags = failIfExists || !exists
                            ? MOVEFILE_WRITE_THROUGH
                            : MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (::MoveFileExW(temporary.c_str(), destination.c_str(), flags))
        return true;
    const DWORD error = ::GetLastError();
    removeTemporary(temporary);
    return fail(error);
}

// A writer holds the file without sharing writes with us: asking for reads while sharing
// nothing but reads is refused exactly while someone has it open to write (or to delete).
bool isOpenForWritingElsewhere(const Path& path) {
    std::wstring wide;
    if (!toWide(path, wide))
        return false;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    Handle h(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    return !h.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool moveFile(const Path& from, const Path& to, std::uint32_t flags) {
    std::wstring source;
    std::wstring destination;
    if (!toWide(from, source) || !toWide(to, destination))
        return false;
    const DWORD attributes = ::GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failLast();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return fail(ERROR_ACCESS_DENIED); // files only
    const DWORD target = ::GetFileAttributesW(destination.c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY))
        return fail(ERROR_ACCESS_DENIED);
    const DWORD how = (flags & MoveFileReplaceExisting) ? MOVEFILE_REPLACE_EXISTING : 0;
    return ::MoveFileExW(source.c_str(), destination.c_str(), how) || failLast();
}

bool renameNoReplace(const Path& from, const Path& to) {
    std::wstring source;
    std::wstring destination;
    if (!toWide(from, source) || !toWide(to, destination))
        return false;
    return ::MoveFileExW(source.c_str(), destination.c_str(), 0) || failLast();
}

int shellFileOperation(const ShellFileOperation& operation) {
    std::wstring source;
    if (!toWide(operation.from, source))
        return static_cast<int>(t_lastError);
    if (operation.function == FoMove) {
        std::wstring destination;
        if (!toWide(operation.to, destination))
            return static_cast<int>(t_lastError);
        return shellMove(source, destination);
    }
    if (operation.function == FoDelete) {
        if (!(operation.flags & FofAllowUndo))
            return fail(ERROR_ACCESS_DENIED, L"La suppression d\u00E9finitive n'est pas "
                                             L"propos\u00E9e."),
                   ERROR_ACCESS_DENIED;
        return recycle(source) ? 0 : static_cast<int>(t_lastError);
    }
    return fail(ERROR_INVALID_PARAMETER), ERROR_INVALID_PARAMETER;
}

// The recycle bin keeps its own names and records, and does not say where an item went: the
// item is recycled, `where` is left empty and `beforeMove` is never called (see platform.h).
bool moveToTrash(const Path& path, TrashedItem* where,
                 const std::function<bool(const TrashedItem&)>& beforeMove) {
    (void)beforeMove;
    std::wstring wide;
    if (!toWide(path, wide) || !recycle(wide))
        return false;
    if (where)
        *where = TrashedItem{};
    return true;
}

bool createDirectory(const Path& path) {
    std::wstring wide;
    if (!toWide(path, wide))
        return false;
    return ::CreateDirectoryW(wide.c_str(), nullptr) || failLast();
}

std::vector<Path> systemFolders() {
    static const KNOWNFOLDERID* const ids[] = {&FOLDERID_Windows, &FOLDERID_ProgramFiles,
                                               &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramData};
    std::vector<Path> folders;
    for (const KNOWNFOLDERID* id : ids) {
        PWSTR path = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(*id, 0, nullptr, &path)) && path && *path)
            folders.push_back(fromWide(path, std::wcslen(path)));
        ::CoTaskMemFree(path);
    }
    return folders;
}

Path executablePath() {
    static const Path path = []() -> Path {
        std::vector<wchar_t> buffer(MAX_PATH);
        for (;;) {
            const DWORD n =
                ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0)
                return {};
            if (n < buffer.size())
                return fromWide(buffer.data(), n);
            buffer.resize(buffer.size() * 2);
        }
    }();
    return path;
}

int lastError() {
    return static_cast<int>(t_lastError);
}

bool lastErrorIsNotFound() {
    return t_lastError == ERROR_FILE_NOT_FOUND || t_lastError == ERROR_PATH_NOT_FOUND ||
           t_lastError == ERROR_NO_MORE_FILES;
}

bool lastErrorIsAlreadyExists() {
    return t_lastError == ERROR_FILE_EXISTS || t_lastError == ERROR_ALREADY_EXISTS;
}

std::u16string lastErrorText() {
    if (!t_lastErrorText.empty())
        return fromWide(t_lastErrorText);
    // French whatever the system's language; the system's own words for the rare others.
    const std::wstring french = win32::frenchErrorText(t_lastError);
    if (!french.empty())
        return fromWide(french);
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, t_lastError, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
    if (text)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    if (message.empty())
        message = L"Erreur " + std::to_wstring(t_lastError);
    return fromWide(message);
}

std::u16string errorText(int error) {
    const std::wstring french = win32::frenchErrnoText(error);
    if (!french.empty())
        return fromWide(french);
    // The C run-time's text for the rare others.
    const wchar_t* text = ::_wcserror(error);
    return fromWide(text ? std::wstring(text) : L"Erreur " + std::to_wstring(error));
}

} // namespace ordalix::platform
