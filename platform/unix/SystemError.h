#ifndef QV_PLATFORM_UNIX_SYSTEMERROR_H
#define QV_PLATFORM_UNIX_SYSTEMERROR_H

#include "base/SString.h"

// The one place where an error number becomes text, so that every system error the launcher
// and its tools report reads the same way.

// The system's text for an error number (strerror). Allocates nothing, so a child may use it
// between fork and exec.
const char* systemErrorText(int err);

// "<context>: <text for err>", or "<context>: unexpected end of file" when err is 0 (a read
// that found the file shorter than it had to be).
SString describeSystemError(const SString& context, int err);

// Throws LauncherException whose message is context followed directly by the text for err.
[[noreturn]] void throwSystemError(const char* context, int err);

#endif  // QV_PLATFORM_UNIX_SYSTEMERROR_H
