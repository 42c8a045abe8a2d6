#include "support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "profile_store.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace test {

namespace {

fs::path fsPath(const Path& path) {
    return fs::path(path);
}

Path fromFs(const fs::path& path) {
    return path.u16string();
}

struct Scratch {
    Path root;
    Scratch() {
        const fs::path base = fs::temp_directory_path();
        for (unsigned n = 0;; ++n) {
            const fs::path candidate = base / ("ordalix-platform-" + std::to_string(n));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                root = fromFs(candidate);
                break;
            }
            if (n > 10000)
                throw std::runtime_error("no scratch folder");
        }
    }
    ~Scratch() {
        std::error_code error;
        // Read-only files block a removal on Windows.
        for (auto it = fs::recursive_directory_iterator(fsPath(root), error);
             it != fs::recursive_directory_iterator(); it.increment(error))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
        fs::remove_all(fsPath(root), error);
    }
};

} // namespace

const Path& scratchRoot() {
    static const Scratch scratch;
    return scratch.root;
}

Path freshFolder(const char* name) {
    static unsigned counter = 0;
    const Path folder =
        join(scratchRoot(), u16(std::string(name) + "-" + std::to_string(counter++)));
    makeFolder(folder);
    return folder;
}

Path join(const Path& folder, const Path& name) {
    return folder + ordalix::platform::PathDelimiter + name;
}

Path u16(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end())).u16string();
}

std::string u8(const Path& text) {
    // Text here is what the tests made: lone surrogates would not survive, and never occur.
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void writeBytes(const Path& file, const std::string& bytes) {
    std::ofstream out(fsPath(file), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + u8(file));
}

std::string readBytes(const Path& file) {
    std::ifstream in(fsPath(file), std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool exists(const Path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(fsPath(path), error));
}

std::vector<std::string> entries(const Path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fsPath(folder), error))
        names.push_back(u8(entry.path().filename().u16string()));
    std::sort(names.begin(), names.end());
    return names;
}

void makeFolder(const Path& folder) {
    fs::create_directories(fsPath(folder));
}

void hardLink(const Path& target, const Path& link) {
    fs::create_hard_link(fsPath(target), fsPath(link));
}

void setModified(const Path& file, std::int64_t secondsSinceEpoch) {
    const auto since = std::chrono::seconds(secondsSinceEpoch) -
                       std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch());
    fs::last_write_time(fsPath(file), fs::file_time_type::clock::now() + since);
}

bool setHidden(const Path& file) {
#ifdef _WIN32
    const std::wstring wide(file.begin(), file.end());
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return ::SetFileAttributesW(wide.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN) != 0;
#else
    (void)file;
    return false;
#endif
}

bool setReadOnly(const Path& file, bool readOnly) {
    std::error_code error;
    fs::permissions(fsPath(file),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add, error);
    return !error;
}

bool waitFor(const Path& file, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!exists(file)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

Helper::Helper(const char* what, const Path& file) : m_file(file) {
#ifdef _WIN32
    const Path self = ordalix::platform::executablePath();
    std::wstring command = L"\"" + std::wstring(self.begin(), self.end()) + L"\" --helper " +
                           std::wstring(what, what + std::strlen(what)) + L" \"" +
                           std::wstring(file.begin(), file.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return;
    ::CloseHandle(info.hThread);
    m_process = reinterpret_cast<std::intptr_t>(info.hProcess);
#else
    const std::string self = u8(ordalix::platform::executablePath());
    const std::string path = u8(file);
    char* argv[] = {const_cast<char*>(self.c_str()), const_cast<char*>("--helper"),
                    const_cast<char*>(what), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0)
        return;
    m_process = pid;
#endif
    m_running = true;
    m_ready = waitFor(file + u".ready", std::chrono::seconds(20));
}

bool Helper::release() {
    if (!m_running)
        return false;
    writeBytes(m_file + u".release", "");
    m_running = false;
#ifdef _WIN32
    const auto process = reinterpret_cast<HANDLE>(m_process);
    const bool ended = ::WaitForSingleObject(process, 20000) == WAIT_OBJECT_0;
    DWORD code = 1;
    ::GetExitCodeProcess(process, &code);
    ::CloseHandle(process);
    return ended && code == 0;
#else
    int status = 0;
    return ::waitpid(static_cast<pid_t>(m_process), &status, 0) > 0 && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
#endif
}

Helper::~Helper() {
    if (m_running)
        release();
}

int runAsHelper(int argc, char** argv) {
    if (argc != 4 || std::string(argv[1]) != "--helper")
        return -1;
    const std::string what = argv[2];
    const Path file = u16(argv[3]);
    const auto waitForRelease = [&] {
        return waitFor(file + u".release", std::chrono::seconds(30)) ? 0 : 2;
    };
    if (what == "hold-write") {
        std::ofstream out(fsPath(file), std::ios::binary | std::ios::app);
        if (!out)
            return 3;
        writeBytes(file + u".ready", "");
        return waitForRelease();
    }
    if (what == "hold-lock") {
        const ordalix::platform::ProfileLock lock(file);
        writeBytes(file + u".ready", "");
        return waitForRelease();
    }
    return 4;
}

} // namespace test
