// Small POSIX helpers shared by the backend and the profile store.
#pragma once

#include <cstddef>
#include <string>

namespace ordalix::platform::posix {

// An open file descriptor, closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1);
    int release();

private:
    int m_fd;
};

// A rename that never replaces: RENAME_NOREPLACE, or a check then a rename on file systems
// without it. False with errno set (EEXIST when the name is taken).
bool renameNoReplace(const std::string& from, const std::string& to);

// The system's reason for an error number, in French whatever the system's language (the
// C library speaks the locale's, English under C and most servers).
std::string errorText(int error);

// Writes all the bytes, going on after interruptions; false with errno set on failure.
bool writeAll(int fd, const char* data, std::size_t size);

} // namespace ordalix::platform::posix
