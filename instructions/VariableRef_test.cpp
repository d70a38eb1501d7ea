#include "instructions/VariableRef.h"

#include <gtest/gtest.h>

#include <string>

#include "instructions/ScriptVariables.h"
#include "launcher/Launcher.h"
#include "tests/support/LauncherTestSupport.h"

namespace {

using qvtest::str;

// The message of the LauncherException that init throws, or "" when it accepts reference.
std::string initFailure(VariableRef& ref, const char* reference, const char* prefix) {
    try {
        ref.init(reference, prefix);
    } catch (const LauncherException& e) {
        return str(e.m_message);
    }
    return "";
}

class VariableRefTest : public ::testing::Test {
protected:
    void SetUp() override { ScriptVariables::resetForTest(); }
    void TearDown() override { ScriptVariables::resetForTest(); }
};

TEST_F(VariableRefTest, InitAcceptsLetterInEitherCaseAndLenientNumbers) {
    struct Case {
        const char* reference;
        char kind;
        long number;
    } cases[] = {
        {"n3", 'N', 3},  {"N5", 'N', 5},   {"S01", 'S', 1}, {"S1x", 'S', 1},
        {"S 1", 'S', 1}, {"s10", 'S', 10}, {"N1", 'N', 1},
    };
    for (const Case& c : cases) {
        VariableRef ref;
        EXPECT_EQ("", initFailure(ref, c.reference, "")) << c.reference;
        EXPECT_EQ(c.kind, ref.kind()) << c.reference;
        EXPECT_EQ(c.number, ref.number()) << c.reference;
    }
}

TEST_F(VariableRefTest, InitRejectsBadReferencesWithPrefixedMessage) {
    const std::string wrongType = "). Must use N or S as the variable type, e.g. N2 or S1.";
    struct Case {
        const char* reference;
        std::string message;
    } cases[] = {
        {"N", "P Variable references must be at least 2 characters (e.g. N1 and S10)."},
        {"", "P Variable references must be at least 2 characters (e.g. N1 and S10)."},
        {"N0", "P Variable number is invalid (0)"},
        {"N6", "P Variable number is invalid (6)"},
        {"S11", "P Variable number is invalid (11)"},
        {"S-1", "P Variable number is invalid (-1)"},
        {"Sx", "P Variable number is invalid (x)"},
        {"X1", "P Invalid variable reference (X1" + wrongType},
        {"@S1", "P Invalid variable reference (@S1" + wrongType},
    };
    for (const Case& c : cases) {
        VariableRef ref;
        ref.init("S2", "");
        EXPECT_EQ(c.message, initFailure(ref, c.reference, "P")) << c.reference;
        // A failed init leaves the earlier reference in place.
        EXPECT_EQ('S', ref.kind()) << c.reference;
        EXPECT_EQ(2, ref.number()) << c.reference;
    }
}

TEST_F(VariableRefTest, SetValueStoresStringsUnchangedAndNumbersParsed) {
    VariableRef text;
    text.init("S3", "");
    text.setValue("  spaced \"value\" ", "P");
    EXPECT_EQ("  spaced \"value\" ", str(ScriptVariables::getStringVariable(3)));

    struct Case {
        const char* value;
        long stored;
    } cases[] = {{"12", 12}, {"12abc", 12}, {" -7", -7}, {"+3", 3}, {"0x10", 0}};
    for (const Case& c : cases) {
        VariableRef number;
        number.init("N4", "");
        number.setValue(c.value, "P");
        EXPECT_EQ(c.stored, ScriptVariables::getLongVariable(4)) << c.value;
    }
}

TEST_F(VariableRefTest, SetValueRefusesNonNumberAndKeepsOldValue) {
    ScriptVariables::setLongVariable(2, 9);
    VariableRef ref;
    ref.init("N2", "");
    for (const char* value : {"abc", "", "x0", "-", " "}) {
        try {
            ref.setValue(value, "P");
            ADD_FAILURE() << "accepted " << value;
        } catch (const LauncherException& e) {
            EXPECT_EQ(std::string("P Invalid numeric expression in ") + value, str(e.m_message));
        }
        EXPECT_EQ(9, ScriptVariables::getLongVariable(2)) << value;
    }
}

TEST_F(VariableRefTest, ReadsValuesAsTextAndNumbers) {
    ScriptVariables::setLongVariable(5, -42);
    ScriptVariables::setStringVariable(10, "ten");
    VariableRef number;
    number.init("N5", "");
    VariableRef text;
    text.init("S10", "");

    EXPECT_EQ("-42", str(number.getStringValue()));
    EXPECT_EQ(-42, number.getNumericValue("P"));
    EXPECT_EQ("ten", str(text.getStringValue()));
    try {
        text.getNumericValue("Cannot turn S10");
        ADD_FAILURE() << "a string variable gave a number";
    } catch (const LauncherException& e) {
        EXPECT_EQ("Cannot turn S10 into a numeric value.", str(e.m_message));
    }
}

}  // namespace
