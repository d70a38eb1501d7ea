#ifndef QV_PLATFORM_UNIX_WORKINGDIRECTORY_H
#define QV_PLATFORM_UNIX_WORKINGDIRECTORY_H

#include "base/SString.h"

// The current working directory, of any length; empty when it cannot be read.
SString currentDirectory();

// path joined to the working directory when it is relative; an empty or absolute path as it
// is. A path the user gives is made absolute where it is read: children run in other
// directories, where a relative one would lead elsewhere.
SString absolutePath(const SString& path);

#endif  // QV_PLATFORM_UNIX_WORKINGDIRECTORY_H
