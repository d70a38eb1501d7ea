// The process side of the platform layer: commands run in the foreground (with or without
// their output captured; through /bin/sh unless they need no shell) or in the background,
// and the environment that every child inherits.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "base/ShellQuote.h"
#include "base/StringDeque.h"
#include "base/TextUtil.h"
#include "platform/unix/ForegroundJob.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"
#include "platform/unix/TerminationSignals.h"

extern char** environ;

volatile std::sig_atomic_t PlatformImpl::m_terminatingSignal = 0;

namespace {

const char kShell[] = "/bin/sh";
// The status of a child that could not become the shell, as the shell reports a command it
// cannot run.
const int kChildSetupFailed = 127;
const size_t kChunkSize = 4096;
// How often the end of the child is checked for when the system cannot signal it through a
// descriptor; only a child whose own children keep its pipes open ever waits for this.
const int kExitCheckIntervalMs = 50;
// What is taken from a pipe after the child ended when its fill level cannot be asked:
// the default capacity of a pipe.
const int kDefaultPipeCapacity = 65536;

// Owns one descriptor.
class Descriptor {
public:
    Descriptor() : m_fd(-1) {}
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }

    void reset(int fd = -1) {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Keeps a pipe end clear of descriptors 0 to 2, so that making the child's standard
// descriptors from the pipes never overwrites another pipe end (the launcher may have been
// started with a standard descriptor closed). Returns the descriptor to use, -1 on failure.
int moveAboveStandardDescriptors(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    int savedErrno = errno;
    close(fd);
    errno = savedErrno;
    return moved;
}

// Makes a close-on-exec pipe. Returns false with errno set on failure.
bool openPipe(Descriptor& readEnd, Descriptor& writeEnd) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.reset(moveAboveStandardDescriptors(ends[0]));
    writeEnd.reset(moveAboveStandardDescriptors(ends[1]));
    return readEnd.isOpen() && writeEnd.isOpen();
}

void writeAll(int fd, const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t written = write(fd, text, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<size_t>(written);
    }
}

// Ends a child that could not become the shell. It must never return into the launcher's
// code, and _exit leaves the parent's stdio buffers and exit handlers alone.
[[noreturn]] void failChild(const char* context, int err) {
    writeAll(STDERR_FILENO, context);
    writeAll(STDERR_FILENO, std::strerror(err));
    writeAll(STDERR_FILENO, "\n");
    _exit(kChildSetupFailed);
}

// The argument vector that hands a command line to the shell, made before the fork. Linux
// passes no single argument longer than 32 pages (MAX_ARG_STRLEN: 131072 bytes with the
// NUL), so a longer command line, such as one carrying a mebibyte of pass-through arguments,
// goes over in pieces that the shell joins and evaluates: the same command, run by the same
// shell, only parsed from a variable instead of from -c.
class ShellCommand {
public:
    explicit ShellCommand(const char* command) {
        const size_t length = std::strlen(command);
        m_argv = {const_cast<char*>("sh"), const_cast<char*>("-c")};
        if (length <= kLongestArgument) {
            m_argv.push_back(const_cast<char*>(command));
        } else {
            m_argv.push_back(const_cast<char*>(kJoinPieces));
            // $0 of the joining script; the pieces are $1, $2, ...
            m_argv.push_back(const_cast<char*>("sh"));
            for (size_t start = 0; start < length; start += kPieceLength) {
                m_pieces.emplace_back(
                    command + start, length - start < kPieceLength ? length - start : kPieceLength);
            }
            std::transform(m_pieces.begin(), m_pieces.end(), std::back_inserter(m_argv),
                           [](std::string& piece) { return &piece[0]; });
        }
        m_argv.push_back(nullptr);
    }
    ShellCommand(const ShellCommand&) = delete;
    ShellCommand& operator=(const ShellCommand&) = delete;

    char* const* argv() const { return m_argv.data(); }

private:
    static constexpr size_t kLongestArgument = size_t{32} * 4096 - 1;
    static constexpr size_t kPieceLength = size_t{64} * 1024;
    // With IFS empty, "$*" joins the pieces without separators. IFS has its starting value
    // again and the positional parameters are cleared before the command runs.
    static constexpr const char* kJoinPieces =
        "IFS=; qv_command=\"$*\"; IFS=' \t\n'; set --; eval \"$qv_command\"";

    std::vector<std::string> m_pieces;
    std::vector<char*> m_argv;
};

// The environment a child starts with: the launcher's own, with the variables of the run (the
// JVM's JAVA_HOME, a class path variable) set over it. Made before the fork, so the child
// allocates nothing; the launcher's own environment never changes.
class ChildEnvironment {
public:
    explicit ChildEnvironment(const StringDeque* variables) {
        for (long i = 0; variables != nullptr && i < variables->size(); ++i) {
            m_variables.emplace_back(variables->at(i).c_str(), variables->at(i).length());
        }
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (!isReplaced(*entry)) {
                m_envp.push_back(*entry);
            }
        }
        std::transform(m_variables.begin(), m_variables.end(), std::back_inserter(m_envp),
                       [](std::string& variable) { return &variable[0]; });
        m_envp.push_back(nullptr);
    }
    ChildEnvironment(const ChildEnvironment&) = delete;
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;

    char* const* envp() const { return m_envp.data(); }

private:
    bool isReplaced(const char* entry) const {
        const char* equals = std::strchr(entry, '=');
        const size_t nameLength = equals == nullptr ? std::strlen(entry) : equals - entry;
        return std::any_of(m_variables.begin(), m_variables.end(), [&](const std::string& v) {
            return v.size() > nameLength && v[nameLength] == '=' &&
                   v.compare(0, nameLength, entry, nameLength) == 0;
        });
    }

    std::vector<std::string> m_variables;
    std::vector<char*> m_envp;
};

// A command line that needs no shell (see splitSimpleCommand) started directly: the program
// the shell would have run, with the words it would have passed and the environment it would
// have given: only the variables it can name, and PWD, the working directory (the inherited
// value when that names the directory, else the physical path). Made before the fork, like
// ShellCommand.
class DirectCommand {
public:
    DirectCommand(const char* command, char* const* environment) {
        StringDeque words;
        if (!splitSimpleCommand(SString(command), words)) {
            return;
        }
        for (long i = 0; i < words.size(); ++i) {
            m_words.emplace_back(words.at(i).c_str(), words.at(i).length());
        }
        std::transform(m_words.begin(), m_words.end(), std::back_inserter(m_argv),
                       [](std::string& word) { return &word[0]; });
        m_argv.push_back(nullptr);
        buildEnvironment(environment);
    }
    DirectCommand(const DirectCommand&) = delete;
    DirectCommand& operator=(const DirectCommand&) = delete;

    bool isUsable() const { return !m_argv.empty(); }
    const char* program() const { return m_argv[0]; }
    char* const* argv() const { return m_argv.data(); }
    char* const* envp() const { return m_envp.data(); }

private:
    void buildEnvironment(char* const* environment) {
        for (char* const* variable = environment; *variable != nullptr; ++variable) {
            if (isShellVariable(*variable) && std::strncmp(*variable, "PWD=", 4) != 0) {
                m_envp.push_back(*variable);
            }
        }
        std::string directory = shellWorkingDirectory();
        if (!directory.empty()) {
            m_pwd = "PWD=" + directory;
            m_envp.push_back(&m_pwd[0]);
        }
        m_envp.push_back(nullptr);
    }

    // The shell passes on only the variables it could name: NAME=value with a name of letters,
    // digits and underscores that does not start with a digit.
    static bool isShellVariable(const char* entry) {
        auto isNameStart = [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        };
        const char* c = entry;
        if (!isNameStart(*c)) {
            return false;
        }
        while (isNameStart(*c) || (*c >= '0' && *c <= '9')) {
            ++c;
        }
        return *c == '=';
    }

    static std::string shellWorkingDirectory() {
        const char* inherited = std::getenv("PWD");
        struct stat named;
        struct stat current;
        if (inherited != nullptr && inherited[0] == '/' && stat(inherited, &named) == 0 &&
            stat(".", &current) == 0 && named.st_dev == current.st_dev &&
            named.st_ino == current.st_ino) {
            return inherited;
        }
        std::vector<char> buffer(4096);
        while (getcwd(buffer.data(), buffer.size()) == nullptr) {
            if (errno != ERANGE || buffer.size() >= (size_t{1} << 20)) {
                return std::string();
            }
            buffer.resize(buffer.size() * 2);
        }
        return buffer.data();
    }

    std::vector<std::string> m_words;
    std::vector<char*> m_argv;
    std::string m_pwd;
    std::vector<char*> m_envp;
};

// The descriptors a child gets as its standard input, output and error; -1 keeps the
// launcher's own.
struct ChildStreams {
    int in = -1;
    int out = -1;
    int err = -1;
};

// In the child: makes the given descriptors its standard streams, then becomes the program,
// directly when the command needs no shell. The shell takes over when the direct start
// fails, and reports (or, for a script without "#!", runs) the command as it always does. The
// given descriptors themselves are close-on-exec. Standard error is replaced last, so a
// failure is still reported on the original one.
[[noreturn]] void becomeShell(const ShellCommand& command, const DirectCommand& direct,
                              const ChildEnvironment& environment, const ChildStreams& streams) {
    if (streams.in >= 0 && dup2(streams.in, STDIN_FILENO) < 0) {
        failChild("Error redirecting stdin in new process: ", errno);
    }
    if (streams.out >= 0 &&
        (dup2(streams.out, STDOUT_FILENO) < 0 || dup2(streams.err, STDERR_FILENO) < 0)) {
        failChild("Error capturing stdout or stderr in new process: ", errno);
    }
    if (direct.isUsable()) {
        execve(direct.program(), direct.argv(), direct.envp());
    }
    execve(kShell, command.argv(), environment.envp());
    failChild("Error starting /bin/sh: ", errno);
}

// In the child: asks the kernel to kill it when the launcher ends, so that no child outlives
// a launcher killed by any signal, SIGKILL included. A launcher that ended before the request
// was made is no longer the parent: the child ends at once.
void dieWithParent(pid_t parent) {
#ifdef __linux__
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
        _exit(kChildSetupFailed);
    }
#else
    (void)parent;
#endif
}

// The status as a shell reports it: the exit code, or 128 + the signal that ended the child.
int shellStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : waitStatus;
}

// Owns a forked child until it has been reaped; a child left behind by an exception is
// waited for in the destructor (killed first when it is a helper), so it never becomes a
// zombie. A child run as a foreground job with a group of its own is also reported to the
// job when the terminal stops it.
class ChildProcess {
public:
    // Forks; the child runs becomeShell with the launcher's environment and variables set over
    // it, and never returns. Throws LauncherException when the fork fails. job may be null (a
    // child that stays in the launcher's process group and keeps its signal mask); variables
    // may be null.
    ChildProcess(const char* command, const ChildStreams& streams, ForegroundJob* job,
                 const StringDeque* variables, bool helper)
        : m_pid(-1), m_status(0), m_job(job), m_helper(helper) {
        // Built here: the child should not allocate between fork and exec.
        const ShellCommand shellCommand(command);
        const ChildEnvironment environment(variables);
        const DirectCommand directCommand(command, environment.envp());
        const pid_t parent = getpid();
        // Pending console output goes out before anything the child writes.
        // NOLINTNEXTLINE(cert-err33-c): a stream that cannot be flushed has no one to tell.
        std::fflush(nullptr);
        m_pid = fork();
        if (m_pid < 0) {
            throwSystemError("Error forking new process: ", errno);
        }
        if (m_pid == 0) {
            dieWithParent(parent);
            TerminationSignals::restoreForChild();
            if (m_job != nullptr) {
                m_job->enterChild();
            }
            becomeShell(shellCommand, directCommand, environment, streams);
        }
        if (m_job != nullptr) {
            m_job->started(m_pid);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (m_helper) {
            killNow();
        }
        while (isRunning()) {
            pid_t result = waitpid(m_pid, &m_status, WUNTRACED);
            if (result == m_pid && WIFSTOPPED(m_status)) {
                kill(m_pid, SIGCONT);
            } else if (result >= 0 || errno != EINTR) {
                break;
            }
        }
        if (m_job != nullptr) {
            m_job->childEnded();
        }
    }

    pid_t pid() const { return m_pid; }
    bool isRunning() const { return m_pid > 0; }
    // The shell-style status of the ended child.
    int status() const { return shellStatus(m_status); }

    // Kills the child with SIGKILL: its whole process group when it leads one, else the child
    // and every process below it.
    void killNow() const {
        if (!isRunning()) {
            return;
        }
        if (m_job != nullptr) {
            m_job->signalProcessTree(SIGKILL);
        } else {
            kill(m_pid, SIGKILL);
        }
    }

    // Reaps the child if it has ended; true once it has been reaped.
    bool tryReap() {
        if (!isRunning()) {
            return true;
        }
        pid_t result;
        while ((result = waitpid(m_pid, &m_status, WNOHANG | waitOptions())) < 0 &&
               errno == EINTR) {
        }
        return finish(result);
    }

    // Blocks until the child ends.
    void waitForExit() {
        while (isRunning()) {
            pid_t result;
            while ((result = waitpid(m_pid, &m_status, waitOptions())) < 0 && errno == EINTR) {
            }
            finish(result);
        }
    }

private:
    // Stops matter only to a foreground job of its own group, which passes them on.
    int waitOptions() const { return m_job != nullptr && m_job->hasOwnGroup() ? WUNTRACED : 0; }

    bool finish(pid_t result) {
        if (result < 0) {
            int err = errno;
            m_pid = -1;
            throwSystemError("Error waiting for child process: ", err);
        }
        if (result == 0) {
            return false;
        }
        if (WIFSTOPPED(m_status)) {
            m_job->childStopped(WSTOPSIG(m_status));
            return false;
        }
        m_pid = -1;
        if (m_job != nullptr) {
            m_job->childEnded();
        }
        return true;
    }

    pid_t m_pid;
    int m_status;
    ForegroundJob* m_job;
    bool m_helper;
};

// A descriptor that becomes readable when the child ends (pidfd), or none on systems
// without one; the capture loop then checks for the end at intervals.
int openChildExitDescriptor(pid_t pid) {
#if defined(__linux__) && defined(SYS_pidfd_open)
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// SString grows its buffer only to the size asked for; doubling it here keeps a large output,
// arriving chunk by chunk, from being copied over and over.
void appendGrowing(SString& out, const char* bytes, SString::size_type count) {
    SString::size_type needed = out.size() + count;
    if (out.capacity() < needed && needed < out.max_size() / 2) {
        SString::size_type doubled = out.capacity() * 2;
        out.reserve(doubled > needed ? doubled : needed);
    }
    out.append(bytes, count);
}

// The capture of executeProcess: appended to two strings, or dropped where there is none.
class StringCapture : public CapturedOutput {
public:
    StringCapture(SString* standardOutput, SString* standardError)
        : m_out(standardOutput), m_err(standardError) {}
    void take(bool isError, const char* bytes, size_t count) override {
        SString* target = isError ? m_err : m_out;
        if (target != nullptr) {
            appendGrowing(*target, bytes, static_cast<SString::size_type>(count));
        }
    }

private:
    SString* m_out;
    SString* m_err;
};

// Reads one chunk from a non-blocking pipe and hands it to output, advancing the console
// progress once per chunk. Closes the pipe at end of file or on an error. Returns the number
// of bytes read.
size_t readChunk(Descriptor& pipe, CapturedOutput& output, bool isError,
                 size_t limit = kChunkSize) {
    char chunk[kChunkSize];
    ssize_t got;
    while ((got = read(pipe.get(), chunk, limit < kChunkSize ? limit : kChunkSize)) < 0 &&
           errno == EINTR) {
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return 0;
    }
    if (got <= 0) {
        pipe.reset();
        return 0;
    }
    output.take(isError, chunk, static_cast<size_t>(got));
    PlatformImpl::advanceUIProgress(1);
    return static_cast<size_t>(got);
}

// After the child ended: takes what the pipe holds now, without waiting for end of file,
// which never comes while a process the command started in the background keeps the pipe.
void takeRemainder(Descriptor& pipe, CapturedOutput& output, bool isError) {
    if (!pipe.isOpen()) {
        return;
    }
    int waiting = 0;
    if (ioctl(pipe.get(), FIONREAD, &waiting) != 0) {
        waiting = kDefaultPipeCapacity;
    }
    size_t left = static_cast<size_t>(waiting);
    while (left > 0 && pipe.isOpen()) {
        size_t got = readChunk(pipe, output, isError, left);
        if (got == 0) {
            break;
        }
        left -= got;
    }
    pipe.reset();
}

void setNonBlocking(const Descriptor& pipe) {
    int flags = fcntl(pipe.get(), F_GETFL);
    if (flags >= 0) {
        fcntl(pipe.get(), F_SETFL, flags | O_NONBLOCK);
    }
}

bool hasInput(const pollfd& entry) {
    return (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// The moment a time limit runs out, on the monotonic clock.
class Deadline {
public:
    explicit Deadline(long limitMs) : m_limited(limitMs > 0), m_end() {
        if (m_limited) {
            clock_gettime(CLOCK_MONOTONIC, &m_end);
            m_end.tv_sec += limitMs / 1000;
            m_end.tv_nsec += (limitMs % 1000) * 1000000L;
            if (m_end.tv_nsec >= 1000000000L) {
                ++m_end.tv_sec;
                m_end.tv_nsec -= 1000000000L;
            }
        }
    }
    bool isLimited() const { return m_limited; }
    // The time left, zero once it has passed.
    timespec remaining() const {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left = {m_end.tv_sec - now.tv_sec, m_end.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            --left.tv_sec;
            left.tv_nsec += 1000000000L;
        }
        return left.tv_sec < 0 ? timespec{0, 0} : left;
    }
    bool hasPassed() const {
        timespec left = remaining();
        return m_limited && left.tv_sec == 0 && left.tv_nsec == 0;
    }

private:
    bool m_limited;
    timespec m_end;
};

bool isShorter(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// How the wait for a child ended.
enum class WaitEnd { kEnded, kTimedOut, kStopRequested };

// Waits for the child to end. With output captured (open pipes), reads both pipes as data
// arrives, one chunk per ready pipe per round, so the child never blocks on a full pipe, and
// takes what they hold when the child has ended. ppoll lets in SIGCHLD and the signals to
// pass on, which the job keeps blocked otherwise, so a child that the terminal stops, or a
// signal for the child, wakes the loop at once. A child that outlasts deadline, or a helper
// while a signal asks the launcher to stop, is killed and reaped.
WaitEnd awaitChild(ChildProcess& child, ForegroundJob& job, Descriptor& outPipe,
                   Descriptor& errPipe, CapturedOutput& output, const Deadline& deadline,
                   bool helper) {
    if (outPipe.isOpen()) {
        setNonBlocking(outPipe);
        setNonBlocking(errPipe);
    }
    Descriptor childExit(openChildExitDescriptor(child.pid()));
    const timespec interval = {0, kExitCheckIntervalMs * 1000000L};
    while (child.isRunning()) {
        if (deadline.hasPassed() || (helper && PlatformImpl::terminatingSignal() != 0)) {
            const bool timedOut = PlatformImpl::terminatingSignal() == 0;
            child.killNow();
            child.waitForExit();
            return timedOut ? WaitEnd::kTimedOut : WaitEnd::kStopRequested;
        }
        // After the check above: a helper's processes are killed, not signalled first, so that
        // none of them becomes an orphan out of reach.
        job.passOnPending();
        timespec wait = interval;
        const timespec* timeout = childExit.isOpen() ? nullptr : &wait;
        timespec left;
        if (deadline.isLimited()) {
            left = deadline.remaining();
            timeout = timeout == nullptr || isShorter(left, wait) ? &left : timeout;
        }
        // A closed pipe stays in the set with fd -1, which poll ignores.
        pollfd watched[3] = {
            {outPipe.get(), POLLIN, 0}, {errPipe.get(), POLLIN, 0}, {childExit.get(), POLLIN, 0}};
        int ready = ppoll(watched, 3, timeout, job.waitMask());
        bool interrupted = ready < 0 && errno == EINTR;
        if (ready < 0 && !interrupted) {
            throwSystemError("Error waiting for child process: ", errno);
        }
        if (ready > 0 && hasInput(watched[0])) {
            readChunk(outPipe, output, false);
        }
        if (ready > 0 && hasInput(watched[1])) {
            readChunk(errPipe, output, true);
        }
        bool mayHaveChanged =
            interrupted || !childExit.isOpen() || ready == 0 || (ready > 0 && hasInput(watched[2]));
        if (mayHaveChanged && child.tryReap()) {
            takeRemainder(outPipe, output, false);
            takeRemainder(errPipe, output, true);
        }
    }
    return WaitEnd::kEnded;
}

// The background form: the shell starts the command with "&" and ends at once; it is reaped
// here, and the command itself is left to init.
void startInBackground(const SString& command) {
    SString backgroundCommand(command);
    backgroundCommand += " &";
    ChildProcess shell(backgroundCommand.c_str(), ChildStreams(), nullptr, nullptr, false);
    shell.waitForExit();
}

[[noreturn]] void throwStoppedBySignal() {
    int signo = PlatformImpl::terminatingSignal();
    SString message("Stopped by signal ");
    message += convertToString(static_cast<long>(signo));
    message += " (";
    message += strsignal(signo);
    message += ")";
    throw LauncherException(message);
}

// Remembers the launcher's working directory and returns to it when destroyed.
class WorkingDirectoryGuard {
public:
    WorkingDirectoryGuard() = default;
    WorkingDirectoryGuard(const WorkingDirectoryGuard&) = delete;
    WorkingDirectoryGuard& operator=(const WorkingDirectoryGuard&) = delete;
    ~WorkingDirectoryGuard() {
        if (m_fd >= 0) {
            // Nothing can be reported from here; a directory that vanished meanwhile leaves the
            // launcher where the child ran.
            int ignored = fchdir(m_fd);
            (void)ignored;
            close(m_fd);
        }
    }
    void remember() { m_fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

private:
    int m_fd = -1;
};

}  // namespace

int PlatformImpl::terminatingSignal() {
    return static_cast<int>(m_terminatingSignal);
}

void PlatformImpl::noteTerminatingSignal(int signo) noexcept {
    if (m_terminatingSignal == 0) {
        m_terminatingSignal = signo;
    }
}

void PlatformImpl::throwIfTerminating() {
    if (m_terminatingSignal != 0) {
        throwStoppedBySignal();
    }
}

int PlatformImpl::finalExitStatus(int status) {
    return m_terminatingSignal != 0 ? 128 + static_cast<int>(m_terminatingSignal) : status;
}

int PlatformImpl::executeProcess(const SString& command, const SString& workingDirectory,
                                 bool /*showConsole*/, bool captureOutput, bool wait,
                                 SString* standardOutput, SString* standardError,
                                 const StringDeque* environment) {
    // A launcher asked to stop starts nothing more: the run is unwinding towards cleanup.
    throwIfTerminating();
    if (!wait) {
        startInBackground(command);
        return 0;
    }
    StringCapture capture(standardOutput, standardError);
    ChildOptions options;
    options.output = captureOutput ? &capture : nullptr;
    return runForeground(command, workingDirectory, options, environment).exitStatus;
}

ChildResult PlatformImpl::runForeground(const SString& command, const SString& workingDirectory,
                                        const ChildOptions& options,
                                        const StringDeque* environment) {
    throwIfTerminating();
    // The child inherits the directory from the launcher, which moves there for the run and
    // back afterwards: relative paths the user gave (a log file, a jvm file to LAUNCH) must
    // keep meaning what they meant, whether or not an earlier step ran a process.
    WorkingDirectoryGuard directoryGuard;
    if (!workingDirectory.empty()) {
        directoryGuard.remember();
        if (chdir(workingDirectory.c_str()) != 0) {
            SString context("Error setting working directory: ");
            context += workingDirectory;
            context += " ";
            throwSystemError(context.c_str(), errno);
        }
    }
    Descriptor outRead, outWrite, errRead, errWrite;
    if (options.output != nullptr &&
        (!openPipe(outRead, outWrite) || !openPipe(errRead, errWrite))) {
        throwSystemError("Couldn't create either stdout or stderr pipe: ", errno);
    }
    // A helper must not take what the user types for the application.
    Descriptor nullInput;
    if (options.helper) {
        nullInput.reset(moveAboveStandardDescriptors(open("/dev/null", O_RDONLY | O_CLOEXEC)));
        if (!nullInput.isOpen()) {
            throwSystemError("Error opening /dev/null: ", errno);
        }
    }
    // The job outlives the child's owner, which may still wait for the child on the way out.
    ForegroundJob job(!options.helper);
    // A request that came after the first look, before the job blocked the signals.
    throwIfTerminating();
    ChildStreams streams;
    streams.in = nullInput.get();
    streams.out = outWrite.get();
    streams.err = errWrite.get();
    ChildProcess child(command.c_str(), streams, &job, environment, options.helper);
    nullInput.reset();
    // Only the child may hold the write ends, or end of file would never come.
    outWrite.reset();
    errWrite.reset();
    StringCapture dropped(nullptr, nullptr);
    WaitEnd end;
    try {
        end = awaitChild(
            child, job, outRead, errRead, options.output != nullptr ? *options.output : dropped,
            Deadline(options.output != nullptr ? options.timeLimitMs : 0), options.helper);
    } catch (...) {
        // Close the read ends before the child's owner waits for it, so a child still writing
        // gets a broken pipe instead of blocking on a full one for ever.
        outRead.reset();
        errRead.reset();
        throw;
    }
    if (m_terminatingSignal != 0) {
        throwStoppedBySignal();
    }
    ChildResult result;
    result.exitStatus = child.status();
    result.timedOut = end == WaitEnd::kTimedOut;
    return result;
}

SString PlatformImpl::getEnvironmentVariable(const SString& name) {
    const char* value = std::getenv(name.c_str());
    return value == nullptr ? SString() : SString(value);
}

void PlatformImpl::setEnvironmentVariable(const SString& name, const SString& value) {
    if (setenv(name.c_str(), value.c_str(), 1) != 0) {
        SString context("Error setting environment variable ");
        context += name;
        context += ": ";
        throwSystemError(context.c_str(), errno);
    }
}
