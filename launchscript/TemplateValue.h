#ifndef QV_LAUNCHSCRIPT_TEMPLATEVALUE_H
#define QV_LAUNCHSCRIPT_TEMPLATEVALUE_H

#include "base/SString.h"

// Values that the launcher inserts into a command template (a JVM home, a temporary path, the
// launcher's directory, an environment variable) are data: they must reach the program as
// exactly their bytes, never as a %, @ or # macro and never as shell syntax.
//
// While a template is expanded, each such value travels sealed: a start byte (0x01), a kind
// letter, the value's bytes in hexadecimal and an end byte (0x02). A sealed value holds no
// delimiter, quote, blank or parenthesis, so neither the later expansion passes nor a function's
// argument list can read anything into it. At the end the whole text is either opened to the
// plain bytes (for the log, an environment variable, a path) or turned into a shell command in
// which every value is quoted for the place where it stands:
//   - inside "...": a backslash before $, `, \ and ";
//   - inside '...': each ' written as '\'';
//   - unquoted: a path stays one word (single-quoted when it holds anything the shell would
//     read); an environment value is split into words at blanks, tabs and line breaks, as an
//     unquoted shell variable is, and each word stays literal (no globbing, no expansion);
//   - inside $(...) the same rules apply afresh; inside `...` the quoted form is escaped once
//     more for the backquote.
// An empty value left unquoted adds nothing, as it always has.
//
// A template may also carry a sealed value as written: qvpack writes the java options of the
// launch scripts it generates so, and they reach java as their bytes like any inserted value.
class TemplateValue {
public:
    // A path or other single value: one word wherever it stands.
    static SString sealPath(const SString& value);
    // An environment value: split into words when it stands unquoted.
    static SString sealWords(const SString& value);

    // text with every sealed value replaced by its own bytes.
    static SString open(const SString& text);
    // text as a command line for /bin/sh -c, every sealed value quoted for its place.
    static SString toShellCommand(const SString& text);

    // True when text holds a sealed value.
    static bool holdsSealed(const SString& text);
};

#endif  // QV_LAUNCHSCRIPT_TEMPLATEVALUE_H
