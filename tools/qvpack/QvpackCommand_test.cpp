#include "tools/qvpack/QvpackCommand.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "input/LauncherLayout.h"
#include "tests/support/LauncherTestSupport.h"

using qvtest::str;
using qvtest::writeFile;

namespace {

// The request in one line: mode, output, stub, then type:id:path per file.
std::string describe(const QvpackRequest& request) {
    std::ostringstream out;
    out << request.mode << " out=" << str(request.outputPath) << " stub=" << str(request.stubPath)
        << " list=" << str(request.listPath);
    for (const QvpackRequest::File& file : request.files) {
        out << " " << file.type << ":" << file.id << ":" << str(file.path);
    }
    return out.str();
}

TEST(QvpackCommandTest, ParsesCommandLines) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"--help"}, "0 out= stub= list="},
        {{"-o", "x", "--bogus", "-h"}, "0 out= stub= list="},
        {{"list", "launcher"}, "2 out= stub= list=launcher"},
        {{"-o", "out"}, "1 out=out stub= list="},
        {{"--instructions",
          "i",
          "--jvm",
          "j1",
          "--launch-script",
          "l",
          "--classpath",
          "c",
          "--installer",
          "n",
          "--verify",
          "v",
          "--app",
          "a",
          "--launcher",
          "e",
          "-o",
          "out",
          "--stub",
          "s"},
         "1 out=out stub=s list= 0:-1:i 1:-1:j1 2:-1:l 3:-1:c 4:-1:n 5:-1:v 6:-1:a 7:-1:e"},
        {{"-o", "out", "--jvm", "a", "--id", "7", "--jvm", "b", "--jvm", "c", "--id", "0", "--app",
          "d"},
         "1 out=out stub= list= 1:-1:a 1:7:b 1:-1:c 6:0:d"},
        {{"-o", "out", "--id", "2147483647", "--app", "d"}, "1 out=out stub= list= 6:2147483647:d"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args) {
            joined += arg + " ";
        }
        EXPECT_EQ(describe(parseQvpackArguments(c.args)), c.expected) << joined;
    }
}

TEST(QvpackCommandTest, RejectsBadCommandLines) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"--jvm", "a"}, "no output file given (-o OUT)"},
        {{"-o", "out", "--bogus"}, "unknown option --bogus"},
        {{"-o", "out", "stray"}, "unexpected argument stray (files are given with a file option)"},
        {{"-o"}, "option -o needs a value"},
        {{"-o", "out", "--jvm"}, "option --jvm needs a value"},
        {{"-o", "a", "-o", "b"}, "option -o is given twice"},
        {{"-o", "a", "--stub", ""}, "option --stub needs a non-empty value"},
        {{"-o", "out", "--id", "x", "--jvm", "a"},
         "--id needs a number from 0 to 2147483647, not \"x\""},
        {{"-o", "out", "--id", "-1", "--jvm", "a"},
         "--id needs a number from 0 to 2147483647, not \"-1\""},
        {{"-o", "out", "--id", "2147483648", "--jvm", "a"},
         "--id needs a number from 0 to 2147483647, not \"2147483648\""},
        {{"-o", "out", "--id", "1"}, "--id 1 is not followed by a file option"},
        {{"-o", "out", "--id", "1", "--id", "2", "--jvm", "a"},
         "--id 1 is not followed by a file option"},
        {{"list"}, "list takes exactly one launcher file"},
        {{"list", "a", "b"}, "list takes exactly one launcher file"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args) {
            joined += arg + " ";
        }
        try {
            parseQvpackArguments(c.args);
            ADD_FAILURE() << "accepted " << joined;
        } catch (const QvpackUsageError& e) {
            EXPECT_EQ(str(e.m_message), c.expected) << joined;
        }
    }
}

TEST(QvpackCommandTest, HelpNamesEveryOption) {
    std::ostringstream out;
    runQvpack(parseQvpackArguments({"--help"}), out);
    const char* const options[] = {"-o OUT",           "--stub STUB",   "--id N",
                                   "--instructions F", "--jvm F",       "--launch-script F",
                                   "--classpath F",    "--installer F", "--verify F",
                                   "--app F",          "--launcher F",  "qvpack list FILE"};
    for (const char* option : options) {
        EXPECT_NE(out.str().find(option), std::string::npos) << option;
    }
}

TEST(QvpackCommandTest, PacksAndListsExactly) {
    qvtest::TemporaryDirectory dir{"qvtest-input"};
    writeFile(dir / "stub", "0123456789");
    writeFile(dir / "start.tag", "A: 1\n");
    writeFile(dir / "app.jar", "PK");
    std::ostringstream packed;
    runQvpack(parseQvpackArguments({"-o", dir / "out", "--stub", dir / "stub", "--instructions",
                                    dir / "start.tag", "--id", "12", "--app", dir / "app.jar"}),
              packed);
    EXPECT_EQ(packed.str(), "");
    std::ostringstream listing;
    runQvpack(parseQvpackArguments({"list", dir / "out"}), listing);
    EXPECT_EQ(listing.str(),
              "POS  TYPE                   ID     LENGTH     OFFSET  NAME\n"
              "0    instructions            1          5         10  start.tag\n"
              "1    app                    12          2         15  app.jar\n");

    std::ostringstream plain;
    runQvpack(parseQvpackArguments({"list", dir / "stub"}), plain);
    EXPECT_EQ(plain.str(),
              "POS  TYPE                   ID     LENGTH     OFFSET  NAME\n"
              "(no embedded files)\n");
}

TEST(QvpackCommandTest, DefaultStubIsTheLauncherBesideTheTool) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    std::string expected(self, static_cast<size_t>(length));
    expected = expected.substr(0, expected.rfind('/') + 1) + "qvlauncher";
    EXPECT_EQ(str(defaultStubPath()), expected);
}

}  // namespace
