#ifndef QV_PLATFORM_UNIX_BINARYFILE_H
#define QV_PLATFORM_UNIX_BINARYFILE_H

#include <sys/types.h>

#include "base/SString.h"
#include "platform/unix/FileDescriptor.h"

// A file open through one POSIX descriptor (a FileDescriptor, opened close-on-exec, closed
// when destroyed), with the reads and writes the launcher needs. The read and write calls
// retry when a signal interrupts them. Each operation answers whether it
// worked and leaves errno set when it did not, so that callers can phrase their own error.
class BinaryFile {
public:
    BinaryFile() = default;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    bool openForReading(const SString& path);
    // Opens path for writing, creating it with mode (before the umask) when absent; an existing
    // file keeps its bytes until truncate. A symbolic link at path is refused rather than
    // followed, so the bytes land where the caller named.
    bool openForWriting(const SString& path, mode_t mode);
    bool truncate();
    // True when both descriptors refer to the same file (same device and inode).
    bool isSameFileAs(const BinaryFile& other) const;
    // Creates a new file from a mkstemp template (its last six bytes "XXXXXX"), which is
    // rewritten with the name chosen.
    bool createUnique(char* pathTemplate);

    bool isOpen() const { return m_fd.isOpen(); }
    int descriptor() const { return m_fd.get(); }
    bool seek(long offset);
    // The file's size in bytes, or -1 when it cannot be determined.
    long size() const;
    // Reads up to count bytes; returns the number read, 0 at the end, -1 on error.
    long readSome(char* buffer, long count);
    // Reads exactly count bytes; false on error or when the file ends first (errno is then 0).
    bool readFully(char* buffer, long count);
    // Reads up to count bytes from offset without moving the file position (pread), so that
    // readers of one descriptor do not disturb each other. Returns the number read, 0 at the
    // end, -1 on error.
    long readSomeAt(char* buffer, long count, long offset) const;
    // Reads exactly count bytes from offset (pread); false on error or when the file ends
    // first (errno is then 0).
    bool readFullyAt(char* buffer, long count, long offset) const;
    // Writes all count bytes, continuing after short writes.
    bool writeAll(const char* buffer, long count);
    // Moves up to count bytes from source's position to this file's position inside the
    // kernel (copy_file_range), advancing both positions. Returns the number moved; 0 when
    // source is at its end; -1 when the system cannot move them this way or an error stopped
    // it, with nothing moved by this call, so that the caller can go on through a buffer,
    // which also tells a read error from a write error.
    long copyInKernel(BinaryFile& source, long count);
    // As copyInKernel, but reads source from sourceOffset, which advances by the number moved,
    // and leaves source's file position alone.
    long copyInKernelFrom(const BinaryFile& source, long& sourceOffset, long count);
    // Closes the descriptor; false when the system reports that data may be lost.
    bool close();

private:
    FileDescriptor m_fd;
};

#endif  // QV_PLATFORM_UNIX_BINARYFILE_H
