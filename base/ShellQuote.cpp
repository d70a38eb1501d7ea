#include "base/ShellQuote.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Characters that mean nothing to the shell outside quotes, in any position of a word (and
// "=" outside the first word, where it could make an assignment). Bytes above 127 are taken
// as they are.
bool isPlain(char c, bool firstWord) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
        (c >= '0' && c <= '9')) {
        return true;
    }
    switch (c) {
        case '/':
        case '.':
        case '_':
        case '-':
        case '+':
        case ',':
        case ':':
        case '@':
        case '%':
            return true;
        case '=':
            return !firstWord;
        default:
            return false;
    }
}

// Appends the quoted text that starts at text[i] (a single or a double quote) to word and
// moves i past the closing quote. False for an unterminated quote and for double-quoted text
// that the shell would expand or join to the next line.
bool readQuoted(const char* text, SString::size_type length, SString::size_type& i, SString& word) {
    const char quote = text[i++];
    while (i < length && text[i] != quote) {
        char c = text[i];
        if (quote == '"') {
            if (c == '$' || c == '`') {
                return false;
            }
            // Inside double quotes a backslash escapes only these four and the line break;
            // before any other character it is an ordinary character itself.
            if (c == '\\' && i + 1 < length) {
                char next = text[i + 1];
                if (next == '\n') {
                    return false;
                }
                if (next == '$' || next == '`' || next == '"' || next == '\\') {
                    c = next;
                    ++i;
                }
            }
        }
        word += c;
        ++i;
    }
    if (i == length) {
        return false;
    }
    ++i;
    return true;
}

}  // namespace

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

bool splitSimpleCommand(const SString& command, StringDeque& words) {
    words.clear();
    const char* text = command.c_str();
    const SString::size_type length = command.length();
    // The shell sees the command only up to a NUL byte.
    if (CharTraits::find(text, length, '\0') != nullptr) {
        return false;
    }
    SString::size_type i = 0;
    while (true) {
        while (i < length && isBlank(text[i])) {
            ++i;
        }
        if (i == length) {
            break;
        }
        const bool firstWord = words.size() == 0;
        SString word;
        while (i < length && !isBlank(text[i])) {
            if (text[i] == '\'' || text[i] == '"') {
                if (!readQuoted(text, length, i, word)) {
                    return false;
                }
            } else if (text[i] == '\\') {
                // Outside quotes a backslash takes the next character as it is, except a line
                // break, which it removes (a continuation line).
                if (i + 1 == length || text[i + 1] == '\n') {
                    return false;
                }
                word += text[i + 1];
                i += 2;
            } else if (isPlain(text[i], firstWord)) {
                word += text[i++];
            } else {
                return false;
            }
        }
        words.push_back(word);
    }
    // "exec PROGRAM ..." has the shell replace itself with the program: the same program with
    // the same words. A word after exec that starts with "-" may be an option of exec.
    if (words.size() > 1 && words.at(0).compare("exec") == 0 && words.at(1).c_str()[0] != '-') {
        words.erase(0);
    }
    return words.size() > 0 && words.at(0).find('/') != SString::npos;
}
