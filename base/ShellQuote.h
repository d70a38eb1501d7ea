#ifndef QV_BASE_SHELLQUOTE_H
#define QV_BASE_SHELLQUOTE_H

#include "base/SString.h"
#include "base/StringDeque.h"

// Quoting for command lines that go to /bin/sh -c as one string, and the recognition of the
// command lines that need no shell to run.
//
// Returns argument between double quotes, with a backslash put before each double quote,
// backslash, dollar sign and backquote: the four characters that keep a meaning inside double
// quotes. The shell therefore hands the argument to the program exactly as given, with no
// expansion or command substitution. Arguments without those characters are simply wrapped:
// `a b` becomes `"a b"`, `say "hi"` becomes `"say \"hi\""`. Never fails.
SString quoteShellArgument(const SString& argument);

// True when command is one simple command that /bin/sh -c would run as the program named by
// its first word with the other words as arguments, and that program is named by a path (the
// first word holds a "/", so no builtin, function, alias or path search can take its place):
// words made of plain characters, backslash escapes, single quotes and double quotes without
// "$" or "`", separated by blanks. words then holds the words as the shell would pass them.
// Any other syntax (expansions, globs, redirections, separators, assignments, comments, line
// breaks, unterminated quotes) gives false and leaves words in an unspecified state: such a
// command needs the shell. A leading "exec" word is left out: the shell would run the same
// program with the same words in its own place.
bool splitSimpleCommand(const SString& command, StringDeque& words);

#endif  // QV_BASE_SHELLQUOTE_H
