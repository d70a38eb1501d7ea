// Black-box tests of how a launcher run ends: a broken pipe or a file size limit, a request to
// stop during a verify run or the disk walk, a launcher killed outright, a verify run that
// hangs or reads standard input, and tens of megabytes of captured output. Each checks the
// exit status the guide gives and that no temporary entry is left. Fake JVMs are shell scripts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

const std::vector<std::string> kNothing;

// Polls for condition every 10 ms for up to milliseconds.
bool within(int milliseconds, const std::function<bool()>& condition) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (condition()) {
            return true;
        }
        usleep(10000);
    }
    return condition();
}

// Both ends of a pipe, closed when the object goes.
struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) == 0) {
            read = ends[0];
            write = ends[1];
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    void closeRead() {
        if (read >= 0) {
            close(read);
            read = -1;
        }
    }
    void closeWrite() {
        if (write >= 0) {
            close(write);
            write = -1;
        }
    }
    // True when end of file comes within milliseconds (what is read is dropped).
    bool reachesEndWithin(int milliseconds) const {
        pollfd watched = {read, POLLIN, 0};
        char buffer[4096];
        for (;;) {
            int ready = poll(&watched, 1, milliseconds);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                return false;
            }
            if (::read(read, buffer, sizeof buffer) <= 0) {
                return true;
            }
        }
    }
};

class ExitPathsE2ETest : public PackedLauncherTest {
protected:
    ExitPathsE2ETest() : PackedLauncherTest("qvtest-exit") {}

    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["QV_VERIFY_CACHE"] = "0";
        // The launcher stays the application's parent: these tests watch what it does then.
        m_environment["QV_EXEC_IN_PLACE"] = "0";
    }

    // A fake JVM home. Verified, its java runs the shell text verifying, then answers with the
    // magic line and java.version 1.8.0_42; started as "java app", it runs application.
    std::string makeFakeJVM(const std::string& name, const std::string& verifying,
                            const std::string& application) const {
        std::string home = makeDirectory(name);
        makeDirectory(name + "/bin");
        writeFile(home + "/" + m_exe,
                  "#!/bin/sh\nif [ \"$1\" = app ]; then\n" + application + "\n  exit 0\nfi\n" +
                      verifying + "\necho " + kMagicLine + "\necho 1.8.0_42\n",
                  0755);
        return home;
    }

    std::string writeJVMFile(const std::vector<std::string>& homes,
                             const std::string& extraTags = "") const {
        std::string hints;
        for (const std::string& home : homes) {
            hints += home + "\n";
        }
        writeFile(path("fake.jvm"), "DESC: Fake JVM\nJVM_EXE: " + m_exe +
                                        "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT:\n" +
                                        hints + "/:\n" + extraTags);
        return path("fake.jvm");
    }

    // A launcher that finds a JVM among homes and launches the application with it, its output
    // on the console or captured.
    std::string packFindAndLaunch(const std::vector<std::string>& homes, bool console = true,
                                  const std::string& jvmTags = "") const {
        writeFile(path("launch.tag"),
                  std::string("DESC: Fake app\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app\"\n") +
                      "DISPLAY_CONSOLE: " + (console ? "1" : "0") + "\n");
        return pack("app", {{"--instructions",
                             writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
                            {"--jvm", writeJVMFile(homes, jvmTags)},
                            {"--launch-script", path("launch.tag")}});
    }

    // Shell text that records its pid in name once it is running.
    std::string recordPid(const std::string& name) const {
        return "  echo $$ > '" + path(name) + ".part'; mv '" + path(name) + ".part' '" +
               path(name) + "'";
    }

    pid_t recordedPid(const std::string& name) const {
        return static_cast<pid_t>(std::stol(readFile(path(name))));
    }

    std::string log() const { return readFile(m_log); }
};

// SIGPIPE is ignored: a write into a closed pipe fails and takes the normal failure path. A
// SEARCH answer that cannot be written fails the run (the message goes to standard error, as
// standard output is the broken pipe); an application that writes into the pipe is ended by
// SIGPIPE itself, as it would be without the launcher, and its status is the launcher's.
TEST_F(ExitPathsE2ETest, ClosedPipeAsStandardOutputEndsTheRunThroughItsCleanup) {
    std::string home = makeFakeJVM("jvm", "", "  echo first; echo second");
    writeFile(path("in.tag"),
              "LOGFILE: " + m_log + "\nACTION: SEARCH\nJVM: " + writeJVMFile({home}) + "\n");
    std::string launcher = packFindAndLaunch({home});
    struct Case {
        std::string program;
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {kLauncher,
         {"-qv:in", path("in.tag")},
         1,
         "Unable to write the result to standard output: " + std::string(strerror(EPIPE)) + "\n"},
        {launcher, {"-qv:log", m_log}, 128 + SIGPIPE, ""},
    };
    for (const Case& c : cases) {
        Pipe closed;
        closed.closeRead();
        Command run = command(c.program, c.args);
        run.outputDescriptor = closed.write;
        RunResult result = ChildProcess(run).wait();
        EXPECT_EQ(result.signal, 0) << c.args[0];
        EXPECT_EQ(result.status, c.status) << c.args[0] << ": " << result.err;
        EXPECT_EQ(result.err, c.err) << c.args[0];
        EXPECT_EQ(leftInTemp(), kNothing) << c.args[0];
    }
}

// SIGXFSZ is ignored: an extraction past the file size limit fails with the guide's message
// and removes what it had written.
TEST_F(ExitPathsE2ETest, FileSizeLimitFailsTheExtractionWithItsMessage) {
    writeFile(path("app.jar"), std::string(1 << 20, 'j'));
    writeFile(path("launch.tag"), "DESC: Fake app\nCOMMAND: echo %APPLICATION_ARCHIVE%()\n");
    std::string home = makeFakeJVM("jvm", "", "");
    std::string launcher = pack(
        "app", {{"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
                {"--jvm", writeJVMFile({home})},
                {"--launch-script", path("launch.tag")},
                {"--app", path("app.jar")}});
    Command run = command(launcher, {"-qv:log", m_log});
    run.fileSizeLimit = 256 * 1024;
    RunResult result = ChildProcess(run).wait();
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, "Error writing file = " + std::to_string(EFBIG)))
        << result.err;
    EXPECT_EQ(leftInTemp(), kNothing);
}

// A request to stop while a verify run is under way, or during the disk walk, ends the run:
// the verify run (with what it started) is killed, no other candidate is tried, nothing is
// launched, and the launcher cleans up and ends with 128 + the signal.
TEST_F(ExitPathsE2ETest, SignalDuringVerificationOrWalkStopsTheRun) {
    std::string slow = makeFakeJVM("slow",
                                   "  sleep 30 & echo $! > '" + path("sleep.pid") + "'\n" +
                                       recordPid("verify.pid") + "\n  wait",
                                   "");
    std::string good = makeFakeJVM("good", "", "  echo launched");
    std::string launcher = packFindAndLaunch({slow, good});
    writeFile(path("walk.jvm"), "DESC: Walk\nJVM_EXE: bin/none-" + m_exe.substr(4) +
                                    "\nJVM_PROPERTIES: java.version=1.8...\nSEARCH_ALL: 1\n");
    writeFile(path("walk.tag"),
              "LOGFILE: " + m_log + "\nACTION: SEARCH_ALL\nJVM: " + path("walk.jvm") + "\n");
    for (int signo : {SIGINT, SIGQUIT}) {
        for (bool walk : {false, true}) {
            std::remove(m_log.c_str());
            std::remove(path("verify.pid").c_str());
            const std::string what =
                std::string(walk ? "walk" : "verify") + " signal " + std::to_string(signo);
            ChildProcess running(walk ? command(kLauncher, {"-qv:in", path("walk.tag")})
                                      : command(launcher, {"-qv:log", m_log}));
            ASSERT_TRUE(eventually([&] {
                return walk ? contains(log(), "Beginning exhaustive search")
                            : exists(path("verify.pid"));
            })) << what;
            kill(running.pid(), signo);
            RunResult result = running.wait();

            EXPECT_EQ(result.status, 128 + signo) << what << ": " << result.out << result.err;
            // The launcher's title (an input file's action shows none), and the failure.
            EXPECT_EQ(result.out, walk ? "" : "Fake app\n") << what;
            EXPECT_EQ(result.err, "Stopped by signal " + std::to_string(signo) + " (" +
                                      strsignal(signo) + ")\n")
                << what;
            EXPECT_TRUE(contains(log(), "ERROR: Stopped by signal " + std::to_string(signo)))
                << log();
            EXPECT_EQ(leftInTemp(), kNothing) << what;
            if (!walk) {
                EXPECT_FALSE(contains(log(), "Verifying JVM at " + good)) << log();
                EXPECT_TRUE(eventually([&] { return hasEnded(recordedPid("verify.pid")); }));
                EXPECT_TRUE(eventually([&] { return hasEnded(recordedPid("sleep.pid")); }));
            }
        }
    }
}

// SIGKILL to the launcher's process group (timeout -s KILL) or to the launcher alone: the
// application goes with it at once, and whoever reads its output sees the end.
TEST_F(ExitPathsE2ETest, KilledLauncherTakesItsApplicationAlong) {
    std::string home = makeFakeJVM("jvm", "", recordPid("app.pid") + "\n  exec sleep 30");
    std::string launcher = packFindAndLaunch({home});
    for (bool wholeGroup : {true, false}) {
        std::remove(path("app.pid").c_str());
        Pipe output;
        Command run = command(launcher, {});
        run.outputDescriptor = output.write;
        run.newProcessGroup = true;
        ChildProcess running(run);
        output.closeWrite();
        ASSERT_TRUE(eventually([&] { return exists(path("app.pid")); })) << wholeGroup;
        pid_t application = recordedPid("app.pid");
        kill(wholeGroup ? -running.pid() : running.pid(), SIGKILL);
        RunResult result = running.wait();

        EXPECT_EQ(result.signal, SIGKILL) << wholeGroup;
        EXPECT_TRUE(within(1000, [&] { return hasEnded(application); })) << wholeGroup;
        EXPECT_TRUE(output.reachesEndWithin(1000)) << wholeGroup;
    }
}

// A verify run that does not answer in time is killed and its candidate passed over; the time
// limit comes from QV_VERIFY_TIMEOUT, which overrides the jvm file's VERIFY_TIMEOUT. Verify
// runs read /dev/null: every line typed for the application reaches it.
TEST_F(ExitPathsE2ETest, VerifyRunsHaveATimeLimitAndNoInput) {
    std::string hanging =
        makeFakeJVM("hanging", "  sleep 30 & echo $! > '" + path("sleep.pid") + "'; wait", "");
    std::string reading =
        makeFakeJVM("reading", "  read -r line && echo \"$line\" > '" + path("eaten") + "'",
                    "  while read -r line; do echo \"got $line\"; done");
    writeFile(path("input"), "first\nsecond\n");
    struct Case {
        std::string variable;
        std::string tag;
    } cases[] = {{"0.5", "VERIFY_TIMEOUT: 600\n"}, {"", "VERIFY_TIMEOUT: 0.5\n"}};
    for (const Case& c : cases) {
        std::remove(m_log.c_str());
        std::string launcher = packFindAndLaunch({hanging, reading}, true, c.tag);
        Command run = command(launcher, {"-qv:log", m_log});
        run.inputFile = path("input");
        if (!c.variable.empty()) {
            run.environment["QV_VERIFY_TIMEOUT"] = c.variable;
        }
        RunResult result = ChildProcess(run).wait();

        EXPECT_EQ(result.status, 0) << c.tag << result.out << result.err;
        EXPECT_TRUE(contains(result.out, "got first\ngot second\n")) << result.out;
        EXPECT_TRUE(contains(log(), "WARNING: The verify run of " + hanging + "/" + m_exe +
                                        " took longer than 0.5 seconds and was killed: the JVM "
                                        "is not taken\n"))
            << log();
        EXPECT_TRUE(eventually([&] { return hasEnded(recordedPid("sleep.pid")); }));
        EXPECT_FALSE(exists(path("eaten")));
        EXPECT_EQ(leftInTemp(), kNothing) << c.tag;
    }
}

// Captured output is streamed in bounded memory: 40 MB from a verify run reaches the log whole,
// in the record's layout, and fails the verification; 40 MB from an application captured with
// no log is dropped as it comes.
TEST_F(ExitPathsE2ETest, CapturedOutputIsStreamedInBoundedMemory) {
    const size_t half = 20 * 1000 * 1000;
    const std::string print = "head -c " + std::to_string(half) +
                              " /dev/zero | tr '\\0' o; head -c " + std::to_string(half) +
                              " /dev/zero | tr '\\0' e >&2";
    const long kLimitKiB = 32 * 1024;

    // First, while this process is small: a child's peak counts what it shared with its
    // parent before it became the launcher.
    std::string home = makeFakeJVM("jvm", "", "  " + print);
    RunResult launched = ChildProcess(command(packFindAndLaunch({home}, false), {})).wait();
    EXPECT_EQ(launched.status, 0) << launched.out << launched.err;
    if (memoryIsMeasurable()) {
        EXPECT_LT(launched.peakKiB, kLimitKiB);
    }
    EXPECT_EQ(leftInTemp(), kNothing);

    std::string noisy = makeFakeJVM("noisy", "  " + print + "; exit 0", "");
    std::string verifying =
        pack("verify", {{"--instructions", writeInstructions("find.tag", {"FIND_JVM 0 0"})},
                        {"--jvm", writeJVMFile({noisy})}});
    RunResult verified = ChildProcess(command(verifying, {"-qv:log", m_log})).wait();
    // The only candidate fails and the script ends without a JVM: the run failed.
    EXPECT_EQ(verified.status, 1) << verified.out << verified.err;
    if (memoryIsMeasurable()) {
        EXPECT_LT(verified.peakKiB, kLimitKiB);
    }
    const std::string logged = log();
    EXPECT_TRUE(contains(logged, "Output from the launch script execution\nStdOut:\n" +
                                     std::string(half, 'o') + "\nErrOut:\n" +
                                     std::string(half, 'e') + "\n"))
        << logged.size();
    EXPECT_TRUE(contains(logged, "WARNING: The verify run of " + noisy + "/" + m_exe +
                                     " printed more than 65536 bytes on standard output, more "
                                     "than an answer holds: the JVM is not taken\n"));
    EXPECT_EQ(leftInTemp(), kNothing);
    std::printf("[ measure  ] 40 MB captured: verify run %ld KiB, application %ld KiB\n",
                verified.peakKiB, launched.peakKiB);
}

}  // namespace
