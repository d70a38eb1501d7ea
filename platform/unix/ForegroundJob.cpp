#include "platform/unix/ForegroundJob.h"

#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/unix/PlatformImpl.h"
#include "platform/unix/TerminationSignals.h"

const int ForegroundJob::kForwarded[ForegroundJob::kForwardedCount] = {SIGTERM, SIGHUP, SIGINT,
                                                                       SIGQUIT};

namespace {

static_assert(sizeof(pid_t) <= sizeof(sig_atomic_t), "a process group must fit a signal flag");

// What the handlers share with the job: where to forward to, as kill takes it (-group for a
// child with a group of its own, the child's pid otherwise, 0 while there is no child), and
// whether the launcher was continued after it stopped itself.
volatile sig_atomic_t g_forwardTarget = 0;
// A signal to pass on to a child that shares the launcher's group, left to passOnPending.
volatile sig_atomic_t g_pendingSignal = 0;
volatile sig_atomic_t g_continued = 0;

extern "C" void forwardToChild(int signo) {
    int savedErrno = errno;
    // Only a signal that reaches the launcher itself comes here: the terminal's keys go to a
    // child that has the terminal, not to the launcher. The first request decides the status.
    PlatformImpl::noteTerminatingSignal(signo);
    pid_t target = static_cast<pid_t>(g_forwardTarget);
    if (target < 0) {
        kill(target, signo);
        // A stopped group would keep the signal pending until someone continues it.
        kill(target, SIGCONT);
    } else if (target > 0) {
        // The child's processes must be found before the signal ends the first of them (its
        // orphans would go to init): that is passOnPending's work, outside the handler.
        g_pendingSignal = signo;
    }
    errno = savedErrno;
}

// SIGCHLD needs a handler only to interrupt the wait (and to be caught at all: a launcher
// started with SIGCHLD ignored would have its children reaped by the system, and waitpid
// would find none). SIGCONT tells that a stop of our own has ended.
extern "C" void noteChildOrContinue(int signo) {
    if (signo == SIGCONT) {
        g_continued = 1;
    }
}

void install(int signo, void (*handler)(int), struct sigaction* saved) {
    struct sigaction action {};
    action.sa_handler = handler;
    // No SA_RESTART: a forwarded signal or a child's stop must wake the waiting call.
    action.sa_flags = 0;
    sigfillset(&action.sa_mask);
    sigaction(signo, &action, saved);
}

// A default disposition, or the launcher's own recording of termination requests, is taken
// over for the job; an ignored signal or someone else's handler is left alone.
bool mayTakeOver(int signo, struct sigaction* current) {
    if (sigaction(signo, nullptr, current) != 0) {
        return false;
    }
    bool isDefault = !(current->sa_flags & SA_SIGINFO) && current->sa_handler == SIG_DFL;
    return isDefault || TerminationSignals::isRecordingHandler(*current);
}

// The process of each /proc entry and its parent; empty where there is no /proc.
std::vector<std::pair<pid_t, pid_t>> processParents() {
    std::vector<std::pair<pid_t, pid_t>> parents;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return parents;
    }
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') {
            continue;
        }
        // "<pid> (<name>) <state> <ppid> ...": the name may hold blanks and parentheses.
        char path[64];
        // NOLINTNEXTLINE(cert-err33-c): the buffer holds any pid; a cut name would fail to open.
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        FileDescriptor file(open(path, O_RDONLY | O_CLOEXEC));
        if (!file.isOpen()) {
            continue;
        }
        char stat[512];
        ssize_t got = read(file.get(), stat, sizeof stat - 1);
        file.reset();
        if (got <= 0) {
            continue;
        }
        stat[got] = '\0';
        const char* nameEnd = std::strrchr(stat, ')');
        // After the name: a blank, the one-letter state, a blank, the parent's pid.
        if (nameEnd == nullptr || std::strlen(nameEnd) < 5) {
            continue;
        }
        long parent = std::strtol(nameEnd + 4, &end, 10);
        if (end != nameEnd + 4 && parent >= 0) {
            parents.emplace_back(static_cast<pid_t>(pid), static_cast<pid_t>(parent));
        }
    }
    closedir(proc);
    return parents;
}

bool isJobControlStop(int stopSignal) {
    return stopSignal == SIGTSTP || stopSignal == SIGTTIN || stopSignal == SIGTTOU;
}

}  // namespace

ForegroundJob::ForegroundJob(bool jobControl)
    : m_handOverTerminal(false), m_handedOver(false), m_group(0), m_child(0) {
    // Until the child's group is known, a forwarded signal would have nowhere to go; blocked,
    // it waits for started(). SIGTTOU is blocked so that the parent may give the terminal away
    // even if the child has taken it already.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signo : kForwarded) {
        sigaddset(&blocked, signo);
    }
    sigaddset(&blocked, SIGCHLD);
    sigaddset(&blocked, SIGTTOU);
    sigprocmask(SIG_BLOCK, &blocked, &m_originalMask);

    for (int i = 0; i < kForwardedCount; ++i) {
        m_tookOver[i] = mayTakeOver(kForwarded[i], &m_savedForwarded[i]);
        if (m_tookOver[i]) {
            install(kForwarded[i], forwardToChild, nullptr);
        }
    }
    install(SIGCHLD, noteChildOrContinue, &m_savedChildSignal);
    install(SIGCONT, noteChildOrContinue, &m_savedContinueSignal);

    // Without a controlling terminal the open fails, and there is nothing to hand over.
    if (jobControl) {
        int terminal;
        do {
            terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        } while (terminal < 0 && errno == EINTR);
        m_terminal.reset(terminal);
    }
    m_handOverTerminal = isForeground();

    // While the child runs, SIGCHLD stays blocked, and so do the forwarded signals for a child
    // in the launcher's group, whose handler leaves work to passOnPending: the wait's ppoll
    // lets them in, so none comes between a look at the pending signal and the wait.
    m_runningMask = m_originalMask;
    sigaddset(&m_runningMask, SIGCHLD);
    if (!m_handOverTerminal) {
        for (int signo : kForwarded) {
            sigaddset(&m_runningMask, signo);
        }
    }
    m_pollMask = m_originalMask;
    sigdelset(&m_pollMask, SIGCHLD);
}

ForegroundJob::~ForegroundJob() {
    g_forwardTarget = 0;
    g_pendingSignal = 0;
    if (m_handedOver && !isForeground()) {
        giveTerminalTo(getpgrp());
    }
    restoreDispositions();
    sigprocmask(SIG_SETMASK, &m_originalMask, nullptr);
}

void ForegroundJob::restoreDispositions() const {
    for (int i = 0; i < kForwardedCount; ++i) {
        if (m_tookOver[i]) {
            sigaction(kForwarded[i], &m_savedForwarded[i], nullptr);
        }
    }
    sigaction(SIGCHLD, &m_savedChildSignal, nullptr);
    sigaction(SIGCONT, &m_savedContinueSignal, nullptr);
}

void ForegroundJob::enterChild() const {
    if (m_handOverTerminal) {
        setpgid(0, 0);
        // SIGTTOU is blocked, so the new background group may take the terminal.
        tcsetpgrp(m_terminal.get(), getpid());
    }
    restoreDispositions();
}

void ForegroundJob::started(pid_t child) {
    m_child = child;
    if (!m_handOverTerminal) {
        g_forwardTarget = child;
        sigprocmask(SIG_SETMASK, &m_runningMask, nullptr);
        return;
    }
    // Whichever of the two runs first makes the group; the other's call then fails harmlessly.
    setpgid(child, child);
    m_group = child;
    g_forwardTarget = -child;
    // The child may have taken the terminal and ended already, when the group is gone and this
    // call fails: the terminal is to be taken back all the same.
    tcsetpgrp(m_terminal.get(), child);
    m_handedOver = true;
    // Signals that came while the group was unknown are delivered, and forwarded, now.
    sigprocmask(SIG_SETMASK, &m_runningMask, nullptr);
}

void ForegroundJob::childStopped(int stopSignal) {
    if (!isJobControlStop(stopSignal) || m_group <= 0) {
        // Stopped by someone's SIGSTOP, not by the terminal: whoever did it continues it.
        return;
    }
    if (stopSignal != SIGTSTP && !m_handedOver && isForeground()) {
        // The child touched the terminal while the launcher was in the background, and the
        // launcher has been brought to the foreground since: the terminal is the child's now.
        m_handedOver = giveTerminalTo(m_group);
        kill(-m_group, SIGCONT);
        return;
    }
    if (m_handedOver) {
        giveTerminalTo(getpgrp());
        m_handedOver = false;
    }
    g_continued = 0;
    kill(0, stopSignal);
    // Here the launcher has been stopped and continued, or could not be stopped (its group is
    // orphaned, or the signal is ignored).
    if (g_continued == 0 && stopSignal != SIGTSTP) {
        // Continued, the child would only stop again at the terminal.
        return;
    }
    if (isForeground()) {
        m_handedOver = giveTerminalTo(m_group);
    }
    kill(-m_group, SIGCONT);
}

void ForegroundJob::childEnded() {
    g_forwardTarget = 0;
    m_child = 0;
    // A request that came after the last wait is taken now, while the forwarding handler is
    // still installed: the caller then sees it before it returns.
    sigset_t ended = m_originalMask;
    sigaddset(&ended, SIGCHLD);
    sigprocmask(SIG_SETMASK, &ended, nullptr);
}

void ForegroundJob::passOnPending() {
    int signo = static_cast<int>(g_pendingSignal);
    if (signo == 0 || m_child <= 0) {
        return;
    }
    g_pendingSignal = 0;
    signalProcessTree(signo);
}

void ForegroundJob::signalProcessTree(int signo) const {
    if (m_child <= 0) {
        return;
    }
    if (m_handOverTerminal) {
        kill(-m_child, signo);
        kill(-m_child, SIGCONT);
        return;
    }
    // Every process whose chain of parents leads to the child, found before any of them ends.
    std::vector<std::pair<pid_t, pid_t>> parents = processParents();
    std::vector<pid_t> tree = {m_child};
    for (size_t next = 0; next < tree.size(); ++next) {
        for (const auto& process : parents) {
            if (process.second == tree[next]) {
                tree.push_back(process.first);
            }
        }
    }
    for (pid_t pid : tree) {
        kill(pid, signo);
        kill(pid, SIGCONT);
    }
}

bool ForegroundJob::isForeground() const {
    return m_terminal.isOpen() && tcgetpgrp(m_terminal.get()) == getpgrp();
}

bool ForegroundJob::giveTerminalTo(pid_t group) const {
    if (!m_terminal.isOpen()) {
        return false;
    }
    sigset_t ttou;
    sigset_t saved;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &saved);
    bool given = tcsetpgrp(m_terminal.get(), group) == 0;
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    return given;
}
