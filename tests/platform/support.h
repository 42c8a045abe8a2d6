// What the platform tests share: a scratch folder of their own, plain file helpers that do not
// go through the layer under test, and a helper process for what needs another process.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform.h"

namespace test {

using ordalix::platform::Path;

#ifdef _WIN32
inline constexpr bool Windows = true;
#else
inline constexpr bool Windows = false;
#endif

// The process's scratch folder, made on first use and removed at exit.
const Path& scratchRoot();
// A fresh, empty folder inside it.
Path freshFolder(const char* name);

Path join(const Path& folder, const Path& name);
Path u16(const std::string& utf8);
std::string u8(const Path& text);

void writeBytes(const Path& file, const std::string& bytes);
std::string readBytes(const Path& file);
bool exists(const Path& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> entries(const Path& folder);
void makeFolder(const Path& folder);
void hardLink(const Path& target, const Path& link);
void setModified(const Path& file, std::int64_t secondsSinceEpoch);

// Marks a file hidden the platform's way: the attribute on Windows; elsewhere only a leading
// dot hides, so this is false there.
bool setHidden(const Path& file);
bool setReadOnly(const Path& file, bool readOnly);

// A copy of this program doing one thing in its own process: "hold-write FILE" keeps FILE open
// for writing, "hold-lock FILE" holds the profile store's lock of FILE's folder. It says it is
// ready by creating FILE.ready and ends once FILE.release exists.
class Helper {
public:
    Helper(const char* what, const Path& file);
    ~Helper();
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    bool ready() const { return m_ready; }
    // Lets it end, and waits for it.
    bool release();

private:
    Path m_file;
    bool m_ready = false;
    bool m_running = false;
    std::intptr_t m_process = -1;
};

// Runs a helper's work when this program was started as one; returns its exit code, or -1.
int runAsHelper(int argc, char** argv);

// Waits for a file to appear, up to a time limit.
bool waitFor(const Path& file, std::chrono::milliseconds limit);

} // namespace test
