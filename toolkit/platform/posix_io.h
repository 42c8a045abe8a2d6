// Small POSIX helpers shared by the backend and the profile store.
#pragma once

#include <cstddef>

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

// Writes all the bytes, going on after interruptions; false with errno set on failure.
bool writeAll(int fd, const char* data, std::size_t size);

} // namespace ordalix::platform::posix
