#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/LauncherException.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/WorkingDirectory.h"
#include "tests/support/PlatformTestSupport.h"

namespace {

using qvtest::exists;
using qvtest::str;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Waits up to ten seconds for path to appear.
bool appears(const std::string& path) {
    for (int i = 0; i < 1000 && !exists(path); ++i) {
        usleep(10000);
    }
    return exists(path);
}

// Ends the test process if a capture hangs, so that a deadlock fails instead of stalling.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) { alarm(seconds); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog() { alarm(0); }
};

// The command's exit status.
int runCaptured(const std::string& command, SString& out, SString& err) {
    return PlatformImpl::executeProcess(command.c_str(), "", false, true, true, &out, &err);
}

class PlatformImplProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedDirectory = currentDirectory();
        PlatformImpl::setSilent(true);
    }
    void TearDown() override {
        PlatformImpl::setSilent(false);
        unsetenv("QV_PROCESS_TEST");
        ASSERT_EQ(0, chdir(m_savedDirectory.c_str()));
    }

    qvtest::TemporaryDirectory m_dir{"qvtest-platform"};
    SString m_savedDirectory;
};

TEST_F(PlatformImplProcessTest, CaptureAppendsBothStreams) {
    SString out("out:");
    SString err("err:");
    runCaptured("printf a; printf b >&2", out, err);
    EXPECT_EQ("out:a", str(out));
    EXPECT_EQ("err:b", str(err));

    // A command the shell cannot run is no failure of ours: the shell says why.
    runCaptured("/nonexistent/command", out, err);
    EXPECT_EQ("out:a", str(out));
    EXPECT_NE(std::string::npos, str(err).find("/nonexistent/command")) << str(err);

    // Without strings the output is read and dropped.
    EXPECT_EQ(4, PlatformImpl::executeProcess("printf dropped; exit 4", "", false, true, true,
                                              nullptr, nullptr));
}

TEST_F(PlatformImplProcessTest, LargeOutputOnBothStreamsDoesNotDeadlock) {
    Watchdog watchdog(60);
    SString out;
    SString err;
    // Standard error first: a reader that drains standard output to its end before touching
    // standard error would wait for ever on a child blocked on a full error pipe.
    runCaptured(
        "head -c 1048576 /dev/zero | tr '\\0' e >&2; head -c 1048576 /dev/zero | tr "
        "'\\0' o",
        out, err);
    ASSERT_EQ(1048576u, out.size());
    ASSERT_EQ(1048576u, err.size());
    EXPECT_EQ(std::string(1048576, 'o'), str(out));
    EXPECT_EQ(std::string(1048576, 'e'), str(err));
}

TEST_F(PlatformImplProcessTest, ExitStatusIsReturnedAsTheShellReportsIt) {
    struct Case {
        const char* command;
        bool capture;
        int status;
    } cases[] = {{"true", false, 0},
                 {"exit 3", false, 3},
                 {"exit 3", true, 3},
                 {"kill -TERM $$", false, 128 + SIGTERM},
                 {"kill -KILL $$", true, 128 + SIGKILL},
                 {"/nonexistent/command", true, 127}};
    for (const Case& c : cases) {
        SString out;
        SString err;
        EXPECT_EQ(c.status,
                  PlatformImpl::executeProcess(c.command, "", false, c.capture, true, &out, &err))
            << c.command;
    }
}

TEST_F(PlatformImplProcessTest, WorkingDirectoryIsAppliedOrFailsBeforeTheChildStarts) {
    std::string missing = m_dir / "missing";
    std::string marker = m_dir / "started";
    std::string command = "touch '" + marker + "'";
    for (bool capture : {false, true}) {
        try {
            PlatformImpl::executeProcess(command.c_str(), missing.c_str(), false, capture, true,
                                         nullptr, nullptr);
            ADD_FAILURE() << "no exception, capture " << capture;
        } catch (const LauncherException& e) {
            EXPECT_EQ("Error setting working directory: " + missing + " " + std::strerror(ENOENT),
                      str(e.m_message));
        }
    }
    EXPECT_FALSE(exists(marker));
    EXPECT_EQ(str(m_savedDirectory), str(currentDirectory()));

    // An existing one is where the child runs; the launcher returns to where it was.
    SString out;
    SString err;
    PlatformImpl::executeProcess("pwd", m_dir.path().c_str(), false, true, true, &out, &err);
    EXPECT_EQ(m_dir.path() + "\n", str(out));
    EXPECT_EQ(str(m_savedDirectory), str(currentDirectory()));
}

TEST_F(PlatformImplProcessTest, BackgroundReturnsAtOnceAndLeavesNoChild) {
    std::string marker = m_dir / "done";
    std::string command = "sleep 1 && touch '" + marker + "'";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, PlatformImpl::executeProcess(command.c_str(), "/", false, true, false, nullptr,
                                              nullptr));
    EXPECT_LT(secondsSince(start), 0.5);
    EXPECT_FALSE(exists(marker));
    // The shell that started the command has been reaped, and the command is not our child.
    EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
    // The working directory is not used in the background.
    EXPECT_EQ(str(m_savedDirectory), str(currentDirectory()));
    EXPECT_TRUE(appears(marker));
}

// A command that leaves a process of its own behind, holding the pipes, must not keep the
// launcher waiting for end of file once the command itself has ended.
TEST_F(PlatformImplProcessTest, CaptureEndsWithTheChildNotItsBackgroundProcesses) {
    SString out;
    SString err;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, runCaptured("sleep 3 & printf started", out, err));
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ("started", str(out));
}

// Linux takes no single argument longer than 128 KiB, and the shell gets the command line as
// one: a longer one used to fail with "Argument list too long" before the shell even started.
TEST_F(PlatformImplProcessTest, CommandLongerThanOneArgumentRuns) {
    for (size_t length : {size_t{1000}, size_t{131072}, size_t{1048576}}) {
        // Quotes, blanks and a "$" spread over the whole length, so that a piece boundary falls
        // inside quoted text too.
        std::string text;
        while (text.size() < length) {
            text += "a 'b' \"c\" $d ";
        }
        text.resize(length);
        std::string quoted;
        for (char c : text) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        SString out;
        SString err;
        // What the command sees of the shell is what sh -c gives it.
        EXPECT_EQ(3,
                  runCaptured("printf %s '" + quoted + "'; echo \" $# $IFS.\"; exit 3", out, err))
            << length;
        EXPECT_EQ(text + " 0  \t\n.\n", str(out)) << length;
        EXPECT_EQ("", str(err)) << length;
    }
}

// Commands that need no shell start without one; whatever runs them, the program gets the
// same words, the same PWD and the same status, and the shell still handles what a direct
// start cannot (a script without "#!", a file that cannot run).
TEST_F(PlatformImplProcessTest, SimpleCommandsRunAsTheShellWouldRunThem) {
    const std::string script = m_dir / "no-shebang";
    qvtest::createFile(script, "printf '<%s>' \"$@\"; exit 4\n");
    ASSERT_EQ(0, chmod(script.c_str(), 0755));
    const std::string plain = m_dir / "not-executable";
    qvtest::createFile(plain, "exit 0\n");
    struct Case {
        std::string command;
        std::string out;
        int status;
    } cases[] = {
        {"'" + script + "' 'a b' \"c\\\"d\" e\\ f", "<a b><c\"d><e f>", 4},
        {"exec '" + script + "' x", "<x>", 4},
        {"'" + plain + "'", "", 126},
        {"/nonexistent/command", "", 127},
    };
    for (const Case& c : cases) {
        SString out;
        SString err;
        const int status = runCaptured(c.command, out, err);
        EXPECT_EQ(c.out, str(out)) << c.command;
        EXPECT_EQ(c.status, status) << c.command << ": " << str(err);
    }

    // PWD names the child's working directory, not the launcher's; a variable the shell could
    // not name does not reach the program.
    ASSERT_EQ(0, setenv("QV-UNNAMEABLE", "1", 1));
    SString out;
    SString err;
    PlatformImpl::executeProcess("/usr/bin/env", m_dir.path().c_str(), false, true, true, &out,
                                 &err);
    unsetenv("QV-UNNAMEABLE");
    EXPECT_NE(std::string::npos, str(out).find("\nPWD=" + m_dir.path() + "\n")) << str(out);
    EXPECT_EQ(std::string::npos, str(out).find("QV-UNNAMEABLE")) << str(out);
}

// Sets a signal's disposition for one test and restores it.
class ScopedDisposition {
public:
    ScopedDisposition(int signo, void (*handler)(int)) : m_signo(signo) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigaction(signo, &action, &m_saved);
    }
    ScopedDisposition(const ScopedDisposition&) = delete;
    ScopedDisposition& operator=(const ScopedDisposition&) = delete;
    ~ScopedDisposition() { sigaction(m_signo, &m_saved, nullptr); }

private:
    int m_signo;
    struct sigaction m_saved;
};

// A launcher started with SIGCHLD ignored (some services start their children so) had its
// child reaped by the system: waiting failed with "No child processes" and the status was lost.
TEST_F(PlatformImplProcessTest, ChildIsWaitedForWhenSigchldIsIgnored) {
    ScopedDisposition ignored(SIGCHLD, SIG_IGN);
    for (bool capture : {false, true}) {
        SString out;
        SString err;
        EXPECT_EQ(5, PlatformImpl::executeProcess(capture ? "printf ran; exit 5" : "exit 5", "",
                                                  false, capture, true, &out, &err))
            << "capture " << capture;
        EXPECT_EQ(capture ? "ran" : "", str(out));
    }
    struct sigaction after;
    sigaction(SIGCHLD, nullptr, &after);
    EXPECT_EQ(SIG_IGN, after.sa_handler);
}

// nohup and plain shells start commands with SIGHUP or SIGINT ignored; the application keeps
// that, and so does the launcher.
TEST_F(PlatformImplProcessTest, IgnoredSignalsStayIgnoredForTheApplication) {
    ScopedDisposition hangup(SIGHUP, SIG_IGN);
    ScopedDisposition interrupt(SIGINT, SIG_IGN);
    SString out;
    SString err;
    EXPECT_EQ(0, runCaptured("kill -HUP $$; kill -INT $$; printf survived", out, err));
    EXPECT_EQ("survived", str(out));
    EXPECT_EQ(0, PlatformImpl::terminatingSignal());
}

// Once a signal has asked the launcher to stop, nothing more is started: the run unwinds to
// its cleanup, and the launcher ends as a shell reports a command ended by that signal.
TEST_F(PlatformImplProcessTest, NoChildStartsAfterATerminatingSignal) {
    std::string marker = m_dir / "started";
    EXPECT_EQ(7, PlatformImpl::finalExitStatus(7));
    PlatformImpl::noteTerminatingSignal(SIGHUP);
    for (bool wait : {true, false}) {
        try {
            PlatformImpl::executeProcess(("touch " + marker).c_str(), "", false, false, wait,
                                         nullptr, nullptr);
            ADD_FAILURE() << "no exception, wait " << wait;
        } catch (const LauncherException& e) {
            EXPECT_EQ("Stopped by signal 1 (Hangup)", str(e.m_message));
        }
    }
    EXPECT_EQ(128 + SIGHUP, PlatformImpl::finalExitStatus(7));
    PlatformImpl::resetForTest();
    EXPECT_FALSE(exists(marker));
}

TEST_F(PlatformImplProcessTest, EnvironmentReachesLaterChildren) {
    EXPECT_EQ("", str(PlatformImpl::getEnvironmentVariable("QV_PROCESS_TEST")));
    PlatformImpl::setEnvironmentVariable("QV_PROCESS_TEST", "first value");
    PlatformImpl::setEnvironmentVariable("QV_PROCESS_TEST", "with = sign");
    EXPECT_EQ("with = sign", str(PlatformImpl::getEnvironmentVariable("QV_PROCESS_TEST")));
    SString out;
    SString err;
    runCaptured("printf %s \"$QV_PROCESS_TEST\"", out, err);
    EXPECT_EQ("with = sign", str(out));

    for (const char* refused : {"", "A=B"}) {
        try {
            PlatformImpl::setEnvironmentVariable(refused, "x");
            ADD_FAILURE() << "no exception for '" << refused << "'";
        } catch (const LauncherException& e) {
            EXPECT_EQ("Error setting environment variable " + std::string(refused) + ": " +
                          std::strerror(EINVAL),
                      str(e.m_message));
        }
    }
}

}  // namespace
