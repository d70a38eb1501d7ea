// Black-box tests of one-command packing: a small application of three jars, built once for the
// suite with the JDK that built verify.jar, packed by "qvpack --main-jar" (from the build tree
// and from an installed copy) and run on that JDK.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

#ifdef QV_JDK_HOME

const std::string kJdkHome = QV_JDK_HOME;

// app.Main writes what it received into the file named by the property qv.report, then exits
// with the status given by the property qv.status. It needs util.jar (named by the manifest's
// Class-Path) and extra.jar (given with --lib).
const char kMainSource[] =
    "package app;\n"
    "public class Main {\n"
    "  public static void main(String[] args) throws Exception {\n"
    "    StringBuilder out = new StringBuilder(util.Util.NAME + \" \" + extra.Extra.NAME + "
    "\"\\n\");\n"
    "    for (String p : new String[] {\"qv.opt\", \"qv.env\", \"qv.a\", \"qv.b\"})\n"
    "      out.append(p).append(\"=<\").append(System.getProperty(p)).append(\">\\n\");\n"
    "    for (String a : args) out.append(\"arg=<\").append(a).append(\">\\n\");\n"
    "    java.nio.file.Files.write(java.nio.file.Paths.get(System.getProperty(\"qv.report\")),\n"
    "        out.toString().getBytes(\"UTF-8\"));\n"
    "    System.exit(Integer.getInteger(\"qv.status\", 0));\n"
    "  }\n"
    "}\n";

// The java option that must arrive unchanged: shell, quote and template syntax.
const char kOddOption[] = "-Dqv.opt=$HOME \"q\" 'x' 50% a@b #c# `id`";

class MainJarE2ETest : public PackedLauncherTest {
protected:
    MainJarE2ETest() : PackedLauncherTest("qvtest-mainjar") {}

    // Builds <app>/dist/app.jar (manifest Main-Class and Class-Path lib/util.jar),
    // <app>/dist/lib/util.jar and <app>/libdir/extra.jar, once for the suite.
    static void SetUpTestSuite() {
        s_app.reset(new TemporaryDirectory("qvtest-mainjar-app"));
        const std::string app = s_app->path();
        writeFile(app + "/Main.java", kMainSource);
        writeFile(app + "/Util.java",
                  "package util; public class Util { public static final "
                  "String NAME = \"util\"; }\n");
        writeFile(app + "/Extra.java",
                  "package extra; public class Extra { public static final "
                  "String NAME = \"extra\"; }\n");
        writeFile(app + "/manifest.txt", "Main-Class: app.Main\nClass-Path: lib/util.jar\n");
        Command build;
        build.program = "/bin/sh";
        build.args = {"-c", "set -e; J=" + kJdkHome +
                                "/bin; mkdir -p dist/lib libdir; echo x > libdir/notes.txt\n"
                                "$J/javac --release 11 -d classes *.java\n"
                                "$J/jar --create --file dist/app.jar --manifest manifest.txt -C "
                                "classes app\n"
                                "$J/jar --create --file dist/lib/util.jar -C classes util\n"
                                "$J/jar --create --file libdir/extra.jar -C classes extra\n"};
        build.directory = build.captureDirectory = app;
        RunResult built = runProgram(build);
        s_buildError = built.status == 0 ? "" : built.out + built.err;
    }

    static void TearDownTestSuite() { s_app.reset(); }

    void SetUp() override {
        PackedLauncherTest::SetUp();
        ASSERT_EQ(s_buildError, "");
        m_environment["JAVA_HOME"] = kJdkHome;
        m_environment["QV_VERIFY_CACHE"] = "0";
        m_environment["JAVA_OPTS"] = " -Dqv.a=1 \t -Dqv.b=2 ";
        // One word, which the shell must neither split nor run.
        m_environment["MY_TOOL_OPTS"] = "-Dqv.status=7 -Dqv.env=$(touch${IFS}pwned);*'q'\"d\"";
    }

    // The qvpack command that packs the application as <dir>/my-tool.bin.
    std::vector<std::string> packArguments() const {
        const std::string app = s_app->path();
        return {"-o",
                path("my-tool.bin"),
                "--main-jar",
                app + "/dist/app.jar",
                "--lib",
                app + "/libdir",
                "--java-option",
                kOddOption,
                "--java-option",
                "-Dqv.report=" + path("report.txt")};
    }

    // Runs the launcher with arguments that must arrive unchanged; checks the report and the
    // exit status the application chose.
    void expectTheApplicationRuns(const std::string& launcher) const {
        RunResult result = runProgram(command(launcher, {"two words", "$HOME", "", "*", "x\"y'z"}));
        EXPECT_EQ(result.status, 7) << result.out << result.err;
        EXPECT_EQ(readFile(path("report.txt")),
                  "util extra\n"
                  "qv.opt=<$HOME \"q\" 'x' 50% a@b #c# `id`>\n"
                  "qv.env=<$(touch${IFS}pwned);*'q'\"d\">\n"
                  "qv.a=<1>\n"
                  "qv.b=<2>\n"
                  "arg=<two words>\n"
                  "arg=<$HOME>\n"
                  "arg=<>\n"
                  "arg=<*>\n"
                  "arg=<x\"y'z>\n")
            << result.out << result.err;
        EXPECT_FALSE(exists(path("pwned")));
    }

    static std::unique_ptr<TemporaryDirectory> s_app;
    static std::string s_buildError;
};

std::unique_ptr<TemporaryDirectory> MainJarE2ETest::s_app;
std::string MainJarE2ETest::s_buildError;

// One command packs the application with its jars, the generated tag files and the verify
// archive; --write-config writes those tag files exactly as embedded.
TEST_F(MainJarE2ETest, OneCommandPacksTheApplicationAndItsConfiguration) {
    std::vector<std::string> args = packArguments();
    args.insert(args.end(), {"--write-config", path("config")});
    RunResult packed = runProgram(command(kQvpack, args));
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.out + packed.err, "");

    RunResult listed = runProgram(command(kQvpack, {"list", path("my-tool.bin")}));
    std::string kinds;
    for (const std::string& row : lines(listed.out)) {
        kinds += row.substr(5, 15) + row.substr(row.rfind(' ') + 1) + "\n";
    }
    EXPECT_EQ(kinds,
              "TYPE           NAME\n"
              "instructions   my-tool.instructions\n"
              "jvm            my-tool.jvm\n"
              "launch-script  my-tool.launch\n"
              "verify         verify.jar\n"
              "classpath      app.jar\n"
              "classpath      util.jar\n"
              "classpath      extra.jar\n");

    const std::string extracted = makeDirectory("extracted");
    Command extract = command(path("my-tool.bin"), {"-qv:extract"});
    extract.directory = extracted;
    ASSERT_EQ(runProgram(extract).status, 0);
    const std::vector<std::string> written = {"my-tool.instructions", "my-tool.jvm",
                                              "my-tool.launch"};
    EXPECT_EQ(listDirectory(path("config")), written);
    for (const std::string& name : written) {
        EXPECT_EQ(readFile(path("config/" + name)), readFile(extracted + "/" + name)) << name;
    }
    EXPECT_FALSE(contains(readFile(kLauncher), ".debug_info")) << "the stub carries debug info";

    expectTheApplicationRuns(path("my-tool.bin"));
}

// The guide shows the tag files written for the application (compiled for Java 11) packed
// with one plain java option; the Java homes named after a version end in this machine's
// architecture.
TEST_F(MainJarE2ETest, WrittenConfigurationIsTheGuides) {
    RunResult packed = runProgram(
        command(kQvpack, {"-o", path("my-tool.bin"), "--main-jar", s_app->path() + "/dist/app.jar",
                          "--java-option", "-Xmx512m", "--write-config", path("config")}));
    ASSERT_EQ(packed.status, 0) << packed.err;
    const std::regex arch("-openjdk-[a-z0-9]+\n");
    for (const char* name : {"my-tool.instructions", "my-tool.jvm", "my-tool.launch"}) {
        EXPECT_EQ(std::regex_replace(readFile(path("config/") + name), arch, "-openjdk-amd64\n"),
                  readFile(std::string(QV_SOURCE_DIR) + "/docs/examples/mainjar/" + name))
            << name;
    }
}

// An installed qvpack finds its stub and verify archive below its prefix.
TEST_F(MainJarE2ETest, InstalledQvpackNeedsNoStubOrVerifyArchive) {
    RunResult found = runProgram(command("/bin/sh", {"-c", "command -v cmake"}));
    if (found.status != 0) {
        GTEST_SKIP() << "cmake is not on PATH";
    }
    const std::string prefix = path("prefix");
    RunResult installed = runProgram(
        command(lines(found.out).at(0), {"--install", QV_BUILD_DIR, "--prefix", prefix}));
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
    for (const char* file :
         {"bin/qvpack", "lib/qvlauncher/qvlauncher", "lib/qvlauncher/verify.jar",
          "share/doc/qvlauncher/guide.md", "share/doc/qvlauncher/architecture.md"}) {
        EXPECT_TRUE(exists(prefix + "/" + file)) << file;
    }
    RunResult packed = runProgram(command(prefix + "/bin/qvpack", packArguments()));
    ASSERT_EQ(packed.status, 0) << packed.err;
    // The run needs the verify archive: without it no JVM passes the check.
    expectTheApplicationRuns(path("my-tool.bin"));
}

#endif  // QV_JDK_HOME

}  // namespace
