#include "base/SString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string bytes(const SString& s) {
    return std::string(s.data(), s.length());
}

TEST(SStringTest, EmptyStringHasNoBufferButValidCString) {
    SString empty;
    EXPECT_EQ(0u, empty.capacity());
    ASSERT_NE(nullptr, empty.c_str());
    EXPECT_EQ('\0', empty.c_str()[0]);
    EXPECT_EQ(empty.c_str(), SString().data());
    // The writable index past the end or without a buffer yields the static NUL.
    EXPECT_EQ('\0', empty[5]);
    SString abc("abc");
    EXPECT_EQ('\0', abc[3]);
    EXPECT_EQ('\0', abc[10]);
    EXPECT_EQ(empty.c_str(), &abc[10]);
}

TEST(SStringTest, CopiesShareUntilOneChanges) {
    SString a("shared text");
    SString b(a);
    EXPECT_EQ(a.c_str(), b.c_str());
    b += '!';
    EXPECT_NE(a.c_str(), b.c_str());
    EXPECT_EQ("shared text", bytes(a));
    EXPECT_EQ("shared text!", bytes(b));

    SString c;
    c = a;
    EXPECT_EQ(a.c_str(), c.c_str());
    c.erase(0, 7);
    EXPECT_EQ("shared text", bytes(a));
    EXPECT_EQ("text", bytes(c));

    SString d(a);
    d.replace(0, 6, "plain");
    EXPECT_EQ("shared text", bytes(a));
    EXPECT_EQ("plain text", bytes(d));
}

TEST(SStringTest, WritableAccessFreezesTheBuffer) {
    SString a("frozen");
    a.at(0) = 'F';
    SString copy(a);
    EXPECT_NE(a.c_str(), copy.c_str());
    EXPECT_EQ("Frozen", bytes(copy));
    a[1] = 'R';
    EXPECT_EQ("FRozen", bytes(a));
    EXPECT_EQ("Frozen", bytes(copy));

    // Taking a writable reference of a shared string gives it a private buffer first.
    SString source("source");
    SString sharer(source);
    sharer[0] = 'S';
    EXPECT_EQ("source", bytes(source));
    EXPECT_EQ("Source", bytes(sharer));
}

TEST(SStringTest, ShareCountSaturatesIntoCopies) {
    SString original("many copies");
    std::vector<SString> copies(300, original);
    int sharing = 0;
    for (const SString& copy : copies) {
        EXPECT_EQ("many copies", bytes(copy));
        sharing += copy.c_str() == original.c_str() ? 1 : 0;
    }
    EXPECT_EQ(254, sharing);
}

TEST(SStringTest, CapacityGrowsInSteps) {
    SString s("a");
    EXPECT_EQ(31u, s.capacity());
    s.append(31, 'b');
    EXPECT_EQ(63u, s.capacity());
    // Assigning a short value trims a large buffer.
    s = "x";
    EXPECT_EQ(31u, s.capacity());
    s = "";
    EXPECT_EQ(0u, s.capacity());
}

// Regression: a buffer grew only to the next multiple of 32 bytes, so a string built by many
// small appends was copied again every 32 bytes, in time quadratic in its length.
TEST(SStringTest, AppendsGrowTheBufferGeometrically) {
    SString built;
    SString::size_type lastCapacity = 0;
    int reallocations = 0;
    for (int i = 0; i < 100000; ++i) {
        built.append("/opt/app/lib/x.jar:", 19);
        if (built.capacity() != lastCapacity) {
            lastCapacity = built.capacity();
            ++reallocations;
        }
    }
    EXPECT_EQ(1900000u, built.size());
    EXPECT_LE(reallocations, 40);
    // Growth never takes less than asked for.
    SString s("ab");
    s.append(100, 'c');
    EXPECT_EQ(127u, s.capacity());
    s.reserve(1000);
    EXPECT_GE(s.capacity(), 1000u);
}

TEST(SStringTest, ModifiersWork) {
    SString s("hello");
    s.insert(0, "[").append("]");
    EXPECT_EQ("[hello]", bytes(s));
    s.insert(1, 2, '-');
    EXPECT_EQ("[--hello]", bytes(s));
    s.replace(1, 2, SString("xyz"), 1, 1);
    EXPECT_EQ("[yhello]", bytes(s));
    s.replace(0, SString::npos, 3, 'z');
    EXPECT_EQ("zzz", bytes(s));
    s.resize(5);
    EXPECT_EQ(std::string("zzz\0\0", 5), bytes(s));
    s.resize(1);
    EXPECT_EQ("z", bytes(s));
    s.assign(SString("abcdef"), 2, 3);
    EXPECT_EQ("cde", bytes(s));
    EXPECT_EQ("de", bytes(s.substr(1)));
    char out[8] = {0};
    EXPECT_EQ(2u, s.copy(out, 5, 1));
    EXPECT_EQ(std::string("de"), std::string(out));
}

TEST(SStringTest, ArgumentsThatAliasTheStringAreSafe) {
    SString s("0123456789012345678901234567890123456789");
    s.append(s.c_str(), 10);
    EXPECT_EQ("01234567890123456789012345678901234567890123456789", bytes(s));
    SString t("abc");
    t.insert(1, t);
    EXPECT_EQ("aabcbc", bytes(t));
    t.replace(0, 1, t.c_str() + 2, 3);
    EXPECT_EQ("bcbabcbc", bytes(t));
    t.assign(t.c_str() + 5, 3);
    EXPECT_EQ("cbc", bytes(t));
    t.assign(t, 1, 1);
    EXPECT_EQ("b", bytes(t));
}

TEST(SStringTest, BadPositionsAndSizesThrow) {
    SString s("abc");
    EXPECT_THROW(s.at(3), RangeException);
    EXPECT_THROW(s.substr(4), RangeException);
    EXPECT_THROW(s.erase(4), RangeException);
    EXPECT_THROW(s.insert(4, "x"), RangeException);
    EXPECT_THROW(s.compare(4, 1, "x"), RangeException);
    EXPECT_THROW(SString(SString::npos, 'x'), LengthException);
    EXPECT_THROW(s.reserve(SString::npos), LengthException);
    EXPECT_NO_THROW(s.substr(3));
}

TEST(SStringTest, FindFamilies) {
    SString abc("abc");
    SString ab("ab");
    EXPECT_EQ(3u, abc.find("", 3));
    EXPECT_EQ(SString::npos, ab.find("", 3));
    EXPECT_EQ(3u, abc.rfind("", 10));
    SString text("one two one two");
    EXPECT_EQ(4u, text.find("two"));
    EXPECT_EQ(12u, text.find("two", 5));
    EXPECT_EQ(SString::npos, text.find("three"));
    EXPECT_EQ(8u, text.rfind("one"));
    EXPECT_EQ(0u, text.rfind("one", 7));
    EXPECT_EQ(SString::npos, text.rfind("xyz"));
    EXPECT_EQ(14u, text.rfind('o'));
    EXPECT_EQ(1u, text.find_first_of("nw"));
    EXPECT_EQ(13u, text.find_last_of("nw"));
    EXPECT_EQ(3u, text.find_first_not_of("one"));
    EXPECT_EQ(11u, text.find_last_not_of("two"));
    EXPECT_EQ(SString::npos, text.find_first_of(""));
    EXPECT_EQ(SString::npos, text.find_first_not_of(""));
    EXPECT_EQ(SString::npos, SString().find_last_of("a"));
    EXPECT_EQ(SString::npos, text.find_first_not_of("onetw "));
}

TEST(SStringTest, CompareIsUnsignedBytewise) {
    EXPECT_LT(SString("abc").compare("abd"), 0);
    EXPECT_EQ(-1, SString("ab").compare("abc"));
    EXPECT_EQ(1, SString("abc").compare("ab"));
    EXPECT_EQ(0, SString("abc").compare(SString("abc")));
    EXPECT_GT(SString("\xE9").compare("z"), 0);
    EXPECT_EQ(0, SString("xabcx").compare(1, 3, "abc"));
    EXPECT_EQ(0, SString("abc").compare(0, 2, SString("zab"), 1, 2));
}

TEST(SStringTest, EmbeddedNulBytesSurvive) {
    SString s(std::string("a\0b", 3).data(), 3);
    SString copy(s);
    copy += 'c';
    EXPECT_EQ(std::string("a\0bc", 4), bytes(copy));
    copy.erase(1, 1);
    EXPECT_EQ("abc", bytes(copy));
}

}  // namespace
