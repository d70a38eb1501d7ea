#include "platform/unix/TerminationSignals.h"

#include "platform/unix/PlatformImpl.h"

const int TerminationSignals::kCaught[TerminationSignals::kCaughtCount] = {SIGTERM, SIGHUP, SIGINT,
                                                                           SIGQUIT};
const int TerminationSignals::kIgnored[TerminationSignals::kIgnoredCount] = {SIGPIPE, SIGXFSZ};

namespace {

// What SIGPIPE and SIGXFSZ were when the launcher started, for its children. Process-wide, as
// a child reads them before it execs; valid while g_ignoring is set.
struct sigaction g_startedWith[2];
volatile sig_atomic_t g_ignoring = 0;

// The first request counts: it decides the exit status.
extern "C" void recordTerminationSignal(int signo) {
    PlatformImpl::noteTerminatingSignal(signo);
}

bool isDefault(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

// A function runs for the signal: neither the default action nor ignored.
bool hasHandler(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) != 0 ||
           (action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN);
}

}  // namespace

TerminationSignals::TerminationSignals() : m_saved(), m_installed() {
    struct sigaction recording {};
    recording.sa_handler = recordTerminationSignal;
    recording.sa_flags = 0;  // no SA_RESTART: see the class comment
    sigfillset(&recording.sa_mask);
    for (int i = 0; i < kCaughtCount; ++i) {
        if (sigaction(kCaught[i], nullptr, &m_saved[i]) == 0 && isDefault(m_saved[i])) {
            m_installed[i] = sigaction(kCaught[i], &recording, nullptr) == 0;
        }
    }
    struct sigaction ignoring {};
    ignoring.sa_handler = SIG_IGN;
    sigemptyset(&ignoring.sa_mask);
    for (int i = 0; i < kIgnoredCount; ++i) {
        sigaction(kIgnored[i], &ignoring, &g_startedWith[i]);
    }
    g_ignoring = 1;
}

TerminationSignals::~TerminationSignals() {
    if (g_ignoring != 0) {
        g_ignoring = 0;
        for (int i = 0; i < kIgnoredCount; ++i) {
            sigaction(kIgnored[i], &g_startedWith[i], nullptr);
        }
    }
    for (int i = 0; i < kCaughtCount; ++i) {
        if (m_installed[i]) {
            sigaction(kCaught[i], &m_saved[i], nullptr);
        }
    }
}

bool TerminationSignals::isRecordingHandler(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == recordTerminationSignal;
}

void TerminationSignals::restoreForExec() {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    // SIGKILL and SIGSTOP cannot be caught, and the C library keeps its own signals from us.
    for (int signo = 1; signo < NSIG; ++signo) {
        struct sigaction current;
        if (sigaction(signo, nullptr, &current) == 0 && hasHandler(current)) {
            sigaction(signo, &byDefault, nullptr);
        }
    }
    if (g_ignoring == 0) {
        return;
    }
    for (int i = 0; i < kIgnoredCount; ++i) {
        sigaction(kIgnored[i], &g_startedWith[i], nullptr);
    }
}
