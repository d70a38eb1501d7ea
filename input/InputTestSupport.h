#ifndef QV_INPUT_INPUTTESTSUPPORT_H
#define QV_INPUT_INPUTTESTSUPPORT_H

// Helpers shared by the tests of this folder: a scoped temporary directory and whole-file
// reads and writes. Used by tests only.

#include <sys/stat.h>

#include <string>

#include "tests/support/LauncherTestSupport.h"
#include "tests/support/TestSupport.h"

namespace inputtest {

using qvtest::str;

// A fresh directory below /tmp, removed with everything in it when the object goes.
class TempDir : public qvtest::TemporaryDirectory {
public:
    TempDir() : qvtest::TemporaryDirectory("qvtest-input") {}
};

using qvtest::listDirectory;
using qvtest::readFile;
using qvtest::writeFile;

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
