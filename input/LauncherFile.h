#ifndef QV_INPUT_LAUNCHERFILE_H
#define QV_INPUT_LAUNCHERFILE_H

#include <cstdio>
#include <memory>

#include "base/SString.h"
#include "platform/unix/BinaryFile.h"

// The launcher file, opened once and read through that one descriptor at explicit offsets
// (pread) for its trailer, its index and every embedded file. Its name is never opened again,
// so a file renamed over the launcher's path while it runs changes nothing it reads: the
// bytes stay those of the file that was opened.
class LauncherFile {
public:
    LauncherFile() = default;
    LauncherFile(const LauncherFile&) = delete;
    LauncherFile& operator=(const LauncherFile&) = delete;

    // Opens openPath read-only (close-on-exec) and keeps name for messages and for the
    // launcher's directory; openPath may differ from it ("/proc/self/exe" reaches the executed
    // file whatever its name now holds). A descriptor held before is closed first. Returns
    // false with errno set when the file cannot be opened; the failure is remembered
    // (getOpenError).
    bool open(const SString& openPath, const SString& name);
    // Closes the descriptor and forgets the name and any open failure.
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    // True once open was called, whether or not it worked.
    bool wasOpenAttempted() const { return m_attempted; }
    // The errno of the last failed open, 0 after a successful one.
    int getOpenError() const { return m_openError; }
    const SString& getName() const { return m_name; }
    // The size in bytes, or -1 when the file is not open or cannot be examined.
    long size() const { return m_file.isOpen() ? m_file.size() : -1; }
    // Reads exactly count bytes from offset; false on error or when the file ends first
    // (errno is then 0).
    bool readAt(long offset, char* buffer, long count) const {
        return m_file.readFullyAt(buffer, count, offset);
    }
    // The descriptor, for copies made inside the kernel and for identity checks.
    const BinaryFile& binaryFile() const { return m_file; }

private:
    BinaryFile m_file;
    SString m_name;
    bool m_attempted = false;
    int m_openError = 0;
};

// A stdio stream that reads a LauncherFile, for the parsers that read streams (index entries,
// tag files). The stream keeps its own position and reads with pread, so it never moves nor
// is moved by another reader of the same descriptor; closing it leaves the descriptor open.
// The LauncherFile must outlive it.
class LauncherFileStream {
public:
    explicit LauncherFileStream(const LauncherFile& file);
    LauncherFileStream(const LauncherFileStream&) = delete;
    LauncherFileStream& operator=(const LauncherFileStream&) = delete;
    ~LauncherFileStream();

    // The stream, positioned at the start of the file; null when it could not be made.
    FILE* get() const { return m_stream; }

    // The read position and the descriptor the stream functions work on.
    struct Cursor {
        const BinaryFile* file;
        long position;
    };

private:
    std::unique_ptr<Cursor> m_cursor;
    FILE* m_stream = nullptr;
};

#endif  // QV_INPUT_LAUNCHERFILE_H
