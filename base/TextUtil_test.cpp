#include "base/TextUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/LauncherException.h"
#include "tests/support/LauncherTestSupport.h"

namespace {

using qvtest::str;

// A stdio stream over the given bytes, closed at scope exit.
class MemoryStream {
public:
    explicit MemoryStream(const std::string& content) : m_file(std::tmpfile()) {
        std::fwrite(content.data(), 1, content.size(), m_file);
        std::rewind(m_file);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    ~MemoryStream() { std::fclose(m_file); }
    FILE* get() const { return m_file; }

private:
    FILE* m_file;
};

TEST(TextUtilTest, NumberConversion) {
    struct Case {
        const char* text;
        bool ok;
        long value;
    } cases[] = {{"12abc", true, 12}, {"  -7", true, -7}, {"+3", true, 3},
                 {"abc", false, 99},  {"", false, 99},    {"- 1", false, 99}};
    for (const Case& c : cases) {
        long value = 99;
        EXPECT_EQ(c.ok, convertToLong(c.text, value)) << c.text;
        EXPECT_EQ(c.value, value) << c.text;
    }
    short shortValue = 5;
    EXPECT_TRUE(convertToShort("-32768", shortValue));
    EXPECT_EQ(-32768, shortValue);
    EXPECT_FALSE(convertToShort("x", shortValue));
    EXPECT_EQ(-32768, shortValue);
    EXPECT_EQ("-42", str(convertToString(-42)));
}

TEST(TextUtilTest, TrimAndQuotes) {
    SString blanks("    ");
    trim(blanks, whitespaceChars);
    EXPECT_TRUE(blanks.empty());
    SString padded(" \t a b \r\n");
    trim(padded, whitespaceChars);
    EXPECT_EQ("a b", str(padded));

    struct Case {
        const char* in;
        const char* out;
    } quotes[] = {{"\"", ""}, {"\"\"", ""}, {"\"a\"", "a"}, {"a\"", "a"}, {"\"a", "a"}, {"a", "a"}};
    for (const Case& c : quotes) {
        SString text(c.in);
        stripQuotes(text);
        EXPECT_EQ(c.out, str(text)) << c.in;
    }

    SString path("dir");
    appendPathSeparator(path);
    appendPathSeparator(path);
    EXPECT_EQ("dir/", str(path));
    SString empty;
    appendPathSeparator(empty);
    EXPECT_TRUE(empty.empty());

    EXPECT_EQ(2u, stringEndsWith("abcd", "cd"));
    EXPECT_EQ(SString::npos, stringEndsWith("abcd", "bc"));
    EXPECT_EQ(SString::npos, stringEndsWith("cd", "abcd"));
    EXPECT_EQ(4u, stringEndsWith("abcd", ""));
}

TEST(TextUtilTest, ReadLinesFromStreamAndString) {
    MemoryStream stream("first\r\n  sec\rond  \nlast");
    SString line;
    readLineFromStream(stream.get(), line);
    EXPECT_EQ("first", str(line));
    line.erase();
    readLineFromStream(stream.get(), line);
    EXPECT_EQ("second", str(line));
    line.erase();
    readLineFromStream(stream.get(), line);
    EXPECT_EQ("last", str(line));

    SString text("a\r\nb");
    unsigned pos = 0;
    SString first;
    readLineFromString(text, pos, first);
    EXPECT_EQ("a", str(first));
    EXPECT_EQ(3u, pos);
    SString second;
    readLineFromString(text, pos, second);
    EXPECT_EQ("b", str(second));
    EXPECT_EQ(5u, pos);
    SString none;
    readLineFromString(text, pos, none);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(5u, pos);
}

TEST(TextUtilTest, BigEndianValuesAndShortReads) {
    MemoryStream stream(std::string("\xCA\x82\xCA\x82\xFF\xFE\x01", 7));
    EXPECT_EQ(static_cast<long>(static_cast<int>(0xCA82CA82u)), loadLongValue(stream.get(), "x"));
    EXPECT_EQ(-2, loadShortValue(stream.get(), "x"));
    try {
        loadLongValue(stream.get(), "Unable to read the value.");
        FAIL() << "a short read must throw";
    } catch (const LauncherException& e) {
        EXPECT_EQ("Unable to read the value.", str(e.m_message));
    }
    MemoryStream three("abc");
    char buffer[4];
    EXPECT_EQ(3u, getBytes(three.get(), buffer, 4));
}

TEST(TextUtilTest, ParseStringArgument) {
    struct Case {
        const char* text;
        unsigned start;
        bool quoted;
        const char* value;
        unsigned end;
    } cases[] = {
        {"a\"\"b\" tail", 0, true, "a\"b", 5},
        {"x\"", 0, true, "x", SString::npos},
        {"  word rest", 2, false, "word", 6},
        {"word", 0, false, "word", SString::npos},
        {"\"my \"\"x\"\" file\" 5", 1, true, "my \"x\" file", 15},
    };
    for (const Case& c : cases) {
        unsigned pos = c.start;
        EXPECT_EQ(c.value, str(parseStringArgument(c.text, pos, c.quoted))) << c.text;
        EXPECT_EQ(c.end, pos) << c.text;
    }

    struct Failure {
        const char* text;
        unsigned start;
        const char* message;
    } failures[] = {
        {"\"abc", 1, "Expected double quote to end argument near 1"},
        {"\"ab\"\"", 1, "Expected double quote to end argument near -1"},
        {"\"a\"\"b", 1, "Expected double quote to end argument near 4"},
    };
    for (const Failure& f : failures) {
        unsigned pos = f.start;
        try {
            parseStringArgument(f.text, pos, true);
            ADD_FAILURE() << "no exception for " << f.text;
        } catch (const LauncherException& e) {
            EXPECT_EQ(f.message, str(e.m_message)) << f.text;
        }
    }
}

TEST(TextUtilTest, GetTokenFromString) {
    SString text("  one\ttwo  ");
    unsigned pos = 0;
    bool flag = true;
    EXPECT_EQ("one", str(getTokenFromString(text, pos, flag)));
    EXPECT_EQ(6u, pos);
    EXPECT_EQ("two", str(getTokenFromString(text, pos, flag)));
    EXPECT_EQ(10u, pos);
    EXPECT_TRUE(getTokenFromString(text, pos, flag).empty());
    EXPECT_EQ(11u, pos);
    EXPECT_TRUE(flag);
    SString last("end");
    pos = 0;
    EXPECT_EQ("end", str(getTokenFromString(last, pos, flag)));
    EXPECT_EQ(4u, pos);
}

TEST(TextUtilTest, ConvertToUnicode) {
    std::unique_ptr<wchar_t[]> escaped = convertToUnicode("\\u00e9!");
    EXPECT_EQ(static_cast<wchar_t>(0xE9), escaped[0]);
    EXPECT_EQ(L'!', escaped[1]);
    EXPECT_EQ(0, escaped[2]);

    // Too short to be an escape: every byte stays.
    std::unique_ptr<wchar_t[]> shortEscape = convertToUnicode("\\u00e");
    EXPECT_EQ(std::wstring(L"\\u00e"), std::wstring(shortEscape.get()));

    // Bytes above 0x7F are widened with their sign.
    std::unique_ptr<wchar_t[]> raw = convertToUnicode("\xE9");
    EXPECT_EQ(static_cast<wchar_t>(static_cast<signed char>(0xE9)), raw[0]);

    std::unique_ptr<wchar_t[]> notHex = convertToUnicode("\\uzzzz");
    EXPECT_EQ(std::wstring(L"\\uzzzz"), std::wstring(notHex.get()));
}

int g_blocksRead = 0;

TEST(TextUtilTest, ReadFromFileAppendsAndReportsEachBlock) {
    std::string big(10000, 'q');
    MemoryStream stream(big);
    SString out("pre");
    g_blocksRead = 0;
    EXPECT_EQ(10000u - 2 * 4096, readFromFile(stream.get(), &out, [] { ++g_blocksRead; }));
    EXPECT_EQ(10003u, out.length());
    EXPECT_EQ("preqq", str(out.substr(0, 5)));
    EXPECT_EQ(3, g_blocksRead);
}

}  // namespace
