// Black-box tests of the launcher under hostile or heavy conditions: a temporary directory
// where another user planted links and swaps our files, a SIGTERM while the application runs,
// and inputs of a mebibyte or 100,000 lines, with the launcher's peak memory measured. Every
// test runs in a fresh directory with its own TMPDIR; fake JVMs are shell scripts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

// The peak resident memory allowed to one launcher run, in KiB.
const long kMemoryLimitKiB = 64 * 1024;
const size_t kMiB = 1024 * 1024;

std::string linkTarget(const std::string& path) {
    char target[4096];
    ssize_t length = readlink(path.c_str(), target, sizeof target);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

class HardeningE2ETest : public PackedLauncherTest {
protected:
    HardeningE2ETest() : PackedLauncherTest("qvtest-hardening") {}

    // The verify cache is off: every run verifies afresh.
    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["QV_VERIFY_CACHE"] = "0";
        // The launcher stays the application's parent: these tests watch what it does then.
        m_environment["QV_EXEC_IN_PLACE"] = "0";
    }

    // Starts program with args in the test directory with the test's environment.
    ChildProcess start(const std::string& program, const std::vector<std::string>& args) const {
        return ChildProcess(command(program, args));
    }

    RunResult run(const std::string& program, const std::vector<std::string>& args) const {
        return start(program, args).wait();
    }

    // A fake JVM home whose java answers the verify class with the magic line and java.version
    // 1.8.0_42. Started as "java app ARGS...", it runs the shell text application with the
    // arguments in "$@".
    std::string makeFakeJVM(const std::string& name, const std::string& application) const {
        std::string home = makeDirectory(name);
        mkdir((home + "/bin").c_str(), 0755);
        writeFile(home + "/" + m_exe,
                  "#!/bin/sh\n"
                  "if [ \"$1\" = app ]; then\n"
                  "  shift\n" +
                      application +
                      "\n"
                      "  exit 0\n"
                      "fi\n"
                      "echo " +
                      kMagicLine + "\necho 1.8.0_42\n",
                  0755);
        return home;
    }

    std::string writeJVMFile(const std::string& name, const std::string& home,
                             const std::string& extraTags = "") const {
        writeFile(path(name), "DESC: Fake JVM\nJVM_EXE: " + m_exe +
                                  "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT:\n" + home +
                                  "\n/:\n" + extraTags);
        return path(name);
    }

    // Runs the fake java with "app" and the pass-through arguments, showing its output.
    std::string writeLaunchScript(const std::string& name) const {
        writeFile(path(name),
                  "DESC: Fake app\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app\"\n"
                  "DISPLAY_CONSOLE: 1\n");
        return path(name);
    }

    // A launcher that finds the fake JVM and launches the application with it.
    std::string packFindAndLaunch(const std::string& application) const {
        std::string home = makeFakeJVM("jvm", application);
        return pack("app", {{"--instructions",
                             writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
                            {"--jvm", writeJVMFile("fake.jvm", home)},
                            {"--launch-script", writeLaunchScript("launch.tag")}});
    }
};

TEST_F(HardeningE2ETest, TerminateWhileTheApplicationSleepsEndsItAllAndCleansUp) {
    // The application is a shell that starts a process of its own and waits for it.
    std::string pidFile = path("sleep.pid");
    std::string launcher =
        packFindAndLaunch("  sleep 60 &\n  echo $! > '" + pidFile + ".part'\n  mv '" + pidFile +
                          ".part' '" + pidFile + "'\n  wait\n  echo not-stopped");

    ChildProcess running = start(launcher, {"-qv:log", m_log});
    ASSERT_TRUE(eventually([&] { return exists(pidFile); })) << readFile(m_log);
    pid_t sleeping = static_cast<pid_t>(std::stol(readFile(pidFile)));
    // The jvm file the search wrote is in use while the application runs.
    EXPECT_EQ(leftInTemp().size(), 1u);
    kill(running.pid(), SIGTERM);
    RunResult result = running.wait();

    EXPECT_EQ(result.status, 143) << result.out << result.err;
    EXPECT_TRUE(eventually([&] { return hasEnded(sleeping); }));
    EXPECT_FALSE(contains(result.out, "not-stopped")) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    EXPECT_TRUE(contains(readFile(m_log), "ERROR: Stopped by signal 15 (Terminated)"))
        << readFile(m_log);
}

// A request to stop that comes while no application runs (here a script that loops after
// the search wrote its jvm file) ends the launcher through its cleanup too.
TEST_F(HardeningE2ETest, TerminateBetweenApplicationRunsCleansUp) {
    std::string launcher =
        pack("loop", {{"--instructions",
                       writeInstructions("loop.tag", {"FIND_JVM 0 0", ":again", "GOTO again"})},
                      {"--jvm", writeJVMFile("fake.jvm", makeFakeJVM("jvm", ""))}});
    for (int signo : {SIGTERM, SIGHUP}) {
        std::remove(m_log.c_str());
        ChildProcess running = start(launcher, {"-qv:log", m_log});
        ASSERT_TRUE(eventually([&] { return contains(readFile(m_log), "Matching JVM file is"); }))
            << readFile(m_log);
        EXPECT_EQ(leftInTemp().size(), 1u) << signo;
        kill(running.pid(), signo);
        // A launcher that kept looping would hold the test for ever.
        const bool ended = eventually([&] { return hasEnded(running.pid()); });
        if (!ended) {
            kill(running.pid(), SIGKILL);
        }
        RunResult result = running.wait();

        EXPECT_TRUE(ended) << "signal " << signo << " did not end the launcher";
        EXPECT_EQ(result.status, 128 + signo) << result.out << result.err;
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{}) << signo;
        EXPECT_TRUE(contains(readFile(m_log), "ERROR: Stopped by signal " + std::to_string(signo)))
            << readFile(m_log);
    }
}

// TMPDIR is writable by everyone, with the sticky bit (as /tmp). Another user has planted
// links named like the launcher's files, pointing at their victims, and while the application
// runs the launcher's jvm file is swapped for one more such link (by the application here:
// with the sticky bit only the owner of an entry may replace it). Nothing is written through
// a link and nothing but the launcher's own entries goes at cleanup; the swapped name is left
// with a log record.
TEST_F(HardeningE2ETest, HostileTemporaryDirectoryLosesNothingAndKeepsItsLinks) {
    chmod(m_tmp.c_str(), 01777);
    std::string victim = path("victim");
    std::string victimDir = makeDirectory("victim-dir");
    writeFile(victim, "precious");
    writeFile(victimDir + "/file", "precious too");
    std::vector<std::string> planted;
    const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int i = 0; i < 200; ++i) {
        std::string name = "qvj";
        for (int k = 0; k < 6; ++k) {
            name += letters[(i * 7 + k * 13 + i / 3) % 62];
        }
        if (symlink((i % 2 == 0 ? victim : victimDir).c_str(), (m_tmp + "/" + name).c_str()) == 0) {
            planted.push_back(name);
        }
    }
    std::string swapped = path("swapped");
    std::string launcher = packFindAndLaunch(
        "  for f in \"$TMPDIR\"/qvj*; do\n"
        "    if [ -f \"$f\" ] && [ ! -L \"$f\" ]; then\n"
        "      rm \"$f\" && ln -s '" +
        victim + "' \"$f\" && echo \"$f\" > '" + swapped +
        "'\n"
        "    fi\n"
        "  done");

    RunResult result = run(launcher, {"-qv:log", m_log});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    std::string swappedName = readFile(swapped);
    ASSERT_FALSE(swappedName.empty()) << readFile(m_log);
    swappedName.erase(swappedName.size() - 1);
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_EQ(readFile(victimDir + "/file"), "precious too");
    std::vector<std::string> expected = planted;
    expected.push_back(swappedName.substr(m_tmp.size() + 1));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(leftInTemp(), expected);
    for (const std::string& name : planted) {
        EXPECT_FALSE(linkTarget(m_tmp + "/" + name).empty()) << name;
    }
    EXPECT_EQ(linkTarget(swappedName), victim);
    EXPECT_TRUE(contains(readFile(m_log), "WARNING: Not deleting " + swappedName +
                                              ": it is no longer what the launcher created"))
        << readFile(m_log);
}

// Without the sticky bit, anyone who may write to TMPDIR could rename the launcher's entries
// and put theirs in their place: TMPDIR is passed over, with a log record, and the configured
// directory holds the run's files instead.
TEST_F(HardeningE2ETest, OpenTemporaryDirectoryWithoutTheStickyBitIsNotUsed) {
    chmod(m_tmp.c_str(), 0777);
    std::string configured = makeDirectory("private");
    std::string launcher = packFindAndLaunch("  ls '" + configured + "' | sed 's/^qvj.*/qvj/'");

    RunResult result = run(launcher, {"-qv:log", m_log, "-qv:tempdir", configured});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    // The jvm file that the search wrote, while the application runs.
    EXPECT_TRUE(contains(result.out, "\nqvj\n")) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    EXPECT_EQ(listDirectory(configured), std::vector<std::string>{});
    EXPECT_TRUE(contains(readFile(m_log), "WARNING: Not using " + m_tmp +
                                              " as the temporary directory: it is writable by "
                                              "group or others and has no sticky bit\n"))
        << readFile(m_log);
}

// The memory a run may use is the acceptance's. Under AddressSanitizer the shadow memory alone
// is more than that, and so is valgrind's: there only the outcome counts.
void expectPeakMemoryWithinLimit(const RunResult& result, const std::string& what) {
    if (memoryIsMeasurable()) {
        EXPECT_GT(result.peakKiB, 0) << what;
        EXPECT_LT(result.peakKiB, kMemoryLimitKiB) << what;
    }
    std::printf("[ measure  ] %s: peak %ld KiB\n", what.c_str(), result.peakKiB);
}

// A mebibyte of pass-through arguments. Linux passes no single argument longer than 128 KiB
// (MAX_ARG_STRLEN) to any program, so the mebibyte comes as eight arguments of the largest
// size it allows; together they make a command line far longer than one argument to the shell.
TEST_F(HardeningE2ETest, MebibyteOfPassThroughArgumentsReachesTheApplication) {
    std::string launcher = packFindAndLaunch(
        "  for a in \"$@\"; do printf '%s %s\\n' \"${#a}\" \"$(printf %s \"$a\" | cksum)\"; done");
    std::vector<std::string> arguments;
    std::string expected;
    for (int i = 0; i < 8; ++i) {
        std::string argument(128 * 1024 - 1, static_cast<char>('a' + i));
        // Quotes, blanks and shell syntax must come through as they are.
        argument.replace(1000, 12, "'\" $(x) `y` ");
        arguments.push_back(argument);
        writeFile(path("argument"), argument);
        std::string sum = run("/usr/bin/cksum", {path("argument")}).out;
        expected += std::to_string(argument.size()) + " " + sum.substr(0, sum.rfind(' ')) + "\n";
    }
    RunResult result = run(launcher, arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.out, expected)) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    expectPeakMemoryWithinLimit(result, "1 MiB of pass-through arguments");
}

// A line of a mebibyte in an input file, in a jvm file read from disk and in one embedded in
// the launcher.
TEST_F(HardeningE2ETest, TagFilesWithAMebibyteLineAreRead) {
    const std::string longValue(kMiB, 'v');
    std::string home = makeFakeJVM("jvm", "  echo ran");
    std::string jvmFile = writeJVMFile("fake.jvm", home, "DESC: " + longValue + "\n");
    writeFile(path("in.tag"), "LOGFILE: " + m_log + "\nACTION: SEARCH\nFILLER: " + longValue +
                                  "\nJVM: " + jvmFile + "\n");

    RunResult searched = run(kLauncher, {"-qv:in", path("in.tag")});
    EXPECT_EQ(searched.status, 0) << searched.err;
    EXPECT_EQ(searched.out.substr(0, 2 + home.size() + 1), "1\n" + home + "\n") << searched.out;
    expectPeakMemoryWithinLimit(searched, "input file and jvm file with a 1 MiB line");

    std::string launcher = pack(
        "app", {{"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
                {"--jvm", jvmFile},
                {"--launch-script", writeLaunchScript("launch.tag")}});
    RunResult launched = run(launcher, {});
    EXPECT_EQ(launched.status, 0) << launched.err;
    EXPECT_TRUE(contains(launched.out, "ran\n")) << launched.out.substr(0, 200);
    expectPeakMemoryWithinLimit(launched, "embedded jvm file with a 1 MiB line");
}

TEST_F(HardeningE2ETest, InstructionScriptOfAHundredThousandLinesRuns) {
    std::string home = makeFakeJVM("jvm", "  echo \"ran with <$1>\"");
    std::vector<std::string> script = {"FIND_JVM 0 0"};
    // Every line runs: the last SET decides what LAUNCH gets.
    for (int i = 0; i < 99997; ++i) {
        script.push_back("SET S3 = line" + std::to_string(i));
    }
    script.push_back("SET S3 = @S2@");
    script.push_back("LAUNCH @S3@ 0");
    ASSERT_EQ(script.size(), 100000u);
    std::string launcher = pack("app", {{"--instructions", writeInstructions("run.tag", script)},
                                        {"--jvm", writeJVMFile("fake.jvm", home)},
                                        {"--launch-script", writeLaunchScript("launch.tag")}});

    RunResult result = run(launcher, {"last"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.out, "ran with <last>\n")) << result.out;
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    expectPeakMemoryWithinLimit(result, "instruction script of 100,000 lines");
}

// Input without a line end (a device of zeros, as the input file, as a jvm file it names and
// embedded in the launcher) and a class path larger than the memory the run may have: each run
// ends with status 1 and its message, not an abort, and leaves nothing in the temporary
// directory, where the last run had written its jvm file when memory ran out.
TEST_F(HardeningE2ETest, EndlessOrOversizedInputFailsCleanlyUnderAMemoryLimit) {
    const bool limited = memoryIsMeasurable();
    const std::string filler(kMiB * 3 / 2, 'z');
    std::string home = makeFakeJVM("jvm", "");
    std::string zeros = pack(
        "zeros",
        {{"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0"})},
         {"--jvm", writeJVMFile("fake.jvm", home, "F1: " + filler + "\nF2: " + filler + "\n")}});
    // The embedded jvm file's two long lines become 3 MiB of zeros.
    std::string packed = readFile(zeros);
    size_t start = packed.find("F1: z");
    ASSERT_NE(start, std::string::npos);
    packed.replace(start, 2 * (4 + filler.size()) + 1, 2 * (4 + filler.size()) + 1, '\0');
    writeFile(zeros, packed, 0755);
    writeFile(path("jvm.tag"), "ACTION: SEARCH\nJVM: /dev/zero\n");
    // 36 MiB of class path from the runtime file beside the launcher.
    writeFile(path("launch.tag"), "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() app\"\n");
    std::string large =
        pack("large",
             {{"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
              {"--jvm", writeJVMFile("fake.jvm", home)},
              {"--launch-script", path("launch.tag")}});
    std::string classpath;
    for (int i = 0; i < 24; ++i) {
        classpath += filler + "\n";
    }
    writeFile(path("large.cp"), classpath);

    const std::string tooLong = " at line 1 ==> Line longer than 2097152 bytes.\n";
    struct Case {
        const char* what;
        std::string program;
        std::vector<std::string> args;
        std::string out;
        std::string err;
    };
    std::vector<Case> cases = {
        {"zeros as the input file",
         kLauncher,
         {"-qv:in", "/dev/zero"},
         "",
         "Could not load the input file.Syntax error in /dev/zero" + tooLong +
             "Syntax error in /dev/zero" + tooLong},
        {"zeros as the jvm file",
         kLauncher,
         {"-qv:in", path("jvm.tag")},
         "",
         "Error loading JVM file.Syntax error in /dev/zero" + tooLong +
             "Error loading JVM file.Syntax error in /dev/zero" + tooLong},
        {"zeros embedded",
         zeros,
         {},
         "",
         "Unable to load the launcher file index. Syntax error in fake.jvm at line 7 ==> Line "
         "longer than 2097152 bytes.\n"},
    };
    if (limited) {
        cases.push_back(
            {"a class path beyond the limit", large, {"-qv:log", m_log}, "\n", "Out of memory\n"});
    }
    for (const Case& c : cases) {
        Command run = command(c.program, c.args);
        run.addressSpaceLimit = limited ? 32 * kMiB : 0;
        RunResult result = runProgram(run);
        EXPECT_EQ(result.status, 1) << c.what << result.err;
        EXPECT_EQ(result.signal, 0) << c.what;
        EXPECT_EQ(result.out, c.out) << c.what;
        EXPECT_EQ(result.err, c.err) << c.what;
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{}) << c.what;
    }
    if (limited) {
        EXPECT_TRUE(contains(readFile(m_log), "\nERROR: Out of memory\n")) << readFile(m_log);
    }
}

}  // namespace
