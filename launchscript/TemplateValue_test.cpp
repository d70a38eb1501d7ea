#include "launchscript/TemplateValue.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace {

std::string str(const SString& s) {
    return std::string(s.c_str(), s.length());
}

// Runs a command line through /bin/sh in dir and returns what it printed.
std::string shellOutput(const std::string& command, const std::string& dir) {
    qvtest::Command run;
    run.program = "/bin/sh";
    run.args = {"-c", command};
    run.directory = dir;
    run.captureDirectory = dir;
    return qvtest::runProgram(run).out;
}

// Every place a value can stand in a template, with "V" for the value: each prints the value
// between < and >, so the shell's reading of it can be compared with its bytes.
const char* const kPlaces[] = {
    "printf '<%s>\\n' V",                         // unquoted, one word
    "printf '<%s>\\n' pre/V/post",                // unquoted, inside a word
    "printf '<%s>\\n' \"V\"",                     // double quotes
    "printf '<%s>\\n' \"-Dx=V y\"",               // double quotes with text around
    "printf '<%s>\\n' 'V'",                       // single quotes
    "printf '<%s>\\n' \"$(printf '%s' V)\"",      // command substitution
    "printf '<%s>\\n' \"`printf '%s' V`\"",       // backquotes
    "true # it's a comment\nprintf '<%s>\\n' V",  // after a comment holding a quote
};

std::string place(const std::string& templateText, const std::string& value) {
    std::string command = templateText;
    const std::string sealed = str(TemplateValue::sealPath(value.c_str()));
    command.replace(command.find('V'), 1, sealed);
    return str(TemplateValue::toShellCommand(command.c_str()));
}

std::string expectedOutput(const std::string& templateText, const std::string& value) {
    if (templateText.find("pre/V") != std::string::npos) {
        return "<pre/" + value + "/post>\n";
    }
    if (templateText.find("-Dx=") != std::string::npos) {
        return "<-Dx=" + value + " y>\n";
    }
    return "<" + value + ">\n";
}

TEST(TemplateValueTest, PathReachesTheProgramAsItsBytesWhereverItStands) {
    qvtest::TemporaryDirectory dir("qv-template-value");
    const char* const values[] = {
        "/opt/jdk 17",  "/x`touch M`y", "/y$(touch M)z", "/q\"uote",     "/it's",
        "/back\\slash", "/a;touch M",   "/p|touch M",    "/star*",       "~home",
        "/pct%CP%()",   "/openjdk@17",  "/#HOME#",       "/caf\xc3\xa9", "/tab\there",
        "/line\nbreak", "/and&touch M", "/dollar$HOME",  "/x=y",         "/{a,b}",
    };
    for (const char* templateText : kPlaces) {
        for (const char* value : values) {
            const std::string command = place(templateText, value);
            EXPECT_EQ(expectedOutput(templateText, value), shellOutput(command, dir.path()))
                << "template " << templateText << " value " << value << " command " << command;
        }
    }
    EXPECT_FALSE(qvtest::exists(dir / "M")) << "a command inside a value ran";
}

TEST(TemplateValueTest, WordsSplitAtBlanksOnlyWhereUnquoted) {
    qvtest::TemporaryDirectory dir("qv-template-value");
    const struct {
        const char* templateText;
        const char* value;
        const char* output;
    } cases[] = {
        {"printf '<%s>' V", " -Xmx1g  -Da=$(touch M) * ", "<-Xmx1g><-Da=$(touch><M)><*>"},
        {"printf '<%s>' xV", "1 2", "<x1><2>"},
        {"printf '<%s>' \"V\"", " a  b ", "< a  b >"},
        {"printf '<%s>' V", "", "<>"},  // nothing at all: printf prints its format once
        {"printf '<%s>' a V b", "", "<a><b>"},
    };
    for (const auto& c : cases) {
        std::string command = c.templateText;
        command.replace(command.find('V'), 1, str(TemplateValue::sealWords(c.value)));
        EXPECT_EQ(c.output,
                  shellOutput(str(TemplateValue::toShellCommand(command.c_str())), dir.path()))
            << c.templateText << " with " << c.value;
    }
    EXPECT_FALSE(qvtest::exists(dir / "M"));
}

TEST(TemplateValueTest, OpenGivesTheBytesAndPlainValuesNeedNoQuotes) {
    const std::string sealed = str(TemplateValue::sealPath("/a b/%x%@y@#z#"));
    EXPECT_EQ(std::string::npos, sealed.find_first_of("%@#\" (),"));
    EXPECT_EQ("-cp /a b/%x%@y@#z#:x", str(TemplateValue::open(("-cp " + sealed + ":x").c_str())));
    // Values the shell reads as they are are not quoted, so logs and simple commands stay
    // as they were; a stray start byte of the template itself is left alone.
    const std::string command = "java -cp " + str(TemplateValue::sealPath("/opt/app/a.jar")) + ":" +
                                str(TemplateValue::sealPath("/tmp/qvj1/b.jar"));
    EXPECT_EQ("java -cp /opt/app/a.jar:/tmp/qvj1/b.jar",
              str(TemplateValue::toShellCommand(command.c_str())));
    EXPECT_EQ("a\x01Pzz", str(TemplateValue::toShellCommand("a\x01Pzz")));
}

}  // namespace
