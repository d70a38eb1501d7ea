#ifndef QV_PLATFORM_UNIX_FILENAVIGATOR_H
#define QV_PLATFORM_UNIX_FILENAVIGATOR_H

#include "base/SString.h"
#include "base/StringDeque.h"

// An iterative depth-first walk of a directory tree with two hooks: processFile for every
// entry that is not a directory, skipDirectory before a directory is read. Symbolic links are
// never followed: a link, to a directory or not, is handed to processFile. Only one directory
// is open at a time and no recursion is used, so the depth of a tree costs heap, not stack.
//
// A navigator serves one walk at a time and may be run again; process resets its lists.
class FileNavigator {
public:
    // A cancelable navigator ends its walk once PlatformImpl::isCanceled() is true.
    explicit FileNavigator(bool cancelable);
    FileNavigator(const FileNavigator&) = delete;
    FileNavigator& operator=(const FileNavigator&) = delete;
    virtual ~FileNavigator();

    // Walks the tree below root (root included): a directory's files are handed to processFile
    // in the order the directory lists them, before any of its subdirectories is read. Returns
    // true when processFile asked to stop. Unreadable directories and entries that cannot be
    // examined are passed over silently (such an entry counts as a file); exceptions from
    // processFile pass through. The console progress advances by one every 1000 files.
    virtual bool process(const SString& root);
    // Called for every entry that is not a directory; returning true stops the walk.
    virtual bool processFile(const SString& path) = 0;
    // Called for every directory before it is read; returning true leaves it unread. The base
    // version skips nothing.
    virtual bool skipDirectory(const SString& dir);

    bool isCanceled() const;
    // True when lstat succeeds on path and it names a directory; a symbolic link never does.
    static bool isDirectory(const char* path);

    // Files handed to processFile between two progress steps.
    static const long kFilesPerProgressStep = 1000;

protected:
    // Directories still to visit; the last one is visited next. The walk keeps nothing else
    // per directory: its bookkeeping grows with the directories pending, not those seen.
    StringDeque m_stack;
    bool m_cancelable;

private:
    // Reads one directory: pushes its subdirectories, hands the rest to processFile. Returns
    // the stop flag.
    bool readDirectory(const SString& dir, long& fileCount);
};

#endif  // QV_PLATFORM_UNIX_FILENAVIGATOR_H
