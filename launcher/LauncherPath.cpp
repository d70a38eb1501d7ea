#include "launcher/LauncherPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/TextUtil.h"
#include "platform/unix/WorkingDirectory.h"

namespace {

bool isExecutableFile(const SString& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

SString joinToWorkingDirectory(const SString& relative) {
    SString path = currentDirectory();
    appendPathSeparator(path);
    path += relative;
    return path;
}

SString searchPath(const char* name) {
    const char* searchPathValue = std::getenv("PATH");
    if (searchPathValue == nullptr) {
        return SString();
    }
    SString list(searchPathValue);
    SString::size_type start = 0;
    while (start <= list.length()) {
        SString::size_type colon = list.find(':', start);
        SString::size_type end = colon == SString::npos ? list.length() : colon;
        // An empty entry stands for the working directory.
        SString candidate = end == start ? SString(".") : list.substr(start, end - start);
        appendPathSeparator(candidate);
        candidate += name;
        if (candidate.c_str()[0] != '/') {
            candidate = joinToWorkingDirectory(candidate);
        }
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == SString::npos) {
            break;
        }
        start = colon + 1;
    }
    return SString();
}

// The target of a symbolic link of any length; empty when it cannot be read.
SString linkTarget(const char* link) {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t length = readlink(link, buffer.data(), buffer.size());
        if (length < 0) {
            return SString();
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return SString(buffer.data(), static_cast<SString::size_type>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

SString runningExecutable() {
    return linkTarget("/proc/self/exe");
}

// The system names a file that was removed, or replaced by a rename, "<name> (deleted)". The
// suffix goes unless a file of exactly that name exists (a launcher really called so).
void dropDeletedSuffix(SString& name) {
    static const char kSuffix[] = " (deleted)";
    const SString::size_type suffixLength = sizeof kSuffix - 1;
    struct stat info;
    if (name.length() > suffixLength &&
        name.compare(name.length() - suffixLength, suffixLength, kSuffix) == 0 &&
        lstat(name.c_str(), &info) != 0) {
        name.erase(name.length() - suffixLength);
    }
}

}  // namespace

SString resolveLauncherPath(const char* argv0) {
    if (argv0 == nullptr) {
        argv0 = "";
    }
    if (argv0[0] == '/') {
        return SString(argv0);
    }
    if (std::strchr(argv0, '/') == nullptr && argv0[0] != '\0') {
        SString found = searchPath(argv0);
        if (found.empty()) {
            found = runningExecutable();
        }
        if (!found.empty()) {
            return found;
        }
    }
    return joinToWorkingDirectory(SString(argv0));
}

ExecutedLauncher findExecutedLauncher(const char* argv0, const char* selfLink) {
    ExecutedLauncher launcher;
    launcher.path = linkTarget(selfLink);
    // The link names an absolute path; anything else is not the executed file's name.
    if (launcher.path.c_str()[0] == '/') {
        dropDeletedSuffix(launcher.path);
        launcher.openPath = SString(selfLink);
        return launcher;
    }
    launcher.path = resolveLauncherPath(argv0);
    launcher.openPath = launcher.path;
    return launcher;
}
