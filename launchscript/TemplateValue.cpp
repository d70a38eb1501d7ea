#include "launchscript/TemplateValue.h"

#include <cstring>
#include <vector>

namespace {

const char kSealStart = '\x01';
const char kSealEnd = '\x02';
const char kPathKind = 'P';
const char kWordsKind = 'W';
const char kHexDigits[] = "0123456789abcdef";

SString seal(char kind, const SString& value) {
    SString sealed;
    sealed.reserve(value.length() * 2 + 3);
    sealed += kSealStart;
    sealed += kind;
    for (SString::size_type i = 0; i < value.length(); ++i) {
        const auto byte = static_cast<unsigned char>(value[i]);
        sealed += kHexDigits[byte >> 4];
        sealed += kHexDigits[byte & 0x0f];
    }
    sealed += kSealEnd;
    return sealed;
}

int hexDigitValue(char digit) {
    const char* found = digit == '\0' ? nullptr : std::strchr(kHexDigits, digit);
    return found == nullptr ? -1 : static_cast<int>(found - kHexDigits);
}

// One sealed value found in a text: its kind, its bytes and the position after its end byte.
struct Sealed {
    char kind = 0;
    SString value;
    SString::size_type next = 0;
};

// Reads the sealed value that starts at position; false when the bytes there are not one
// (a template may hold a stray 0x01 of its own, which then stays as it is).
bool readSealed(const SString& text, SString::size_type position, Sealed& sealed) {
    if (position + 2 >= text.length() || text[position] != kSealStart) {
        return false;
    }
    const char kind = text[position + 1];
    if (kind != kPathKind && kind != kWordsKind) {
        return false;
    }
    SString value;
    SString::size_type at = position + 2;
    while (at + 1 < text.length() && text[at] != kSealEnd) {
        const int high = hexDigitValue(text[at]);
        const int low = hexDigitValue(text[at + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        value += static_cast<char>(high * 16 + low);
        at += 2;
    }
    if (at >= text.length() || text[at] != kSealEnd) {
        return false;
    }
    sealed.kind = kind;
    sealed.value = value;
    sealed.next = at + 1;
    return true;
}

// Bytes that mean nothing to the shell in an unquoted word, wherever the word stands.
bool isPlainWordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("_/.,:+@%^-", c) != nullptr);
}

SString singleQuoted(const SString& word) {
    SString quoted("'");
    for (SString::size_type i = 0; i < word.length(); ++i) {
        if (word[i] == '\'') {
            quoted += "'\\''";
        } else {
            quoted += word[i];
        }
    }
    quoted += '\'';
    return quoted;
}

SString unquotedWord(const SString& word) {
    for (SString::size_type i = 0; i < word.length(); ++i) {
        if (!isPlainWordByte(word[i])) {
            return singleQuoted(word);
        }
    }
    return word;
}

bool isFieldSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// An environment value standing unquoted: its words, each literal, separated as the shell's
// field splitting would separate them (blanks at either end still end the word before or
// start a new one after).
SString unquotedWords(const SString& value) {
    SString words;
    SString::size_type at = 0;
    while (at < value.length()) {
        if (isFieldSeparator(value[at])) {
            if (words.empty() || words[words.length() - 1] != ' ') {
                words += ' ';
            }
            ++at;
            continue;
        }
        SString::size_type end = at;
        while (end < value.length() && !isFieldSeparator(value[end])) {
            ++end;
        }
        words += unquotedWord(value.substr(at, end - at));
        at = end;
    }
    return words;
}

SString doubleQuotedContent(const SString& value) {
    SString escaped;
    for (SString::size_type i = 0; i < value.length(); ++i) {
        if (std::strchr("$`\\\"", value[i]) != nullptr && value[i] != '\0') {
            escaped += '\\';
        }
        escaped += value[i];
    }
    return escaped;
}

SString singleQuotedContent(const SString& value) {
    SString escaped;
    for (SString::size_type i = 0; i < value.length(); ++i) {
        if (value[i] == '\'') {
            escaped += "'\\''";
        } else {
            escaped += value[i];
        }
    }
    return escaped;
}

// Inside `...` the shell first removes one backslash before $, ` and \ (and before " when the
// backquotes stand inside double quotes), then reads the rest.
SString escapedForBackquotes(const SString& text, bool insideDoubleQuotes) {
    SString escaped;
    for (SString::size_type i = 0; i < text.length(); ++i) {
        if (text[i] == '$' || text[i] == '`' || text[i] == '\\' ||
            (insideDoubleQuotes && text[i] == '"')) {
            escaped += '\\';
        }
        escaped += text[i];
    }
    return escaped;
}

enum class Quoting { None, Single, Double };

// The shell's reading state at one level of command substitution.
struct Level {
    Quoting quoting = Quoting::None;
    bool backquoted = false;          // opened by ` rather than $(
    bool insideDoubleQuotes = false;  // opened by ` inside "..."
    unsigned parentheses = 0;         // open ( inside this level, so that only its own ) closes it
};

// Follows the quoting of a command line byte by byte, as far as a value's quoting depends on
// it: quotes, backslash escapes, comments and nested command substitutions.
class ShellCommandWriter {
public:
    explicit ShellCommandWriter(const SString& text) : m_text(text), m_levels(1) {}

    SString write() {
        SString::size_type at = 0;
        while (at < m_text.length()) {
            Sealed sealed;
            if (readSealed(m_text, at, sealed)) {
                m_out += quotedForHere(sealed);
                at = sealed.next;
            } else {
                at = copyTemplateByte(at);
            }
        }
        return m_out;
    }

private:
    char peek(SString::size_type at) const { return at < m_text.length() ? m_text[at] : '\0'; }

    // Copies the template byte at position (with the byte it escapes) and follows the state;
    // returns the position after what it copied.
    SString::size_type copyTemplateByte(SString::size_type at) {
        const char c = m_text[at];
        const char next = peek(at + 1);
        Level& level = m_levels.back();
        m_out += c;
        if (level.quoting == Quoting::Single) {
            if (c == '\'') {
                level.quoting = Quoting::None;
            }
            return at + 1;
        }
        // A backslash escapes the next template byte; a sealed value quotes itself.
        if (c == '\\' && next != '\0' && next != kSealStart) {
            m_out += next;
            return at + 2;
        }
        if (c == '$' && next == '(') {
            m_out += next;
            m_levels.push_back(Level());
            return at + 2;
        }
        if (c == '`') {
            if (level.backquoted && level.quoting == Quoting::None) {
                m_levels.pop_back();
            } else {
                Level inner;
                inner.backquoted = true;
                inner.insideDoubleQuotes = level.quoting == Quoting::Double;
                m_levels.push_back(inner);
            }
            return at + 1;
        }
        if (level.quoting == Quoting::Double) {
            if (c == '"') {
                level.quoting = Quoting::None;
            }
            return at + 1;
        }
        return followUnquoted(at, c);
    }

    SString::size_type followUnquoted(SString::size_type at, char c) {
        Level& level = m_levels.back();
        if (c == '\'') {
            level.quoting = Quoting::Single;
        } else if (c == '"') {
            level.quoting = Quoting::Double;
        } else if (c == '(') {
            ++level.parentheses;
        } else if (c == ')') {
            if (level.parentheses > 0) {
                --level.parentheses;
            } else if (m_levels.size() > 1 && !level.backquoted) {
                m_levels.pop_back();
            }
        } else if (c == '#' && startsWord(at)) {
            // A comment runs to the end of the line; quotes in it mean nothing.
            SString::size_type end = m_text.find('\n', at);
            end = end == SString::npos ? m_text.length() : end;
            m_out.append(m_text, at + 1, end - at - 1);
            return end;
        }
        return at + 1;
    }

    bool startsWord(SString::size_type at) const {
        return at == 0 || std::strchr(" \t\n;&|()", m_text[at - 1]) != nullptr;
    }

    SString quotedForHere(const Sealed& sealed) const {
        SString quoted;
        switch (m_levels.back().quoting) {
            case Quoting::Double:
                quoted = doubleQuotedContent(sealed.value);
                break;
            case Quoting::Single:
                quoted = singleQuotedContent(sealed.value);
                break;
            case Quoting::None:
                quoted = sealed.kind == kWordsKind
                             ? unquotedWords(sealed.value)
                             : (sealed.value.empty() ? SString() : unquotedWord(sealed.value));
                break;
        }
        // Each level of backquotes takes one level of escaping away again.
        for (const Level& level : m_levels) {
            if (level.backquoted) {
                // cppcheck-suppress useStlAlgorithm
                quoted = escapedForBackquotes(quoted, level.insideDoubleQuotes);
            }
        }
        return quoted;
    }

    const SString& m_text;
    std::vector<Level> m_levels;
    SString m_out;
};

}  // namespace

SString TemplateValue::sealPath(const SString& value) {
    return seal(kPathKind, value);
}

SString TemplateValue::sealWords(const SString& value) {
    return seal(kWordsKind, value);
}

SString TemplateValue::open(const SString& text) {
    if (!holdsSealed(text)) {
        return text;
    }
    SString opened;
    SString::size_type at = 0;
    while (at < text.length()) {
        Sealed sealed;
        if (readSealed(text, at, sealed)) {
            opened += sealed.value;
            at = sealed.next;
        } else {
            opened += text[at++];
        }
    }
    return opened;
}

SString TemplateValue::toShellCommand(const SString& text) {
    if (!holdsSealed(text)) {
        return text;
    }
    return ShellCommandWriter(text).write();
}

bool TemplateValue::holdsSealed(const SString& text) {
    return text.find(kSealStart) != SString::npos;
}
