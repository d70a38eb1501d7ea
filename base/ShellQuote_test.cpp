#include "base/ShellQuote.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Everything that /bin/sh -c command writes on its standard output.
std::string outputOfShell(const std::string& command) {
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

// What /bin/sh hands to printf for the quoted argument.
std::string throughShell(const char* argument) {
    std::string command = "printf '%s' ";
    SString quoted = quoteShellArgument(argument);
    command.append(quoted.data(), quoted.length());
    return outputOfShell(command);
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

std::vector<std::string> wordsOf(const StringDeque& words) {
    std::vector<std::string> list;
    for (long i = 0; i < words.size(); ++i) {
        list.emplace_back(words.at(i).data(), words.at(i).length());
    }
    return list;
}

// The arguments that /bin/sh -c hands to the program of command, read back through a script
// that prints each one followed by a NUL byte.
std::vector<std::string> argumentsFromShell(const std::string& command) {
    const std::string output = outputOfShell(command);
    std::vector<std::string> arguments;
    for (std::string::size_type start = 0, end;
         (end = output.find('\0', start)) != std::string::npos; start = end + 1) {
        arguments.push_back(output.substr(start, end - start));
    }
    return arguments;
}

class SplitSimpleCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvtest-shellwords-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        m_dir = pattern;
        m_printer = m_dir + "/print-args";
        FILE* script = std::fopen(m_printer.c_str(), "w");
        ASSERT_NE(nullptr, script);
        std::fputs("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\000' \"$a\"; done\n", script);
        std::fclose(script);
        ASSERT_EQ(0, chmod(m_printer.c_str(), 0755));
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string m_dir;
    std::string m_printer;
};

// Every command that splits must give the words the shell gives: the printer stands first, the
// case supplies the rest.
TEST_F(SplitSimpleCommandTest, WordsAreWhatTheShellPasses) {
    struct Case {
        const char* arguments;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", {}},
        {"a b\tc   d", {"a", "b", "c", "d"}},
        {"-classpath \"/tmp/x y/verify.jar\" \"Verify\" 'java.version'",
         {"-classpath", "/tmp/x y/verify.jar", "Verify", "java.version"}},
        {"'it''s' \"\" ''", {"its", "", ""}},
        {"\"a\"'b'c", {"abc"}},
        {"\"say \\\"hi\\\"\" \"C:\\\\dir\" \"\\$HOME\" \"\\`x\\`\"",
         {"say \"hi\"", "C:\\dir", "$HOME", "`x`"}},
        {"\"back\\slash \\n kept\"", {"back\\slash \\n kept"}},
        {"\"two\nlines\" 'and\nthese'", {"two\nlines", "and\nthese"}},
        {"a\\ b \\$x \\'", {"a b", "$x", "'"}},
        {"'$(not run)' '`nor this`' '*' \"*?[\"", {"$(not run)", "`nor this`", "*", "*?["}},
        {"key=value a:b,c@d%e+f.g_h-i /j", {"key=value", "a:b,c@d%e+f.g_h-i", "/j"}},
        {"\xc3\xa9t\xc3\xa9", {"\xc3\xa9t\xc3\xa9"}},
    };
    for (const Case& c : cases) {
        const std::string command = "'" + m_printer + "' " + c.arguments;
        StringDeque words;
        ASSERT_TRUE(splitSimpleCommand(command.c_str(), words)) << command;
        std::vector<std::string> expected = {m_printer};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(expected, wordsOf(words)) << command;
        EXPECT_EQ(c.expected, argumentsFromShell(command)) << command;
    }
    // With exec the shell runs the same program in its place.
    const std::string command = "exec '" + m_printer + "' a 'b c'";
    StringDeque words;
    ASSERT_TRUE(splitSimpleCommand(command.c_str(), words)) << command;
    EXPECT_EQ((std::vector<std::string>{m_printer, "a", "b c"}), wordsOf(words));
    EXPECT_EQ((std::vector<std::string>{"a", "b c"}), argumentsFromShell(command));
}

TEST(SplitSimpleCommandRulesTest, AnythingElseNeedsTheShell) {
    const char* commands[] = {
        "",
        "   ",
        "java -version",      // found through PATH
        "\"java\" -version",  // still no "/" in the program's name
        "A=1/x /bin/java",    // an assignment
        "/bin/java $HOME",    // expansions
        "/bin/java \"$HOME\"",
        "/bin/java `date`",
        "/bin/java \"`date`\"",
        "/bin/java $(date)",
        "/bin/java *.jar",  // globs
        "/bin/java a?",
        "/bin/java [ab]",
        "/bin/java ~/lib",  // tilde expansion
        "/bin/java #comment",
        "/bin/java a; rm x",  // separators and operators
        "/bin/java a && b",
        "/bin/java a | b",
        "/bin/java > out",
        "/bin/java < in",
        "/bin/java &",
        "(/bin/java)",
        "{ /bin/java; }",
        "/bin/java {a,b}",   // brace expansion where /bin/sh is bash
        "/bin/java a\nb",    // two commands
        "/bin/java a\\\nb",  // line continuation
        "/bin/java \"a\\\nb\"",
        "/bin/java \\",     // dangling escape
        "/bin/java 'open",  // unterminated quotes
        "/bin/java \"open",
        "/bin/java a\rb",  // not a blank to the shell
        "/bin/java !x",
        "exec",  // exec alone, with an option, or of a program found through PATH
        "exec -a name /bin/java",
        "exec java",
    };
    for (const char* command : commands) {
        StringDeque words;
        EXPECT_FALSE(splitSimpleCommand(command, words)) << command;
    }
    StringDeque words;
    EXPECT_FALSE(splitSimpleCommand(SString("/bin/java a\0b", 13), words));
    EXPECT_TRUE(splitSimpleCommand("./run", words));
    EXPECT_TRUE(splitSimpleCommand("\"A=1/x\" b=2", words));
    EXPECT_EQ((std::vector<std::string>{"A=1/x", "b=2"}), wordsOf(words));
}

}  // namespace
