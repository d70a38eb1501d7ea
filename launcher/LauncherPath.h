#ifndef QV_LAUNCHER_LAUNCHERPATH_H
#define QV_LAUNCHER_LAUNCHERPATH_H

#include "base/SString.h"

// The absolute path of the running launcher file, derived from argv[0]:
// - a name with "/" is taken as it is when absolute, else joined to the working directory;
// - a bare name was found through PATH, so PATH is searched as the shell searched it (first
//   executable regular file); failing that /proc/self/exe, then the working directory.
SString resolveLauncherPath(const char* argv0);

// The current working directory, of any length; empty when it cannot be read.
SString currentDirectory();

// path joined to the working directory when it is relative; an empty or absolute path as it
// is. A path the user gives is made absolute where it is read: children run in other
// directories, where a relative one would lead elsewhere.
SString absolutePath(const SString& path);

#endif  // QV_LAUNCHER_LAUNCHERPATH_H
