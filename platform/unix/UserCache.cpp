#include "platform/unix/UserCache.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/unix/FileDescriptor.h"

namespace UserCache {

std::string rootDirectory() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string base;
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            return std::string();
        }
        base = std::string(home) + "/.cache";
    }
    return base + "/qvlauncher";
}

bool isSafeOwnDirectory(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool isSafeOwnFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string prepareDirectory(const std::string& subdirectory) {
    std::string root = rootDirectory();
    if (root.empty()) {
        return root;
    }
    // The directory above the root (~/.cache) is the user's to own; only ours is checked.
    mkdir(root.substr(0, root.rfind('/')).c_str(), 0700);
    mkdir(root.c_str(), 0700);
    if (!isSafeOwnDirectory(root)) {
        return std::string();
    }
    if (subdirectory.empty()) {
        return root;
    }
    std::string path = root + "/" + subdirectory;
    mkdir(path.c_str(), 0700);
    return isSafeOwnDirectory(path) ? path : std::string();
}

std::string fileIdentity(const struct stat& info) {
    // Two 20-digit numbers, two more and two times with nine-digit fractions: under 130 bytes.
    char text[160];
    // NOLINTNEXTLINE(cert-err33-c): the text fits, see above.
    std::snprintf(
        text, sizeof text, "%llu:%llu:%lld:%lld.%09ld:%lld.%09ld",
        static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
        static_cast<long long>(info.st_size), static_cast<long long>(info.st_mtim.tv_sec),
        info.st_mtim.tv_nsec, static_cast<long long>(info.st_ctim.tv_sec), info.st_ctim.tv_nsec);
    return text;
}

bool resolvedIdentity(const std::string& path, std::string& resolvedPath, std::string& identity) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    struct stat info;
    if (!resolved || stat(resolved.get(), &info) != 0) {
        return false;
    }
    resolvedPath = resolved.get();
    identity = fileIdentity(info);
    return true;
}

std::string runtimeImageIdentity(const std::string& home) {
    const char* const candidates[] = {"/lib/modules", "/jre/lib/rt.jar", "/lib/rt.jar"};
    for (const char* candidate : candidates) {
        std::string path;
        std::string identity;
        if (resolvedIdentity(home + candidate, path, identity)) {
            path += "=";
            return path + identity;
        }
    }
    return "none";
}

bool writeAll(int fd, const char* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t wrote = write(fd, bytes + done, count - done);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

bool replaceFile(const std::string& directory, const std::string& name,
                 const std::string& content) {
    std::string temporary = directory + "/" + name + ".XXXXXX";
    FileDescriptor fd(mkostemp(&temporary[0], O_CLOEXEC));
    if (!fd.isOpen()) {
        return false;
    }
    bool written =
        fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), content.data(), content.size());
    written = fd.close() && written;
    if (!written || rename(temporary.c_str(), (directory + "/" + name).c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool readOwnFile(const std::string& path, size_t maxBytes, std::string& content) {
    content.clear();
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!fd.isOpen() || fstat(fd.get(), &info) != 0 || !isSafeOwnFile(info) ||
        static_cast<unsigned long long>(info.st_size) > maxBytes) {
        return false;
    }
    char buffer[8192];
    for (;;) {
        ssize_t got = read(fd.get(), buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.append(buffer, static_cast<size_t>(got));
        if (content.size() > maxBytes) {
            return false;
        }
    }
}

}  // namespace UserCache
