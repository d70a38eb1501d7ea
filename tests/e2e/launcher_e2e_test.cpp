// Black-box tests of launchers made by qvpack from the built qvlauncher: the input-file actions
// and their standard output, instruction scripts that find, verify, install and launch, the
// embedded launcher, exit statuses, and the temporary files each run leaves behind. Every test
// runs in a fresh directory with its own TMPDIR; fake JVMs are shell scripts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class LauncherE2ETest : public PackedLauncherTest {
protected:
    LauncherE2ETest() : PackedLauncherTest("qvtest-launcher") {}

    // XDG_CACHE_HOME points at the test's own cache directory, so that no run answers a
    // verification from another test's or the user's verify cache.
    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["XDG_CACHE_HOME"] = path("cache");
    }

    // Runs program with args and the test's environment, changed by environment.
    RunResult run(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& environment = {}) const {
        Command launch = command(program, args);
        for (const auto& setting : environment) {
            launch.environment[setting.first] = setting.second;
        }
        return runProgram(launch);
    }

    // A fake JVM home whose java prints the magic line and javaVersion when verified. Started
    // as "java app ARGS...", it prints each argument as <arg> and exits with exitStatus.
    std::string makeFakeJVM(const std::string& name, const std::string& javaVersion,
                            int exitStatus = 0) const {
        std::string home = makeDirectory(name);
        std::string exe = home + "/" + m_exe;
        mkdir((home + "/bin").c_str(), 0755);
        writeFile(exe,
                  "#!/bin/sh\n"
                  "if [ \"$1\" = app ]; then\n"
                  "  shift\n"
                  "  for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n"
                  "  if [ -n \"$QV_MARKER\" ]; then\n"
                  "    sleep 2\n"
                  "    for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done > \"$QV_MARKER.part\"\n"
                  "    mv \"$QV_MARKER.part\" \"$QV_MARKER\"\n"
                  "  fi\n"
                  "  exit " +
                      std::to_string(exitStatus) +
                      "\n"
                      "fi\n"
                      "echo " +
                      kMagicLine + "\necho '" + javaVersion + "'\n",
                  0755);
        return home;
    }

    // A jvm file asking for java.version 1.8..., with path hints and optionally the disk walk.
    std::string writeJVMFile(const std::string& name, const std::vector<std::string>& hints,
                             bool searchAll = false) const {
        std::string text =
            "DESC: Fake JVM\nJVM_EXE: " + m_exe + "\nJVM_PROPERTIES: java.version=1.8...\n";
        if (!hints.empty()) {
            text += "PATH_HINT:\n";
            for (const std::string& hint : hints) {
                text += hint + "\n";
            }
            text += "/:\n";
        }
        text += std::string("SEARCH_ALL: ") + (searchAll ? "1" : "0") + "\n";
        writeFile(path(name), text);
        return path(name);
    }

    // A launch script running the fake java with "app" and the launcher's directory first.
    std::string writeLaunchScript(const std::string& name, bool displayConsole) const {
        writeFile(path(name),
                  std::string("DESC: Fake app\n") +
                      "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app %LAUNCHER_DIR%()\"\n" +
                      "DISPLAY_CONSOLE: " + (displayConsole ? "1" : "0") + "\n");
        return path(name);
    }

    std::string writeInputFile(const std::string& name, const std::string& tags) const {
        writeFile(path(name), "LOGFILE: " + m_log + "\n" + tags);
        return path(name);
    }
};

TEST_F(LauncherE2ETest, SearchWithoutMatchPrintsZeroAlone) {
    std::string launcher =
        pack("app", {{"--jvm", writeJVMFile("none.jvm", {path("nothing-here")})},
                     {"--launch-script", writeLaunchScript("launch.tag", true)}});
    std::string input = writeInputFile("in.tag", "ACTION: SEARCH\n");

    RunResult result = run(launcher, {"-qv:in", input});
    EXPECT_EQ(result.status, 0) << result.err;
    // The launch script's title stays off standard output: the result is all there is.
    EXPECT_EQ(result.out, "0\n");
    EXPECT_TRUE(contains(readFile(m_log), "No matching JVM was found.")) << readFile(m_log);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, SearchPrintsHomeAndAJvmFileThatOutlivesTheRun) {
    std::string wrong = makeFakeJVM("wrong", "11.0.2");
    std::string home = makeFakeJVM("good", "1.8.0_42");
    std::string input = writeInputFile(
        "in.tag", "ACTION: SEARCH\nJVM: " + writeJVMFile("fake.jvm", {wrong, home}) + "\n");

    RunResult result = run(kLauncher, {"-qv:in", input});
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> output = lines(result.out);
    ASSERT_EQ(output.size(), 3u) << result.out;
    EXPECT_EQ(output[0], "1");
    EXPECT_EQ(output[1], home);
    const std::string& jvmFile = output[2];
    ASSERT_EQ(jvmFile.rfind(m_tmp + "/qvj", 0), 0u) << jvmFile;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{jvmFile.substr(m_tmp.size() + 1)});
    std::string written = readFile(jvmFile);
    EXPECT_TRUE(contains(written, "JVM_HOME:  " + home + "\n")) << written;
    EXPECT_TRUE(contains(written, "JVM_FILE:  " + jvmFile + "\n")) << written;
    EXPECT_TRUE(contains(written, "JVM_TEMP:  0\n")) << written;
    EXPECT_TRUE(contains(written, "JVM_EXE:  " + m_exe + "\n")) << written;
}

TEST_F(LauncherE2ETest, SearchAllPrintsTheCountThenTwoLinesPerMatch) {
    std::string first = makeFakeJVM("one", "1.8.0_1");
    std::string second = makeFakeJVM("two", "1.8.0_2");
    makeFakeJVM("old", "1.4.2");
    std::string input = writeInputFile(
        "in.tag", "ACTION: SEARCH_ALL\nJVM: " + writeJVMFile("fake.jvm", {}, true) + "\n");

    RunResult result = run(kLauncher, {"-qv:in", input});
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> output = lines(result.out);
    ASSERT_EQ(output.size(), 5u) << result.out;
    EXPECT_EQ(output[0], "2");
    std::vector<std::string> homes = {output[1], output[3]};
    std::sort(homes.begin(), homes.end());
    EXPECT_EQ(homes, (std::vector<std::string>{first, second}));
    for (size_t i = 1; i < output.size(); i += 2) {
        std::string written = readFile(output[i + 1]);
        EXPECT_TRUE(contains(written, "JVM_HOME:  " + output[i] + "\n")) << written;
    }
    std::vector<std::string> reported = {output[2].substr(m_tmp.size() + 1),
                                         output[4].substr(m_tmp.size() + 1)};
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(leftInTemp(), reported);
}

// A home whose name holds a line break verifies, but no jvm file can describe it: writing the
// jvm file for that match fails.
TEST_F(LauncherE2ETest, SearchesThatFailWhileWritingAJvmFileReportNoMatch) {
    makeFakeJVM("one", "1.8.0_1");
    std::string unwritable = makeFakeJVM("line\nbreak", "1.8.0_2");
    std::string jvmFile = writeJVMFile("fake.jvm", {}, true);

    // SEARCH: the failure is logged and nothing is printed.
    std::string search = writeInputFile("search.tag", "ACTION: SEARCH\nJVM: " + jvmFile + "\n");
    RunResult searched = run(kLauncher, {"-qv:javahome", unwritable, "-qv:in", search});
    EXPECT_EQ(searched.status, 0) << searched.err;
    EXPECT_EQ(searched.out, "");
    EXPECT_TRUE(contains(readFile(m_log), "ERROR: No matching JVM was found. Unable to write"))
        << readFile(m_log);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});

    // SEARCH_ALL: whatever was found before the failure, the answer is a complete "0".
    std::string searchAll = writeInputFile("all.tag", "ACTION: SEARCH_ALL\nJVM: " + jvmFile + "\n");
    RunResult all = run(kLauncher, {"-qv:in", searchAll});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, "0\n");
    EXPECT_TRUE(contains(readFile(m_log), "ERROR: Unable to search for all JVMs.Unable to write"))
        << readFile(m_log);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// A calling program whose standard output cannot take the answer (here a full device) must
// not read a missing answer as a complete one: the launcher fails, and the jvm files it would
// have handed over are removed with the rest of its temporary files.
TEST_F(LauncherE2ETest, AnswersThatCannotBeWrittenFailTheRun) {
    std::string home = makeFakeJVM("good", "1.8.0_42");
    std::string jvmFile = writeJVMFile("fake.jvm", {home}, true);
    for (const char* action : {"SEARCH", "SEARCH_ALL"}) {
        std::remove(m_log.c_str());
        std::string input =
            writeInputFile("in.tag", std::string("ACTION: ") + action + "\nJVM: " + jvmFile + "\n");
        RunResult result =
            run("/bin/sh", {"-c", "exec \"$0\" \"$@\" >/dev/full", kLauncher, "-qv:in", input});
        EXPECT_EQ(result.status, 1) << action << ": " << result.err;
        EXPECT_TRUE(
            contains(readFile(m_log), "ERROR: Unable to write the result to standard output: "))
            << action << ": " << readFile(m_log);
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{}) << action;
    }
}

TEST_F(LauncherE2ETest, VerifyJvmPrintsOneOrZero) {
    std::string good = makeFakeJVM("good", "1.8.0_42");
    std::string old = makeFakeJVM("old", "1.4.2");
    std::string jvmFile = writeJVMFile("fake.jvm", {});
    struct Case {
        std::string home;
        std::string expected;
    } cases[] = {{good, "1\n"}, {old, "0\n"}, {path("missing"), "0\n"}};
    for (const Case& c : cases) {
        std::string input =
            writeInputFile("in.tag", "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + jvmFile +
                                         "\nVERIFY_JVM_HOME: " + c.home + "\n");
        RunResult result = run(kLauncher, {"-qv:in", input});
        EXPECT_EQ(result.status, 0) << c.home << result.err;
        EXPECT_EQ(result.out, c.expected) << c.home;
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{}) << c.home;
    }
    EXPECT_TRUE(contains(readFile(m_log), "In VERIFY, the jvm is invalid.")) << readFile(m_log);
}

TEST_F(LauncherE2ETest, InstallJvmRunsTheInstallerAndPrintsItsJvmFile) {
    // A blank in the installer's path stays part of the path.
    std::string installer = path("my installer.sh");
    writeFile(installer, "#!/bin/sh\nprintf 'DESC: Installed\\nJVM_EXE: bin/java\\n' > jvm\n",
              0755);
    std::string destination = makeDirectory("dest");
    std::string input =
        writeInputFile("in.tag", "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: " + installer +
                                     "\nINSTALL_JVM_DEST: " + destination + "\n");

    RunResult result = run(kLauncher, {"-qv:in", input});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, destination + "/jvm\n");
    EXPECT_EQ(readFile(destination + "/jvm"),
              "DESC:  Installed\nJVM_EXE:  bin/java\nJVM_HOME:  " + destination +
                  "\nJVM_FILE:  " + destination + "/jvm\nJVM_TEMP:  0\n");
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});

    // Relative paths are taken from where the launcher was started, not from the destination.
    std::string relativeInput = writeInputFile(
        "rel.tag",
        "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: my installer.sh\nINSTALL_JVM_DEST: rel\n");
    makeDirectory("rel");
    RunResult relative = run(kLauncher, {"-qv:in", relativeInput});
    EXPECT_EQ(relative.status, 0) << relative.err;
    EXPECT_EQ(relative.out, path("rel") + "/jvm\n");
}

TEST_F(LauncherE2ETest, FindJvmThenLaunchPassesArgumentsUnchanged) {
    std::string home = makeFakeJVM("good", "1.8.0_42", 7);
    std::string launcher =
        pack("app",
             {{"--instructions",
               writeInstructions("run.tag", {"FIND_JVM 0 0", "JMP0 @N1@ fail", "LAUNCH @S2@ 0",
                                             "GOTO end", ":fail", "LAUNCH missing.jvm 0", ":end"})},
              {"--jvm", writeJVMFile("fake.jvm", {home})},
              {"--launch-script", writeLaunchScript("launch.tag", true)}});
    const std::vector<std::string> arguments = {"two words", "say \"hi\"", "$HOME", "back\\slash",
                                                "`id`"};

    RunResult result = run(launcher, arguments);
    // The application's exit status is the launcher's.
    EXPECT_EQ(result.status, 7) << result.err;
    std::string expected = "<" + m_dir + ">\n";
    for (const std::string& argument : arguments) {
        expected += "<" + argument + ">\n";
    }
    EXPECT_TRUE(contains(result.out, expected)) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// Relative -qv:javahome, -qv:tempdir and TMPDIR name places from where the user started the
// launcher; the verification and the application run in the launcher's directory, elsewhere,
// and still get the same places.
TEST_F(LauncherE2ETest, RelativePathsKeepTheirMeaningInTheLaunchersDirectory) {
    makeFakeJVM("good", "1.8.0_42");
    std::string user = makeDirectory("user");
    makeDirectory("user/reltmp");
    makeDirectory("user/cfgtmp");
    makeDirectory("deep");
    makeDirectory("deep/app");
    writeFile(path("launch.tag"),
              "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app \"\"@JVM_FILE@\"\" "
              "\"\"%TEMP_DIR%()\"\"\"\n"
              "DISPLAY_CONSOLE: 1\n");
    std::string launcher =
        pack("deep/app/launcher",
             {{"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
              {"--jvm", writeJVMFile("fake.jvm", {})},
              {"--launch-script", path("launch.tag")}});

    Command launch = command(launcher, {"-qv:javahome", "../good", "-qv:tempdir", "cfgtmp"});
    launch.directory = user;
    launch.environment["TMPDIR"] = "reltmp";
    RunResult result = runProgram(launch);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_TRUE(contains(result.out, "<" + user + "/reltmp/qvj")) << result.out;
    EXPECT_TRUE(contains(result.out, "<" + user + "/cfgtmp>\n")) << result.out;
    EXPECT_EQ(listDirectory(user + "/reltmp"), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, InputFileScriptsRunInsteadOfTheEmbeddedOnes) {
    std::string home = makeFakeJVM("good", "1.8.0_42", 4);
    std::string launcher = pack(
        "app", {{"--instructions", writeInstructions("embedded.tag", {"LAUNCH embedded.jvm 0"})},
                {"--launch-script", writeLaunchScript("embedded.launch", false)}});
    std::string input = writeInputFile(
        "in.tag", "ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: " +
                      writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"}) +
                      "\nLAUNCHSCRIPT: " + writeLaunchScript("launch.tag", true) +
                      "\nJVM: " + writeJVMFile("fake.jvm", {home}) + "\n");

    RunResult result = run(launcher, {"-qv:in", input, "after"});
    EXPECT_EQ(result.status, 4) << result.out << result.err;
    // The input file's launch script shows the output; the embedded one would capture it.
    EXPECT_TRUE(contains(result.out, "<" + m_dir + ">\n<after>\n")) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, FailureReportedByTheLauncherExitsWithOne) {
    std::string launcher =
        pack("app", {{"--instructions", writeInstructions("run.tag", {"LAUNCH missing.jvm 0"})},
                     {"--launch-script", writeLaunchScript("launch.tag", true)}});

    RunResult result = run(launcher, {"-qv:log", m_log});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "Unable to load input file: missing.jvm")) << result.err;
    EXPECT_TRUE(contains(readFile(m_log), "ERROR: Unable to load input file: missing.jvm"));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, JavaConsoleOptionStopsTheCapture) {
    std::string home = makeFakeJVM("good", "1.8.0_42");
    std::string launcher = pack(
        "app", {{"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
                {"--jvm", writeJVMFile("fake.jvm", {home})},
                {"--launch-script", writeLaunchScript("launch.tag", false)}});

    RunResult captured = run(launcher, {"-qv:log", m_log, "captured"});
    EXPECT_EQ(captured.status, 0) << captured.err;
    EXPECT_FALSE(contains(captured.out, "<captured>")) << captured.out;
    EXPECT_TRUE(contains(readFile(m_log), "<captured>")) << readFile(m_log);

    std::remove(m_log.c_str());
    RunResult shown = run(launcher, {"-qv:log", m_log, "-qv:javaconsole", "shown"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_TRUE(contains(shown.out, "<shown>")) << shown.out;
    EXPECT_FALSE(contains(readFile(m_log), "<shown>")) << readFile(m_log);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, VerifyThenIlaunchUseTheEmbeddedJvmFile) {
    std::string old = makeFakeJVM("old", "1.4.2");
    std::string home = makeFakeJVM("good", "1.8.0_42", 3);
    // File ids follow the packing order: the jvm file is 2.
    std::string launcher = pack(
        "app",
        {{"--instructions",
          writeInstructions("run.tag", {"VERIFY 0 0 2", "JMP0 @N1@ invalid", "ILAUNCH 2 0",
                                        "GOTO end", ":invalid", "LAUNCH invalid.jvm 0", ":end"})},
         {"--jvm", writeJVMFile("fake.jvm", {})},
         {"--launch-script", writeLaunchScript("launch.tag", true)}});

    RunResult valid = run(launcher, {"-qv:javahome", home, "-qv:log", m_log, "arg"});
    EXPECT_EQ(valid.status, 3) << valid.out << valid.err;
    EXPECT_TRUE(contains(valid.out, "<arg>\n")) << valid.out;
    EXPECT_TRUE(contains(readFile(m_log), "After VERIFY, the jvm home is " + home));

    RunResult invalid = run(launcher, {"-qv:javahome", old});
    EXPECT_EQ(invalid.status, 1);
    EXPECT_TRUE(contains(invalid.err, "Unable to load input file: invalid.jvm")) << invalid.err;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, ScriptActionsOnTheWrongEmbeddedFile) {
    // Ids: 1 the instructions, 2 the launch script. Positions count from 0 in the same order.
    struct Case {
        std::string line;
        int status;
        std::string reported;  // in the log; shown too when the run fails
    } cases[] = {
        {"VERIFY 0 0 2", 1,
         "To verify a JVM, use an index of a jvm file. The index passed in was 2 which "
         "corresponds to the file named launch.tag"},
        {"VERIFY 0 0 9", 1, "Cannot verify jvm file at index 9 because it does not exist."},
        {"ILAUNCH 2 0", 0,
         "ERROR: Unable to launch the internal launch script with the internal JVM file. Either "
         "the launch script or the JVM file is missing from the launcher."},
        {"EXECUTE_LAUNCHER 1", 0, "ERROR: Unable to execute the embedded launcher."},
        {"INSTALL_JVM 0", 1, "No JVM installer was included in the launcher."},
    };
    for (const Case& c : cases) {
        std::string launcher =
            pack("app", {{"--instructions", writeInstructions("run.tag", {c.line})},
                         {"--launch-script", writeLaunchScript("launch.tag", true)}});
        std::remove(m_log.c_str());
        RunResult result = run(launcher, {"-qv:log", m_log});
        EXPECT_EQ(result.status, c.status) << c.line << result.out;
        EXPECT_TRUE(contains(readFile(m_log), c.reported)) << c.line << readFile(m_log);
        EXPECT_EQ(contains(result.err, c.reported), c.status != 0) << c.line << result.err;
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{}) << c.line;
    }
}

TEST_F(LauncherE2ETest, InstallJvmFromTheLauncherAndLaunchWithIt) {
    // The installer copies a fake JVM into its destination and describes it in "jvm".
    std::string source = makeFakeJVM("source", "1.8.0_42", 5);
    writeFile(path("install.sh"),
              "#!/bin/sh\ncp -R '" + source + "/bin' .\nprintf 'JVM_EXE: " + m_exe + "\\n' > jvm\n",
              0755);
    std::string launcher = pack(
        "app", {{"--instructions", writeInstructions("run.tag", {"INSTALL_JVM 0", "JMP0 @N1@ end",
                                                                 "LAUNCH @S1@ 0", ":end"})},
                {"--installer", path("install.sh")},
                {"--launch-script", writeLaunchScript("launch.tag", true)}});

    RunResult result = run(launcher, {"-qv:log", m_log, "x"});
    EXPECT_EQ(result.status, 5) << result.out << result.err;
    EXPECT_TRUE(contains(result.out, "<x>\n")) << result.out;
    // Installed into a temporary directory, which goes at exit with the JVM in it.
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, EmbeddedLauncherRunsInTheBackgroundAndRemovesItself) {
    std::string home = makeFakeJVM("good", "1.8.0_42");
    std::string inner =
        pack("inner.bin",
             {{"--instructions", writeInstructions("inner.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
              {"--jvm", writeJVMFile("fake.jvm", {home})},
              {"--launch-script", writeLaunchScript("launch.tag", true)}});
    std::string outer =
        pack("outer", {{"--instructions", writeInstructions("outer.tag", {"EXECUTE_LAUNCHER 1"})},
                       {"--launcher", inner}});
    std::string marker = path("marker");
    const std::vector<std::string> arguments = {"two words", "say \"hi\"", "$HOME", "`id`"};

    RunResult result = run(outer, arguments, {{"QV_MARKER", marker}});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    // The outer launcher is done while the inner one still runs, from a directory of its own.
    EXPECT_FALSE(exists(marker));
    // Its directory is there; the inner launcher may already have made temporary files of its
    // own beside it, so only the presence of a directory holding it is certain.
    std::vector<std::string> left = leftInTemp();
    ASSERT_GE(left.size(), 1u);
    EXPECT_TRUE(std::any_of(left.begin(), left.end(), [&](const std::string& name) {
        return name.rfind("qvj", 0) == 0 && exists(m_tmp + "/" + name + "/inner.bin");
    })) << left[0];

    ASSERT_TRUE(eventually([&] { return exists(marker); }));
    // The inner launcher works from the outer one's directory and gets its arguments.
    std::string expected = "<" + m_dir + ">\n";
    for (const std::string& argument : arguments) {
        expected += "<" + argument + ">\n";
    }
    EXPECT_EQ(readFile(marker), expected);
    EXPECT_TRUE(eventually([&] { return leftInTemp().empty(); }));
    EXPECT_TRUE(exists(outer));
}

#ifdef QV_DEMO_LAUNCHER

const std::string kDemoLauncher = QV_DEMO_LAUNCHER;

TEST_F(LauncherE2ETest, DemoFindsTheMachinesJdkAndPassesArgumentsIntact) {
    const std::vector<std::string> arguments = {"two words", "say \"hi\"", "$HOME", "back\\slash"};
    std::vector<std::string> args = {"-qv:log", m_log};
    args.insert(args.end(), arguments.begin(), arguments.end());

    // The cache is on here (the suite turns it off elsewhere) to see where its answer goes.
    RunResult result = run(kDemoLauncher, args, {{"QV_VERIFY_CACHE", "1"}});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    std::string log = readFile(m_log);
    EXPECT_TRUE(contains(log, "Checking path hint /usr/lib/jvm/")) << log;
    // The real verify class ran and reported the magic line, and its answer went to this
    // test's verify cache, not to the user's, where a later run would find it.
    EXPECT_TRUE(contains(log, std::string("StdOut:\n") + kMagicLine + "\n")) << log;
    EXPECT_TRUE(exists(path("cache/qvlauncher/verify-cache")));
    EXPECT_TRUE(contains(log, "Matching JVM home is /usr/lib/jvm/")) << log;
    EXPECT_TRUE(contains(result.out, "Hello from a qvlauncher launcher!\njava.version: "))
        << result.out;
    std::string expected = "arguments: 4\n";
    for (size_t i = 0; i < arguments.size(); ++i) {
        expected += "  [" + std::to_string(i) + "] <" + arguments[i] + ">\n";
    }
    EXPECT_TRUE(contains(result.out, expected)) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(LauncherE2ETest, DemoFallsBackToTheHintsWhenTheJavaHomeFailsVerification) {
    // A java that runs but does not know the verify class.
    std::string fake = makeDirectory("broken");
    makeDirectory("broken/bin");
    writeFile(fake + "/bin/java", "#!/bin/sh\necho 'Error: Could not find or load main class'\n",
              0755);
    RunResult result = run(kDemoLauncher, {"-qv:javahome", fake, "-qv:log", m_log});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    std::string log = readFile(m_log);
    EXPECT_TRUE(contains(log, "Checking user specified Java home directory => " + fake)) << log;
    EXPECT_TRUE(contains(log, "Invalid magic value: ")) << log;
    EXPECT_TRUE(contains(log, "Matching JVM home is /usr/lib/jvm/")) << log;
    EXPECT_TRUE(contains(result.out, "java.version: ")) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

#endif  // QV_DEMO_LAUNCHER

}  // namespace

namespace {

TEST_F(LauncherE2ETest, JavaHomeHintAndVersionRangeChooseTheJvm) {
    std::string home = makeFakeJVM("jh", "17.0.15");
    auto jvmFile = [&](const std::string& name, const std::string& range) {
        writeFile(path(name),
                  "DESC: Ranged\nJVM_EXE: " + m_exe +
                      "\nPATH_HINT: #JAVA_HOME#\nJVM_PROPERTIES: java.version=" + range + "\n");
        return path(name);
    };
    std::string accepting = jvmFile("accept.jvm", "[11,)");
    RunResult found = run(
        kLauncher, {"-qv:in", writeInputFile("in.tag", "ACTION: SEARCH\nJVM: " + accepting + "\n")},
        {{"JAVA_HOME", home}});
    std::vector<std::string> output = lines(found.out);
    ASSERT_EQ(output.size(), 3u) << found.out << readFile(m_log);
    EXPECT_EQ(output[1], home);

    std::string excluding = jvmFile("exclude.jvm", "(11,17)");
    RunResult none =
        run(kLauncher,
            {"-qv:in", writeInputFile("in2.tag", "ACTION: SEARCH\nJVM: " + excluding + "\n")},
            {{"JAVA_HOME", home}});
    EXPECT_EQ(none.out, "0\n");
    EXPECT_TRUE(contains(readFile(m_log), "WARNING: No matching JVM was found. Places tried:\n  " +
                                              home + "/" + m_exe + " (" + excluding +
                                              "): java.version is 17.0.15, expected (11,17)\n"))
        << readFile(m_log);

    // Without JAVA_HOME the hint names no place at all.
    RunResult unset =
        run(kLauncher,
            {"-qv:in", writeInputFile("in3.tag", "ACTION: SEARCH\nJVM: " + accepting + "\n")},
            {{"JAVA_HOME", ""}});
    EXPECT_EQ(unset.out, "0\n");
    EXPECT_TRUE(contains(readFile(m_log), "No matching JVM was found. No place was tried.\n"))
        << readFile(m_log);
}

}  // namespace
