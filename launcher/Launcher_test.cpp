#include "launcher/Launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "instructions/ScriptVariables.h"
#include "launcher/LauncherPath.h"
#include "platform/unix/WorkingDirectory.h"
#include "tests/support/LauncherTestSupport.h"
#include "tests/support/ScriptTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override { Log::resetForTest(); }
    void TearDown() override {
        Log::resetForTest();
        ASSERT_TRUE(m_temp.remove());
    }

    TemporaryDirectory m_temp{"qvtest-launcher"};
    std::string m_dir = m_temp.path();
};

// Runs the built launcher with a shell command line and returns its standard output; its
// standard error goes to *errors when given.
std::string runLauncher(const std::string& arguments, int& status, std::string* errors = nullptr) {
    TemporaryDirectory errorDirectory("qvtest-launcher-err");
    std::string errorFile = errorDirectory / "stderr";
    std::string command = std::string(QV_LAUNCHER_BINARY) + " " + arguments + " </dev/null";
    if (errors != nullptr) {
        command += " 2>" + errorFile;
    }
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    status = pclose(pipe);
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (errors != nullptr) {
        *errors = readFile(errorFile);
    }
    return output;
}

TEST_F(LauncherTest, VariablesCheckTheirNumbers) {
    struct Case {
        long n;
        bool isString;
        const char* message;
    } cases[] = {{0, true, "Invalid string variable number: 0"},
                 {11, true, "Invalid string variable number: 11"},
                 {6, false, "Invalid numeric variable number: 6"},
                 {-1, false, "Invalid numeric variable number: -1"}};
    for (const Case& c : cases) {
        try {
            if (c.isString) {
                ScriptVariables::getStringVariable(c.n);
            } else {
                ScriptVariables::setLongVariable(c.n, 1);
            }
            ADD_FAILURE() << "no exception for " << c.n;
        } catch (const LauncherException& e) {
            EXPECT_EQ(c.message, str(e.m_message));
        }
    }
    ScriptVariables::setLongVariable(5, 42);
    EXPECT_EQ(42, ScriptVariables::getLongVariable(5));
    ScriptVariables::setStringVariable(10, "ten");
    EXPECT_EQ("ten", str(ScriptVariables::getStringVariable(10)));
    ScriptVariables::setLongVariable(5, 0);
    ScriptVariables::setStringVariable(10, "");
}

TEST_F(LauncherTest, LogHasOneSeparatorAndPrefixedRecords) {
    std::string log = m_dir + "/run.log";
    Log::logMessage("lost before a name is set", LOG_ERROR);
    Log::setLogFileName(log.c_str());
    Log::logMessage("first", LOG_INFO);
    Log::logMessage(SString("second\nline"), LOG_WARNING);
    Log::logMessage("third", LOG_ERROR);
    Log::logMessage("fourth", static_cast<LogMessageType>(3));
    EXPECT_EQ("------------------\nfirst\nWARNING: second\nline\nERROR: third\nfourth\n",
              readFile(log));

    // A new name in the same run gets no separator.
    std::string other = m_dir + "/other.log";
    Log::setLogFileName(other.c_str());
    Log::logMessage("fifth", LOG_INFO);
    EXPECT_EQ("fifth\n", readFile(other));
}

TEST_F(LauncherTest, UnwritableLogIsIgnored) {
    std::string log = m_dir + "/missing-dir/run.log";
    Log::setLogFileName(log.c_str());
    EXPECT_NO_THROW(Log::logMessage("dropped", LOG_INFO));
    struct stat info;
    EXPECT_NE(0, stat(log.c_str(), &info));
}

// A log named in a shared directory such as /tmp: a link another user planted at its name is
// not followed; the user's own links (and root's, such as /dev/stderr) are.
TEST_F(LauncherTest, LogFollowsOnlyLinksNobodyElseCouldPlant) {
    std::string target = m_dir + "/target";
    writeFile(target, "");
    std::string log = m_dir + "/run.log";
    ASSERT_EQ(0, symlink(target.c_str(), log.c_str()));
    Log::setLogFileName(log.c_str());
    Log::logMessage("kept", LOG_INFO);
    EXPECT_TRUE(qvtest::contains(readFile(target), "kept\n")) << readFile(target);
    if (geteuid() != 0) {
        GTEST_SKIP() << "a link owned by another user needs root to make";
    }
    ASSERT_EQ(0, lchown(log.c_str(), 65534, 65534));
    Log::logMessage("dropped", LOG_INFO);
    EXPECT_FALSE(qvtest::contains(readFile(target), "dropped")) << readFile(target);
}

TEST_F(LauncherTest, OriginalLauncherDir) {
    struct Case {
        const char* path;
        const char* dir;
    } cases[] = {{"/opt/app/launcher", "/opt/app"},
                 {"launcher", ""},
                 {"/launcher", ""},
                 {"/opt/app/", "/opt/app"},
                 {"c:\\app\\l", "c:\\app"}};
    for (const Case& c : cases) {
        Launcher::setLauncherFiles(SString(), c.path);
        EXPECT_EQ(c.dir, str(Launcher::getOriginalLauncherDir())) << c.path;
    }
    Launcher::resetForTest();
}

TEST_F(LauncherTest, LauncherPathFromArgv0) {
    EXPECT_EQ("/abs/launcher", str(resolveLauncherPath("/abs/launcher")));
    std::string cwd = str(currentDirectory());
    EXPECT_EQ(cwd + "/sub/launcher", str(resolveLauncherPath("sub/launcher")));

    // A bare name is looked up in PATH as the shell did.
    std::string bin = m_dir + "/bin";
    ASSERT_EQ(0, mkdir(bin.c_str(), 0755));
    std::string program = bin + "/qvprog";
    writeFile(program, "#!/bin/sh\n");
    ASSERT_EQ(0, chmod(program.c_str(), 0755));
    const char* savedPath = std::getenv("PATH");
    std::string saved = savedPath == nullptr ? "" : savedPath;
    setenv("PATH", ("/nonexistent:" + bin).c_str(), 1);
    EXPECT_EQ(program, str(resolveLauncherPath("qvprog")));
    // Not in PATH: the running executable stands in.
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    EXPECT_EQ(std::string(self), str(resolveLauncherPath("no-such-program-anywhere")));
    setenv("PATH", saved.c_str(), 1);
}

// The link stands for /proc/self/exe: its target names the executed file, which is opened
// through the link; without a usable link argv[0] names it.
TEST_F(LauncherTest, ExecutedLauncherFromTheSystemLinkElseArgv0) {
    writeFile(m_dir + "/named (deleted)", "a launcher really called so");
    const std::string link = m_dir + "/exe";
    struct Case {
        std::string target;  // empty: no link
        const char* argv0;
        std::string path;
        std::string openPath;
    };
    const Case cases[] = {
        {"/opt/app/run", "elsewhere", "/opt/app/run", link},
        {"/opt/app/run (deleted)", "run", "/opt/app/run", link},
        {m_dir + "/named (deleted)", "run", m_dir + "/named (deleted)", link},
        {"", "/abs/launcher", "/abs/launcher", "/abs/launcher"},
        {"relative/run", "/abs/launcher", "/abs/launcher", "/abs/launcher"},
    };
    for (const Case& c : cases) {
        std::remove(link.c_str());
        if (!c.target.empty()) {
            ASSERT_EQ(0, symlink(c.target.c_str(), link.c_str()));
        }
        ExecutedLauncher found = findExecutedLauncher(c.argv0, link.c_str());
        EXPECT_EQ(c.path, str(found.path)) << c.target;
        EXPECT_EQ(c.openPath, str(found.openPath)) << c.target;
    }
}

TEST_F(LauncherTest, CommandLineOptions) {
    int status = -1;
    EXPECT_EQ("2.0\n", runLauncher("-qv:version", status));
    EXPECT_EQ(0, status);

    std::string errors;
    std::string output = runLauncher("-qv:log", status, &errors);
    EXPECT_EQ(0u, errors.find("A log file name must be specified after the -log option on the "
                              "command line.\n"))
        << errors;
    EXPECT_EQ(std::string::npos, output.find("log file name")) << output;
    EXPECT_EQ(0, status);

    output = runLauncher("-qv:version -qv:tempdir", status);
    EXPECT_EQ("2.0\n", output);
    output = runLauncher("-qv:version -qv:javahome", status);
    EXPECT_EQ("2.0\n", output);
    output = runLauncher("-qv:silent -qv:log", status);
    EXPECT_EQ(std::string::npos, output.find("log file name")) << output;

    std::string log = m_dir + "/cmd.log";
    output = runLauncher("-qv:log " + log + " -qv:in " + m_dir + "/missing.tag", status, &errors);
    EXPECT_EQ(1, status);
    EXPECT_EQ("", output);
    EXPECT_EQ(
        "Could not load the input file.Unable to open input file specified on the command "
        "line after the -in option.\n"
        "Unable to open input file specified on the command line after the -in option.\n",
        errors);
    EXPECT_EQ(
        "------------------\nERROR: Unable to open input file specified on the command line "
        "after the -in option.\n",
        readFile(log));
}

TEST_F(LauncherTest, InputFileActions) {
    int status = -1;
    std::string log = m_dir + "/input.log";
    std::string bogus = m_dir + "/bogus.tag";
    writeFile(bogus, "ACTION: BOGUS\nLOGFILE: " + log + "\n");
    std::string errors;
    EXPECT_EQ("", runLauncher("-qv:in " + bogus, status, &errors));
    EXPECT_EQ("Invalid action in input file: BOGUS\nInvalid action in input file: BOGUS\n", errors);
    EXPECT_EQ(1, status);
    EXPECT_EQ("------------------\nERROR: Invalid action in input file: BOGUS\n", readFile(log));

    // Quotes around the path are dropped for opening; the log shows the argument as given.
    std::string run = m_dir + "/run.tag";
    writeFile(run, "ACTION: RUN_INSTRUCTIONS\n");
    std::string runLog = m_dir + "/run.log";
    runLauncher("-qv:log " + runLog + " -qv:in '\"" + run + "\"'", status);
    EXPECT_EQ(0, status);
    EXPECT_EQ("------------------\nLoading input file \"" + run + "\"\n", readFile(runLog));

    std::string broken = m_dir + "/broken.tag";
    writeFile(broken, "ACTION: SEARCH\n\nno colon here\n");
    std::string error =
        "Syntax error in " + broken + " at line 3 ==> Missing colon at the end of the tag name.";
    EXPECT_EQ("", runLauncher("-qv:in " + broken, status, &errors));
    EXPECT_EQ("Could not load the input file." + error + "\n" + error + "\n", errors);
    EXPECT_EQ(1, status);

    std::string noValues = m_dir + "/verify.tag";
    std::string verifyLog = m_dir + "/verify.log";
    writeFile(noValues, "ACTION: VERIFY_JVM\nLOGFILE: " + verifyLog + "\n");
    EXPECT_EQ("", runLauncher("-qv:in " + noValues, status));
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos,
              readFile(verifyLog).find("ERROR: TO execute the VERIFY_JVM action, you must also "
                                       "provide values in the input file for VERIFY_JVM_FILE and "
                                       "VERIFY_JVM_HOME."));
}

// The conversion that Launcher::run applies to the script's errors.
class LauncherRunInstructionsTest : public ::testing::Test {
protected:
    void SetUp() override { ScriptVariables::resetForTest(); }
    void TearDown() override { ScriptVariables::resetForTest(); }
};

const char kWrongType[] = "). Must use N or S as the variable type, e.g. N2 or S1.";

TEST_F(LauncherRunInstructionsTest, ScriptErrorBecomesLauncherExceptionWithLineNumber) {
    ScriptRunner runner{"SET S1 = first", "SET N2 = 42", "SET S3 = @S1@-@N2@", "SET X1 = 5",
                        "SET S4 = never"};
    try {
        Launcher::runInstructions(runner.m_instructions);
        FAIL() << "the script error did not leave";
    } catch (const LauncherException& e) {
        EXPECT_EQ(std::string("Error in instructions. Invalid variable specified on left hand "
                              "side of SET statement. Invalid variable reference (X1") +
                      kWrongType + " Line number (4)",
                  str(e.m_message));
    }
    EXPECT_EQ("first", str(ScriptVariables::getStringVariable(1)));
    EXPECT_EQ(42, ScriptVariables::getLongVariable(2));
    EXPECT_EQ("first-42", str(ScriptVariables::getStringVariable(3)));
    EXPECT_EQ("", str(ScriptVariables::getStringVariable(4)));
}

TEST_F(LauncherRunInstructionsTest, OtherFailuresPassUnchanged) {
    ScriptRunner badReference{"LAUNCH @X1@ 5"};
    try {
        Launcher::runInstructions(badReference.m_instructions);
        FAIL() << "the bad reference was accepted";
    } catch (const LauncherException& e) {
        EXPECT_EQ(std::string("Invalid jvm file name specified in LAUNCH. Invalid variable "
                              "reference (X1") +
                      kWrongType,
                  str(e.m_message));
    }

    ScriptRunner failingAction{"INITIALIZE_UI"};
    failingAction.m_actions.m_failingAction = "initializeUI";
    try {
        Launcher::runInstructions(failingAction.m_instructions);
        FAIL() << "the action failure was lost";
    } catch (const LauncherException& e) {
        EXPECT_EQ("action failed", str(e.m_message));
    }

    ScriptRunner fine{"INITIALIZE_UI"};
    EXPECT_NO_THROW(Launcher::runInstructions(fine.m_instructions));
    EXPECT_EQ(std::vector<std::string>{"initializeUI()"}, fine.m_actions.m_calls);
}

}  // namespace
