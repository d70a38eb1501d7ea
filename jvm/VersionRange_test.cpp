#include "jvm/VersionRange.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionRangeTest, ContainsVersions) {
    struct Case {
        const char* version;
        const char* range;
        bool inside;
    } cases[] = {
        {"1.8.0_392", "[1.8,9)", true},
        {"1.8.0_392", "[9,)", false},
        {"1.8.0_392", "[8,8.0.392]", true},
        {"1.8.0_392", "[8,8.0.392)", false},
        {"17.0.15", "[11,)", true},
        {"17.0.15", "[17,)", true},
        {"17.0.15", "(17,)", true},
        {"17", "(17,)", false},
        {"17.0.0", "(17,)", false},
        {"25", "(11,21)", false},
        {"21", "(11,21)", false},
        {"21", "(11,21]", true},
        {"11", "(11,21)", false},
        {"11.0.1", "(11,21)", true},
        {"9-ea", "[9,10)", true},
        {"9-ea", "(9,10)", false},
        {"11.0.2+9", "[11.0.2,11.0.3)", true},
        {"11.0.2+9", "[11.0.2.10,)", false},
        {"17", "[17]", true},
        {"17.0.0", "[17]", true},
        {"17.0.15", "[17]", false},
        {"1.8", "[8]", true},
        {"1.7.0_80", "[1.8,)", false},
        {"1.5.0", "(,1.6)", true},
        {"25", "[,)", true},
        {"25", "(,)", true},
        {"", "[1,)", false},
        {"ea", "(,)", false},
        {"1", "[1]", true},
        {"1", "[2,)", false},
        {"17.0.1b", "[17.0.1,17.0.1]", true},
        {"21.0.4-internal", "[21.0.4,21.0.5)", true},
        {" 17 ", "[17]", false},
        {"100000000000000000000", "[1,)", true},
    };
    for (const Case& c : cases) {
        VersionRange range;
        ASSERT_TRUE(range.parse(c.range)) << c.range;
        EXPECT_EQ(c.inside, range.contains(c.version)) << c.version << " in " << c.range;
    }
}

TEST(VersionRangeTest, TextsThatAreNotRanges) {
    struct Case {
        const char* text;
        bool looksLikeRange;
    } cases[] = {{"17", false},  {"1.8...", false}, {"[", false},      {"[17", false},
                 {"[17)", true}, {"(17]", true},    {"[a,b]", true},   {"[1,2,3]", true},
                 {"[]", true},   {"(17)", true},    {"[1.8,x)", true}, {"[-1,)", true}};
    for (const Case& c : cases) {
        VersionRange range;
        EXPECT_FALSE(range.parse(c.text)) << c.text;
        EXPECT_EQ(c.looksLikeRange, VersionRange::looksLikeRange(c.text)) << c.text;
    }
}

}  // namespace
