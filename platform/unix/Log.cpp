#include "platform/unix/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/StdioFile.h"
#include "platform/unix/FileDescriptor.h"

SString Log::s_fileName;
bool Log::s_started = false;

namespace {

const char kSeparator[] = "------------------\n";
// The log name that means standard error.
const char kStandardErrorName[] = "-";

const char* prefix(LogMessageType type) {
    switch (type) {
        case LOG_WARNING:
            return "WARNING: ";
        case LOG_ERROR:
            return "ERROR: ";
        default:
            return "";
    }
}

// True when path is a symbolic link that root or this user made: one nobody else could have
// planted (the rule of the kernel's protected_symlinks), such as /dev/stderr.
bool isOwnSymbolicLink(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0 && S_ISLNK(info.st_mode) &&
           (info.st_uid == 0 || info.st_uid == geteuid());
}

// The log for appending. The user names it, often in a directory that others may write to
// (/tmp): a link another user planted at that name is refused rather than followed, so that
// the records cannot be made to land in another file. The user's own links and the system's
// (-qv:log /dev/stderr) are followed.
FILE* openForAppending(const char* path) {
    if (std::strcmp(path, kStandardErrorName) == 0) {
        // A copy of the descriptor: closing the record's stream leaves standard error open.
        FileDescriptor copy(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0));
        FILE* file = copy.isOpen() ? fdopen(copy.get(), "a") : nullptr;
        if (file != nullptr) {
            copy.release();
        }
        return file;
    }
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    FileDescriptor fd(open(path, flags | O_NOFOLLOW, 0666));
    if (!fd.isOpen() && errno == ELOOP && isOwnSymbolicLink(path)) {
        fd.reset(open(path, flags, 0666));
    }
    if (!fd.isOpen()) {
        return nullptr;
    }
    FILE* file = fdopen(fd.get(), "a");
    if (file != nullptr) {
        // The stream owns the descriptor now; fclose closes it.
        fd.release();
    }
    return file;
}

// The log opened for one more record, with the separator line written before the run's first
// record; null when logging is off or the log cannot be opened.
FILE* openRecord(const SString& name, bool& started) {
    if (name.empty()) {
        return nullptr;
    }
    FILE* log = openForAppending(name.c_str());
    if (log != nullptr && !started) {
        // NOLINTNEXTLINE(cert-err33-c): log write errors are ignored (see the class)
        std::fputs(kSeparator, log);
        started = true;
    }
    return log;
}

}  // namespace

void Log::logMessage(const SString& text, LogMessageType type) {
    logMessage(text.c_str(), type);
}

void Log::logMessage(const char* text, LogMessageType type) {
    StdioFile log(openRecord(s_fileName, s_started));
    if (log.get() == nullptr) {
        return;
    }
    // NOLINTNEXTLINE(cert-err33-c): log write errors are ignored (see the class)
    std::fprintf(log.get(), "%s%s\n", prefix(type), text);
}

void Log::appendToLog(const char* bytes, size_t count) {
    if (count == 0) {
        return;
    }
    StdioFile log(openRecord(s_fileName, s_started));
    if (log.get() == nullptr) {
        return;
    }
    // NOLINTNEXTLINE(cert-err33-c): log write errors are ignored (see the class)
    std::fwrite(bytes, 1, count, log.get());
}

void Log::resetForTest() {
    s_fileName = SString();
    s_started = false;
}
