#ifndef QV_TESTS_FUZZ_FUZZSUPPORT_H
#define QV_TESTS_FUZZ_FUZZSUPPORT_H

// Helpers shared by the libFuzzer targets. Each target catches only the failures a function
// documents (LauncherException, InstructionsException); anything else that leaves it, a crash,
// a sanitizer report or an abort() on a broken invariant, is a finding.

#include <ftw.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "base/SString.h"
#include "base/TextUtil.h"
#include "launcher/Launcher.h"
#include "platform/unix/PlatformImpl.h"

extern "C" char** environ;

namespace fuzz {

inline SString toSString(const uint8_t* data, size_t size) {
    return SString(reinterpret_cast<const char*>(data), static_cast<SString::size_type>(size));
}

inline std::string toStdString(const SString& text) {
    return std::string(text.data(), text.length());
}

// Prints what broke and aborts, so that libFuzzer records the input.
[[noreturn]] inline void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz invariant broken: %s: [%s]\n", what, detail.c_str());
    std::abort();
}

// No console output, no log file: a fuzzer runs millions of inputs.
inline void silenceLauncher() {
    PlatformImpl::setSilent(true);
    g_enableOutput = false;
    Log::setLogFileName(SString());
}

// A private directory for the files a target writes, removed at exit. It lives in memory
// (/dev/shm) where that exists: targets write and remove files for every input.
class ScratchDir {
public:
    ScratchDir() {
        char inMemory[] = "/dev/shm/qvfuzz-XXXXXX";
        char onDisk[] = "/tmp/qvfuzz-XXXXXX";
        char* pattern = access("/dev/shm", W_OK | X_OK) == 0 ? inMemory : onDisk;
        if (mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = pattern;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() { nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Creates or replaces the file name with content; aborts when that fails.
    std::string writeFile(const std::string& name, const void* content, size_t size) const {
        std::string path = *this / name;
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || (size > 0 && std::fwrite(content, 1, size, file) != size) ||
            std::fclose(file) != 0) {
            fail("cannot write scratch file", path);
        }
        return path;
    }
    std::string writeFile(const std::string& name, const std::string& content) const {
        return writeFile(name, content.data(), content.size());
    }

private:
    static int removeEntry(const char* path, const struct stat*, int, FTW*) {
        std::remove(path);
        return 0;
    }

    std::string m_path;
};

// The environment as it was when taken; restore() undoes whatever an input set or added, so
// that one input cannot change how the next one runs (TMPDIR among others).
class EnvironmentSnapshot {
public:
    EnvironmentSnapshot() {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const char* equals = std::strchr(*entry, '=');
            if (equals != nullptr) {
                m_values[std::string(*entry, static_cast<size_t>(equals - *entry))] = equals + 1;
            }
        }
    }

    void restore() const {
        std::map<std::string, std::string> now;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const char* equals = std::strchr(*entry, '=');
            if (equals != nullptr) {
                now[std::string(*entry, static_cast<size_t>(equals - *entry))] = equals + 1;
            }
        }
        for (const auto& variable : now) {
            auto original = m_values.find(variable.first);
            if (original == m_values.end()) {
                unsetenv(variable.first.c_str());
            } else if (original->second != variable.second) {
                setenv(variable.first.c_str(), original->second.c_str(), 1);
            }
        }
        for (const auto& variable : m_values) {
            if (now.find(variable.first) == now.end()) {
                setenv(variable.first.c_str(), variable.second.c_str(), 1);
            }
        }
    }

private:
    std::map<std::string, std::string> m_values;
};

// Removes the temporary files and directories an input made and forgets them; the launcher
// stays silent, with the temporary directory the target's setting chose.
inline void cleanupTemporaryFiles() {
    PlatformImpl::cleanup();
    const SString tempDir = PlatformImpl::getSystemTempDirectory();
    PlatformImpl::resetForTest();
    PlatformImpl::setSystemTempDir(tempDir);
    silenceLauncher();
}

}  // namespace fuzz

#endif  // QV_TESTS_FUZZ_FUZZSUPPORT_H
