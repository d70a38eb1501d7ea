#include "instructions/Instructions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "input/TagFile.h"
#include "instructions/InstructionActions.h"
#include "instructions/InstructionsException.h"
#include "instructions/ScriptVariables.h"
#include "tests/support/LauncherTestSupport.h"
#include "tests/support/ScriptTestSupport.h"

namespace {

using qvtest::RecordingActions;
using qvtest::ScriptRunner;
using qvtest::str;

std::ostream& operator<<(std::ostream& out, const SString& s) {
    return out << str(s);
}

// The outcome of one evaluation in the same form, or "=" + the result.
template <typename Evaluation>
std::string outcome(Evaluation evaluate) {
    try {
        std::ostringstream result;
        result << "=" << evaluate();
        return result.str();
    } catch (const InstructionsException& e) {
        return "line " + std::to_string(e.m_lineNumber) + ": " + str(e.m_message);
    } catch (const LauncherException& e) {
        return "launcher: " + str(e.m_message);
    }
}

const char kWrongType[] = "). Must use N or S as the variable type, e.g. N2 or S1.";

class InstructionsEvalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ScriptVariables::resetForTest();
        ScriptVariables::setStringVariable(1, "abc");
        ScriptVariables::setStringVariable(2, "x@S3@");
        ScriptVariables::setStringVariable(3, "z");
        ScriptVariables::setLongVariable(2, -7);
    }
    void TearDown() override { ScriptVariables::resetForTest(); }

    std::string expr(const std::string& text, const char* prefix = "") {
        return outcome([&] {
            SString value(text.c_str(), static_cast<SString::size_type>(text.size()));
            m_runner.m_instructions.evalExpr(value, prefix);
            return value;
        });
    }

    ScriptRunner m_runner{};
};

TEST_F(InstructionsEvalTest, EvalExprSubstitutesReferences) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"x@S1@y", "=xabcy"},
        {"@S1@@S1@", "=abcabc"},
        {"@s1@", "=abc"},
        {"@N2@", "=-7"},
        {"a@@b", "=a@b"},
        {"@@@@", "=@@"},
        // A value is data: an "@" in it is never read as a reference.
        {"@S2@", "=x@S3@"},
        {"[@S4@]", "=[]"},
        {"no references", "=no references"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, expr(c.text)) << c.text;
    }
}

TEST_F(InstructionsEvalTest, EvalExprFailures) {
    ScriptVariables::setStringVariable(5, "c");
    ScriptVariables::setStringVariable(6, "@S3@");
    struct Case {
        const char* text;
        const char* prefix;
        std::string expected;
    } cases[] = {
        {"", "", "line 1:  Empty expression."},
        {"abc@", "", "line 1:  Invalid variable specification."},
        {"abc@", "P", "line 1: P Invalid variable specification."},
        {"@S5@@", "", "line 1:  Invalid variable specification."},
        {"@X1@", "P", std::string("launcher: P Invalid variable reference (X1") + kWrongType},
        {"@S11@", "", "launcher:  Variable number is invalid (11)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, expr(c.text, c.prefix)) << c.text;
    }
}

TEST_F(InstructionsEvalTest, ValuesAreNeverReadAsReferences) {
    // Self and mutual references, a lone "@" and "@@" in values (a temporary path may hold
    // them) all come out as they are.
    ScriptVariables::setStringVariable(4, "x@S4@");
    ScriptVariables::setStringVariable(5, "y@S6@");
    ScriptVariables::setStringVariable(6, "/tmp/a@b/@@c@");
    ScriptVariables::setStringVariable(7, "c");
    EXPECT_EQ("=x@S4@", expr("@S4@"));
    EXPECT_EQ("=<y@S6@>", expr("<@S5@>", "P"));
    EXPECT_EQ("=/tmp/a@b/@@c@/jvm", expr("@S6@/jvm"));
    EXPECT_EQ("=a@bc", expr("a@@b@S7@"));

    // Growth is still bounded.
    ScriptVariables::setStringVariable(8, std::string(300000, 'a').c_str());
    EXPECT_EQ(
        "line 1:  Variable substitution in (@S8@@S8@@S8@@S8@) gives a text longer than "
        "1048576 bytes.",
        expr("@S8@@S8@@S8@@S8@"));
}

TEST_F(InstructionsEvalTest, SubstitutionLimitIsTenThousandReferences) {
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        text += "@S3@";
    }
    EXPECT_EQ("=" + std::string(10000, 'z'), expr(text));
    const std::string refusal = "line 1:  Too many variable substitutions in (";
    EXPECT_EQ(refusal, expr(text + "@S3@").substr(0, refusal.size()));
}

TEST_F(InstructionsEvalTest, TextFormUnquotesOrCutsThenSubstitutes) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"\"abc\" rest", "=abc"},
        {"abc rest", "=abc"},
        {"abc\trest", "=abc"},
        {"", "="},
        {"\"a\"\"b\"", "=a\"b"},
        {"\"@S1@ and @N2@\"", "=abc and -7"},
        {"@S1@ rest", "=abc"},
        {"\"abc", "launcher: Expected double quote to end argument near 1"},
        // Unquoting leaves nothing, and substitution refuses an empty text.
        {"\"\"", "line 1: P Empty expression."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, outcome([&] {
                      SString value(c.text);
                      m_runner.m_instructions.evalStringExpr(value, "P");
                      return value;
                  }))
            << c.text;
    }
}

TEST_F(InstructionsEvalTest, ReaderFormTakesOneArgumentAndAdvances) {
    struct Case {
        const char* line;
        unsigned start;
        const char* expected;
        unsigned endPos;
    } cases[] = {
        {"LAUNCH \"my \"\"x\"\" file\" 5", 6, "=my \"x\" file", 22},
        {"LAUNCH abc 5", 6, "=abc", 11},
        {"LAUNCH abc", 6, "=abc", 10},
        {"LAUNCH  \t\"a b\"", 6, "=a b", 14},
        {"LAUNCH \"\"\"\"", 6, "=\"", 11},
        {"LAUNCH \"a\"\"\" x", 6, "=a\"", 12},
        {"LAUNCH @S1@ 5", 6, "=abc", 12},
        {"LAUNCH", 7, "=", 7},
    };
    for (const Case& c : cases) {
        unsigned pos = c.start;
        EXPECT_EQ(c.expected, outcome([&] {
                      SString result("old");
                      m_runner.m_instructions.evalStringExpr(c.line, pos, result, "P");
                      return result;
                  }))
            << c.line;
        EXPECT_EQ(c.endPos, pos) << c.line;
    }
}

TEST_F(InstructionsEvalTest, ReaderFormRefusesUnterminatedQuote) {
    struct Case {
        const char* line;
        const char* expected;
    } cases[] = {
        {"LAUNCH \"abc", "launcher: Expected ending quote in \"abc:  P"},
        {"LAUNCH \"a\"\"", "launcher: Expected ending quote in \"a\"\":  P"},
        {"LAUNCH \"", "launcher: Expected ending quote in \":  P"},
    };
    for (const Case& c : cases) {
        unsigned pos = 6;
        EXPECT_EQ(c.expected, outcome([&] {
                      SString result;
                      m_runner.m_instructions.evalStringExpr(c.line, pos, result, "P");
                      return result;
                  }))
            << c.line;
    }
}

TEST_F(InstructionsEvalTest, NumbersAndTruthValues) {
    const Instructions& interpreter = m_runner.m_instructions;
    struct Case {
        char form;  // L long, S short, B bool
        const char* text;
        const char* prefix;
        const char* expected;
    } cases[] = {
        {'L', "12abc", "", "=12"},
        {'L', " -5", "", "=-5"},
        {'L', "@N2@", "", "=-7"},
        {'L', "abc", "", "line 1: Invalid numeric expression (abc)"},
        {'L', "@S1@", "P", "line 1: PInvalid numeric expression (abc)"},
        {'L', "", "", "line 1:  Empty expression."},
        {'S', "300", "", "=300"},
        {'S', "abc", "", "line 1:  Invalid numeric expression (abc)"},
        {'S', "@S1@", "P", "line 1: P Invalid numeric expression (abc)"},
        {'B', "1", "", "=1"},
        {'B', "0", "", "=0"},
        {'B', "1 ", "", "=1"},
        {'B', "2", "", "line 1:  Invalid boolean value (2)"},
        // The boolean message shows the text as written, before substitution.
        {'B', "@N2@", "P", "line 1: P Invalid boolean value (@N2@)"},
        {'B', "x", "", "line 1: Invalid numeric expression (x)"},
    };
    for (const Case& c : cases) {
        std::string result = outcome([&]() -> long {
            switch (c.form) {
                case 'L':
                    return interpreter.evalLongExpr(c.text, c.prefix);
                case 'S':
                    return interpreter.evalShortExpr(c.text, c.prefix);
                default:
                    return interpreter.evalBoolExpr(c.text, c.prefix) ? 1 : 0;
            }
        });
        EXPECT_EQ(c.expected, result) << c.form << " " << c.text;
    }
}

class InstructionsTest : public ::testing::Test {
protected:
    void SetUp() override { ScriptVariables::resetForTest(); }
    void TearDown() override { ScriptVariables::resetForTest(); }
};

TEST_F(InstructionsTest, EmptyScriptDoesNothing) {
    ScriptRunner runner{};
    EXPECT_EQ("", runner.run());
    EXPECT_TRUE(runner.m_actions.m_calls.empty());
}

TEST_F(InstructionsTest, CommandsCallTheirActions) {
    ScriptVariables::setLongVariable(2, 4);
    ScriptVariables::setStringVariable(1, "a.jvm");
    ScriptRunner runner{
        "INITIALIZE_UI",
        "FIND_JVM 1 0",
        "VERIFY 0 1 @N2@",
        "INSTALL_JVM 0",
        "INSTALL_JVM 2 ignored",
        "LAUNCH \"my app.jvm\" 10",
        "LAUNCH @S1@ 3",
        "LAUNCH \"my \"\"x\"\" file\" 5",
        "ILAUNCH 3 7",
        "EXECUTE_LAUNCHER 4",
        "// comment FIND_JVM 1 1",
        ":label INITIALIZE_UI",
    };
    EXPECT_EQ("", runner.run());
    std::vector<std::string> expected = {
        "initializeUI()",    "findJVM(1,0)",
        "verifyJVM(0,1,4)",  "installJVM(0)",
        "installJVM(2)",     "launch([my app.jvm],10)",
        "launch([a.jvm],3)", "launch([my \"x\" file],5)",
        "ilaunch(3,7)",      "executeEmbeddedLauncher(4)",
    };
    EXPECT_EQ(expected, runner.m_actions.m_calls);

    // A second run starts again at the first line.
    runner.m_actions.m_calls.clear();
    EXPECT_EQ("", runner.run());
    EXPECT_EQ(expected, runner.m_actions.m_calls);
}

// A launch is the script's last act only when nothing but labels and comments follows it: a
// command, a jump or an empty line (an error) after it still runs.
TEST_F(InstructionsTest, EndsWithCurrentLineOnlyBeforeLabelsAndComments) {
    struct Case {
        std::initializer_list<const char*> lines;
        std::vector<bool> lastActs;
    } cases[] = {
        {{"LAUNCH a 0", "ILAUNCH 1 0"}, {false, true}},
        {{"ILAUNCH 1 0", "// done", ":end"}, {true}},
        {{"LAUNCH a 0", "SET S1 = x"}, {false}},
        {{"LAUNCH a 0", "GOTO end", ":end"}, {false}},
        {{"LAUNCH a 0", ""}, {false}},
        {{"LAUNCH a 0", "//comment"}, {false}},
    };
    for (const Case& c : cases) {
        ScriptRunner runner(c.lines);
        runner.m_actions.m_observed = &runner.m_instructions;
        runner.run();
        EXPECT_EQ(c.lastActs, runner.m_actions.m_lastActs) << *c.lines.begin();
        // Outside a run no line is current.
        EXPECT_FALSE(runner.m_instructions.endsWithCurrentLine());
    }
}

TEST_F(InstructionsTest, ErrorsStopTheRunAtTheirLine) {
    const std::string ilaunchFirst =
        "The first argument to ILAUNCH should be the file index number of the jvm file.";
    const std::string setLeft = "Invalid variable specified on left hand side of SET statement. ";
    const std::string setExpr = "Invalid expression specified for SET command ";
    const std::string launchName = "Invalid jvm file name specified in LAUNCH.";
    struct Case {
        const char* line;
        std::string expected;
    } cases[] = {
        {" \t ", "No command specified."},
        {"FIND_JVM",
         "The first argument to FIND_JVM should be a 1 if the UI should be displayed or a 0 if "
         "the UI should be suppressed."},
        {"FIND_JVM 1",
         "The second argument to FIND_JVM should be a 1 if a find failure message should be "
         "displayed in a UI or 0 if no message should be displayed."},
        {"FIND_JVM 1 2", " Invalid boolean value (2)"},
        {"FIND_JVM 2", " Invalid boolean value (2)"},
        {"VERIFY",
         "The first argument to VERIFY should be a 1 if the UI should be displayed or a 0 if the "
         "UI should be suppressed."},
        {"VERIFY 1",
         "The second argument to VERIFY should be a 1 if a find failure message should be "
         "displayed in a UI or 0 if no message should be displayed."},
        {"VERIFY 1 0",
         "The third argument to VERIFY should be the file index number of the jvm file."},
        {"INSTALL_JVM", "The first argument to INSTALL_JVM should be a 0, 1 or 2."},
        {"INSTALL_JVM 3", "The first argument to INSTALL_JVM should be a 0, 1 or 2."},
        {"ILAUNCH", ilaunchFirst},
        {"ILAUNCH 1",
         "The second argument to ILAUNCH should be the number of seconds to display the UI "
         "during the launch."},
        {"ILAUNCH 1 x", " Invalid numeric expression (x)"},
        {"EXECUTE_LAUNCHER", ilaunchFirst},
        {"LAUNCH a.jvm",
         "The second argument to LAUNCH should be the number of seconds to display the UI during "
         "the launch."},
        {"LAUNCH \"\" 5", launchName + " Empty expression."},
        {"GOTO", "The GOTO command requires a label as its only argument."},
        {"GOTO nowhere", "Label not found (nowhere)"},
        {"GOTO @S2@", "Label @S2@ resolved to a blank string. Labels cannot be blank."},
        {"GOTO a@b", "Invalid label specified. Invalid variable specification."},
        {"JMP0", "The second argument to JMP0 must be numeric. Empty expression."},
        {"JMP0 x here",
         "The second argument to JMP0 must be numeric.Invalid numeric expression (x)"},
        {"JMP0 1", "JMP0 requires a jump label as its second argument."},
        {"JMP0 0 nowhere", "Label not found (nowhere)"},
        {"//comment", "Invalid command (//comment). "},
        {"find_jvm 1 1", "Invalid command (find_jvm). "},
        {"SET", "Malformed SET statement."},
        {"SET S1 hello", "SET statement is missing =."},
        {"SET X1 = 5", setLeft + "Invalid variable reference (X1" + kWrongType},
        {"SET = 5",
         setLeft + "Variable references must be at least 2 characters (e.g. N1 and S10)."},
        {"SET N2 = abc",
         "Invalid value specified for SET command Invalid numeric expression in abc"},
        {"SET S1 = @X1@", setExpr + "Invalid variable reference (X1" + kWrongType},
        {"SET S1 = a@", setExpr + "Invalid variable specification."},
        {"SET S1 = \"abc", "Expected double quote to end argument near 1"},
    };
    for (const Case& c : cases) {
        ScriptRunner runner{"// first", ":here", c.line, "INITIALIZE_UI"};
        EXPECT_EQ("line 3: " + c.expected, runner.run()) << c.line;
        EXPECT_TRUE(runner.m_actions.m_calls.empty()) << c.line;
    }
}

TEST_F(InstructionsTest, ArgumentReferenceErrorsCarryNoLineNumber) {
    const std::string launchName = "Invalid jvm file name specified in LAUNCH.";
    struct Case {
        const char* line;
        std::string expected;
    } cases[] = {
        {"LAUNCH @X1@ 5", launchName + " Invalid variable reference (X1" + kWrongType},
        {"LAUNCH \"abc", "Expected ending quote in \"abc:  " + launchName},
        {"FIND_JVM @S11@ 1", " Variable number is invalid (11)"},
    };
    for (const Case& c : cases) {
        ScriptRunner runner{"// first", c.line};
        EXPECT_EQ("launcher: " + c.expected, runner.run()) << c.line;
    }
}

TEST_F(InstructionsTest, SetForms) {
    ScriptVariables::setStringVariable(1, "abc");
    ScriptVariables::setLongVariable(2, 4);
    struct Case {
        const char* line;
        long stringVariable;  // 0 for a numeric one
        long numericVariable;
        const char* expected;
    } cases[] = {
        {"SET S4 = \"hello world\"", 4, 0, "hello world"},
        {"SET S4 = hello world", 4, 0, "hello"},
        {"SET S4=a=b", 4, 0, "a=b"},
        {"SET s4 =   padded  ", 4, 0, "padded"},
        {"SET S4 = x@S1@", 4, 0, "xabc"},
        {"SET S4 = \"@S1@ and @N2@\"", 4, 0, "abc and 4"},
        {"SET S4 = a@@b", 4, 0, "a@b"},
        {"SET S1 =", 1, 0, ""},
        {"SET N3 = 12", 0, 3, "12"},
        {"SET N3 = 12abc", 0, 3, "12"},
        {"SET n3 = @N2@", 0, 3, "4"},
        {"SET N3 = \"-8\"", 0, 3, "-8"},
    };
    for (const Case& c : cases) {
        ScriptRunner runner{c.line};
        EXPECT_EQ("", runner.run()) << c.line;
        std::string stored =
            c.stringVariable != 0
                ? str(ScriptVariables::getStringVariable(c.stringVariable))
                : std::to_string(ScriptVariables::getLongVariable(c.numericVariable));
        EXPECT_EQ(c.expected, stored) << c.line;
        ScriptVariables::setStringVariable(1, "abc");
    }
}

TEST_F(InstructionsTest, GotoMovesToTheLineAfterTheLabel) {
    ScriptVariables::setStringVariable(3, "end");
    ScriptRunner forward{"GOTO end", "INITIALIZE_UI", ":end", "FIND_JVM 0 0"};
    EXPECT_EQ("", forward.run());
    EXPECT_EQ(std::vector<std::string>{"findJVM(0,0)"}, forward.m_actions.m_calls);

    ScriptRunner computed{"GOTO @S3@", "INITIALIZE_UI", ":end"};
    EXPECT_EQ("", computed.run());
    EXPECT_TRUE(computed.m_actions.m_calls.empty());

    // A backward jump that runs the loop body twice.
    ScriptRunner loop{"SET N1 = 1", ":top",     "INITIALIZE_UI", "JMP0 @N1@ done",
                      "SET N1 = 0", "GOTO top", ":done",         "FIND_JVM 1 1"};
    EXPECT_EQ("", loop.run());
    EXPECT_EQ((std::vector<std::string>{"initializeUI()", "initializeUI()", "findJVM(1,1)"}),
              loop.m_actions.m_calls);
}

TEST_F(InstructionsTest, Jmp0JumpsExactlyOnZero) {
    struct Case {
        long n1;
        const char* expected;
    } cases[] = {{0, "failed"}, {1, "passed"}, {7, "passed"}, {-1, "passed"}};
    for (const Case& c : cases) {
        ScriptVariables::setLongVariable(1, c.n1);
        ScriptRunner runner{"JMP0 @N1@ failed", "SET S1 = passed", "GOTO end",
                            ":failed",          "SET S1 = failed", ":end"};
        EXPECT_EQ("", runner.run()) << c.n1;
        EXPECT_EQ(c.expected, str(ScriptVariables::getStringVariable(1))) << c.n1;
    }

    // With a non-zero value the label is not looked up.
    ScriptRunner unknownLabel{"JMP0 1 nowhere", "INITIALIZE_UI"};
    EXPECT_EQ("", unknownLabel.run());
    EXPECT_EQ(std::vector<std::string>{"initializeUI()"}, unknownLabel.m_actions.m_calls);
}

TEST_F(InstructionsTest, GotoLabelFindsFirstWholeLineMatch) {
    ScriptVariables::setStringVariable(1, "abc");
    ScriptRunner runner{":start", "X", ":a", ":a", ":a b", ":@S1@"};
    const Instructions& interpreter = runner.m_instructions;
    EXPECT_EQ(0, interpreter.gotoLabel("start"));
    EXPECT_EQ(2, interpreter.gotoLabel("a"));
    EXPECT_EQ(4, interpreter.gotoLabel("a b"));
    // Label lines are compared as written, never substituted.
    EXPECT_EQ(5, interpreter.gotoLabel("@@S1@@"));
    EXPECT_EQ("line 1: Label not found (abc)",
              outcome([&] { return interpreter.gotoLabel("abc"); }));
    EXPECT_EQ("line 1: Label not found (star)",
              outcome([&] { return interpreter.gotoLabel("star"); }));
}

TEST_F(InstructionsTest, ActionFailurePassesThroughAndEarlierLinesStay) {
    ScriptRunner runner{"SET S1 = before", "LAUNCH a.jvm 1", "SET S1 = after"};
    runner.m_actions.m_failingAction = "launch";
    EXPECT_EQ("launcher: action failed", runner.run());
    EXPECT_EQ("before", str(ScriptVariables::getStringVariable(1)));
}

// Stops a script after a number of lines by throwing from the line hook.
class LineLimitActions : public RecordingActions {
public:
    explicit LineLimitActions(long limit) : m_limit(limit) {}
    void beforeLine(long lineIndex) override {
        m_lines.push_back(lineIndex);
        if (static_cast<long>(m_lines.size()) > m_limit) {
            throw LauncherException("line limit");
        }
    }
    long m_limit;
    std::vector<long> m_lines;
};

TEST_F(InstructionsTest, BeforeLineSeesEveryLineAndCanStopAnEndlessLoop) {
    ScriptRunner runner{":top", "INITIALIZE_UI", "GOTO top"};
    LineLimitActions actions(7);
    runner.m_instructions.setActions(actions);
    EXPECT_EQ("launcher: line limit", runner.run());
    // The jump lands on the label line, so the loop runs lines 1 and 2 only.
    EXPECT_EQ((std::vector<long>{0, 1, 2, 1, 2, 1, 2, 1}), actions.m_lines);
    // The eighth line never ran: three passes through the loop body.
    EXPECT_EQ(3u, actions.m_calls.size());
}

}  // namespace
