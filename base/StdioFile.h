#ifndef QV_BASE_STDIOFILE_H
#define QV_BASE_STDIOFILE_H

#include <cstdio>

// Owns a stdio stream for the duration of one operation and closes it when destroyed. Open
// with an "e" in the mode so that child processes do not inherit the descriptor.
class StdioFile {
public:
    StdioFile(const char* path, const char* mode) : m_file(std::fopen(path, mode)) {}
    // Takes over an open stream (null for none).
    explicit StdioFile(FILE* file) : m_file(file) {}
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;
    ~StdioFile() { close(); }

    // Null when the open failed.
    FILE* get() const { return m_file; }
    // Closes the stream now; false when buffered data could not be written.
    bool close() {
        if (m_file == nullptr) {
            return true;
        }
        bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        return closed;
    }

private:
    FILE* m_file;
};

#endif  // QV_BASE_STDIOFILE_H
