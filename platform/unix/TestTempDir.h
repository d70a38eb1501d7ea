#ifndef QV_PLATFORM_UNIX_TESTTEMPDIR_H
#define QV_PLATFORM_UNIX_TESTTEMPDIR_H

// Helpers for the platform layer's tests: a scoped temporary directory, file fixtures and a
// way to run a piece of a test without root's power over permissions. Used by tests only.

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

#include "base/SString.h"

namespace testutil {

inline std::string str(const SString& s) {
    return std::string(s.data(), s.length());
}

// A fresh directory below /tmp, removed with everything in it (whatever its permissions) when
// the object goes.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/qvtest-platform-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        // Tests take permissions away; give them back so that the removal cannot fail.
        nftw(m_path.c_str(), restoreAccess, 16, FTW_PHYS);
        nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    static int restoreAccess(const char* path, const struct stat* info, int type, FTW*) {
        if (type == FTW_D || type == FTW_DNR) {
            chmod(path, (info->st_mode & 07777) | 0700);
        }
        return 0;
    }
    static int removeEntry(const char* path, const struct stat*, int, FTW*) {
        std::remove(path);
        return 0;
    }

    std::string m_path;
};

inline void makeDirs(const std::string& path) {
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            mkdir(path.substr(0, i).c_str(), 0755);
        }
    }
}

// Creates the file with the given content, making its directories first.
inline void writeFile(const std::string& path, const std::string& content = "") {
    makeDirs(path.substr(0, path.rfind('/')));
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

inline std::string readFile(const std::string& path) {
    std::string content;
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return content;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, got);
    }
    std::fclose(file);
    return content;
}

inline bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// The outcome of runUnprivileged.
struct UnprivilegedRun {
    bool ran;            // false when root could not switch to nobody
    std::string output;  // what the body returned
};

const uid_t kNobody = 65534;

// Runs body where permissions are enforced and hands back the text it returns: in this process
// for an ordinary user; for root, in a forked child whose user and group are nobody (65534),
// after dir is given to nobody. The body must not use GoogleTest assertions, which would
// report in the child.
inline UnprivilegedRun runUnprivileged(const std::string& dir,
                                       const std::function<std::string()>& body) {
    UnprivilegedRun run{false, ""};
    if (geteuid() != 0) {
        run.output = body();
        run.ran = true;
        return run;
    }
    int channel[2];
    if (chown(dir.c_str(), kNobody, kNobody) != 0 || pipe(channel) != 0) {
        return run;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(77);
        }
        std::string output = body();
        ssize_t ignored = write(channel[1], output.data(), output.size());
        (void)ignored;
        _exit(0);
    }
    close(channel[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            run.output.append(buffer, static_cast<size_t>(got));
        }
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

}  // namespace testutil

#endif  // QV_PLATFORM_UNIX_TESTTEMPDIR_H
