#include "platform/unix/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// open, retried when a signal interrupts it; -1 with errno set on failure.
int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Calls readSome(buffer, count, done) until count bytes have arrived; false at end of file
// (errno 0) or on an error (errno set).
template <typename ReadSome>
bool readAll(char* buffer, long count, ReadSome readSome) {
    long done = 0;
    while (done < count) {
        long got = readSome(buffer + done, count - done, done);
        if (got <= 0) {
            if (got == 0) {
                errno = 0;
            }
            return false;
        }
        done += got;
    }
    return true;
}

}  // namespace

bool BinaryFile::openForReading(const SString& path) {
    close();
    m_fd.reset(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
    return m_fd.isOpen();
}

bool BinaryFile::openForWriting(const SString& path, mode_t mode) {
    close();
    m_fd.reset(openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode));
    return m_fd.isOpen();
}

bool BinaryFile::truncate() {
    int result;
    do {
        result = ::ftruncate(m_fd.get(), 0);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool BinaryFile::isSameFileAs(const BinaryFile& other) const {
    struct stat mine;
    struct stat theirs;
    return ::fstat(m_fd.get(), &mine) == 0 && ::fstat(other.m_fd.get(), &theirs) == 0 &&
           mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

bool BinaryFile::createUnique(char* pathTemplate) {
    close();
    m_fd.reset(mkostemp(pathTemplate, O_CLOEXEC));
    return m_fd.isOpen();
}

bool BinaryFile::seek(long offset) {
    return offset >= 0 && ::lseek(m_fd.get(), static_cast<off_t>(offset), SEEK_SET) == offset;
}

long BinaryFile::size() const {
    struct stat info;
    if (::fstat(m_fd.get(), &info) != 0) {
        return -1;
    }
    return static_cast<long>(info.st_size);
}

long BinaryFile::readSome(char* buffer, long count) {
    ssize_t got;
    do {
        got = ::read(m_fd.get(), buffer, static_cast<size_t>(count));
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool BinaryFile::readFully(char* buffer, long count) {
    return readAll(buffer, count,
                   [this](char* to, long wanted, long /*done*/) { return readSome(to, wanted); });
}

long BinaryFile::readSomeAt(char* buffer, long count, long offset) const {
    if (offset < 0) {
        errno = EINVAL;
        return -1;
    }
    ssize_t got;
    do {
        got = ::pread(m_fd.get(), buffer, static_cast<size_t>(count), static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool BinaryFile::readFullyAt(char* buffer, long count, long offset) const {
    return readAll(buffer, count, [this, offset](char* to, long wanted, long done) {
        return readSomeAt(to, wanted, offset + done);
    });
}

bool BinaryFile::writeAll(const char* buffer, long count) {
    while (count > 0) {
        ssize_t written = ::write(m_fd.get(), buffer, static_cast<size_t>(count));
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
        moved = ::copy_file_range(source.m_fd.get(), nullptr, m_fd.get(), nullptr,
                                  static_cast<size_t>(count), 0);
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
        moved = ::copy_file_range(source.m_fd.get(), &from, m_fd.get(), nullptr,
                                  static_cast<size_t>(count), 0);
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
    return m_fd.close();
}
