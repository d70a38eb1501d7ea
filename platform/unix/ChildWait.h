#ifndef QV_PLATFORM_UNIX_CHILDWAIT_H
#define QV_PLATFORM_UNIX_CHILDWAIT_H

#include <ctime>

#include "platform/unix/FileDescriptor.h"

class CapturedOutput;
class ForegroundJob;
class ForkedChild;

// The moment a time limit runs out, on the monotonic clock.
class Deadline {
public:
    // limitMs <= 0: no limit, the deadline never passes.
    explicit Deadline(long limitMs);
    bool isLimited() const { return m_limited; }
    // The time left, zero once it has passed.
    timespec remaining() const;
    bool hasPassed() const;

private:
    bool m_limited;
    timespec m_end;
};

// How the wait for a child ended.
enum class WaitEnd { kEnded, kTimedOut, kStopRequested };

// Waits for the child to end and reaps it. With output captured (open pipes: the read ends of
// the child's standard output and error), reads both pipes as data arrives, one chunk per
// ready pipe per round, so the child never blocks on a full pipe, hands each chunk to output
// and advances the console progress once per chunk; once the child has ended it takes what
// the pipes hold then, without waiting for an end of file that a process left running in the
// background would hold back, and closes them. With closed pipes nothing is read. ppoll lets
// in SIGCHLD and the signals to pass on, which the job keeps blocked otherwise, so a child
// that the terminal stops, or a signal for the child, wakes the loop at once; such a signal
// goes on to a child in the launcher's group (ForegroundJob::passOnPending). A child that
// outlasts deadline, or a helper while a signal asks the launcher to stop, is killed and
// reaped. An exception from output, or LauncherException "Error waiting for child process:
// <text>", leaves the child to its owner.
WaitEnd awaitChild(ForkedChild& child, ForegroundJob& job, FileDescriptor& outPipe,
                   FileDescriptor& errPipe, CapturedOutput& output, const Deadline& deadline,
                   bool helper);

#endif  // QV_PLATFORM_UNIX_CHILDWAIT_H
