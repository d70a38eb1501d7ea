#ifndef QV_PLATFORM_UNIX_TERMINATIONSIGNALS_H
#define QV_PLATFORM_UNIX_TERMINATIONSIGNALS_H

#include <signal.h>

// The launcher's signal handling for the whole run.
//
// SIGTERM, SIGHUP, SIGINT and SIGQUIT are caught, so that a request to stop that comes while
// no application runs (during the disk walk, a verify run, an extraction, a looping
// instruction script) still ends the launcher through its cleanup. The handler only records
// the signal (PlatformImpl::noteTerminatingSignal); the long-running steps look at it
// (PlatformImpl::throwIfTerminating), the run unwinds, the temporary files go, and the exit
// status becomes 128 + the signal. The handler is installed without SA_RESTART, so that a
// blocking read (the destination prompt) returns at once.
//
// SIGPIPE and SIGXFSZ are ignored: a write to a closed pipe or past the file size limit then
// fails with EPIPE or EFBIG and takes the launcher's normal failure path (a message, cleanup,
// exit status 1) instead of ending the process before its cleanup. Every child gets back the
// disposition the launcher was started with (restoreForExec).
//
// While a foreground child runs, ForegroundJob takes the four requests over and passes them on
// to the child, and gives them back afterwards.
//
// A signal that the launcher was started with ignored (nohup, a background job of a plain
// shell) or handled otherwise is left as it is.
class TerminationSignals {
public:
    TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;
    // Restores the dispositions found at construction.
    ~TerminationSignals();

    // True when action is this class's handler: ForegroundJob takes such a signal over as it
    // would a default one.
    static bool isRecordingHandler(const struct sigaction& action);

    // Before an exec (in a child, or in the launcher replacing itself with the application),
    // with every signal blocked: gives SIGPIPE and SIGXFSZ the dispositions the launcher was
    // started with (a launcher that ignored nothing gives the default), and every other signal
    // that has a handler the default, which exec would give it. No handler of the launcher's
    // can then run between this call and the exec, whatever arrives once the mask lets it in:
    // in a child that shares the launcher's memory, one would write the launcher's state.
    // Ignored signals stay ignored. Async-signal-safe.
    static void restoreForExec();

private:
    static const int kCaughtCount = 4;
    static const int kCaught[kCaughtCount];
    static const int kIgnoredCount = 2;
    static const int kIgnored[kIgnoredCount];

    struct sigaction m_saved[kCaughtCount];
    bool m_installed[kCaughtCount];
};

#endif  // QV_PLATFORM_UNIX_TERMINATIONSIGNALS_H
