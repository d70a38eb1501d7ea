#include "launchscript/MacroHandler.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "tests/support/LauncherTestSupport.h"

namespace {

using qvtest::str;

// Replaces each macro by the value its name maps to (empty when unmapped) and records the
// names it was asked for, in order.
class MapHandler : public MacroHandler {
public:
    explicit MapHandler(std::map<std::string, std::string> values) : m_values(std::move(values)) {}

    void processMacro(SString& text, char, unsigned start, unsigned& end) const override {
        std::string name = str(SString(text, start + 1, end - start - 1));
        m_calls.push_back(name);
        auto found = m_values.find(name);
        std::string value = found == m_values.end() ? "" : found->second;
        text.replace(start, end - start + 1, SString(value.data(), value.size()));
    }

    std::map<std::string, std::string> m_values;
    mutable std::vector<std::string> m_calls;
};

TEST(MacroHandlerTest, ScansPairsAndCollapsesDoubledDelimiters) {
    struct Case {
        const char* text;
        char delimiter;
        const char* expected;
        std::vector<std::string> calls;
    } cases[] = {
        {"plain text", '#', "plain text", {}},
        {"a#b", '#', "a#b", {}},
        {"a##b", '#', "a#b", {}},
        // The doubled delimiter pairs with the next one: the macro's name is "#b".
        {"a##b#c#", '#', "ac#", {"#b"}},
        {"100%%", '%', "100%", {}},
        // A doubled delimiter gives a literal one only when no delimiter follows it.
        {"@@@@", '@', "@", {"@"}},
        {"#A# and #B#", '#', "1 and 2", {"A", "B"}},
        // Inserted text is scanned again from the macro's position.
        {"<#CHAIN#>", '#', "<2x>", {"CHAIN", "B"}},
        {"#HASHES#", '#', "#", {"HASHES"}},
        {"#A# @A@", '@', "#A# 1", {"A"}},
    };
    for (const Case& c : cases) {
        MapHandler handler({{"A", "1"}, {"B", "2"}, {"CHAIN", "#B#x"}, {"HASHES", "##"}});
        EXPECT_EQ(c.expected, str(handler.resolve(c.text, c.delimiter))) << c.text;
        EXPECT_EQ(c.calls, handler.m_calls) << c.text;
    }
}

TEST(MacroHandlerTest, StopsExpansionThatNeverEnds) {
    struct Case {
        const char* text;
        std::string value;
        const char* message;
    } cases[] = {
        {"#SELF#", "#SELF#",
         "Launch script error: The expansion of # macros stopped at 10000 replacements; a value "
         "keeps producing new macros."},
        {"#GROWS#", "#GROWS#" + std::string(10000, 'x'),
         "Launch script error: The expansion of # macros stopped at 1048576 bytes; a value "
         "keeps producing new macros."},
    };
    for (const Case& c : cases) {
        MapHandler handler({{"SELF", c.value}, {"GROWS", c.value}});
        try {
            handler.resolve(c.text, '#');
            ADD_FAILURE() << "no exception for " << c.text;
        } catch (const LauncherException& e) {
            EXPECT_EQ(c.message, str(e.m_message)) << c.text;
        }
    }
}

// Finite work within the replacement and size bounds succeeds however long the text (a class
// path file of thousands of "#APPDIR#/lib/..." lines); a long text whose macro reproduces
// itself still stops.
TEST(MacroHandlerTest, LongFiniteExpansionSucceedsAndGrowthStops) {
    MapHandler handler(std::map<std::string, std::string>{{"APPDIR", "/opt/app"}, {"S", "x#S#"}});
    std::string classpath;
    std::string expected;
    for (int i = 0; i < 9000; ++i) {
        classpath += "#APPDIR#/lib/library-" + std::to_string(i) + ".jar:";
        expected += "/opt/app/lib/library-" + std::to_string(i) + ".jar:";
    }
    EXPECT_EQ(expected, str(handler.resolve(SString(classpath.data(), classpath.size()), '#')));

    std::string growing(512 * 1024, 'y');
    growing += "#S#";
    try {
        handler.resolve(SString(growing.data(), growing.size()), '#');
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(
            "Launch script error: The expansion of # macros stopped at 10000 replacements; a "
            "value keeps producing new macros.",
            str(e.m_message));
    }
}

// Expands each "#N#" by resolving a text of its own with another handler, as a % function
// expands a value against the jvm file.
class NestingHandler : public MacroHandler {
public:
    NestingHandler(const MacroHandler& inner, std::string innerText)
        : m_inner(inner), m_innerText(std::move(innerText)) {}

    void processMacro(SString& text, char delimiter, unsigned start, unsigned& end) const override {
        SString value = m_inner.resolve(SString(m_innerText.data(), m_innerText.size()), delimiter);
        text.replace(start, end - start + 1, value);
    }

    const MacroHandler& m_inner;
    std::string m_innerText;
};

TEST(MacroHandlerTest, NestedResolvesShareOneBudget) {
    MapHandler inner(std::map<std::string, std::string>{{"A", "a"}});
    std::string innerText;
    for (int i = 0; i < 100; ++i) {
        innerText += "#A#";
    }
    NestingHandler outer(inner, innerText);
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "#N#";
    }
    // 200 outer and 20,000 inner replacements: each resolve alone stays under 10,000.
    try {
        outer.resolve(SString(text.data(), text.size()), '#');
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(
            "Launch script error: The expansion of # macros stopped at 10000 replacements; a "
            "value keeps producing new macros.",
            str(e.m_message));
    }
    // A later expansion starts with a full budget.
    EXPECT_EQ(std::string(100, 'a'), str(outer.resolve("#N#", '#')));
}

}  // namespace
