#include "tests/support/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qvtest {

namespace {

// Tests take permissions away; giving them back first means the removal cannot fail on them.
int restoreAccess(const char* path, const struct stat* info, int type, struct FTW*) {
    if (type == FTW_D || type == FTW_DNR) {
        chmod(path, (info->st_mode & 07777) | 0700);
    }
    return 0;
}

// Goes on past entries it cannot remove; TemporaryDirectory::remove reports what is left.
int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    (void)std::remove(path);
    return 0;
}

// An open directory stream, closed when the object goes.
using DirectoryStream = std::unique_ptr<DIR, int (*)(DIR*)>;

bool isRemoved(const std::vector<std::string>& removed, const std::string& name) {
    return std::find(removed.begin(), removed.end(), name) != removed.end();
}

// The child's environment: the variables set by command, then the inherited ones that command
// neither sets nor removes.
std::vector<std::string> environmentOf(const Command& command) {
    std::vector<std::string> settings;
    for (const auto& setting : command.environment) {
        settings.push_back(setting.first + "=" + setting.second);
    }
    for (char** variable = environ; *variable != nullptr; ++variable) {
        std::string name(*variable, std::strcspn(*variable, "="));
        if (command.environment.count(name) == 0 && !isRemoved(command.removedVariables, name)) {
            settings.push_back(*variable);
        }
    }
    return settings;
}

// The null-terminated pointer array execve wants; the strings must outlive it.
std::vector<char*> pointersTo(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (const std::string& text : strings) {
        pointers.push_back(const_cast<char*>(text.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Runs in the forked child: connects the standard streams and the working directory, then
// becomes the program. The descriptors opened here close on exec, leaving only 0, 1 and 2.
[[noreturn]] void becomeProgram(const Command& command, const std::string& outPath,
                                const std::string& errPath, char* const argv[],
                                char* const envp[]) {
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    int out = open(outPath.c_str(), flags, 0644);
    int err = open(errPath.c_str(), flags, 0644);
    if (command.outputDescriptor >= 0) {
        out = command.outputDescriptor;
    }
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
        _exit(127);
    }
    if (command.inputFromDevNull || !command.inputFile.empty()) {
        const char* input = command.inputFile.empty() ? "/dev/null" : command.inputFile.c_str();
        int in = open(input, O_RDONLY | O_CLOEXEC);
        if (in < 0 || dup2(in, STDIN_FILENO) < 0) {
            _exit(127);
        }
    }
    if (command.newProcessGroup) {
        setpgid(0, 0);
    }
    if (command.fileSizeLimit >= 0) {
        struct rlimit limit;
        limit.rlim_cur = static_cast<rlim_t>(command.fileSizeLimit);
        limit.rlim_max = static_cast<rlim_t>(command.fileSizeLimit);
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(127);
        }
    }
    if (!command.directory.empty() && chdir(command.directory.c_str()) != 0) {
        _exit(127);
    }
    if (command.addressSpaceLimit > 0) {
        struct rlimit limit;
        limit.rlim_cur = command.addressSpaceLimit;
        limit.rlim_max = command.addressSpaceLimit;
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            _exit(127);
        }
    }
    // The program starts as it would from a terminal, whatever the test runner was started
    // with (nohup ignores SIGHUP, a background job of a plain shell SIGINT): tests that send
    // these signals expect them to arrive.
    for (int signo : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
        signal(signo, SIG_DFL);
    }
    execve(command.program.c_str(), argv, envp);
    _exit(127);
}

}  // namespace

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory " + pattern);
    }
    m_path = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    remove();
}

bool TemporaryDirectory::remove() {
    nftw(m_path.c_str(), restoreAccess, 16, FTW_PHYS);
    nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    return !exists(m_path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content, mode_t mode) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    // A fixture that could not be made would fail the test later and less clearly.
    if (!out || chmod(path.c_str(), mode) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    DirectoryStream dir(opendir(path.c_str()), closedir);
    if (dir == nullptr) {
        return names;
    }
    while (const struct dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

ChildProcess::ChildProcess(const Command& command)
    : m_outPath(command.captureDirectory + "/.stdout"),
      m_errPath(command.captureDirectory + "/.stderr") {
    // Everything the child needs is built before the fork: it only calls async-signal-safe
    // functions.
    std::vector<std::string> arguments = {command.argv0.empty() ? command.program : command.argv0};
    arguments.insert(arguments.end(), command.args.begin(), command.args.end());
    std::vector<std::string> settings = environmentOf(command);
    std::vector<char*> argv = pointersTo(arguments);
    std::vector<char*> envp = pointersTo(settings);
    m_pid = fork();
    if (m_pid == 0) {
        becomeProgram(command, m_outPath, m_errPath, argv.data(), envp.data());
    }
    if (m_pid > 0 && command.newProcessGroup) {
        // Both sides make the group, so that it exists whichever runs first.
        setpgid(m_pid, m_pid);
    }
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        wait();
    }
}

RunResult ChildProcess::wait() {
    RunResult result;
    if (m_pid <= 0) {
        return result;
    }
    int status = 0;
    struct rusage usage {};
    while (wait4(m_pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.peakKiB = usage.ru_maxrss;
    result.out = readFile(m_outPath);
    result.err = readFile(m_errPath);
    // Leftover capture files are harmless: the next run truncates them.
    (void)std::remove(m_outPath.c_str());
    (void)std::remove(m_errPath.c_str());
    return result;
}

RunResult runProgram(const Command& command) {
    return ChildProcess(command).wait();
}

bool isExecutable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

std::string patternBytes(size_t length, unsigned seed) {
    std::string bytes(length, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace qvtest
