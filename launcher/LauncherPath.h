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

#endif  // QV_LAUNCHER_LAUNCHERPATH_H
