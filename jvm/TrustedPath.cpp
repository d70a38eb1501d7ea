#include "jvm/TrustedPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/unix/SystemError.h"

namespace {

const mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

std::string parentOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

bool fail(std::string& reason, const std::string& text) {
    reason = text;
    return false;
}

// Root and the user running the launcher; whoever else owns a file or a directory can change
// what it holds, whatever its permission bits say.
bool isTrustedOwner(uid_t owner) {
    return owner == 0 || owner == geteuid();
}

std::string ownedByAnotherUser(const std::string& path, uid_t owner) {
    return path + " belongs to another user (uid " + std::to_string(owner) + ")";
}

// Checks path and every directory above it, as named (links are not followed). An entry's
// owner is checked after the directory that holds it, so that an entry of another user in a
// shared directory is reported as such.
bool checkChain(const std::string& path, std::string& reason) {
    struct stat entry;
    if (lstat(path.c_str(), &entry) != 0) {
        return fail(reason, path + " cannot be examined: " + systemErrorText(errno));
    }
    // A link's own permission bits mean nothing; whether it can be replaced is a question of
    // the directory that holds it, checked next.
    if (!S_ISLNK(entry.st_mode) && (entry.st_mode & kWritableByOthers) != 0) {
        return fail(reason, path + " is writable by group or others");
    }
    std::string child = path;
    while (child != "/") {
        std::string parent = parentOf(child);
        struct stat directory;
        if (lstat(parent.c_str(), &directory) != 0) {
            return fail(reason, parent + " cannot be examined: " + systemErrorText(errno));
        }
        if (!S_ISLNK(directory.st_mode) && (directory.st_mode & kWritableByOthers) != 0) {
            if ((directory.st_mode & S_ISVTX) == 0) {
                return fail(reason, parent + " is writable by group or others");
            }
            if (!isTrustedOwner(entry.st_uid)) {
                return fail(reason,
                            parent + " is shared and " + ownedByAnotherUser(child, entry.st_uid));
            }
        }
        if (!isTrustedOwner(entry.st_uid)) {
            return fail(reason, ownedByAnotherUser(child, entry.st_uid));
        }
        entry = directory;
        child = parent;
    }
    if (!isTrustedOwner(entry.st_uid)) {
        return fail(reason, ownedByAnotherUser(child, entry.st_uid));
    }
    return true;
}

}  // namespace

bool isTrustedExecutablePath(const SString& path, SString& reason) {
    std::string named(path.c_str(), path.length());
    std::string why;
    if (named.empty() || named[0] != '/') {
        reason = "the path is not absolute";
        return false;
    }
    if (!checkChain(named, why)) {
        reason = why.c_str();
        return false;
    }
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(named.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        reason = (named + " cannot be resolved: " + systemErrorText(errno)).c_str();
        return false;
    }
    if (named != resolved.get() && !checkChain(resolved.get(), why)) {
        reason = why.c_str();
        return false;
    }
    return true;
}
