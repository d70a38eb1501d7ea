#include "input/LauncherLayout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LauncherLayoutTest, PlainFileNames) {
    struct Case {
        std::string name;
        bool plain;
    };
    const Case cases[] = {
        {"app.jar", true},
        {"...", true},
        {".hidden", true},
        {"a b", true},
        {"", false},
        {".", false},
        {"..", false},
        {"a/b", false},
        {"/", false},
        {"dir/", false},
        {"a\nb", false},
        {"a\rb", false},
        {std::string("a\0b", 3), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isPlainFileName(SString(c.name.data(), c.name.size())), c.plain) << c.name;
    }
}

TEST(LauncherLayoutTest, TypeNamesAndKinds) {
    const char* const names[] = {"instructions", "jvm",    "launch-script", "classpath",
                                 "installer",    "verify", "app",           "launcher"};
    for (long type = 0; type <= kHighestFileType; ++type) {
        EXPECT_STREQ(fileTypeName(type), names[type]);
        EXPECT_EQ(isTagFileType(type), type <= 2) << type;
        EXPECT_EQ(isExecutableFileType(type), type == 4 || type == 7) << type;
    }
    EXPECT_STREQ(fileTypeName(-1), "unknown");
    EXPECT_STREQ(fileTypeName(8), "unknown");
}

TEST(LauncherLayoutTest, BigEndianNumbers) {
    SString bytes;
    appendBigEndian32(bytes, kLauncherIdentification);
    appendBigEndian32(bytes, 0x01020304);
    appendBigEndian16(bytes, 0x7FFF);
    EXPECT_EQ(std::string(bytes.c_str(), bytes.length()),
              std::string("\xCA\x82\xCA\x82\x01\x02\x03\x04\x7F\xFF", 10));
}

}  // namespace
