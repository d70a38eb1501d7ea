#ifndef QV_PLATFORM_UNIX_MESSAGECATALOG_H
#define QV_PLATFORM_UNIX_MESSAGECATALOG_H

#include "base/SString.h"

// Access to the message tables in the user's language and codeset.

// The index into msg_locale_table chosen by LANG (0, English, when nothing matches). Read
// afresh on every call.
int get_locale();

// Message id (0..38; 0 is the locale code) of the chosen language with its one "%s" replaced
// by arg (nothing when arg is null), converted to the console's codeset. Ids above 38 give
// "Error displaying message: id(<id>)". There is no length limit.
SString get_msg(int id, const char* arg);

// The codeset console text is written in: the one LANG names after its "." (up to an "@"),
// else the traditional codeset of the chosen language. Empty means UTF-8, which also stands
// in for a named codeset whose text holds NUL bytes (UTF-16, UTF-32): messages are C strings.
SString consoleCodeset();

// Converts UTF-8 text to the console's codeset; a character the codeset cannot hold becomes
// "?". An unknown codeset leaves the text as UTF-8.
SString toConsoleEncoding(const SString& utf8);

// Converts wide characters to the console's codeset. Values that are sign-extended bytes (as
// convertToUnicode makes from non-ASCII bytes) are passed on as those bytes.
SString wideToConsoleEncoding(const wchar_t* wide);

#endif  // QV_PLATFORM_UNIX_MESSAGECATALOG_H
