#ifndef QV_PLATFORM_UNIX_FOREGROUNDJOB_H
#define QV_PLATFORM_UNIX_FOREGROUNDJOB_H

#include <signal.h>
#include <sys/types.h>

// Runs one foreground child the way a job-control shell runs a job, so that what is meant for
// the application reaches all of it and the launcher still cleans up:
//
// - The child leads a process group of its own, which holds the shell that runs the command
//   and everything that shell starts. SIGTERM, SIGHUP, SIGINT and SIGQUIT that reach the
//   launcher while it waits are passed on to that whole group, with a SIGCONT in case it is
//   stopped. SIGTERM and SIGHUP also mark the launcher as terminating
//   (PlatformImpl::m_terminatingSignal). A signal that the launcher was started with ignored
//   (nohup, a background job of a plain shell) stays ignored, for the application too; one
//   that TerminationSignals records between jobs is taken over and given back afterwards.
// - When the launcher is in the foreground of its controlling terminal, the terminal goes to
//   the child's group for as long as it runs: Ctrl-C, Ctrl-\ and Ctrl-Z reach the application
//   and not the launcher, and the application may read the terminal.
// - When the terminal stops the child (Ctrl-Z, or a background read or write), the launcher
//   takes the terminal back and stops its own process group with the same signal, as the key
//   would have done without a group of the child's: the shell that started the launcher sees
//   its job stop. When that job is continued, the launcher hands the terminal over again (if it
//   is in the foreground now) and continues the child.
//
// Why a group of its own: left in the launcher's group, the child would get the terminal's
// signals without any handing over, but the launcher could then reach the processes the
// application started only by signalling its own group, which may hold its parent too (a
// script run from a terminal shares one group with everything it starts).
//
// One job at a time: the signal handlers reach the job through process-wide state.
class ForegroundJob {
public:
    // Before the fork: takes over the signals and looks for the terminal. The forwarded
    // signals stay blocked until started().
    ForegroundJob();
    ForegroundJob(const ForegroundJob&) = delete;
    ForegroundJob& operator=(const ForegroundJob&) = delete;
    // Takes the terminal back if the child still has it and restores the launcher's signal
    // handling.
    ~ForegroundJob();

    // In the child, between fork and exec: makes the new process group, takes the terminal
    // when it is to have it and restores the signal handling the launcher was started with.
    // Uses only async-signal-safe calls.
    void enterChild() const;
    // In the parent, right after the fork: records the child's group (making it too, so that
    // neither side waits for the other), hands it the terminal and lets signals in.
    void started(pid_t child);
    // The child was stopped by stopSignal (waitpid with WUNTRACED reported it).
    void childStopped(int stopSignal);
    // The child has been reaped: nothing is forwarded any more.
    void childEnded();

    // The signal mask to wait with in ppoll: the job's mask with SIGCHLD let in, so that a
    // child that stops or ends interrupts the wait.
    const sigset_t* waitMask() const { return &m_pollMask; }

private:
    // Puts back the dispositions and the mask found at construction; async-signal-safe, so the
    // child may call it between fork and exec.
    void restoreSignalHandling() const;
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
    int m_terminal;  // the controlling terminal, -1 without one
    bool m_handOverTerminal;
    bool m_handedOver;
    pid_t m_group;
};

#endif  // QV_PLATFORM_UNIX_FOREGROUNDJOB_H
