#ifndef QV_PLATFORM_UNIX_SYSTEMERROR_H
#define QV_PLATFORM_UNIX_SYSTEMERROR_H

#include "base/SString.h"

// The system's text for an error number (strerror), so that every system error the platform
// layer reports reads the same way.
SString systemErrorText(int err);

// Throws LauncherException whose message is context followed directly by the text for err.
[[noreturn]] void throwSystemError(const char* context, int err);

#endif  // QV_PLATFORM_UNIX_SYSTEMERROR_H
