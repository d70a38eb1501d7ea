#include "input/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/unix/SystemError.h"

BinaryFile::~BinaryFile() {
    close();
}

bool BinaryFile::openForReading(const SString& path) {
    close();
    do {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

bool BinaryFile::openForWriting(const SString& path, mode_t mode) {
    close();
    do {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

bool BinaryFile::truncate() {
    int result;
    do {
        result = ::ftruncate(m_fd, 0);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool BinaryFile::isSameFileAs(const BinaryFile& other) const {
    struct stat mine;
    struct stat theirs;
    return ::fstat(m_fd, &mine) == 0 && ::fstat(other.m_fd, &theirs) == 0 &&
           mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

bool BinaryFile::createUnique(char* pathTemplate) {
    close();
    m_fd = mkostemp(pathTemplate, O_CLOEXEC);
    return m_fd >= 0;
}

bool BinaryFile::seek(long offset) {
    return offset >= 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) == offset;
}

long BinaryFile::size() const {
    struct stat info;
    if (::fstat(m_fd, &info) != 0) {
        return -1;
    }
    return static_cast<long>(info.st_size);
}

long BinaryFile::readSome(char* buffer, long count) {
    ssize_t got;
    do {
        got = ::read(m_fd, buffer, static_cast<size_t>(count));
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool BinaryFile::readFully(char* buffer, long count) {
    while (count > 0) {
        long got = readSome(buffer, count);
        if (got <= 0) {
            if (got == 0) {
                errno = 0;
            }
            return false;
        }
        buffer += got;
        count -= got;
    }
    return true;
}

long BinaryFile::readSomeAt(char* buffer, long count, long offset) const {
    if (offset < 0) {
        errno = EINVAL;
        return -1;
    }
    ssize_t got;
    do {
        got = ::pread(m_fd, buffer, static_cast<size_t>(count), static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool BinaryFile::readFullyAt(char* buffer, long count, long offset) const {
    while (count > 0) {
        long got = readSomeAt(buffer, count, offset);
        if (got <= 0) {
            if (got == 0) {
                errno = 0;
            }
            return false;
        }
        buffer += got;
        count -= got;
        offset += got;
    }
    return true;
}

bool BinaryFile::writeAll(const char* buffer, long count) {
    while (count > 0) {
        ssize_t written = ::write(m_fd, buffer, static_cast<size_t>(count));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        buffer += written;
        count -= written;
    }
    return true;
}

long BinaryFile::copyInKernel(BinaryFile& source, long count) {
#if defined(__linux__)
    ssize_t moved;
    do {
        moved =
            ::copy_file_range(source.m_fd, nullptr, m_fd, nullptr, static_cast<size_t>(count), 0);
    } while (moved < 0 && errno == EINTR);
    return static_cast<long>(moved);
#else
    (void)source;
    (void)count;
    errno = ENOSYS;
    return -1;
#endif
}

long BinaryFile::copyInKernelFrom(const BinaryFile& source, long& sourceOffset, long count) {
#if defined(__linux__)
    loff_t from = static_cast<loff_t>(sourceOffset);
    ssize_t moved;
    do {
        moved = ::copy_file_range(source.m_fd, &from, m_fd, nullptr, static_cast<size_t>(count), 0);
    } while (moved < 0 && errno == EINTR);
    if (moved > 0) {
        sourceOffset += static_cast<long>(moved);
    }
    return static_cast<long>(moved);
#else
    (void)source;
    (void)sourceOffset;
    (void)count;
    errno = ENOSYS;
    return -1;
#endif
}

bool BinaryFile::close() {
    if (m_fd < 0) {
        return true;
    }
    // Linux releases the descriptor even when close fails, EINTR included: never retry it.
    int result = ::close(m_fd);
    m_fd = -1;
    return result == 0;
}

SString describeSystemError(const SString& context, int err) {
    SString text(context);
    text += ": ";
    text += err == 0 ? SString("unexpected end of file") : systemErrorText(err);
    return text;
}
