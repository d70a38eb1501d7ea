#include "platform/unix/ForkedChild.h"

#include <sys/wait.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/unix/ChildCommand.h"
#include "platform/unix/ForegroundJob.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"
#include "platform/unix/TerminationSignals.h"

namespace {

const char kShell[] = "/bin/sh";

// What the child starts with, all of it made by the launcher before vfork: the child only
// reads it, and writes nothing but its own stack (and errno).
struct ChildStart {
    const ShellCommand* shellCommand;
    const ChildEnvironment* environment;
    const DirectCommand* direct;
    ChildStreams streams;
    const ForegroundJob* job;
    pid_t parent;
    // The mask the command is to run with.
    const sigset_t* mask;
};

// The text for err from the C library's constant table: strerror may translate and, for an
// unknown number, format into memory of the launcher's.
const char* childErrorText(int err) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    const char* text = strerrordesc_np(err);
    return text != nullptr ? text : "Unknown error";
#else
    return systemErrorText(err);
#endif
}

void writeAll(int fd, const char* text, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, text, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

// Appends text to the message in buffer, cut where the buffer ends.
size_t appendCut(char* buffer, size_t used, size_t size, const char* text) {
    while (*text != '\0' && used < size) {
        buffer[used++] = *text++;
    }
    return used;
}

// Ends a child that could not become the command. It must never return into the launcher's
// code, and _exit leaves the launcher's stdio buffers and exit handlers alone. The message is
// put together on the child's own stack and written at once.
[[noreturn]] void failChild(const char* context, int err) {
    char message[512];
    size_t used = appendCut(message, 0, sizeof message - 1, context);
    used = appendCut(message, used, sizeof message - 1, childErrorText(err));
    message[used++] = '\n';
    writeAll(STDERR_FILENO, message, used);
    _exit(kChildSetupFailed);
}

// Execs the command: directly when it needs no shell; else, or when the direct start fails,
// through /bin/sh, which reports (or, for a script without "#!", runs) the command as it
// always does. Returns, with errno set, only when /bin/sh could not be started either.
void execCommand(const ShellCommand& command, const DirectCommand& direct,
                 const ChildEnvironment& environment) {
    if (direct.isUsable()) {
        execve(direct.program(), direct.argv(), direct.envp());
    }
    execve(kShell, command.argv(), environment.envp());
}

// In the child: makes the given descriptors its standard streams, then becomes the command.
// The given descriptors themselves are close-on-exec. Standard error is replaced last, so a
// failure is still reported on the original one.
[[noreturn]] void becomeCommand(const ChildStart& start) {
    const ChildStreams& streams = start.streams;
    if (streams.in >= 0 && dup2(streams.in, STDIN_FILENO) < 0) {
        failChild("Error redirecting stdin in new process: ", errno);
    }
    if (streams.out >= 0 &&
        (dup2(streams.out, STDOUT_FILENO) < 0 || dup2(streams.err, STDERR_FILENO) < 0)) {
        failChild("Error capturing stdout or stderr in new process: ", errno);
    }
    execCommand(*start.shellCommand, *start.direct, *start.environment);
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

// The child of vfork, every signal blocked: it shares the launcher's memory until it execs,
// so it only calls async-signal-safe functions and leaves through exec or _exit. The job's
// group and terminal first, then the dispositions exec would give (no handler of the
// launcher's may run here), and only then the mask the command runs with.
[[noreturn]] void runChild(const ChildStart& start) {
    dieWithParent(start.parent);
    if (start.job != nullptr) {
        start.job->enterChild();
    }
    TerminationSignals::restoreForExec();
    sigprocmask(SIG_SETMASK, start.mask, nullptr);
    becomeCommand(start);
}

// Starts the child with vfork: the launcher waits while the child borrows its memory, up to
// the exec, instead of copying its page tables as fork does, which costs more the more the
// launcher has mapped. Not inlined, so that no variable of the caller lives across vfork.
__attribute__((noinline)) pid_t spawnChild(const ChildStart& start) {
    // runChild keeps the child to what a vfork child may do.
    // NOLINTNEXTLINE(clang-analyzer-security.insecureAPI.vfork): chosen for its speed
    pid_t pid = vfork();
    if (pid == 0) {
        // NOLINTNEXTLINE(clang-analyzer-unix.Vfork): runChild calls only what a vfork child may
        runChild(start);
    }
    return pid;
}

// Every signal blocked while it lives: signals that come meanwhile wait for the launcher.
class AllSignalsBlocked {
public:
    AllSignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_SETMASK, &all, &m_previous);
    }
    AllSignalsBlocked(const AllSignalsBlocked&) = delete;
    AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;
    ~AllSignalsBlocked() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }

    // The mask before the block.
    const sigset_t* previous() const { return &m_previous; }

private:
    sigset_t m_previous;
};

// The dispositions of every signal, put back when the object goes: the launcher's own
// handling, should the exec that was to replace it fail.
class SavedDispositions {
public:
    SavedDispositions() {
        for (int signo = 1; signo < NSIG; ++signo) {
            m_saved[signo] = sigaction(signo, nullptr, &m_actions[signo]) == 0;
        }
    }
    SavedDispositions(const SavedDispositions&) = delete;
    SavedDispositions& operator=(const SavedDispositions&) = delete;
    ~SavedDispositions() {
        for (int signo = 1; signo < NSIG; ++signo) {
            if (m_saved[signo]) {
                sigaction(signo, &m_actions[signo], nullptr);
            }
        }
    }

private:
    struct sigaction m_actions[NSIG];
    bool m_saved[NSIG];
};

}  // namespace

int shellStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : waitStatus;
}

ForkedChild::ForkedChild(const char* command, const ChildStreams& streams, ForegroundJob* job,
                         const StringDeque* variables, bool helper)
    : m_pid(-1), m_status(0), m_job(job), m_helper(helper) {
    // Built here: the child must not allocate.
    const ShellCommand shellCommand(command);
    const ChildEnvironment environment(variables);
    const DirectCommand directCommand(command, environment.envp());
    // Pending console output goes out before anything the child writes.
    // NOLINTNEXTLINE(cert-err33-c): a stream that cannot be flushed has no one to tell.
    std::fflush(nullptr);
    int err;
    {
        // The child starts with every signal blocked, so that no handler of the launcher's
        // runs in it before it has the default dispositions back.
        AllSignalsBlocked blocked;
        const ChildStart start{&shellCommand,
                               &environment,
                               &directCommand,
                               streams,
                               job,
                               getpid(),
                               job != nullptr ? job->childMask() : blocked.previous()};
        m_pid = spawnChild(start);
        err = errno;
    }
    if (m_pid < 0) {
        throwSystemError("Error forking new process: ", err);
    }
    if (m_job != nullptr) {
        m_job->started(m_pid);
    }
}

ForkedChild::~ForkedChild() {
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

void ForkedChild::killNow() const {
    if (!isRunning()) {
        return;
    }
    if (m_job != nullptr) {
        m_job->signalProcessTree(SIGKILL);
    } else {
        kill(m_pid, SIGKILL);
    }
}

bool ForkedChild::tryReap() {
    if (!isRunning()) {
        return true;
    }
    pid_t result;
    while ((result = waitpid(m_pid, &m_status, WNOHANG | waitOptions())) < 0 && errno == EINTR) {
    }
    return finish(result);
}

void ForkedChild::waitForExit() {
    while (isRunning()) {
        pid_t result;
        while ((result = waitpid(m_pid, &m_status, waitOptions())) < 0 && errno == EINTR) {
        }
        finish(result);
    }
}

int ForkedChild::waitOptions() const {
    return m_job != nullptr && m_job->hasOwnGroup() ? WUNTRACED : 0;
}

bool ForkedChild::finish(pid_t result) {
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

int replaceLauncher(const char* command, const StringDeque* variables) {
    const ShellCommand shellCommand(command);
    const ChildEnvironment environment(variables);
    const DirectCommand directCommand(command, environment.envp());
    // NOLINTNEXTLINE(cert-err33-c): a stream that cannot be flushed has no one to tell.
    std::fflush(nullptr);
    AllSignalsBlocked blocked;
    // A request to stop that came before the block is the launcher's to act on.
    if (PlatformImpl::terminatingSignal() != 0) {
        return 0;
    }
    int err;
    {
        SavedDispositions launcherOwn;
        TerminationSignals::restoreForExec();
        // Outside a job the launcher's mask is the one it was started with. A signal that
        // comes from here on meets the default action, as it would meet the application.
        sigprocmask(SIG_SETMASK, blocked.previous(), nullptr);
        execCommand(shellCommand, directCommand, environment);
        err = errno;
        // The launcher's handling comes back before any signal is let in again.
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_SETMASK, &all, nullptr);
    }
    return err;
}
