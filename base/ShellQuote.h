#ifndef QV_BASE_SHELLQUOTE_H
#define QV_BASE_SHELLQUOTE_H

#include "base/SString.h"

// Quoting for command lines that go to /bin/sh -c as one string.
//
// Returns argument between double quotes, with a backslash put before each double quote,
// backslash, dollar sign and backquote: the four characters that keep a meaning inside double
// quotes. The shell therefore hands the argument to the program exactly as given, with no
// expansion or command substitution. Arguments without those characters are simply wrapped:
// `a b` becomes `"a b"`, `say "hi"` becomes `"say \"hi\""`. Never fails.
SString quoteShellArgument(const SString& argument);

#endif  // QV_BASE_SHELLQUOTE_H
