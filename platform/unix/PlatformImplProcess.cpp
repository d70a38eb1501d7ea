// The process side of the platform layer: commands run in the foreground (with or without
// their output captured) or in the background, the request to stop that a signal makes, and
// the environment that every child inherits. The child itself is ForkedChild (started from a
// ChildCommand), and ChildWait waits for it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "base/LauncherException.h"
#include "base/StringDeque.h"
#include "base/TextUtil.h"
#include "platform/unix/ChildWait.h"
#include "platform/unix/FileDescriptor.h"
#include "platform/unix/ForegroundJob.h"
#include "platform/unix/ForkedChild.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"

volatile std::sig_atomic_t PlatformImpl::m_terminatingSignal = 0;

namespace {

// Keeps a pipe end clear of descriptors 0 to 2, so that making the child's standard
// descriptors from the pipes never overwrites another pipe end (the launcher may have been
// started with a standard descriptor closed). Returns the descriptor to use, -1 on failure.
int moveAboveStandardDescriptors(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    // Closed once the copy is made; errno tells why the copy failed.
    FileDescriptor standard(fd);
    return fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
}

// Makes a close-on-exec pipe. Returns false with errno set on failure.
bool openPipe(FileDescriptor& readEnd, FileDescriptor& writeEnd) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.reset(moveAboveStandardDescriptors(ends[0]));
    writeEnd.reset(moveAboveStandardDescriptors(ends[1]));
    return readEnd.isOpen() && writeEnd.isOpen();
}

// SString grows its buffer only to the size asked for; doubling it here keeps a large output,
// arriving chunk by chunk, from being copied over and over.
void appendGrowing(SString& out, const char* bytes, SString::size_type count) {
    SString::size_type needed = out.size() + count;
    if (out.capacity() < needed && needed < out.max_size() / 2) {
        SString::size_type doubled = out.capacity() * 2;
        out.reserve(doubled > needed ? doubled : needed);
    }
    out.append(bytes, count);
}

// The capture of executeProcess: appended to two strings, or dropped where there is none.
class StringCapture : public CapturedOutput {
public:
    StringCapture(SString* standardOutput, SString* standardError)
        : m_out(standardOutput), m_err(standardError) {}
    void take(bool isError, const char* bytes, size_t count) override {
        SString* target = isError ? m_err : m_out;
        if (target != nullptr) {
            appendGrowing(*target, bytes, static_cast<SString::size_type>(count));
        }
    }

private:
    SString* m_out;
    SString* m_err;
};

// The background form: the shell starts the command with "&" and ends at once; it is reaped
// here, and the command itself is left to init.
void startInBackground(const SString& command) {
    SString backgroundCommand(command);
    backgroundCommand += " &";
    ForkedChild shell(backgroundCommand.c_str(), ChildStreams(), nullptr, nullptr, false);
    shell.waitForExit();
}

[[noreturn]] void throwStoppedBySignal() {
    int signo = PlatformImpl::terminatingSignal();
    SString message("Stopped by signal ");
    message += convertToString(static_cast<long>(signo));
    message += " (";
    message += strsignal(signo);
    message += ")";
    throw LauncherException(message);
}

// Remembers the launcher's working directory and returns to it when destroyed.
class WorkingDirectoryGuard {
public:
    WorkingDirectoryGuard() = default;
    WorkingDirectoryGuard(const WorkingDirectoryGuard&) = delete;
    WorkingDirectoryGuard& operator=(const WorkingDirectoryGuard&) = delete;
    ~WorkingDirectoryGuard() {
        if (m_directory.isOpen()) {
            // Nothing can be reported from here; a directory that vanished meanwhile leaves the
            // launcher where the child ran.
            int ignored = fchdir(m_directory.get());
            (void)ignored;
        }
    }
    void remember() { m_directory.reset(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)); }

private:
    FileDescriptor m_directory;
};

}  // namespace

int PlatformImpl::terminatingSignal() {
    return static_cast<int>(m_terminatingSignal);
}

void PlatformImpl::noteTerminatingSignal(int signo) noexcept {
    if (m_terminatingSignal == 0) {
        m_terminatingSignal = signo;
    }
}

void PlatformImpl::throwIfTerminating() {
    if (m_terminatingSignal != 0) {
        throwStoppedBySignal();
    }
}

int PlatformImpl::finalExitStatus(int status) {
    return m_terminatingSignal != 0 ? 128 + static_cast<int>(m_terminatingSignal) : status;
}

int PlatformImpl::executeProcess(const SString& command, const SString& workingDirectory,
                                 bool /*showConsole*/, bool captureOutput, bool wait,
                                 SString* standardOutput, SString* standardError,
                                 const StringDeque* environment) {
    // A launcher asked to stop starts nothing more: the run is unwinding towards cleanup.
    throwIfTerminating();
    if (!wait) {
        // The command writes to the launcher's own standard output, from a line of its own.
        endProgressLine();
        startInBackground(command);
        return 0;
    }
    StringCapture capture(standardOutput, standardError);
    ChildOptions options;
    options.output = captureOutput ? &capture : nullptr;
    return runForeground(command, workingDirectory, options, environment).exitStatus;
}

ChildResult PlatformImpl::runForeground(const SString& command, const SString& workingDirectory,
                                        const ChildOptions& options,
                                        const StringDeque* environment) {
    throwIfTerminating();
    // The child inherits the directory from the launcher, which moves there for the run and
    // back afterwards: relative paths the user gave (a log file, a jvm file to LAUNCH) must
    // keep meaning what they meant, whether or not an earlier step ran a process.
    WorkingDirectoryGuard directoryGuard;
    if (!workingDirectory.empty()) {
        directoryGuard.remember();
        if (chdir(workingDirectory.c_str()) != 0) {
            SString context("Error setting working directory: ");
            context += workingDirectory;
            context += " ";
            throwSystemError(context.c_str(), errno);
        }
    }
    FileDescriptor outRead, outWrite, errRead, errWrite;
    if (options.output != nullptr &&
        (!openPipe(outRead, outWrite) || !openPipe(errRead, errWrite))) {
        throwSystemError("Couldn't create either stdout or stderr pipe: ", errno);
    }
    if (options.output == nullptr) {
        // The child writes to the launcher's own standard output: its first line must not
        // glue onto a row of progress marks.
        endProgressLine();
    }
    if (options.lastAct && options.output == nullptr && !options.helper &&
        m_launcherToDelete.empty()) {
        // What the command cannot use (the search's jvm file, a verify archive) goes now; what
        // it may use keeps the launcher as its parent, to remove it afterwards.
        removeCleanupEntriesNotNamedIn(command, environment);
        if (m_sdqCreatedFiles.size() == 0 && m_sdqCreatedDrs.size() == 0) {
            replaceLauncherWith(command, environment);
        }
    }
    // A helper must not take what the user types for the application.
    FileDescriptor nullInput;
    if (options.helper) {
        nullInput.reset(moveAboveStandardDescriptors(open("/dev/null", O_RDONLY | O_CLOEXEC)));
        if (!nullInput.isOpen()) {
            throwSystemError("Error opening /dev/null: ", errno);
        }
    }
    // The job outlives the child's owner, which may still wait for the child on the way out.
    ForegroundJob job(!options.helper);
    // A request that came after the first look, before the job blocked the signals.
    throwIfTerminating();
    ChildStreams streams;
    streams.in = nullInput.get();
    streams.out = outWrite.get();
    streams.err = errWrite.get();
    ForkedChild child(command.c_str(), streams, &job, environment, options.helper);
    nullInput.reset();
    // Only the child may hold the write ends, or end of file would never come.
    outWrite.reset();
    errWrite.reset();
    StringCapture dropped(nullptr, nullptr);
    WaitEnd end;
    try {
        end = awaitChild(
            child, job, outRead, errRead, options.output != nullptr ? *options.output : dropped,
            Deadline(options.output != nullptr ? options.timeLimitMs : 0), options.helper);
    } catch (...) {
        // Close the read ends before the child's owner waits for it, so a child still writing
        // gets a broken pipe instead of blocking on a full one for ever.
        outRead.reset();
        errRead.reset();
        throw;
    }
    if (m_terminatingSignal != 0) {
        throwStoppedBySignal();
    }
    ChildResult result;
    result.exitStatus = child.status();
    result.timedOut = end == WaitEnd::kTimedOut;
    return result;
}

void PlatformImpl::replaceLauncherWith(const SString& command, const StringDeque* environment) {
    // The record ends here: the launcher's process becomes the application's, and nothing of
    // the launcher remains to write about how it ends.
    Log::logMessage("Replacing the launcher with the application (no further record follows)",
                    LOG_INFO);
    const int err = replaceLauncher(command.c_str(), environment);
    if (err != 0) {
        Log::logMessage(concat("Could not replace the launcher with the application (",
                               systemErrorText(err), "); starting it as a child"),
                        LOG_WARNING);
    }
}

SString PlatformImpl::getEnvironmentVariable(const SString& name) {
    const char* value = std::getenv(name.c_str());
    return value == nullptr ? SString() : SString(value);
}

void PlatformImpl::setEnvironmentVariable(const SString& name, const SString& value) {
    if (setenv(name.c_str(), value.c_str(), 1) != 0) {
        SString context("Error setting environment variable ");
        context += name;
        context += ": ";
        throwSystemError(context.c_str(), errno);
    }
}
