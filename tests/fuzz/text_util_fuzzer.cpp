// parseStringArgument, getTokenFromString, convertToUnicode and the shell-word helpers on
// arbitrary text. The first byte chooses the start position and the quoted form of
// parseStringArgument; the rest is the text they all work on.

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>

#include "base/ShellQuote.h"
#include "base/StringDeque.h"
#include "base/TextUtil.h"
#include "base/LauncherException.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void checkParseStringArgument(const SString& text, unsigned start, bool quoted) {
    unsigned pos = start;
    SString argument;
    try {
        argument = parseStringArgument(text, pos, quoted);
    } catch (const LauncherException&) {
        if (!quoted) {
            fuzz::fail("the bare form threw", std::to_string(start));
        }
        return;
    }
    // The quoted form always moves past a closing quote; the bare form may stop at once, on
    // white space at start.
    const bool advanced = quoted ? pos > start : pos >= start;
    if (pos != SString::npos && (!advanced || pos > text.length())) {
        fuzz::fail("parseStringArgument left pos outside the text",
                   std::to_string(start) + " -> " + std::to_string(pos));
    }
    if (argument.length() > text.length()) {
        fuzz::fail("parseStringArgument returned more than the text", std::to_string(start));
    }
    if (!quoted && start < text.length()) {
        // The bare form returns exactly the bytes from start up to pos (or the end).
        SString::size_type end = pos == SString::npos ? text.length() : pos;
        if (argument.compare(SString(text, start, end - start)) != 0) {
            fuzz::fail("bare argument is not the text up to pos", std::to_string(start));
        }
    }
}

void checkGetTokenFromString(const SString& text) {
    unsigned pos = 0;
    bool flag = true;
    for (;;) {
        unsigned before = pos;
        SString token = getTokenFromString(text, pos, flag);
        if (!flag) {
            fuzz::fail("getTokenFromString changed its flag", "");
        }
        if (token.empty()) {
            if (pos > text.length()) {
                fuzz::fail("an empty token left pos past the end", std::to_string(pos));
            }
            return;
        }
        if (pos <= before || pos > text.length() + 1) {
            fuzz::fail("getTokenFromString did not advance within the text",
                       std::to_string(before) + " -> " + std::to_string(pos));
        }
        for (SString::size_type i = 0; i < token.length(); ++i) {
            if (std::isspace(static_cast<unsigned char>(token[i]))) {
                fuzz::fail("a token holds white space", fuzz::toStdString(token));
            }
        }
        if (pos >= text.length()) {
            return;
        }
    }
}

void checkConvertToUnicode(const SString& text) {
    std::unique_ptr<wchar_t[]> wide = convertToUnicode(text);
    if (!wide || wide[text.length()] != 0) {
        fuzz::fail("convertToUnicode is not terminated", std::to_string(text.length()));
    }
    // Every escape consumes six bytes for one character, so the characters end at a zero
    // no later than the length.
    SString::size_type count = 0;
    while (wide[count] != 0 && count < text.length()) {
        ++count;
    }
    if (count > text.length()) {
        fuzz::fail("convertToUnicode wrote more characters than bytes", "");
    }
}

// A command line that starts a program directly must be one the shell would split the same
// way: every quoted argument comes back as it was, and what splits names a program by path.
void checkShellWords(const SString& text) {
    StringDeque words;
    if (splitSimpleCommand(text, words)) {
        if (words.size() == 0 || words.at(0).find('/') == SString::npos) {
            fuzz::fail("a split command names no program by path", fuzz::toStdString(text));
        }
    }
    if (text.find('\0') != SString::npos) {
        return;
    }
    SString command("/bin/program ");
    command += quoteShellArgument(text);
    if (!splitSimpleCommand(command, words) || words.size() != 2 ||
        words.at(1).compare(text) != 0) {
        fuzz::fail("a quoted argument does not split back to itself", fuzz::toStdString(text));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceLauncher();
    if (size == 0) {
        return 0;
    }
    const bool quoted = (data[0] & 0x80) != 0;
    const SString text = fuzz::toSString(data + 1, size - 1);
    // Start anywhere in the text, at its end or one past it.
    const unsigned start = static_cast<unsigned>(data[0] & 0x7F) % (text.length() + 2);
    checkParseStringArgument(text, start, quoted);
    checkGetTokenFromString(text);
    checkConvertToUnicode(text);
    checkShellWords(text);
    return 0;
}
