#ifndef QV_JVM_TRUSTEDPATH_H
#define QV_JVM_TRUSTEDPATH_H

#include "base/SString.h"

// Whether a program found somewhere on the disk is safe to run: nobody but its owner and the
// users it trusts can have put it there or can change it.
//
// The file must not be writable by group or others, and no directory above it may be writable
// by group or others, except a directory with the sticky bit (like /tmp), and then only when
// the entry below it belongs to root or to the user running the launcher. The file, every
// directory above it and every link on the way must belong to root or to the user running the
// launcher (its effective uid). The path is checked as found and, when links lead elsewhere,
// as resolved. On false, reason says why. Used for the files the disk walk finds; homes that
// someone named are not held to it.
bool isTrustedExecutablePath(const SString& path, SString& reason);

#endif  // QV_JVM_TRUSTEDPATH_H
