#ifndef QV_LAUNCHER_LAUNCHERPATH_H
#define QV_LAUNCHER_LAUNCHERPATH_H

#include "base/SString.h"

// The launcher file the kernel executed for this process.
struct ExecutedLauncher {
    // Its absolute name, resolved through symbolic links where the system names the executed
    // file: shown in messages, and its directory is the launcher's directory.
    SString path;
    // What to open to read it: the system's link to the executed file where there is one,
    // which reaches that file even after another was renamed over its name; else path.
    SString openPath;
};

// The executed launcher file. Where the link selfLink (the system's "/proc/self/exe") can be
// read, its target is the name, and a " (deleted)" that the system appends to the name of a
// file removed or replaced since is dropped; selfLink is then what to open. Elsewhere the name
// comes from argv[0] (resolveLauncherPath) and is opened as it is.
ExecutedLauncher findExecutedLauncher(const char* argv0, const char* selfLink = "/proc/self/exe");

// The absolute path of the running launcher file derived from argv[0], for systems that do
// not name the executed file:
// - a name with "/" is taken as it is when absolute, else joined to the working directory;
// - a bare name was found through PATH, so PATH is searched as the shell searched it (first
//   executable regular file); failing that /proc/self/exe, then the working directory.
SString resolveLauncherPath(const char* argv0);

#endif  // QV_LAUNCHER_LAUNCHERPATH_H
