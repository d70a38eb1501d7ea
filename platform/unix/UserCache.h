#ifndef QV_PLATFORM_UNIX_USERCACHE_H
#define QV_PLATFORM_UNIX_USERCACHE_H

#include <sys/stat.h>

#include <string>

// The per-user cache the launcher keeps between runs: $XDG_CACHE_HOME/qvlauncher (an absolute
// XDG_CACHE_HOME only), else $HOME/.cache/qvlauncher. Every directory in it is the user's own,
// mode 0700, and is refused when it is not (another owner, a link, group or world writable).
namespace UserCache {

// The cache's root, or empty when neither variable names an absolute directory.
std::string rootDirectory();
// True when path is a directory (not a link) owned by the effective user and writable by no one
// else.
bool isSafeOwnDirectory(const std::string& path);
// True when info describes a regular file owned by the effective user that no one else may
// write.
bool isSafeOwnFile(const struct stat& info);
// rootDirectory() + "/" + subdirectory (empty for the root itself), each level made 0700 when
// missing; empty when there is no root or a level is not safe.
std::string prepareDirectory(const std::string& subdirectory);

// A file's identity as text: device, inode, size, modification and change times. Any rewrite,
// replacement or mode change of the file changes it.
std::string fileIdentity(const struct stat& info);
// The file path resolves to (links followed) and its identity; false when it cannot be read.
bool resolvedIdentity(const std::string& path, std::string& resolvedPath, std::string& identity);
// The path and identity of a JVM's runtime image (lib/modules, or rt.jar on old JVMs) under
// home, which changes whenever the JVM is updated in place; "none" when there is none.
std::string runtimeImageIdentity(const std::string& home);

// Writes bytes to fd in full; false on a write error.
bool writeAll(int fd, const char* bytes, size_t count);
// Writes content to directory/name through a temporary file in the same directory, mode 0600,
// renamed over the old file: a reader sees the old file or the new one, never a part. False
// when any step fails (nothing is left behind then).
bool replaceFile(const std::string& directory, const std::string& name, const std::string& content);
// Reads path when it is a safe own file (isSafeOwnFile) of at most maxBytes; false otherwise.
bool readOwnFile(const std::string& path, size_t maxBytes, std::string& content);

}  // namespace UserCache

#endif  // QV_PLATFORM_UNIX_USERCACHE_H
