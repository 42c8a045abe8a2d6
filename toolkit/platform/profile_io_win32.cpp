// Windows file access of the INI profile store. The store is ours here too, rather than the
// profile API's: the API lets a line break in a name or value add a line, and keeps none of the
// store's promises on layouts, quoting and encodings (profile_store.h).
#include "profile_io.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include <windows.h>

namespace ordalix::platform::profile::io {

namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE get() const { return m_h; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (valid())
            ::CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h;
};

void splitTime(const LARGE_INTEGER& time, std::int64_t& seconds, std::uint32_t& nanoseconds) {
    constexpr std::int64_t UnixEpoch = 116444736000000000LL; // 1970 in 100 ns since 1601
    const std::int64_t ticks = time.QuadPart - UnixEpoch;
    seconds = ticks / 10000000;
    std::int64_t rest = ticks % 10000000;
    if (rest < 0)
        --seconds, rest += 10000000;
    nanoseconds = static_cast<std::uint32_t>(rest * 100);
}

// Identity, size, last write and last change of an open file. The change time is in the
// basic information only; where the file system has none, the write time stands in.
bool stampFrom(HANDLE h, Stamp& stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info))
        return false;
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        basic.LastWriteTime.LowPart = info.ftLastWriteTime.dwLowDateTime;
        basic.LastWriteTime.HighPart = static_cast<LONG>(info.ftLastWriteTime.dwHighDateTime);
        basic.ChangeTime = basic.LastWriteTime;
    }
    stamp.device = info.dwVolumeSerialNumber;
    stamp.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    splitTime(basic.LastWriteTime, stamp.modifiedSeconds, stamp.modifiedNanoseconds);
    splitTime(basic.ChangeTime, stamp.changedSeconds, stamp.changedNanoseconds);
    return true;
}

std::wstring folderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : L".";
    if (slash == 2 && path[1] == L':')
        return path.substr(0, 3);
    return path.substr(0, slash);
}

std::wstring nameOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool writeAll(HANDLE h, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1u << 30);
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data() + done, static_cast<DWORD>(chunk), &written, nullptr))
            return false;
        done += written;
    }
    return true;
}

// The file a link leads to, so that a rewrite replaces it rather than the link.
std::wstring finalPath(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    Handle h(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid())
        return path;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(
            h.get(), buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
        if (n == 0)
            return path;
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

} // namespace

bool toNative(const Path& path, NativePath& out) {
    if (path.empty() || path.find(u'\0') != Path::npos) {
        ::SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
        return false;
    }
    out.assign(path.begin(), path.end());
    return true;
}

bool Stamp::tellsChanges() const {
    if (modifiedNanoseconds != 0 || changedNanoseconds != 0)
        return true;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = static_cast<LONG>(now.dwHighDateTime);
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    splitTime(ticks, seconds, nanoseconds);
    return seconds - modifiedSeconds >= 2 && seconds - changedSeconds >= 2;
}

bool stampOf(const NativePath& path, Stamp& stamp, int& error) {
    Handle h(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid()) {
        const DWORD code = ::GetLastError();
        // A missing folder is a missing file, as stat() has it: the write then fails itself.
        error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                    ? 0
                    : static_cast<int>(code);
        return false;
    }
    if (!stampFrom(h.get(), stamp)) {
        error = static_cast<int>(::GetLastError());
        return false;
    }
    error = 0;
    return true;
}

int readPieces(const NativePath& path, std::uint64_t offset, Stamp& stamp,
               const std::function<bool(const char* data, std::size_t size)>& piece) {
    Handle h(::CreateFileW(path.c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid() || !stampFrom(h.get(), stamp))
        return static_cast<int>(::GetLastError());
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(h.get(), at, nullptr, FILE_BEGIN))
        return static_cast<int>(::GetLastError());
    // No larger than what is left to read, and not cleared first (see the POSIX reader).
    const std::uint64_t left = stamp.size > offset ? stamp.size - offset : 0;
    const auto size = static_cast<DWORD>(std::min<std::uint64_t>(left + 1, PieceSize));
    const std::unique_ptr<char[]> buffer(new char[size]);
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buffer.get(), size, &n, nullptr))
            return static_cast<int>(::GetLastError());
        if (n == 0 || !piece(buffer.get(), n))
            return 0;
    }
}

int append(const NativePath& path, std::uint64_t expectedSize, const std::string& bytes,
           Stamp& after) {
    Handle h(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid())
        return static_cast<int>(::GetLastError());
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(h.get(), &size))
        return static_cast<int>(::GetLastError());
    if (static_cast<std::uint64_t>(size.QuadPart) != expectedSize)
        return FileChanged;
    LARGE_INTEGER end;
    end.QuadPart = size.QuadPart;
    if (!::SetFilePointerEx(h.get(), end, nullptr, FILE_BEGIN))
        return static_cast<int>(::GetLastError());
    // No flush per append, as on POSIX: what is appended is in the file for every reader.
    if (!writeAll(h.get(), bytes)) {
        const DWORD error = ::GetLastError();
        if (::SetFilePointerEx(h.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h.get()))
            ::FlushFileBuffers(h.get());
        return static_cast<int>(error);
    }
    // The write time may only settle when the handle closes: the stamp is taken after that.
    h.reset();
    int error = 0;
    if (!stampOf(path, after, error))
        return error ? error : ERROR_FILE_NOT_FOUND;
    return 0;
}

int replace(const NativePath& file, const std::string& bytes) {
    const std::wstring path = finalPath(file);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // The rename below only needs the folder: a read-only file stays as it is.
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
            return ERROR_ACCESS_DENIED;
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return static_cast<int>(::GetLastError());
    }

    static std::atomic<unsigned> counter{0};
    std::wstring folder = folderOf(path);
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/' && folder.back() != L':')
        folder += L'\\';
    const std::wstring base = nameOf(path).substr(0, 200);
    std::wstring temporary;
    Handle out;
    for (int attempt = 0; attempt < 16 && !out.valid(); ++attempt) {
        temporary = folder + L"." + base + L".~" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(counter++);
        out.reset(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (!out.valid() && ::GetLastError() != ERROR_FILE_EXISTS)
            return static_cast<int>(::GetLastError());
    }
    if (!out.valid())
        return ERROR_FILE_EXISTS;

    DWORD error = 0;
    if (!writeAll(out.get(), bytes) || !::FlushFileBuffers(out.get()))
        error = ::GetLastError();
    out.reset();
    // The file keeps its own attributes (hidden, system, archive); a new one gets none.
    const DWORD kept = attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_NORMAL : attributes;
    if (!error && !::SetFileAttributesW(temporary.c_str(), kept))
        error = ::GetLastError();
    if (!error && !::MoveFileExW(temporary.c_str(), path.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error) {
        ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(temporary.c_str());
        return static_cast<int>(error);
    }
    return 0;
}

void setError(int error) {
    ::SetLastError(static_cast<DWORD>(error));
}

int currentError() {
    return static_cast<int>(::GetLastError());
}

int busyError() {
    return ERROR_SHARING_VIOLATION;
}

// Writers take turns through a named mutex per folder, named after the folder's volume and
// file index: a byte-range lock (LockFileEx) needs a file, and the profile is replaced by
// rename, which would leave a lock on the old file; a lock file would litter the folder.
// Windows releases a mutex whose owner died, and the next waiter gets it.
bool openFolder(const NativePath& file, FolderLock& lock) {
    Handle h(::CreateFileW(folderOf(file).c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info))
        return false;
    lock.device = info.dwVolumeSerialNumber;
    lock.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    lock.token = -1;
    return true;
}

bool lockFolder(FolderLock& lock) {
    wchar_t name[96];
    std::swprintf(name, 96, L"ordalix-profile-%08llx-%016llx",
                  static_cast<unsigned long long>(lock.device),
                  static_cast<unsigned long long>(lock.index));
    // Every session's programs share the global name; where it may not be made, the session's.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, (std::wstring(L"Global\\") + name).c_str());
    if (!mutex)
        mutex = ::CreateMutexW(nullptr, FALSE, (std::wstring(L"Local\\") + name).c_str());
    if (!mutex)
        return false;
    const DWORD result = ::WaitForSingleObject(mutex, INFINITE);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        return false;
    }
    lock.token = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}

void closeFolder(FolderLock& lock) {
    if (lock.token == -1)
        return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(lock.token);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    lock.token = -1;
}

} // namespace ordalix::platform::profile::io
