#include "base/ShellQuote.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// What /bin/sh hands to printf for the quoted argument.
std::string throughShell(const char* argument) {
    std::string command = "printf '%s' ";
    SString quoted = quoteShellArgument(argument);
    command.append(quoted.data(), quoted.length());
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    size_t got;
    while (pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return output;
}

TEST(ShellQuoteTest, ShellPassesEveryArgumentUnchanged) {
    const char* arguments[] = {
        "",          "a b",   "say \"hi\"", "$(echo pwned)", "`echo pwned`",       "$HOME ${x}",
        "C:\\dir\\", "end\\", "a\nb",       "'it''s' * ?",   "x\"; echo pwned; \""};
    for (const char* argument : arguments) {
        EXPECT_EQ(argument, throughShell(argument)) << argument;
    }
    // Arguments without the four live characters are only wrapped.
    SString plain = quoteShellArgument("a b");
    EXPECT_EQ("\"a b\"", std::string(plain.data(), plain.length()));
}

}  // namespace
