#ifndef QV_PLATFORM_UNIX_DELETEFULLDIR_H
#define QV_PLATFORM_UNIX_DELETEFULLDIR_H

#include "base/SString.h"
#include "base/StringDeque.h"
#include "platform/unix/FileNavigator.h"

// Removes one file, link or empty directory (remove). On failure logs it with
// logDeleteFileFailure and returns false.
bool deleteOneFile(const SString& path);
// Logs "Could not delete <path> :  <text for err>" as a warning.
void logDeleteFileFailure(const SString& path, int err);

// Deletes a directory with everything below it. Symbolic links inside are removed as links;
// their targets are never touched. Every removal that fails is logged; a directory is kept,
// without a further message, when something inside it could not be removed.
class DeleteFullDir : public FileNavigator {
public:
    DeleteFullDir();

    // Removes every file below root, then the directories from the deepest up, root last.
    // Returns false (a deletion is never stopped).
    bool process(const SString& root) override;
    // Removes one file; never stops the walk.
    bool processFile(const SString& path) override;

    // True when path lies inside dir: dir is a prefix of it and "/" ends that prefix.
    static bool liesInside(const SString& path, const SString& dir);

private:
    // True when a directory whose removal failed lies inside dir.
    bool keepsDirectory(const SString& dir) const;

    // Directories whose removal failed during the current deletion.
    StringDeque m_failed;
};

#endif  // QV_PLATFORM_UNIX_DELETEFULLDIR_H
