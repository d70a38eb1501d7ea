#ifndef QV_TESTS_SUPPORT_PLATFORMTESTSUPPORT_H
#define QV_TESTS_SUPPORT_PLATFORMTESTSUPPORT_H

// Helpers for tests of files and permissions: fixtures in nested directories and a way to run a
// piece of a test without root's power over permissions.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/support/LauncherTestSupport.h"
#include "tests/support/TestSupport.h"

namespace qvtest {

// Makes path and every directory above it that is missing.
inline void makeDirectories(const std::string& path) {
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            mkdir(path.substr(0, i).c_str(), 0755);
        }
    }
}

// Creates the file with the given content, making its directories first.
inline void createFile(const std::string& path, const std::string& content = "") {
    makeDirectories(path.substr(0, path.rfind('/')));
    writeFile(path, content);
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

}  // namespace qvtest

#endif  // QV_TESTS_SUPPORT_PLATFORMTESTSUPPORT_H
