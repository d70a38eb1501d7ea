#include "platform/unix/MessageTables.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct LocaleInfo {
    const char* code;
    const char* legacyCodeset;  // the codeset every text of the table must convert to
};

// The expected order of msg_locale_table and the traditional codeset of each language.
const LocaleInfo kLocales[kLocaleCount] = {
    {"en", "ISO-8859-1"},    {"cs", "ISO-8859-2"}, {"da", "ISO-8859-1"}, {"de", "ISO-8859-1"},
    {"el", "ISO-8859-7"},    {"es", "ISO-8859-1"}, {"fi", "ISO-8859-1"}, {"fr", "ISO-8859-1"},
    {"hu", "ISO-8859-2"},    {"it", "ISO-8859-1"}, {"ja", "EUC-JP"},     {"ko", "EUC-KR"},
    {"nl", "ISO-8859-1"},    {"no", "ISO-8859-1"}, {"pl", "ISO-8859-2"}, {"pt", "ISO-8859-1"},
    {"pt_BR", "ISO-8859-1"}, {"ru", "ISO-8859-5"}, {"sv", "ISO-8859-1"}, {"tr", "ISO-8859-9"},
    {"zh", "GB2312"},        {"zh_TW", "BIG5"},
};

// The English texts, written out independently of the table under test. Long texts are split
// into adjacent literals on purpose; a missing comma would leave the last slot empty and fail
// EnglishTextsAreExact.
// NOLINTBEGIN(bugprone-suspicious-missing-comma)
const char* const kEnglish[kMessageCount + 1] = {
    nullptr,
    "Initializing %s...",
    "Searching %s...",
    "Verifying %s",
    "No Java(tm) Virtual Machine was found.",
    "%s could not be launched.",
    "A compatible JVM can be downloaded from %s",
    "Running %s...",
    "Preparing Java(tm) Virtual Machine...",
    "Searching for Java(tm) Virtual Machine...",
    "Searching for %s",
    "Error creating temporary directory %s",
    "Error creating temporary file %s",
    "LauncherMain",
    "Invalid platform hint: %s",
    "Execution of Child Process Failed",
    "Scanning disk(s) for a Java(tm) Virtual Machine...",
    "Supply the destination directory for the Java Virtual Machine:",
    ".",
    "Could not load the input file.",
    "Error loading instructions file.",
    "Error loading launch script.",
    "Error loading JVM file.",
    "Invalid JVM file id.",
    "Invalid action in input file: ",
    "A log file name must be specified after the -log option on the command line.",
    "Unable to extract embedded files from the launcher. ",
    "Unable to load the launcher file index. ",
    "No JVM installer was included in the launcher.",
    "The JVM is not valid.",
    "An input file name must follow the '-in' command line option.",
    "No matching JVM was found.",
    "Unable to search for all JVMs.",
    "Unable to open input file specified on the command line after the -in option.",
    "Choose the JVM Destination Directory",
    "Quorvin? is preparing the Quorvin Wizard, which\\nwill guide you through the rest of the "
    "setup process.\\nPlease wait...",
    "Error writing file = ",
    " There may not be enough temporary disk space. Try using -qv:tempdir to use a temporary "
    "directory on a partition with more disk space.",
    "Canceled by the user.",
};
// NOLINTEND(bugprone-suspicious-missing-comma)

std::string Where(int locale, int msg) {
    return std::string("locale ") + kLocales[locale].code + ", message " + std::to_string(msg);
}

int CountOccurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, pos + what.size())) {
        ++n;
    }
    return n;
}

// Strict UTF-8 check: no stray continuation bytes, no overlong forms, no surrogates, nothing
// above U+10FFFF.
bool IsValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra;
        unsigned int cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;  // truncated sequence
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000))
            return false;
        if (cp >= 0xD800 && cp <= 0xDFFF)
            return false;
        if (cp > 0x10FFFF)
            return false;
        i += extra + 1;
    }
    return true;
}

// Converts a UTF-8 text to `codeset` without transliteration; returns an empty string on
// success and a description of the failure otherwise.
std::string ConvertError(const std::string& text, const char* codeset) {
    iconv_t cd = iconv_open(codeset, "UTF-8");
    // iconv_open reports failure as (iconv_t)-1.
    if (cd == reinterpret_cast<iconv_t>(-1))  // NOLINT(performance-no-int-to-ptr)
        return std::string("iconv_open failed for ") + codeset;
    std::vector<char> in(text.begin(), text.end());
    std::vector<char> out(text.size() * 4 + 16);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    std::string error;
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (rc == static_cast<std::size_t>(-1)) {
        error = std::string("conversion to ") + codeset + " failed at byte " +
                std::to_string(inPtr - in.data()) + ": " + std::strerror(errno);
    } else if (rc != 0) {
        error = std::to_string(rc) + " irreversible conversion(s) to " + codeset;
    } else if (inLeft != 0) {
        error = "input not fully consumed";
    }
    iconv_close(cd);
    return error;
}

TEST(MessageTablesTest, TablesAreInLocaleOrderWithCodeMessagesAndTerminator) {
    for (int l = 0; l < kLocaleCount; ++l) {
        const char* const* table = msg_locale_table[l];
        ASSERT_NE(table, nullptr) << "locale slot " << l;
        ASSERT_NE(table[0], nullptr) << "locale slot " << l;
        EXPECT_STREQ(table[0], kLocales[l].code) << "locale slot " << l;
        int count = 0;
        while (count < kMessageCount && table[count + 1] != nullptr)
            ++count;
        EXPECT_EQ(count, kMessageCount) << "locale " << kLocales[l].code;
        if (count == kMessageCount) {
            EXPECT_EQ(table[kMessageCount + 1], nullptr) << "locale " << kLocales[l].code;
        }
    }
}

TEST(MessageTablesTest, NamedTablesAreTheOnesInTheLocaleTable) {
    const char* const* const named[kLocaleCount] = {
        unixlauncher_msg_en,    unixlauncher_msg_cs,    unixlauncher_msg_da, unixlauncher_msg_de,
        unixlauncher_msg_el,    unixlauncher_msg_es,    unixlauncher_msg_fi, unixlauncher_msg_fr,
        unixlauncher_msg_hu,    unixlauncher_msg_it,    unixlauncher_msg_ja, unixlauncher_msg_ko,
        unixlauncher_msg_nl,    unixlauncher_msg_no,    unixlauncher_msg_pl, unixlauncher_msg_pt,
        unixlauncher_msg_pt_BR, unixlauncher_msg_ru,    unixlauncher_msg_sv, unixlauncher_msg_tr,
        unixlauncher_msg_zh,    unixlauncher_msg_zh_TW,
    };
    for (int l = 0; l < kLocaleCount; ++l) {
        EXPECT_EQ(msg_locale_table[l], named[l]) << "locale slot " << l;
    }
}

TEST(MessageTablesTest, EnglishTextsAreExact) {
    for (int m = 1; m <= kMessageCount; ++m) {
        EXPECT_STREQ(unixlauncher_msg_en[m], kEnglish[m]) << "message " << m;
    }
    // Text 35 holds backslash-n pairs, not line ends.
    EXPECT_EQ(std::strchr(unixlauncher_msg_en[35], '\n'), nullptr);
    EXPECT_EQ(CountOccurrences(unixlauncher_msg_en[35], "\\n"), 2);
}

TEST(MessageTablesTest, FormatPlaceholdersMatchEnglish) {
    for (int l = 0; l < kLocaleCount; ++l) {
        for (int m = 1; m <= kMessageCount; ++m) {
            const std::string text = msg_locale_table[l][m];
            const int expected = CountOccurrences(kEnglish[m], "%s");
            EXPECT_EQ(CountOccurrences(text, "%s"), expected) << Where(l, m) << ": " << text;
            EXPECT_EQ(CountOccurrences(text, "%"), expected) << Where(l, m) << ": " << text;
        }
    }
}

TEST(MessageTablesTest, FixedTextsAndBlanksFollowEnglish) {
    for (int l = 0; l < kLocaleCount; ++l) {
        const char* const* table = msg_locale_table[l];
        EXPECT_STREQ(table[18], ".") << Where(l, 18);
        EXPECT_STREQ(table[13], "LauncherMain") << Where(l, 13);
        for (int m = 1; m <= kMessageCount; ++m) {
            const std::string text = table[m];
            const std::string english = kEnglish[m];
            ASSERT_FALSE(text.empty()) << Where(l, m);
            EXPECT_EQ(text.front() == ' ', english.front() == ' ')
                << Where(l, m) << ": [" << text << "]";
            EXPECT_EQ(text.back() == ' ', english.back() == ' ')
                << Where(l, m) << ": [" << text << "]";
            // Only a single joining blank, never a doubled one or a control character.
            EXPECT_EQ(text.find("  "), std::string::npos) << Where(l, m) << ": [" << text << "]";
            for (char c : text) {
                EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << Where(l, m);
            }
        }
        // The joined texts, checked by name so that a shifted table shows up here too.
        for (int m : {24, 26, 27, 36}) {
            EXPECT_EQ(std::string(table[m]).back(), ' ') << Where(l, m);
        }
        EXPECT_EQ(table[37][0], ' ') << Where(l, 37);
        // Option and product names stay untranslated.
        EXPECT_NE(std::strstr(table[25], "-log"), nullptr) << Where(l, 25);
        EXPECT_NE(std::strstr(table[30], "'-in'"), nullptr) << Where(l, 30);
        EXPECT_NE(std::strstr(table[33], "-in"), nullptr) << Where(l, 33);
        EXPECT_NE(std::strstr(table[37], "-qv:tempdir"), nullptr) << Where(l, 37);
        EXPECT_NE(std::strstr(table[35], "Quorvin?"), nullptr) << Where(l, 35);
        EXPECT_EQ(CountOccurrences(table[35], "\\n"), 2) << Where(l, 35);
    }
}

TEST(MessageTablesTest, NoTableIsACopyOfEnglish) {
    for (int l = 1; l < kLocaleCount; ++l) {
        int differing = 0;
        for (int m = 1; m <= kMessageCount; ++m) {
            if (std::strcmp(msg_locale_table[l][m], kEnglish[m]) != 0)
                ++differing;
        }
        EXPECT_GE(differing, 25) << "locale " << kLocales[l].code;
    }
}

TEST(MessageTablesTest, TextsAreUtf8AndConvertToTheLegacyCodeset) {
    for (int l = 0; l < kLocaleCount; ++l) {
        for (int m = 0; m <= kMessageCount; ++m) {
            const std::string text = msg_locale_table[l][m];
            EXPECT_TRUE(IsValidUtf8(text)) << Where(l, m) << ": " << text;
            EXPECT_EQ(ConvertError(text, kLocales[l].legacyCodeset), "")
                << Where(l, m) << ": " << text;
        }
    }
}

TEST(MessageTablesTest, ConversionCheckRejectsForeignCharacters) {
    // The conversion check must really fail for characters missing from a codeset, or the test
    // above proves nothing: a typographic ellipsis has no Latin-1 form, a Greek letter no Cyrillic
    // one.
    EXPECT_NE(ConvertError("Wait\xE2\x80\xA6", "ISO-8859-1"), "");
    EXPECT_NE(ConvertError("\xCE\xB1", "ISO-8859-5"), "");
    EXPECT_EQ(ConvertError("Grüße", "ISO-8859-1"), "");
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xE3\x81"));
    EXPECT_TRUE(IsValidUtf8("日本"));
}

}  // namespace
