// Black-box tests of what one launch writes to the temporary directory: the embedded verify
// archive only when a verify run needs it. Each run has its own TMPDIR, which the fake
// application lists while the launcher runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class LeanLaunchE2ETest : public PackedLauncherTest {
protected:
    LeanLaunchE2ETest() : PackedLauncherTest("qvtest-lean") {}

    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["XDG_CACHE_HOME"] = path("cache");
        // The launcher stays the application's parent, so the application sees what the run
        // extracted (replacing itself, the launcher would remove it first).
        m_environment["QV_EXEC_IN_PLACE"] = "0";
        m_environment["QV_VERIFY_CACHE"] = "1";
        m_home = makeDirectory("jdk");
        mkdir((m_home + "/bin").c_str(), 0755);
        // Verified, it notes the run and answers; started as the application, it prints one
        // "dir" line per directory the launcher made in TMPDIR and the arguments it got.
        writeFile(m_home + "/" + m_exe,
                  std::string("#!/bin/sh\n") +
                      "if [ \"$1\" = app ]; then\n"
                      "  for e in \"$TMPDIR\"/qvj*; do [ -d \"$e\" ] && echo dir; done\n"
                      "  shift; for a in \"$@\"; do echo \"<${a##*/}>\"; done\n"
                      "  exit 0\n"
                      "fi\n"
                      "echo run >> '" +
                      m_home +
                      "/runs'\n"
                      "for a; do case $a in /proc/self/fd/*) read -r l < \"$a\"; echo \"$l\" >> '" +
                      m_home + "/read';; esac; done\necho " + kMagicLine + "\necho 1.8.0_7\n",
                  0755);
        writeFile(path("fake.jvm"),
                  "DESC: Fake\nJVM_EXE: " + m_exe +
                      "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT: " + m_home + "\n");
        writeFile(path("launch.tag"),
                  "DESC: Fake app\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app "
                  "%CP%() %APPLICATION_ARCHIVE%()\"\n");
    }

    // A launcher that finds the fake JVM and starts it as the application, with extra files.
    std::string packLauncher(const std::vector<std::pair<std::string, std::string>>& extra) {
        std::vector<std::pair<std::string, std::string>> files = {
            {"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
            {"--jvm", path("fake.jvm")},
            {"--launch-script", path("launch.tag")}};
        files.insert(files.end(), extra.begin(), extra.end());
        return pack("app", files);
    }

    // Runs the launcher; the application's output after the title the launcher prints.
    std::string launch(const std::string& launcher) const {
        RunResult result = runProgram(command(launcher, {}));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out.rfind("Fake app\n", 0), 0u) << result.out;
        return result.out.substr(result.out.find('\n') + 1);
    }

    int verifyRuns() const {
        std::string text = readFile(m_home + "/runs");
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    std::string m_home;
};

// The embedded verify archive is keyed by its bytes: the launch after a verify run is answered
// from the cache; a launcher with another verify archive verifies again. A verify run reads
// the archive from a memory copy, so no launch writes anything to the temporary directory.
TEST_F(LeanLaunchE2ETest, CacheHitExtractsNothingAndOtherVerifyBytesVerifyAgain) {
    writeFile(path("verify.jar"), "first verify archive");
    std::string launcher = packLauncher({{"--verify", path("verify.jar")}});
    EXPECT_EQ(launch(launcher), "");
    EXPECT_EQ(verifyRuns(), 1);
    EXPECT_EQ(launch(launcher), "");
    EXPECT_EQ(verifyRuns(), 1);

    writeFile(path("verify.jar"), "other verify archive");
    launcher = packLauncher({{"--verify", path("verify.jar")}});
    EXPECT_EQ(launch(launcher), "");
    EXPECT_EQ(verifyRuns(), 2);
    EXPECT_EQ(readFile(m_home + "/read"), "first verify archive\nother verify archive\n");
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// One run makes at most one directory, shared by everything it extracts, and none when it
// extracts nothing.
TEST_F(LeanLaunchE2ETest, OneRunDirectoryAtMostForEverythingExtracted) {
    writeFile(path("verify.jar"), "verify archive");
    writeFile(path("a.jar"), "a");
    writeFile(path("b.jar"), "b");
    writeFile(path("app.jar"), "app");
    struct Case {
        std::vector<std::pair<std::string, std::string>> files;
        std::string out;  // the directories made, then the application's arguments
    } cases[] = {
        // Nothing to extract: the verification is answered from the cache the first run filled.
        {{{"--verify", path("verify.jar")}}, ""},
        // A verify run, two class-path archives and the application archive: one directory.
        {{{"--verify", path("other/verify.jar")},
          {"--classpath", path("a.jar")},
          {"--classpath", path("b.jar")},
          {"--app", path("app.jar")}},
         "dir\n<b.jar>\n<app.jar>\n"},
    };
    makeDirectory("other");
    writeFile(path("other/verify.jar"), "another verify archive");
    launch(packLauncher(cases[0].files));
    for (const Case& c : cases) {
        EXPECT_EQ(launch(packLauncher(c.files)), c.out) << c.files.size();
    }
    EXPECT_EQ(verifyRuns(), 2);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

}  // namespace
