// Black-box tests of what a launcher tells a command-line user: a quiet console that leaves
// standard output to the application, progress rows ended before the application speaks, the
// "<PATH>" hint, a word about a JAVA_HOME or -qv:javahome that is not used, the message and
// exit status of a run without a JVM, a packed launcher that lost its payload, -qv:help and
// QV_LOG. Fake JVMs are shell scripts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "input/LauncherLayout.h"
#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class ConsoleE2ETest : public PackedLauncherTest {
protected:
    ConsoleE2ETest() : PackedLauncherTest("qvtest-console") {}

    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["QV_VERIFY_CACHE"] = "0";
        m_environment["PATH"] = "/usr/bin:/bin";
        m_environment.erase("JAVA_HOME");
        writeFile(path("launch.tag"),
                  "DESC: Fake app\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" "
                  "app\"\nDISPLAY_CONSOLE: 1\n");
    }

    RunResult run(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& environment = {}) const {
        Command launch = command(program, args);
        launch.removedVariables = {"JAVA_HOME", "QV_LOG"};
        for (const auto& setting : environment) {
            launch.environment[setting.first] = setting.second;
        }
        return runProgram(launch);
    }

    // A fake JVM home that reports java.version; started as "java app" it prints its home.
    std::string makeFakeJVM(const std::string& name, const std::string& version) const {
        std::string home = makeDirectory(name);
        makeDirectory(name + "/bin");
        writeFile(home + "/" + m_exe,
                  "#!/bin/sh\nif [ \"$1\" = app ]; then echo \"app in $JAVA_HOME\"; exit 0; fi\n"
                  "echo " +
                      std::string(kMagicLine) + "\necho " + version + "\n",
                  0755);
        return home;
    }

    std::string jvmFile(const std::vector<std::string>& hints) const {
        std::string text = "DESC: Fake JVM\nJVM_EXE: " + m_exe +
                           "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT:\n";
        for (const std::string& hint : hints) {
            text += hint + "\n";
        }
        writeFile(path("fake.jvm"), text + "/:\n");
        return path("fake.jvm");
    }

    std::string packScript(const std::string& name, const std::vector<std::string>& script,
                           const std::vector<std::string>& hints,
                           const std::string& tags = "") const {
        writeFile(path(name + ".tag"), readFile(writeInstructions(name + ".tag", script)) + tags);
        std::vector<std::string> args = {"-o",
                                         path(name),
                                         "--stub",
                                         kLauncher,
                                         "--instructions",
                                         path(name + ".tag"),
                                         "--jvm",
                                         jvmFile(hints),
                                         "--launch-script",
                                         path("launch.tag")};
        EXPECT_EQ(runProgram(command(kQvpack, args)).status, 0);
        return path(name);
    }

    std::string executable(const std::string& home) const { return home + "/" + m_exe; }
};

TEST_F(ConsoleE2ETest, QuietConsoleLeavesStandardOutputToTheApplication) {
    std::string good = makeFakeJVM("good", "1.8.0_42");
    const std::vector<std::string> script = {"INITIALIZE_UI", "FIND_JVM 1 1", "JMP0 @N1@ end",
                                             "LAUNCH @S2@ 0", ":end"};
    std::string quiet = packScript("quiet", script, {"#JAVA_HOME#"}, "QUIET: 1\n");
    std::string loud = packScript("loud", script, {"#JAVA_HOME#"});
    const std::string app = "app in " + good + "\n";
    const std::string noJvm = "No matching JVM was found.\n";
    const std::string missing = path("missing");
    const std::string unused = "qvlauncher: JAVA_HOME=" + missing +
                               " is not used: " + executable(missing) +
                               " does not exist; no JVM was found\n";
    struct Case {
        std::string launcher;
        std::string javaHome;
        int status;
        std::string out;  // a regular expression
        std::string err;  // its beginning
    } cases[] = {
        {quiet, good, 0, app, ""},
        {quiet, "", 1, "", noJvm + noJvm + "Required:\n"},
        // The row of dots is ended before the application's first line and the message.
        {loud, good, 0,
         "Fake app\n\nInitializing Fake app...\n\nSearching for Java\\(tm\\) Virtual "
         "Machine...\n\\.+\n" +
             app,
         ""},
        {loud, missing, 1,
         "Fake app\n\nInitializing Fake app...\n\nSearching for Java\\(tm\\) Virtual "
         "Machine...\n\\.+\n" +
             noJvm,
         unused + noJvm + "Required:\n"},
    };
    for (const Case& c : cases) {
        RunResult result = run(c.launcher, {}, {{"JAVA_HOME", c.javaHome}});
        EXPECT_EQ(result.status, c.status) << c.launcher << result.err;
        EXPECT_TRUE(std::regex_match(result.out, std::regex(c.out))) << c.launcher << result.out;
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err) << c.launcher << result.err;
    }
}

TEST_F(ConsoleE2ETest, PathHintTakesTheHomeOfTheJavaOnPath) {
    std::string jdk = makeFakeJVM("jdk", "1.8.0_42");
    std::string other = makeFakeJVM("other", "1.8.0_42");
    std::string name = m_exe.substr(4);
    // Links on PATH lead to the JDK's java; "plain" holds a java outside any bin directory.
    for (const char* dir : {"links", "plain", "noexec"}) {
        makeDirectory(dir);
    }
    ASSERT_EQ(symlink(executable(jdk).c_str(), path("links/" + name).c_str()), 0);
    ASSERT_EQ(symlink(executable(other).c_str(), path(name).c_str()), 0);
    writeFile(path("plain/" + name), "#!/bin/sh\n", 0755);
    writeFile(path("noexec/" + name), "#!/bin/sh\n", 0644);
    std::string launcher = packScript("app", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"}, {"<PATH>"});
    struct Case {
        std::string pathVariable;
        std::string home;  // empty: none found
    } cases[] = {
        {path("links") + ":/usr/bin", jdk},        {path("noexec") + ":" + path("links"), jdk},
        {"/usr/bin::" + path("links"), other},  // the empty entry is the current directory
        {path("plain") + ":" + path("links"), ""}, {"/usr/bin:/bin", ""},
    };
    for (const Case& c : cases) {
        RunResult result = run(launcher, {}, {{"PATH", c.pathVariable}});
        EXPECT_EQ(result.status, c.home.empty() ? 1 : 0) << c.pathVariable << result.err;
        EXPECT_EQ(result.out, c.home.empty() ? "Fake app\n" : "Fake app\napp in " + c.home + "\n")
            << c.pathVariable;
    }
}

TEST_F(ConsoleE2ETest, UnusedJavaHomeIsReportedWithTheJvmUsedInstead) {
    std::string good = makeFakeJVM("good", "1.8.0_42");
    std::string old = makeFakeJVM("old", "1.4.2");
    std::string missing = path("missing");
    std::string launcher =
        packScript("app", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"}, {"#JAVA_HOME#", good});
    struct Case {
        std::string javaHome;
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {missing,
         {},
         "qvlauncher: JAVA_HOME=" + missing + " is not used: " + executable(missing) +
             " does not exist; using " + good + "\n"},
        {old,
         {},
         "qvlauncher: JAVA_HOME=" + old + " is not used: " + executable(old) +
             ": java.version is 1.4.2, expected 1.8...; using " + good + "\n"},
        {"",
         {"-qv:javahome", missing},
         "qvlauncher: -qv:javahome " + missing + " is not used: " + executable(missing) +
             " does not exist; using " + good + "\n"},
        {good, {}, ""},
    };
    for (const Case& c : cases) {
        RunResult result = run(launcher, c.args, {{"JAVA_HOME", c.javaHome}});
        EXPECT_EQ(result.status, 0) << c.javaHome << result.err;
        EXPECT_EQ(result.err, c.err) << c.javaHome;
        EXPECT_EQ(result.out, "Fake app\napp in " + good + "\n") << c.javaHome;
    }
}

TEST_F(ConsoleE2ETest, RunWithoutAJvmFailsSayingWhatWhereAndHow) {
    std::string old = makeFakeJVM("old", "1.4.2");
    std::vector<std::string> hints = {"#JAVA_HOME#", old};
    std::string tried =
        "Tried:\n  " + executable(old) + " (fake.jvm): java.version is 1.4.2, expected 1.8...\n";
    for (int i = 0; i < 10; ++i) {
        hints.push_back(path("none" + std::to_string(i)));
        if (i < 9) {
            tried += "  " + executable(path("none" + std::to_string(i))) +
                     " (fake.jvm): the executable does not exist\n";
        }
    }
    const std::string message =
        "No matching JVM was found.\nRequired:\n  Fake JVM (fake.jvm): "
        "java.version=1.8...\n" +
        tried + "  ... and 1 more\n" + kFixWithJavaHome;
    const std::vector<std::vector<std::string>> scripts = {
        {"FIND_JVM 0 0", "JMP0 @N1@ end", "LAUNCH @S2@ 0", ":end"},
        {"FIND_JVM 0 0", "LAUNCH @S2@ 0"},
        {"FIND_JVM 0 0", "INSTALL_JVM 0"},  // a failing step after the search has its own say
    };
    for (size_t i = 0; i < scripts.size(); ++i) {
        RunResult result = run(packScript("app", scripts[i], hints), {});
        EXPECT_EQ(result.status, 1) << i;
        EXPECT_EQ(result.out, "Fake app\n") << i;
        EXPECT_EQ(result.err, i < 2 ? message : "No JVM installer was included in the launcher.\n")
            << i;
    }
    // VERIFY checks the -qv:javahome directory alone; file id 2 is the jvm file.
    std::string oldJava = executable(old) + ": java.version is 1.4.2, expected 1.8...";
    RunResult verify = run(packScript("app", {"VERIFY 0 0 2"}, hints), {"-qv:javahome", old});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(verify.err, "qvlauncher: -qv:javahome " + old + " is not used: " + oldJava +
                              "; no JVM was found\nNo matching JVM was found.\nRequired:\n  Fake "
                              "JVM (fake.jvm): java.version=1.8...\nTried:\n  " +
                              executable(old) +
                              " (fake.jvm): java.version is 1.4.2, expected 1.8...\nFix: run "
                              "with -qv:javahome DIR naming a matching JDK. For details, run "
                              "again with QV_LOG=- in the environment.\n");
    // No place at all: every hint came out empty.
    RunResult none = run(packScript("app", scripts[0], {"#JAVA_HOME#"}), {});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err,
              "No matching JVM was found.\nRequired:\n  Fake JVM (fake.jvm): "
              "java.version=1.8...\nTried: no place (every hint came out empty, and no "
              "jvm file allows the disk walk).\n" +
                  kFixWithJavaHome);
}

TEST_F(ConsoleE2ETest, PackedLauncherWithoutItsPayloadSaysSo) {
    std::string good = makeFakeJVM("good", "1.8.0_42");
    // The stub as qvpack leaves it in a launcher: the packed spelling of the marker over the
    // bare one, here without any payload.
    std::string bytes = readFile(kLauncher);
    const std::string bare = kStubMarkerBare;
    size_t marker = bytes.find(bare);
    ASSERT_NE(marker, std::string::npos);
    ASSERT_EQ(bytes.find(bare, marker + 1), std::string::npos);
    writeFile(path("stub"), bytes.replace(marker, bare.size(), kStubMarkerPacked), 0755);
    std::string launcher = packScript("app", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"}, {good});
    // Cut where the payload starts, as strip does.
    writeFile(path("cut"), readFile(launcher).substr(0, bytes.size()), 0755);
    struct Case {
        std::string program;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {launcher, 0, "Fake app\napp in " + good + "\n", ""},
        {path("cut"), 1, "", kPayloadLost},
        {path("stub"), 1, "", kPayloadLost},
        {kLauncher, 0, "\n", ""},  // the bare stub runs as a launcher without files
    };
    for (const Case& c : cases) {
        RunResult result = run(c.program, {});
        EXPECT_EQ(result.status, c.status) << c.program;
        EXPECT_EQ(result.out, c.out) << c.program;
        EXPECT_EQ(result.err, c.err) << c.program;
    }
    if (access("/usr/bin/strip", X_OK) == 0) {
        RunResult stripped = runProgram(command("/usr/bin/strip", {launcher}));
        ASSERT_EQ(stripped.status, 0) << stripped.err;
        EXPECT_EQ(run(launcher, {}).err, kPayloadLost);
    }
}

TEST_F(ConsoleE2ETest, HelpListsTheOptionsAndQvLogNamesTheLog) {
    std::string good = makeFakeJVM("good", "1.8.0_42");
    std::string launcher = packScript("app", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"}, {good});
    RunResult help = run(launcher, {"-qv:help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    std::vector<std::string> shown = lines(help.out);
    ASSERT_EQ(shown.size(), 11u) << help.out;
    const char* const options[] = {"log", "javahome", "javaconsole", "silent", "tempdir",
                                   "in",  "extract",  "version",     "orig",   "help"};
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(shown[i + 1].find(std::string("  -qv:") + options[i] + " "), 0u) << shown[i + 1];
    }

    RunResult toStandardError = run(launcher, {}, {{"QV_LOG", "-"}});
    EXPECT_EQ(toStandardError.out, "Fake app\napp in " + good + "\n");
    EXPECT_EQ(toStandardError.err.find("------------------\n"), 0u) << toStandardError.err;
    EXPECT_TRUE(contains(toStandardError.err, "\nMatching JVM home is " + good + "\n"));

    // The option wins over the variable.
    RunResult both = run(launcher, {"-qv:log", m_log}, {{"QV_LOG", path("other.log")}});
    EXPECT_EQ(both.err, "");
    EXPECT_TRUE(contains(readFile(m_log), "\nMatching JVM home is " + good + "\n"));
    EXPECT_FALSE(exists(path("other.log")));
    run(launcher, {}, {{"QV_LOG", path("other.log")}});
    EXPECT_TRUE(contains(readFile(path("other.log")), "\nMatching JVM home is " + good + "\n"));
}

}  // namespace
