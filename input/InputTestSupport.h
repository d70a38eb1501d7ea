#ifndef QV_INPUT_INPUTTESTSUPPORT_H
#define QV_INPUT_INPUTTESTSUPPORT_H

// Helpers shared by the tests of this folder: a scoped temporary directory and whole-file
// reads and writes. Used by tests only.

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/SString.h"

namespace inputtest {

inline std::string str(const SString& text) {
    return std::string(text.c_str(), text.length());
}

// A fresh directory below /tmp, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/qvtest-input-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() { nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    static int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
        std::remove(path);
        return 0;
    }

    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The names in a directory, sorted, without "." and "..".
inline std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

inline bool isExecutable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

// Bytes that look like nothing in particular, the same on every run.
inline std::string patternBytes(size_t length, unsigned seed) {
    std::string bytes(length, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace inputtest

#endif  // QV_INPUT_INPUTTESTSUPPORT_H
