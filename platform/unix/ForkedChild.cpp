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
#include "platform/unix/SystemError.h"
#include "platform/unix/TerminationSignals.h"

namespace {

const char kShell[] = "/bin/sh";

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
    writeAll(STDERR_FILENO, systemErrorText(err));
    writeAll(STDERR_FILENO, "\n");
    _exit(kChildSetupFailed);
}

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
