#ifndef QV_PLATFORM_UNIX_DELETEFULLDIR_H
#define QV_PLATFORM_UNIX_DELETEFULLDIR_H

#include <sys/types.h>

#include <cstddef>
#include <vector>

#include "base/SString.h"
#include "platform/unix/FileNavigator.h"

struct stat;

// Removes one file, link or empty directory (remove). On failure logs it with
// logDeleteFileFailure and returns false.
bool deleteOneFile(const SString& path);
// Logs "Could not delete <path> :  <text for err>" as a warning.
void logDeleteFileFailure(const SString& path, int err);
// Logs, as a warning, that path is left in place because it is no longer the file or
// directory that the launcher created there.
void logReplacedEntry(const SString& path);

// Deletes a directory with everything below it, never leaving the tree: symbolic links are
// removed as links, their targets are never touched. The walk works from directory
// descriptors, each directory opened relative to its parent with O_NOFOLLOW, so a directory
// that someone swaps for a link while the deletion runs is removed as a link instead of being
// entered. Every removal that fails is logged; a directory is kept, without a further
// message, when something inside it could not be removed.
class DeleteFullDir : public FileNavigator {
public:
    // Directories held open at once by default; a deeper tree closes the upper ones and
    // reopens each through ".." on the way back up.
    static const int kOpenDirectoryLimit = 64;

    explicit DeleteFullDir(int openDirectoryLimit = kOpenDirectoryLimit);
    ~DeleteFullDir() override;

    // Removes every file below root, then the directories from the deepest up, root last.
    // A root that is not a directory (or no longer is one) is removed as a single entry.
    // Returns false (a deletion is never stopped).
    bool process(const SString& root) override;
    // The same, but only when root is still the directory with that device and inode number:
    // otherwise nothing is removed and a warning says why.
    bool processIfUnchanged(const SString& root, dev_t device, ino_t inode);
    // Removes one file; never stops the walk.
    bool processFile(const SString& path) override;

private:
    struct Level;

    void deleteTree(const SString& givenRoot, const struct stat* expected);
    // Removes the files of the deepest level and lists its subdirectories.
    void removeFiles();
    // Opens the named subdirectory of the deepest level and makes it the deepest level.
    void descend(const SString& name);
    // Removes the finished deepest level from its parent. False when the walk cannot go on.
    bool ascend();
    bool reopenParent();
    void limitOpenDirectories();
    // The path of the level at depth (0 = root), followed by name when given; for the log.
    SString pathOf(std::size_t depth, const SString* name = nullptr) const;

    int m_openDirectoryLimit;
    long m_fileCount;
    // The directories from the root down to the one being worked on.
    std::vector<Level> m_levels;
    // Levels nearer the root than this index have their descriptors closed.
    std::size_t m_firstOpen;
};

#endif  // QV_PLATFORM_UNIX_DELETEFULLDIR_H
