#include "platform/unix/ChildWait.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/unix/ForegroundJob.h"
#include "platform/unix/ForkedChild.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"

namespace {

const size_t kChunkSize = 4096;
// How often the end of the child is checked for when the system cannot signal it through a
// descriptor; only a child whose own children keep its pipes open ever waits for this.
const int kExitCheckIntervalMs = 50;
// What is taken from a pipe after the child ended when its fill level cannot be asked:
// the default capacity of a pipe.
const int kDefaultPipeCapacity = 65536;

// A descriptor that becomes readable when the child ends (pidfd), or none on systems
// without one; the capture loop then checks for the end at intervals.
int openChildExitDescriptor(pid_t pid) {
#if defined(__linux__) && defined(SYS_pidfd_open)
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Reads one chunk from a non-blocking pipe and hands it to output, advancing the console
// progress once per chunk. Closes the pipe at end of file or on an error. Returns the number
// of bytes read.
size_t readChunk(FileDescriptor& pipe, CapturedOutput& output, bool isError,
                 size_t limit = kChunkSize) {
    char chunk[kChunkSize];
    ssize_t got;
    while ((got = read(pipe.get(), chunk, limit < kChunkSize ? limit : kChunkSize)) < 0 &&
           errno == EINTR) {
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return 0;
    }
    if (got <= 0) {
        pipe.reset();
        return 0;
    }
    output.take(isError, chunk, static_cast<size_t>(got));
    PlatformImpl::advanceUIProgress(1);
    return static_cast<size_t>(got);
}

// After the child ended: takes what the pipe holds now, without waiting for end of file,
// which never comes while a process the command started in the background keeps the pipe.
void takeRemainder(FileDescriptor& pipe, CapturedOutput& output, bool isError) {
    if (!pipe.isOpen()) {
        return;
    }
    int waiting = 0;
    if (ioctl(pipe.get(), FIONREAD, &waiting) != 0) {
        waiting = kDefaultPipeCapacity;
    }
    size_t left = static_cast<size_t>(waiting);
    while (left > 0 && pipe.isOpen()) {
        size_t got = readChunk(pipe, output, isError, left);
        if (got == 0) {
            break;
        }
        left -= got;
    }
    pipe.reset();
}

void setNonBlocking(const FileDescriptor& pipe) {
    int flags = fcntl(pipe.get(), F_GETFL);
    if (flags >= 0) {
        fcntl(pipe.get(), F_SETFL, flags | O_NONBLOCK);
    }
}

bool hasInput(const pollfd& entry) {
    return (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool isShorter(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

Deadline::Deadline(long limitMs) : m_limited(limitMs > 0), m_end() {
    if (m_limited) {
        clock_gettime(CLOCK_MONOTONIC, &m_end);
        m_end.tv_sec += limitMs / 1000;
        m_end.tv_nsec += (limitMs % 1000) * 1000000L;
        if (m_end.tv_nsec >= 1000000000L) {
            ++m_end.tv_sec;
            m_end.tv_nsec -= 1000000000L;
        }
    }
}

timespec Deadline::remaining() const {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    timespec left = {m_end.tv_sec - now.tv_sec, m_end.tv_nsec - now.tv_nsec};
    if (left.tv_nsec < 0) {
        --left.tv_sec;
        left.tv_nsec += 1000000000L;
    }
    return left.tv_sec < 0 ? timespec{0, 0} : left;
}

bool Deadline::hasPassed() const {
    timespec left = remaining();
    return m_limited && left.tv_sec == 0 && left.tv_nsec == 0;
}

WaitEnd awaitChild(ForkedChild& child, ForegroundJob& job, FileDescriptor& outPipe,
                   FileDescriptor& errPipe, CapturedOutput& output, const Deadline& deadline,
                   bool helper) {
    if (outPipe.isOpen()) {
        setNonBlocking(outPipe);
        setNonBlocking(errPipe);
    }
    FileDescriptor childExit(openChildExitDescriptor(child.pid()));
    const timespec interval = {0, kExitCheckIntervalMs * 1000000L};
    while (child.isRunning()) {
        if (deadline.hasPassed() || (helper && PlatformImpl::terminatingSignal() != 0)) {
            const bool timedOut = PlatformImpl::terminatingSignal() == 0;
            child.killNow();
            child.waitForExit();
            return timedOut ? WaitEnd::kTimedOut : WaitEnd::kStopRequested;
        }
        // After the check above: a helper's processes are killed, not signalled first, so that
        // none of them becomes an orphan out of reach.
        job.passOnPending();
        timespec wait = interval;
        const timespec* timeout = childExit.isOpen() ? nullptr : &wait;
        timespec left;
        if (deadline.isLimited()) {
            left = deadline.remaining();
            timeout = timeout == nullptr || isShorter(left, wait) ? &left : timeout;
        }
        // A closed pipe stays in the set with fd -1, which poll ignores.
        pollfd watched[3] = {
            {outPipe.get(), POLLIN, 0}, {errPipe.get(), POLLIN, 0}, {childExit.get(), POLLIN, 0}};
        int ready = ppoll(watched, 3, timeout, job.waitMask());
        bool interrupted = ready < 0 && errno == EINTR;
        if (ready < 0 && !interrupted) {
            throwSystemError("Error waiting for child process: ", errno);
        }
        if (ready > 0 && hasInput(watched[0])) {
            readChunk(outPipe, output, false);
        }
        if (ready > 0 && hasInput(watched[1])) {
            readChunk(errPipe, output, true);
        }
        bool mayHaveChanged =
            interrupted || !childExit.isOpen() || ready == 0 || (ready > 0 && hasInput(watched[2]));
        if (mayHaveChanged && child.tryReap()) {
            takeRemainder(outPipe, output, false);
            takeRemainder(errPipe, output, true);
        }
    }
    return WaitEnd::kEnded;
}
