#ifndef QV_PLATFORM_UNIX_FOREGROUNDJOB_H
#define QV_PLATFORM_UNIX_FOREGROUNDJOB_H

#include <signal.h>
#include <sys/types.h>

#include "platform/unix/FileDescriptor.h"

// Runs one foreground child the way a job-control shell runs a job, so that what is meant for
// the application reaches it and the launcher still cleans up:
//
// - SIGTERM, SIGHUP, SIGINT and SIGQUIT that reach the launcher while it waits mark the
//   launcher as terminating (PlatformImpl::noteTerminatingSignal) and are passed on to the
//   child: to its whole process group when it has one of its own, else to the child and every
//   process below it (passOnPending), with a SIGCONT in case they are stopped. A signal that the
//   launcher was started with ignored (nohup, a background job of a plain shell) stays ignored, for
//   the application too; one that TerminationSignals records between jobs is taken over and given
//   back afterwards.
// - When job control is asked for and the launcher is in the foreground of its controlling
//   terminal, the child leads a process group of its own (the shell that runs the command and
//   everything that shell starts) and the terminal goes to that group for as long as it runs:
//   Ctrl-C, Ctrl-\ and Ctrl-Z reach the application and not the launcher, and the application
//   may read the terminal.
// - Otherwise (no terminal, the launcher in the background, or a helper such as a verify run
//   that must never own the terminal) the child stays in the launcher's process group, so
//   that a signal sent to that group (timeout, a service manager, kill -- -PGID, a SIGKILL
//   included) reaches the child and what it started together with the launcher.
// - When the terminal stops a child of its own group (Ctrl-Z, or a background read or write),
//   the launcher takes the terminal back and stops its own process group with the same signal,
//   as the key would have done without a group of the child's: the shell that started the
//   launcher sees its job stop. When that job is continued, the launcher hands the terminal
//   over again (if it is in the foreground now) and continues the child.
//
// One job at a time: the signal handlers reach the job through process-wide state.
class ForegroundJob {
public:
    // Before the child starts: takes over the signals and looks for the terminal. The forwarded
    // signals stay blocked until started(). jobControl: the child may get a process group of
    // its own and the terminal (the application, an installer); false keeps it in the
    // launcher's group and away from the terminal whatever the launcher's place (a helper).
    explicit ForegroundJob(bool jobControl = true);
    ForegroundJob(const ForegroundJob&) = delete;
    ForegroundJob& operator=(const ForegroundJob&) = delete;
    // Takes the terminal back if the child still has it and restores the launcher's signal
    // handling.
    ~ForegroundJob();

    // In the child before it execs, with every signal blocked: makes the new process group
    // and takes the terminal when the child is to have them, and puts back the dispositions
    // found at construction. The mask is the caller's to set (childMask). Uses only
    // async-signal-safe calls and writes no memory of the launcher's.
    void enterChild() const;
    // The signal mask the child is to exec with: the launcher's own before the job blocked
    // the signals it forwards.
    const sigset_t* childMask() const { return &m_originalMask; }
    // In the parent once the child runs: records the child (making its group too, when it has
    // one, so that neither side waits for the other), hands it the terminal and lets signals
    // in.
    void started(pid_t child);
    // True when the child leads a process group of its own (and has the terminal).
    bool hasOwnGroup() const { return m_handOverTerminal; }
    // The child was stopped by stopSignal (waitpid with WUNTRACED reported it).
    void childStopped(int stopSignal);
    // The child has been reaped: nothing is forwarded any more.
    void childEnded();
    // For a child in the launcher's group: passes a signal that reached the launcher since the
    // last call on to the child and every process below it. Called by the wait after ppoll
    // returns; the handler itself only notes the signal.
    void passOnPending();
    // Sends signo (and SIGCONT) to the child's group when it has one of its own, else to the
    // child and every process below it (found through /proc, where there is one).
    void signalProcessTree(int signo) const;

    // The signal mask to wait with in ppoll: the launcher's own mask with SIGCHLD (and the
    // forwarded signals) let in, so that a child that stops or ends, or a signal to pass on,
    // interrupts the wait.
    const sigset_t* waitMask() const { return &m_pollMask; }

private:
    // Puts back the dispositions found at construction; async-signal-safe, so the child may
    // call it before it execs.
    void restoreDispositions() const;
    bool isForeground() const;
    // tcsetpgrp with SIGTTOU blocked: a process in a background group may then take the
    // terminal instead of being stopped.
    bool giveTerminalTo(pid_t group) const;

    static const int kForwardedCount = 4;
    static const int kForwarded[kForwardedCount];

    struct sigaction m_savedForwarded[kForwardedCount];
    bool m_tookOver[kForwardedCount];
    struct sigaction m_savedChildSignal;
    struct sigaction m_savedContinueSignal;
    sigset_t m_originalMask;
    sigset_t m_runningMask;
    sigset_t m_pollMask;
    FileDescriptor m_terminal;  // the controlling terminal, closed without one
    bool m_handOverTerminal;
    bool m_handedOver;
    pid_t m_group;
    pid_t m_child;
};

#endif  // QV_PLATFORM_UNIX_FOREGROUNDJOB_H
