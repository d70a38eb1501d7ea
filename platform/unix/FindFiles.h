#ifndef QV_PLATFORM_UNIX_FINDFILES_H
#define QV_PLATFORM_UNIX_FINDFILES_H

#include "base/SString.h"
#include "base/StringDeque.h"
#include "platform/unix/FileFindListener.h"
#include "platform/unix/FileNavigator.h"

// A cancelable walk that reports every file whose path ends with "/" followed by one of the
// wanted names, and never enters the launcher's temporary directory nor "/var/tmp/"; a walk
// from "/" does not enter "/proc", "/sys" and "/dev" either. Neither the names nor the
// listener are owned; both must outlive the object.
class FindFiles : public FileNavigator {
public:
    // Keeps the temporary directory in force now (with a trailing "/") for skipDirectory.
    FindFiles(const StringDeque& names, FileFindListener& listener);

    // Notes whether the walk starts at "/", then walks.
    bool process(const SString& root) override;
    // Reports path once per matching name, in the order of the names, until the listener asks
    // to stop; returns the listener's last answer.
    bool processFile(const SString& path) override;
    // True for the temporary directory and for "/var/tmp"; during a walk from "/", also for
    // the kernel's file systems "/proc", "/sys" and "/dev": no JVM lives there, and they hold
    // many entries (and a file per process, task and device) that cost the walk dearly.
    bool skipDirectory(const SString& dir) override;

    // True when path is longer than name, ends with it, and "/" comes just before it.
    static bool pathEndsWithName(const SString& path, const SString& name);

private:
    const StringDeque* m_names;
    FileFindListener* m_listener;
    SString m_tempDir;
    bool m_fromFileSystemRoot;
};

// Replaces the roots that PlatformImpl::getJVMSearchPartitions supplies, so that tests can
// search a tree of their own instead of the whole file system. An empty list restores the
// real root "/".
void setSearchRootsForTesting(const StringDeque& roots);

#endif  // QV_PLATFORM_UNIX_FINDFILES_H
