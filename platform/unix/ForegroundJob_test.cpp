// Signals and the terminal while the launcher waits for a foreground child. Each test runs the
// launcher's side (executeProcess, then cleanup) in a process of its own, so that the signals
// and the terminal it gets cannot touch the test runner; the terminal tests give that process
// a pseudo-terminal and a small job-control "shell" as its session leader.
#include "platform/unix/ForegroundJob.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "base/LauncherException.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/PlatformTestSupport.h"

namespace {

using qvtest::str;

// A test's processes give up after this long, so that a signal that never arrives fails the
// test instead of stalling the run. Nothing here waits for time to pass otherwise.
const unsigned kGiveUpSeconds = 30;

void writeText(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<size_t>(written);
    }
}

// Reads up to the next line feed (excluded); empty at end of file.
std::string readLine(int fd) {
    std::string line;
    char c;
    ssize_t got;
    while ((got = read(fd, &c, 1)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0 && c == '\n') {
            break;
        }
        if (got > 0) {
            line += c;
        }
    }
    return line;
}

size_t countEntries(const std::string& dir) {
    size_t count = 0;
    if (DIR* stream = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(stream)) {
            count += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
        }
        closedir(stream);
    }
    return count;
}

// A helper's captured output, kept whole.
class StringCapture : public CapturedOutput {
public:
    StringCapture(SString& out, SString& err) : m_out(out), m_err(err) {}
    void take(bool isError, const char* bytes, size_t count) override {
        (isError ? m_err : m_out).append(bytes, static_cast<SString::size_type>(count));
    }

private:
    SString& m_out;
    SString& m_err;
};

// How a waited-for process ended, in words.
std::string describe(int status) {
    if (WIFEXITED(status)) {
        return "exited " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "killed " + std::to_string(WTERMSIG(status));
    }
    if (WIFSTOPPED(status)) {
        return "stopped " + std::to_string(WSTOPSIG(status));
    }
    return "status " + std::to_string(status);
}

// Reads fd to its end, or until kGiveUpSeconds have passed; false on giving up.
bool readAllUntilGivingUp(int fd, std::string& text) {
    const int giveUpMs = static_cast<int>(kGiveUpSeconds) * 1000;
    pollfd watched = {fd, POLLIN, 0};
    int ready;
    while ((ready = poll(&watched, 1, giveUpMs)) != 0) {
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        char buffer[4096];
        ssize_t got = ready > 0 ? read(fd, buffer, sizeof buffer) : -1;
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return true;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    return false;
}

// Runs body in a forked process, in a process group of its own, and hands back what body
// returns. A body that has not finished after kGiveUpSeconds is killed with its group. The
// body must not use GoogleTest assertions.
std::string runIsolated(const std::function<std::string()>& body) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        return "no pipe";
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        close(channel[0]);
        std::string report = body();
        writeText(channel[1], report);
        _exit(0);
    }
    setpgid(pid, pid);
    close(channel[1]);
    std::string report;
    if (!readAllUntilGivingUp(channel[0], report)) {
        kill(-pid, SIGKILL);
        report += " [gave up]";
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? report : report + " [test process " + describe(status) + "]";
}

// The launcher's side of a run: registers a temporary file and directory, runs command in the
// foreground (as a helper, such as a verify run, when asked), cleans up and ends with the
// status the launcher would end with. reportFd gets "message=<failure of executeProcess or
// none> app=<the command's status, or none when the run ended with the failure>".
[[noreturn]] void runLauncher(const std::string& tempDir, const std::string& command, bool capture,
                              int reportFd, bool helper = false) {
    unsetenv("TMPDIR");
    PlatformImpl::resetForTest();
    PlatformImpl::setSilent(true);
    PlatformImpl::setSystemTempDir(tempDir.c_str());
    std::string message = "none";
    std::string app = "none";
    try {
        PlatformImpl::createTempFile();
        PlatformImpl::createTempSubDirectory();
        SString out;
        SString err;
        if (helper) {
            StringCapture captured(out, err);
            ChildOptions options;
            options.output = &captured;
            options.helper = true;
            app = std::to_string(
                PlatformImpl::runForeground(command.c_str(), "", options).exitStatus);
        } else {
            app = std::to_string(PlatformImpl::executeProcess(command.c_str(), "", false, capture,
                                                              true, &out, &err));
        }
    } catch (const LauncherException& e) {
        message = str(e.m_message);
    }
    PlatformImpl::cleanup();
    writeText(reportFd, "message=" + message + " app=" + app + "\n");
    _exit(PlatformImpl::finalExitStatus(0));
}

class ForegroundJobTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformImpl::setSilent(true); }
    void TearDown() override { PlatformImpl::setSilent(false); }

    qvtest::TemporaryDirectory m_tmp{"qvtest-platform"};
};

#ifdef __linux__

// The run the acceptance asks for: SIGTERM to a launcher whose command is a shell that started
// a process of its own and waits for it. The test's process adopts the orphans of its
// descendants (a child subreaper), so it can tell whether that process has ended.
TEST_F(ForegroundJobTest, TerminateReachesEveryProcessOfTheApplicationThenCleanupRuns) {
    for (bool capture : {false, true}) {
        const std::string tmp = m_tmp.path();
        std::string report = runIsolated([&tmp, capture]() {
            prctl(PR_SET_CHILD_SUBREAPER, 1);
            int pids[2];
            int results[2];
            if (pipe(pids) != 0 || pipe(results) != 0) {
                return std::string("no pipe");
            }
            std::string fd = std::to_string(pids[1]);
            std::string command = "sleep 60 & echo $! >&" + fd + "; exec " + fd + ">&-; wait";
            pid_t launcher = fork();
            if (launcher == 0) {
                close(pids[0]);
                close(results[0]);
                runLauncher(tmp, command, capture, results[1]);
            }
            close(pids[1]);
            close(results[1]);
            pid_t grandchild = static_cast<pid_t>(std::atol(readLine(pids[0]).c_str()));
            kill(launcher, SIGTERM);
            int status = 0;
            while (waitpid(launcher, &status, 0) < 0 && errno == EINTR) {
            }
            std::string result = readLine(results[0]);
            // Every orphan left behind ends before this returns ECHILD.
            while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
            }
            bool gone = grandchild > 0 && kill(grandchild, 0) != 0 && errno == ESRCH;
            return "launcher " + describe(status) + ", " + result + ", sleep " +
                   (gone ? "ended" : "still running") + ", left " +
                   std::to_string(countEntries(tmp));
        });
        EXPECT_EQ(
            "launcher exited 143, message=Stopped by signal 15 (Terminated) app=none, "
            "sleep ended, left 0",
            report)
            << "capture " << capture;
    }
}

// SIGINT from kill, not from a terminal (a launcher without one): the application gets it,
// and the launcher, asked to stop too, ends through its cleanup once the application has.
TEST_F(ForegroundJobTest, InterruptSentToTheLauncherReachesTheApplication) {
    const std::string tmp = m_tmp.path();
    std::string report = runIsolated([&tmp]() {
        int pids[2];
        int results[2];
        if (pipe(pids) != 0 || pipe(results) != 0) {
            return std::string("no pipe");
        }
        std::string fd = std::to_string(pids[1]);
        std::string command = "echo $$ >&" + fd + "; exec " + fd + ">&-; exec sleep 60";
        pid_t launcher = fork();
        if (launcher == 0) {
            close(pids[0]);
            close(results[0]);
            runLauncher(tmp, command, true, results[1]);
        }
        close(pids[1]);
        close(results[1]);
        readLine(pids[0]);
        kill(launcher, SIGINT);
        int status = 0;
        while (waitpid(launcher, &status, 0) < 0 && errno == EINTR) {
        }
        return "launcher " + describe(status) + ", " + readLine(results[0]) + ", left " +
               std::to_string(countEntries(tmp));
    });
    EXPECT_EQ("launcher exited 130, message=Stopped by signal 2 (Interrupt) app=none, left 0",
              report);
}

#endif  // __linux__

// A pseudo-terminal whose other side is the controlling terminal of a small session: a
// job-control "shell" that runs the launcher's side (runLauncher) as its foreground job,
// reports how that job stops and ends, and brings it back to the foreground, like fg, each
// time it stops. The test types on the terminal and reads the screen.
class TerminalSession {
public:
    TerminalSession(const std::string& tmp, const std::string& command, bool helper = false)
        : m_master(-1), m_reports(-1), m_shell(-1), m_launcher(-1) {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        int reports[2];
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            pipe2(reports, O_CLOEXEC) != 0) {
            return;
        }
        std::string terminal = ptsname(m_master);
        std::fflush(nullptr);
        m_shell = fork();
        if (m_shell == 0) {
            close(reports[0]);
            runShell(terminal, tmp, command, reports[1], helper);
        }
        close(reports[1]);
        m_reports = reports[0];
        m_launcher = static_cast<pid_t>(std::atol(nextReport().c_str()));
    }
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;
    ~TerminalSession() {
        // Only a test that gave up leaves these running.
        if (m_launcher > 0) {
            kill(-m_launcher, SIGKILL);
        }
        if (m_shell > 0) {
            kill(m_shell, SIGKILL);
            while (waitpid(m_shell, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        for (int fd : {m_master, m_reports}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    bool started() const { return m_launcher > 0; }

    void type(const std::string& keys) { writeText(m_master, keys); }

    // Reads the screen until text shows; false when it does not within kGiveUpSeconds.
    bool waitForScreen(const std::string& text) {
        pollfd watched = {m_master, POLLIN, 0};
        while (m_screen.find(text) == std::string::npos) {
            int ready = poll(&watched, 1, static_cast<int>(kGiveUpSeconds) * 1000);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            char buffer[1024];
            ssize_t got = ready > 0 ? read(m_master, buffer, sizeof buffer) : -1;
            if (got <= 0) {
                return false;
            }
            m_screen.append(buffer, static_cast<size_t>(got));
        }
        return true;
    }

    const std::string& screen() const { return m_screen; }

    // Waits until a process of the session runs the program named command (its name as
    // /proc/<pid>/stat shows it); false when none does within kGiveUpSeconds.
    bool waitForProgram(const std::string& command) const {
        for (unsigned i = 0; i < kGiveUpSeconds * 100; ++i) {
            if (sessionRuns(command)) {
                return true;
            }
            usleep(10000);
        }
        return false;
    }

    // The shell's next report line; "gave up" when none comes within kGiveUpSeconds.
    std::string nextReport() {
        pollfd watched = {m_reports, POLLIN, 0};
        int ready;
        while ((ready = poll(&watched, 1, static_cast<int>(kGiveUpSeconds) * 1000)) < 0 &&
               errno == EINTR) {
        }
        return ready > 0 ? readLine(m_reports) : "gave up";
    }

private:
    bool sessionRuns(const std::string& command) const {
        DIR* proc = opendir("/proc");
        bool found = false;
        while (const dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
            // "<pid> (<name>) <state> <ppid> <pgrp> <session> ..."
            std::string stat = qvtest::readFile(std::string("/proc/") + entry->d_name + "/stat");
            size_t nameEnd = stat.rfind(')');
            size_t nameStart = stat.find('(');
            if (nameEnd == std::string::npos || nameStart == std::string::npos ||
                stat.compare(nameStart + 1, nameEnd - nameStart - 1, command) != 0) {
                continue;
            }
            char state;
            long parent, group, session;
            if (std::sscanf(stat.c_str() + nameEnd + 1, " %c %ld %ld %ld", &state, &parent, &group,
                            &session) == 4 &&
                session == m_shell) {
                found = true;
                break;
            }
        }
        if (proc != nullptr) {
            closedir(proc);
        }
        return found;
    }

    [[noreturn]] static void runShell(const std::string& terminal, const std::string& tmp,
                                      const std::string& command, int reportFd, bool helper) {
        setsid();
        // The first terminal a session leader opens becomes its controlling terminal.
        int slave = open(terminal.c_str(), O_RDWR);
        if (slave < 0 || dup2(slave, 0) < 0 || dup2(slave, 1) < 0 || dup2(slave, 2) < 0) {
            _exit(1);
        }
        sigset_t ttou;
        sigset_t original;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        sigprocmask(SIG_BLOCK, &ttou, &original);
        int go[2];
        if (pipe(go) != 0) {
            _exit(1);
        }
        pid_t launcher = fork();
        if (launcher == 0) {
            // Starts only once it is the terminal's foreground job.
            close(go[1]);
            readLine(go[0]);
            close(go[0]);
            sigprocmask(SIG_SETMASK, &original, nullptr);
            runLauncher(tmp, command, false, reportFd, helper);
        }
        setpgid(launcher, launcher);
        tcsetpgrp(0, launcher);
        writeText(reportFd, std::to_string(launcher) + "\n");
        close(go[0]);
        close(go[1]);
        int status = 0;
        for (;;) {
            if (waitpid(launcher, &status, WUNTRACED) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                _exit(1);
            }
            writeText(reportFd, "launcher " + describe(status) + "\n");
            if (!WIFSTOPPED(status)) {
                _exit(0);
            }
            tcsetpgrp(0, launcher);
            kill(-launcher, SIGCONT);
        }
    }

    int m_master;
    int m_reports;
    pid_t m_shell;
    pid_t m_launcher;
    std::string m_screen;
};

TEST_F(ForegroundJobTest, CtrlCInATerminalStopsTheApplicationNotTheLauncher) {
    TerminalSession session(m_tmp.path(), "sleep 60; echo finished");
    ASSERT_TRUE(session.started());
    // The shell that runs the command defers an interrupt until its current child ends, so the
    // key must come while sleep runs.
    ASSERT_TRUE(session.waitForProgram("sleep"));
    session.type("\x03");
    EXPECT_EQ("message=none app=130", session.nextReport());
    EXPECT_EQ("launcher exited 0", session.nextReport());
    EXPECT_EQ(std::string::npos, session.screen().find("finished")) << session.screen();
    EXPECT_EQ(0u, countEntries(m_tmp.path()));
}

// A helper (a verify run) never gets the terminal: Ctrl-C reaches the launcher, which kills
// the helper, cleans up and ends with 130 instead of going on with the next step.
TEST_F(ForegroundJobTest, CtrlCDuringAHelperRunStopsTheLauncher) {
    TerminalSession session(m_tmp.path(), "sleep 60; echo finished", true);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.waitForProgram("sleep"));
    session.type("\x03");
    EXPECT_EQ("message=Stopped by signal 2 (Interrupt) app=none", session.nextReport());
    EXPECT_EQ("launcher exited 130", session.nextReport());
    EXPECT_EQ(std::string::npos, session.screen().find("finished")) << session.screen();
    EXPECT_EQ(0u, countEntries(m_tmp.path()));
}

TEST_F(ForegroundJobTest, ApplicationReadsTheTerminal) {
    TerminalSession session(m_tmp.path(), "echo ready; read line; echo \"got <$line>\"");
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.waitForScreen("ready")) << session.screen();
    session.type("hello\n");
    EXPECT_TRUE(session.waitForScreen("got <hello>")) << session.screen();
    EXPECT_EQ("message=none app=0", session.nextReport());
    EXPECT_EQ("launcher exited 0", session.nextReport());
}

// Ctrl-Z stops the application, and with it the launcher's job, as the shell expects of a job;
// fg brings both back and the application reads on.
TEST_F(ForegroundJobTest, CtrlZStopsTheJobAndFgResumesTheApplication) {
    TerminalSession session(m_tmp.path(), "echo ready; read line; echo \"got <$line>\"");
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.waitForScreen("ready")) << session.screen();
    session.type("\x1a");
    EXPECT_EQ("launcher stopped " + std::to_string(SIGTSTP), session.nextReport());
    session.type("again\n");
    EXPECT_TRUE(session.waitForScreen("got <again>")) << session.screen();
    EXPECT_EQ("message=none app=0", session.nextReport());
    EXPECT_EQ("launcher exited 0", session.nextReport());
}

}  // namespace
