// Tests of the console side of the platform layer and the message catalog.
#include "platform/unix/PlatformImpl.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "base/TextUtil.h"
#include "platform/unix/MessageCatalog.h"

namespace {

// Runs body with standard output sent to a temporary file and returns what it printed.
std::string captureStdout(const std::function<void()>& body) {
    std::fflush(stdout);
    FILE* capture = std::tmpfile();
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    body();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string output;
    std::rewind(capture);
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, capture)) > 0) {
        output.append(buffer, got);
    }
    std::fclose(capture);
    return output;
}

// Sets LANG for the scope and restores it afterwards.
class ScopedLang {
public:
    explicit ScopedLang(const char* value) {
        const char* old = std::getenv("LANG");
        m_had = old != nullptr;
        m_old = m_had ? old : "";
        if (value == nullptr) {
            unsetenv("LANG");
        } else {
            setenv("LANG", value, 1);
        }
    }
    ~ScopedLang() {
        if (m_had) {
            setenv("LANG", m_old.c_str(), 1);
        } else {
            unsetenv("LANG");
        }
    }

private:
    bool m_had;
    std::string m_old;
};

bool decodes(const std::string& bytes, const char* codeset) {
    iconv_t cd = iconv_open("UTF-8", codeset);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::string input(bytes);
    char* in = &input[0];
    size_t inLeft = input.size();
    std::string output(input.size() * 4 + 16, '\0');
    char* out = &output[0];
    size_t outLeft = output.size();
    size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    return rc != static_cast<size_t>(-1) && inLeft == 0;
}

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformImpl::resetUIState(); }
    void TearDown() override { PlatformImpl::resetUIState(); }
};

TEST_F(ConsoleTest, LocaleChoice) {
    struct Case {
        const char* lang;
        const char* code;
    } cases[] = {{nullptr, "en"},
                 {"", "en"},
                 {"C", "en"},
                 {"POSIX", "en"},
                 {"en_US", "en"},
                 {"pt_PT", "pt"},
                 {"pt_BR.ISO8859-1", "pt_BR"},
                 {"zh_TW.BIG5", "zh_TW"},
                 {"zh_CN.EUC", "zh"},
                 {"de_DE", "de"},
                 {"de", "de"},
                 {"xx_YY", "en"}};
    for (const Case& c : cases) {
        ScopedLang lang(c.lang);
        EXPECT_EQ(c.code, std::string(get_msg(0, nullptr).c_str()))
            << (c.lang == nullptr ? "(unset)" : c.lang);
    }
}

TEST_F(ConsoleTest, MessagesFollowTheCodesetOfLang) {
    std::string eucJp;
    std::string utf8;
    {
        ScopedLang lang("ja_JP.eucJP");
        eucJp = get_msg(9, nullptr).c_str();
    }
    {
        ScopedLang lang("ja_JP.UTF-8");
        utf8 = get_msg(9, nullptr).c_str();
    }
    EXPECT_NE(eucJp, utf8);
    EXPECT_TRUE(decodes(eucJp, "EUC-JP")) << eucJp;
    EXPECT_TRUE(decodes(utf8, "UTF-8")) << utf8;
    EXPECT_FALSE(decodes(eucJp, "UTF-8"));

    // Without a codeset the language's traditional one is used.
    ScopedLang russian("ru_RU");
    std::string koi = get_msg(9, nullptr).c_str();
    EXPECT_TRUE(decodes(koi, "ISO-8859-5"));
    EXPECT_FALSE(decodes(koi, "UTF-8"));
}

TEST_F(ConsoleTest, UnknownCodesetMeansUtf8AndUnmappableBecomesQuestionMark) {
    {
        ScopedLang lang("ja_JP.NO-SUCH-CODESET");
        EXPECT_TRUE(decodes(get_msg(9, nullptr).c_str(), "UTF-8"));
    }
    ScopedLang latin("de_DE.ISO-8859-1");
    EXPECT_EQ("a?b", std::string(toConsoleEncoding("a\xE3\x81\x82"
                                                   "b")
                                     .c_str()));
}

// A codeset whose text holds NUL bytes would end every message at its first character; such
// a LANG gets UTF-8 instead, for catalog texts and for titles alike.
TEST_F(ConsoleTest, CodesetsWithNulBytesFallBackToUtf8) {
    std::string utf8;
    {
        ScopedLang lang("ja_JP.UTF-8");
        utf8 = get_msg(9, nullptr).c_str();
    }
    for (const char* codeset : {"UTF-16", "UTF-16LE", "UTF-32", "UCS-2", "UCS-4BE"}) {
        std::string lang = std::string("ja_JP.") + codeset;
        ScopedLang scoped(lang.c_str());
        EXPECT_EQ(std::string(consoleCodeset().c_str()), "") << codeset;
        EXPECT_EQ(std::string(get_msg(9, nullptr).c_str()), utf8) << codeset;
        EXPECT_EQ("Caf\xC3\xA9\n", captureStdout([] { PlatformImpl::setUITitle("Caf\\u00e9"); }))
            << codeset;
    }
}

TEST_F(ConsoleTest, FormattingHasNoLengthLimitAndUnknownIdsSayWhy) {
    ScopedLang lang("C");
    std::string longTitle(5000, 't');
    SString formatted = get_msg(7, longTitle.c_str());
    EXPECT_EQ("Running " + longTitle + "...", std::string(formatted.c_str()));
    EXPECT_EQ("Error displaying message: id(39)", std::string(get_msg(39, nullptr).c_str()));
    // A "%" inside the argument is printed as it is.
    EXPECT_EQ("Running 100%s...", std::string(get_msg(7, "100%s").c_str()));
}

TEST_F(ConsoleTest, MessageIdentifiersReadTheirTexts) {
    ScopedLang lang("C");
    EXPECT_EQ("Could not load the input file.",
              std::string(PlatformImpl::getMessageText(MSG_COULD_NOT_LOAD_INPUT_FILE).c_str()));
    EXPECT_EQ("Unable to open input file specified on the command line after the -in option.",
              std::string(PlatformImpl::getMessageText(MSG_UNABLE_TO_OPEN_INPUT_FILE).c_str()));
    EXPECT_EQ("Error writing file = ",
              std::string(PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE).c_str()));
    EXPECT_EQ("Canceled by the user.",
              std::string(PlatformImpl::getMessageText(MSG_CANCELED).c_str()));
    EXPECT_TRUE(PlatformImpl::getMessageText(static_cast<MessageIdentifier>(18)).empty());
}

TEST_F(ConsoleTest, ProgressMarksAndLineBreaks) {
    ScopedLang lang("C");
    std::string seventy = captureStdout([] {
        for (int i = 0; i < 70; ++i) {
            PlatformImpl::advanceUIProgress(1);
        }
    });
    EXPECT_EQ(std::string(70, '.') + "\n", seventy);

    PlatformImpl::resetUIState();
    EXPECT_EQ(std::string(150, '.') + "\n",
              captureStdout([] { PlatformImpl::advanceUIProgress(150); }));

    PlatformImpl::resetUIState();
    PlatformImpl::hideUI(0);
    EXPECT_EQ("", captureStdout([] { PlatformImpl::advanceUIProgress(100); }));
    PlatformImpl::showUI();
    // The hidden progress still counted: the first mark shown closes the block it crossed.
    EXPECT_EQ(".\n", captureStdout([] { PlatformImpl::advanceUIProgress(1); }));

    PlatformImpl::resetUIState();
    PlatformImpl::setSilent(true);
    EXPECT_EQ("", captureStdout([] { PlatformImpl::advanceUIProgress(80); }));
}

TEST_F(ConsoleTest, ProgressStepsPrintWhatSingleStepsPrint) {
    ScopedLang lang("C");
    // Each case starts at a progress of `start` (reached while shown or while hidden) and
    // advances by `steps`, once in single steps and once at a time.
    struct Case {
        long start;
        bool startHidden;
        long steps;
        bool hidden;
    };
    const Case cases[] = {{0, false, 0, false},  {0, false, 1, false},   {0, false, 69, false},
                          {0, false, 70, false}, {0, false, 141, false}, {65, false, 10, false},
                          {100, true, 5, false}, {10, false, 100, true}};
    for (const Case& c : cases) {
        std::string single;
        std::string batched;
        for (int pass = 0; pass < 2; ++pass) {
            PlatformImpl::resetUIState();
            if (c.startHidden) {
                PlatformImpl::hideUI(0);
            }
            captureStdout([&] { PlatformImpl::advanceUIProgress(c.start); });
            PlatformImpl::showUI();
            if (c.hidden) {
                PlatformImpl::hideUI(0);
            }
            std::string& shown = pass == 0 ? single : batched;
            shown = captureStdout([&] {
                if (pass == 0) {
                    for (long i = 0; i < c.steps; ++i) {
                        PlatformImpl::advanceUIProgress(1);
                    }
                } else {
                    PlatformImpl::advanceUIProgressSteps(c.steps);
                }
            });
            PlatformImpl::showUI();
            // What the next mark prints tells whether both counted alike.
            shown += "|" + captureStdout([] { PlatformImpl::advanceUIProgress(1); });
        }
        EXPECT_EQ(single, batched) << "start " << c.start << ", steps " << c.steps;
    }
    PlatformImpl::resetUIState();
    EXPECT_EQ(std::string(70, '.') + "\n" + std::string(5, '.'),
              captureStdout([] { PlatformImpl::advanceUIProgressSteps(75); }));
}

TEST_F(ConsoleTest, StatusLines) {
    ScopedLang lang("C");
    PlatformImpl::setSilent(true);
    PlatformImpl::setUITitle("Demo");
    PlatformImpl::setSilent(false);
    EXPECT_EQ("\nInitializing Demo...\n",
              captureStdout([] { PlatformImpl::setUIStatus(UI_STATUS_INITIALIZING); }));
    EXPECT_EQ("\nNo Java(tm) Virtual Machine was found.Demo could not be launched.\n",
              captureStdout([] { PlatformImpl::setUIStatus(UI_STATUS_NOT_FOUND); }));
    EXPECT_EQ("", captureStdout([] { PlatformImpl::setUIStatus(static_cast<UIStatus>(5)); }));
    PlatformImpl::hideUI(0);
    EXPECT_EQ("", captureStdout([] { PlatformImpl::setUIStatus(UI_STATUS_RUNNING); }));
    EXPECT_EQ("shown\n", captureStdout([] { PlatformImpl::showUIMessage("shown"); }));
    PlatformImpl::setSilent(true);
    PlatformImpl::showUI();
    EXPECT_FALSE(PlatformImpl::isUIVisible());
    EXPECT_EQ("", captureStdout([] { PlatformImpl::showUIMessage("hidden"); }));
    EXPECT_TRUE(PlatformImpl::promptJVMDestinationDirectory().empty());
}

TEST_F(ConsoleTest, TitleEscapesAndRawBytes) {
    ScopedLang lang("fr_FR.UTF-8");
    EXPECT_EQ("Caf\xC3\xA9\n", captureStdout([] { PlatformImpl::setUITitle("Caf\\u00e9"); }));
    // A title already written in the user's encoding passes unchanged.
    EXPECT_EQ("Caf\xC3\xA9\n", captureStdout([] { PlatformImpl::setUITitle("Caf\xC3\xA9"); }));
    ScopedLang latin("fr_FR.ISO-8859-1");
    EXPECT_EQ("Caf\xE9\n", captureStdout([] { PlatformImpl::setUITitle("Caf\\u00e9"); }));
}

}  // namespace
