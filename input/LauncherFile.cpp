#include "input/LauncherFile.h"

#include <sys/types.h>

#include <cerrno>

namespace {

typedef LauncherFileStream::Cursor Cursor;

long readFromCursor(Cursor& cursor, char* buffer, long size) {
    long got = cursor.file->readSomeAt(buffer, size, cursor.position);
    if (got > 0) {
        cursor.position += got;
    }
    return got;
}

// The new position for a seek, or -1 (errno EINVAL) for one before the start.
long seekCursor(Cursor& cursor, long offset, int whence) {
    long base = 0;
    if (whence == SEEK_CUR) {
        base = cursor.position;
    } else if (whence == SEEK_END) {
        base = cursor.file->size();
        if (base < 0) {
            return -1;
        }
    }
    if (offset < -base) {
        errno = EINVAL;
        return -1;
    }
    cursor.position = base + offset;
    return cursor.position;
}

#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__)

int readCookie(void* cookie, char* buffer, int size) {
    return static_cast<int>(readFromCursor(*static_cast<Cursor*>(cookie), buffer, size));
}

fpos_t seekCookie(void* cookie, fpos_t offset, int whence) {
    return static_cast<fpos_t>(
        seekCursor(*static_cast<Cursor*>(cookie), static_cast<long>(offset), whence));
}

FILE* openCursorStream(Cursor* cursor) {
    return funopen(cursor, readCookie, nullptr, seekCookie, nullptr);
}

#else

ssize_t readCookie(void* cookie, char* buffer, size_t size) {
    return static_cast<ssize_t>(
        readFromCursor(*static_cast<Cursor*>(cookie), buffer, static_cast<long>(size)));
}

int seekCookie(void* cookie, off64_t* offset, int whence) {
    long position = seekCursor(*static_cast<Cursor*>(cookie), static_cast<long>(*offset), whence);
    if (position < 0) {
        return -1;
    }
    *offset = static_cast<off64_t>(position);
    return 0;
}

FILE* openCursorStream(Cursor* cursor) {
    cookie_io_functions_t functions = {readCookie, nullptr, seekCookie, nullptr};
    return fopencookie(cursor, "rb", functions);
}

#endif

}  // namespace

bool LauncherFile::open(const SString& openPath, const SString& name) {
    close();
    m_attempted = true;
    m_name = name;
    if (!m_file.openForReading(openPath)) {
        m_openError = errno;
        return false;
    }
    m_openError = 0;
    return true;
}

void LauncherFile::close() {
    // A descriptor opened only for reading loses nothing when it is closed.
    m_file.close();
    m_name = SString();
    m_attempted = false;
    m_openError = 0;
}

LauncherFileStream::LauncherFileStream(const LauncherFile& file)
    : m_cursor(new Cursor{&file.binaryFile(), 0}) {
    if (file.isOpen()) {
        m_stream = openCursorStream(m_cursor.get());
    } else {
        errno = EBADF;
    }
}

LauncherFileStream::~LauncherFileStream() {
    if (m_stream != nullptr) {
        // Nothing is written through the stream, so closing it cannot lose data.
        // NOLINTNEXTLINE(cert-err33-c): see above
        std::fclose(m_stream);
    }
}
