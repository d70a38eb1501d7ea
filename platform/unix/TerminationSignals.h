#ifndef QV_PLATFORM_UNIX_TERMINATIONSIGNALS_H
#define QV_PLATFORM_UNIX_TERMINATIONSIGNALS_H

#include <signal.h>

// Catches SIGTERM, SIGHUP and SIGINT for the whole run, so that a request to stop that comes
// while no application runs (during the disk walk, an extraction, a looping instruction
// script) still ends the launcher through its cleanup. The handler only records the signal in
// PlatformImpl::m_terminatingSignal; the long-running steps look at it
// (PlatformImpl::throwIfTerminating), the run unwinds, the temporary files go, and the exit
// status becomes 128 + the signal. The handler is installed without SA_RESTART, so that a
// blocking read (the destination prompt) returns at once.
//
// While a foreground child runs, ForegroundJob takes these signals over and passes them on to
// the child's process group, and gives them back afterwards.
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

private:
    static const int kCaughtCount = 3;
    static const int kCaught[kCaughtCount];

    struct sigaction m_saved[kCaughtCount];
    bool m_installed[kCaughtCount];
};

#endif  // QV_PLATFORM_UNIX_TERMINATIONSIGNALS_H
