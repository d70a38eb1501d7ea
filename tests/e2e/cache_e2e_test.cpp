// Black-box test of the verify cache shared by launchers that run at the same time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class CacheE2ETest : public PackedLauncherTest {
protected:
    CacheE2ETest() : PackedLauncherTest("qvtest-cache") {}
};

// 30 launchers, each verifying a JVM of its own, all at once and sharing one cache: afterwards
// the cache answers for every one of the 30 JVMs, none of which runs again.
TEST_F(CacheE2ETest, ConcurrentLaunchersLoseNoCacheEntry) {
    const int kLaunchers = 30;
    m_environment["XDG_CACHE_HOME"] = path("cache");
    m_environment["QV_VERIFY_CACHE"] = "1";
    std::vector<std::string> inputs;
    for (int i = 0; i < kLaunchers; ++i) {
        const std::string home = makeDirectory("jdk" + std::to_string(i));
        mkdir((home + "/bin").c_str(), 0755);
        writeFile(home + "/" + m_exe,
                  "#!/bin/sh\necho run >> '" + home + "/runs'\necho " + kMagicLine +
                      "\necho 1.8.0_" + std::to_string(i) + "\n",
                  0755);
        const std::string jvm = path("jvm" + std::to_string(i) + ".jvm");
        writeFile(jvm, "DESC: Fake\nJVM_EXE: " + m_exe +
                           "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT: " + home + "\n");
        inputs.push_back(path("in" + std::to_string(i) + ".tag"));
        writeFile(inputs.back(), "ACTION: SEARCH\nJVM: " + jvm + "\n");
    }
    const std::string launcher = pack("app.bin", {});

    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<ChildProcess>> running;
        for (int i = 0; i < kLaunchers; ++i) {
            Command run = command(launcher, {"-qv:in", inputs[i]});
            run.captureDirectory = makeDirectory("out" + std::to_string(i));
            running.emplace_back(new ChildProcess(run));
        }
        for (int i = 0; i < kLaunchers; ++i) {
            RunResult result = running[i]->wait();
            EXPECT_EQ(result.status, 0) << i << result.err;
            EXPECT_TRUE(contains(result.out, path("jdk" + std::to_string(i)) + "\n"))
                << i << result.out;
        }
    }
    for (int i = 0; i < kLaunchers; ++i) {
        EXPECT_EQ(readFile(path("jdk" + std::to_string(i) + "/runs")), "run\n") << i;
    }
}

}  // namespace
