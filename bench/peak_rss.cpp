// Runs a command and prints its peak resident memory in KiB, as the kernel reports it for the
// command and the children it waited for. The command's standard output goes to /dev/null.
//
// A child made by fork starts with a copy of this process's memory, and the kernel counts
// that copy until the command's exec replaces it; this driver is small, so the figure is the
// command's own. (Python's spawn shares Python's memory with the child until the exec, and
// the child's peak would be Python's.)
//
// Usage: peak_rss COMMAND [ARG...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND [ARG...]\n", argv[0]);
        return 2;
    }
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
        }
        execv(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            return 1;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed with status %d\n", argv[1], status);
        return 1;
    }
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
}
