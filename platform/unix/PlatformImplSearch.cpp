// The search side of the platform layer: the roots of the exhaustive JVM search, the walk
// over them, and the search of PATH for a command.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "base/TextUtil.h"
#include "platform/unix/FindFiles.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// Set only by tests; empty in every real run.
StringDeque g_testSearchRoots;

// An executable regular file (after symbolic links), as the shell would run it.
bool isExecutableFile(const SString& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// The path with every symbolic link and "." or ".." resolved; empty when it cannot be.
SString realPath(const SString& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? SString(resolved.get()) : SString();
}

}  // namespace

void setSearchRootsForTesting(const StringDeque& roots) {
    g_testSearchRoots.clear();
    for (long i = 0; i < roots.size(); ++i) {
        g_testSearchRoots.push_back(roots.at(i));
    }
}

void PlatformImpl::getJVMSearchPartitions(StringDeque& roots) {
    if (g_testSearchRoots.size() == 0) {
        roots.push_back("/");
        return;
    }
    for (long i = 0; i < g_testSearchRoots.size(); ++i) {
        roots.push_back(g_testSearchRoots.at(i));
    }
}

void PlatformImpl::findFiles(const StringDeque& names, FileFindListener& listener) {
    FindFiles finder(names, listener);
    StringDeque roots;
    getJVMSearchPartitions(roots);
    bool stop = false;
    for (long i = 0; i < roots.size() && !stop; ++i) {
        SString root(roots.at(i));
        appendPathSeparator(root);
        stop = finder.process(root);
    }
    // A walk that a signal cut short found only part of the disk: no candidate of it may be
    // taken for the answer.
    throwIfTerminating();
}

SString PlatformImpl::findCommandOnPath(const SString& name) {
    if (name.empty() || name.find('/') != SString::npos) {
        return SString();
    }
    SString path = getEnvironmentVariable("PATH");
    if (path.empty()) {
        return SString();
    }
    SString::size_type start = 0;
    for (;;) {
        SString::size_type colon = path.find(':', start);
        SString directory =
            path.substr(start, colon == SString::npos ? SString::npos : colon - start);
        // An empty entry is the current directory, as the shell reads it.
        SString candidate = directory.empty() ? SString(".") : directory;
        appendPathSeparator(candidate);
        candidate += name;
        if (isExecutableFile(candidate)) {
            return realPath(candidate);
        }
        if (colon == SString::npos) {
            return SString();
        }
        start = colon + 1;
    }
}
