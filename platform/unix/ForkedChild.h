#ifndef QV_PLATFORM_UNIX_FORKEDCHILD_H
#define QV_PLATFORM_UNIX_FORKEDCHILD_H

#include <sys/types.h>

#include "base/StringDeque.h"

class ForegroundJob;

// The descriptors a child gets as its standard input, output and error; -1 keeps the
// launcher's own. Output and error are replaced together: out >= 0 needs err >= 0.
struct ChildStreams {
    int in = -1;
    int out = -1;
    int err = -1;
};

// The status of a command that could not be started, as the shell reports one it cannot run.
const int kChildSetupFailed = 127;

// The status as a shell reports it, from a status that waitpid gave: the exit code, or 128 +
// the number of the signal that ended the child.
int shellStatus(int waitStatus);

// A child process that runs a /bin/sh command line, owned until it has been reaped: a child
// left behind by an exception is waited for in the destructor (killed first when it is a
// helper), so it never becomes a zombie. A child run as a foreground job with a group of its
// own is also reported to the job when the terminal stops it.
//
// The child is started with vfork: it borrows the launcher's memory until it execs, while the
// launcher waits, instead of getting a copy of the launcher's page tables as with fork, whose
// cost grows with everything the launcher has mapped. Everything the child needs (argument
// vectors, environment, messages) is therefore made before, and the child calls only
// async-signal-safe functions and leaves through exec or _exit. The launcher blocks every
// signal around the start, so that none of its handlers can run in the child.
//
// The child dies with the launcher (the kernel kills it when the launcher ends first), gets
// SIGPIPE and SIGXFSZ as the launcher was started with them and every other caught signal at
// its default, takes streams as its standard streams and becomes the command: directly when
// the command needs no shell (DirectCommand), else, or when the direct start fails, through
// /bin/sh. A child that cannot get that far ends with kChildSetupFailed, after writing to its
// standard error why, when a redirection or the start of the shell failed.
class ForkedChild {
public:
    // Starts the child, which gets the launcher's environment with variables ("NAME=value",
    // may be null) set over it. job may be null: the child then stays in the launcher's process
    // group and keeps the launcher's signal mask; with a job it gets the job's group and
    // terminal when the job has them (ForegroundJob::enterChild) and the mask from before the
    // job. Throws LauncherException "Error forking new process: <text>" when the child cannot
    // be made.
    ForkedChild(const char* command, const ChildStreams& streams, ForegroundJob* job,
                const StringDeque* variables, bool helper);
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;
    // Kills a helper still running, then waits for the child (continuing it should it be
    // stopped) and tells the job it has ended. Never throws.
    ~ForkedChild();

    pid_t pid() const { return m_pid; }
    // True until the child has been reaped.
    bool isRunning() const { return m_pid > 0; }
    // The shell-style status of the ended child.
    int status() const { return shellStatus(m_status); }

    // Kills the child with SIGKILL: its whole process group when it leads one, else the child
    // and every process below it. Nothing once it has been reaped.
    void killNow() const;
    // Reaps the child if it has ended; true once it has been reaped. A stop that the terminal
    // caused is passed to the job, and the child counts as running. Throws LauncherException
    // "Error waiting for child process: <text>" when waitpid fails.
    bool tryReap();
    // Blocks until the child has ended and has been reaped; throws as tryReap does.
    void waitForExit();

private:
    // Stops matter only to a foreground job of its own group, which passes them on.
    int waitOptions() const;
    // Takes the result of waitpid: true when the child has ended.
    bool finish(pid_t result);

    pid_t m_pid;
    int m_status;
    ForegroundJob* m_job;
    bool m_helper;
};

// Replaces the launcher's process with command (exec), started as ForkedChild starts a child:
// directly when it needs no shell, else through /bin/sh, with the launcher's environment and
// variables set over it, and with the launcher's own streams, working directory, process group
// and pid. Before the exec every signal gets the disposition the launcher was started with
// (TerminationSignals::restoreForExec) and the launcher's mask, which outside a job is the one
// it was started with. Returns only when the launcher is still itself, with its signal handling
// as before: 0 when a signal had already asked it to stop (nothing was tried), else the errno
// of the failed exec of /bin/sh.
int replaceLauncher(const char* command, const StringDeque* variables);

#endif  // QV_PLATFORM_UNIX_FORKEDCHILD_H
