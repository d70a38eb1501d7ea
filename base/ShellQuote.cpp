#include "base/ShellQuote.h"

SString quoteShellArgument(const SString& argument) {
    SString quoted;
    quoted.reserve(argument.length() + 2);
    quoted += '"';
    const char* bytes = argument.data();
    for (SString::size_type i = 0; i < argument.length(); ++i) {
        char c = bytes[i];
        if (c == '"' || c == '\\' || c == '$' || c == '`') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}
