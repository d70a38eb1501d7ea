#include "platform/unix/FileDescriptor.h"

#include <unistd.h>

#include <cerrno>

void FileDescriptor::reset(int fd) noexcept {
    if (fd < 0) {
        fd = -1;
    }
    if (m_fd >= 0 && m_fd != fd) {
        int savedErrno = errno;
        ::close(m_fd);
        errno = savedErrno;
    }
    m_fd = fd;
}

bool FileDescriptor::close() noexcept {
    if (m_fd < 0) {
        return true;
    }
    // Linux releases the descriptor even when close fails, EINTR included: never retry it.
    int result = ::close(m_fd);
    m_fd = -1;
    return result == 0;
}
