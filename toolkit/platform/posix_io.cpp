#include "posix_io.h"

#include <cerrno>
#include <unistd.h>

namespace ordalix::platform::posix {

void Fd::reset(int fd) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int Fd::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace ordalix::platform::posix
