#ifndef QV_PLATFORM_UNIX_FILEDESCRIPTOR_H
#define QV_PLATFORM_UNIX_FILEDESCRIPTOR_H

// Owns one open POSIX file descriptor and closes it when destroyed. Move-only, so that
// exactly one owner closes each descriptor; -1 stands for none. Every descriptor the launcher
// opens for longer than one call is held by one of these (or by BinaryFile, built on it), so
// that no path out of a function, an exception included, leaves a descriptor open.
class FileDescriptor {
public:
    FileDescriptor() noexcept = default;
    // Takes over fd; a negative value (a failed open) leaves the owner empty.
    explicit FileDescriptor(int fd) noexcept : m_fd(fd < 0 ? -1 : fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    // Closes the descriptor held and takes other's.
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    // The descriptor, or -1. Async-signal-safe, for a child between fork and exec.
    int get() const noexcept { return m_fd; }
    bool isOpen() const noexcept { return m_fd >= 0; }
    // Gives the descriptor up without closing it: the caller owns it now. -1 when none.
    int release() noexcept {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor held, unless it is fd itself, and takes fd (-1, or any negative
    // value, for none). errno is left as it was, so that a caller may reset on the way to
    // reporting an earlier failure.
    void reset(int fd = -1) noexcept;
    // Closes the descriptor now; false when the system reports an error (written data may be
    // lost). The owner is empty afterwards either way: the system releases the descriptor even
    // when close fails, so it must never be closed again. True when nothing was held.
    bool close() noexcept;

private:
    int m_fd = -1;
};

#endif  // QV_PLATFORM_UNIX_FILEDESCRIPTOR_H
