// Black-box tests of a launch that is the run's last act: the launcher's process becomes the
// application's (the fake java sees the launcher's pid as its own), its exit status or the
// signal that ends it reaches the caller unchanged, and QV_EXEC_IN_PLACE=0 or anything left
// to do after the launch keeps the application a child of the launcher.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class ExecInPlaceE2ETest : public PackedLauncherTest {
protected:
    ExecInPlaceE2ETest() : PackedLauncherTest("qvtest-exec") {}

    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["QV_VERIFY_CACHE"] = "0";
        m_home = makeDirectory("jdk");
        makeDirectory("jdk/bin");
        // Started as "java app ... HOW", it writes "<pid> <parent pid>" and then ends as HOW says:
        // with that exit status, or by SIGTERM for "term".
        writeFile(m_home + "/" + m_exe,
                  "#!/bin/sh\nif [ \"$1\" = app ]; then\n  echo \"$$ $PPID\" > '" +
                      path("app.pid") +
                      "'\n  for a in \"$@\"; do how=\"$a\"; done\n"
                      "  [ \"$how\" = term ] && kill -TERM $$\n  exit \"$how\"\nfi\necho " +
                      kMagicLine + "\necho 1.8.0_42\n",
                  0755);
        writeFile(path("fake.jvm"),
                  "DESC: Fake JVM\nJVM_EXE: " + m_exe +
                      "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT: " + m_home + "\n");
    }

    // A launcher whose script is lines; the jvm file has id 2, the launch script id 3. With
    // an archive, the command gets it (extracted for the run) on its class path.
    std::string packLauncher(const std::vector<std::string>& lines, bool displayConsole = true,
                             bool archive = false) {
        writeFile(path("launch.tag"),
                  std::string("DESC: Fake app\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app") +
                      (archive ? " %CP%()" : "") +
                      "\"\nDISPLAY_CONSOLE: " + (displayConsole ? "1" : "0") + "\n");
        writeFile(path("lib.jar"), "a class-path archive");
        std::vector<std::pair<std::string, std::string>> files = {
            {"--instructions", writeInstructions("run.tag", lines)},
            {"--jvm", path("fake.jvm")},
            {"--launch-script", path("launch.tag")}};
        if (archive) {
            files.emplace_back("--classpath", path("lib.jar"));
        }
        return pack("app", files);
    }

    // Runs launcher with the application's HOW; the pid the launcher ran as goes to launcherPid.
    RunResult run(const std::string& launcher, const std::string& how, bool execInPlace,
                  pid_t& launcherPid) const {
        Command launch = command(launcher, {"-qv:javahome", m_home, "-qv:log", m_log, how});
        launch.environment["QV_EXEC_IN_PLACE"] = execInPlace ? "1" : "0";
        ChildProcess running(launch);
        launcherPid = running.pid();
        return running.wait();
    }

    // "<pid> <parent pid>" of the application's last run.
    std::string applicationPids() const {
        std::string text = readFile(path("app.pid"));
        return text.substr(0, text.find('\n'));
    }

    std::string m_home;
};

const char kReplacing[] = "Replacing the launcher with the application (no further record follows)";

// The application takes the launcher's place: its status and a death by signal reach the
// caller as they would from java itself, and no launcher process waits above it. Switched
// off, the launcher waits for it as a child and reports the signal as 128 + its number.
TEST_F(ExecInPlaceE2ETest, ApplicationReplacesTheLauncherAndKeepsItsEnd) {
    std::string launcher = packLauncher({"VERIFY 0 0 2", "ILAUNCH 2 0", "// done", ":end"});
    struct Case {
        std::string how;
        bool execInPlace;
        int status;
        int signal;
    } cases[] = {{"0", true, 0, 0},     {"3", true, 3, 0},
                 {"255", true, 255, 0}, {"term", true, -1, SIGTERM},
                 {"3", false, 3, 0},    {"term", false, 128 + SIGTERM, 0}};
    for (const Case& c : cases) {
        std::remove(m_log.c_str());
        pid_t launcherPid = 0;
        RunResult result = run(launcher, c.how, c.execInPlace, launcherPid);
        std::string what = c.how + (c.execInPlace ? " in place" : " as a child");

        EXPECT_EQ(result.status, c.status) << what << result.err;
        EXPECT_EQ(result.signal, c.signal) << what;
        std::string pid = std::to_string(launcherPid);
        std::string pids = applicationPids();
        if (c.execInPlace) {
            EXPECT_EQ(pids.substr(0, pids.find(' ')), pid) << what;
            std::string log = readFile(m_log);
            EXPECT_EQ(log.substr(log.size() - sizeof kReplacing), kReplacing + std::string("\n"))
                << log;
        } else {
            EXPECT_EQ(pids.substr(pids.find(' ') + 1), pid) << what;
            EXPECT_NE(pids.substr(0, pids.find(' ')), pid) << what;
            EXPECT_FALSE(contains(readFile(m_log), kReplacing)) << what;
        }
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{}) << what;
    }
}

// Anything the launcher still has to do after the launch keeps the application its child: a
// line that runs after it, output to capture into the log, a file extracted for the run that
// the command uses and cleanup removes. A jvm file the search wrote, which the command does
// not name, is removed before the launcher replaces itself.
TEST_F(ExecInPlaceE2ETest, LauncherStaysWhenItHasMoreToDo) {
    struct Case {
        std::vector<std::string> lines;
        bool displayConsole;
        bool archive;
        bool replaced;
    } cases[] = {{{"VERIFY 0 0 2", "ILAUNCH 2 0"}, true, false, true},
                 {{"VERIFY 0 0 2", "ILAUNCH 2 0", "SET S3 = after"}, true, false, false},
                 {{"VERIFY 0 0 2", "ILAUNCH 2 0", "GOTO end", ":end"}, true, false, false},
                 {{"VERIFY 0 0 2", "ILAUNCH 2 0"}, false, false, false},
                 {{"FIND_JVM 0 0", "LAUNCH @S2@ 0"}, true, false, true},
                 {{"FIND_JVM 0 0", "LAUNCH @S2@ 0"}, true, true, false}};
    for (const Case& c : cases) {
        std::string launcher = packLauncher(c.lines, c.displayConsole, c.archive);
        std::string what =
            c.lines.back() + (c.displayConsole ? "" : " captured") + (c.archive ? " archive" : "");
        pid_t launcherPid = 0;
        RunResult result = run(launcher, "7", true, launcherPid);

        EXPECT_EQ(result.status, 7) << what << result.err;
        std::string pids = applicationPids();
        EXPECT_EQ(pids.substr(0, pids.find(' ')) == std::to_string(launcherPid), c.replaced)
            << what;
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{}) << what;
    }
}

}  // namespace
