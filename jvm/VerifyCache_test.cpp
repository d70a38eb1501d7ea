#include "jvm/VerifyCache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "input/TagFile.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

// A fake JVM home that counts its runs; verification goes through the real verify path with
// the cache switched on in a private cache directory.
class VerifyCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_home = m_dir + "/jdk";
        ASSERT_EQ(0, std::system(("mkdir -p '" + m_home + "/bin' '" + m_home + "/lib'").c_str()));
        writeFile(m_home + "/lib/modules", "image");
        writeJava("17.0.15");
        m_archive = m_dir + "/verify.jar";
        writeFile(m_archive, "archive bytes");
        m_log = m_dir + "/test.log";
        Log::setLogFileName(m_log.c_str());
        PlatformImpl::setSilent(true);
        setenv("QV_VERIFY_CACHE", "1", 1);
        setenv("XDG_CACHE_HOME", (m_dir + "/cache").c_str(), 1);
        unsetenv("JAVA_TOOL_OPTIONS");
        VerifyCache::instance().reset();
    }
    void TearDown() override {
        VerifyCache::instance().reset();
        setenv("QV_VERIFY_CACHE", "0", 1);
        unsetenv("XDG_CACHE_HOME");
        unsetenv("JAVA_TOOL_OPTIONS");
        Log::setLogFileName("");
        PlatformImpl::setSilent(false);
        ASSERT_TRUE(m_temp.remove());
    }

    void writeJava(const std::string& version) {
        std::string java = m_home + "/bin/java";
        writeFile(java, "#!/bin/sh\necho run >> '" + m_dir + "/runs'\necho 1739021872\necho " +
                            version + "\necho Acme\n");
        chmod(java.c_str(), 0755);
    }

    int runs() const {
        std::string text = readFile(m_dir + "/runs");
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    // Verifies the fake home against properties (a JVM_PROPERTIES block body).
    bool verify(const std::string& properties) {
        std::string path = m_dir + "/test.jvm";
        writeFile(path, "JVM_EXE: bin/java\nCLASSPATH: \"-classpath \"\nJVM_PROPERTIES:\n" +
                            properties + "/:\n");
        TagFile tags(SString(path.c_str()));
        JVMFile file(tags);
        VerifyClass verifyClass(("\"" + m_archive + "\"").c_str(), "\"Verify\"");
        std::unique_ptr<JVMMatch> match(file.verify(m_home.c_str(), verifyClass));
        return match != nullptr;
    }

    // A new process would read the file afresh.
    void newLaunch() { VerifyCache::instance().reset(); }

    TemporaryDirectory m_temp{"qvtest-cache"};
    std::string m_dir = m_temp.path();
    std::string m_home;
    std::string m_archive;
    std::string m_log;
};

const char kVersion[] = "java.version=17...\n";

TEST_F(VerifyCacheTest, SecondLaunchIsAnsweredFromTheCache) {
    EXPECT_TRUE(verify(kVersion));
    newLaunch();
    EXPECT_TRUE(verify(kVersion));
    EXPECT_EQ(1, runs());
    EXPECT_NE(std::string::npos, readFile(m_log).find("answered from the verify cache"));
    // The comparison still runs on the remembered answer.
    newLaunch();
    EXPECT_FALSE(verify("java.version=11...\n"));
    EXPECT_EQ(1, runs());

    std::string dir = m_dir + "/cache/qvlauncher";
    struct stat info;
    ASSERT_EQ(0, stat(dir.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777);
    ASSERT_EQ(0, stat((dir + "/verify-cache").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
}

TEST_F(VerifyCacheTest, AnythingTheAnswerDependsOnMakesItRunAgain) {
    EXPECT_TRUE(verify(kVersion));
    int expected = 1;
    auto runsAgain = [&](const char* what, const std::string& properties) {
        newLaunch();
        verify(properties);
        ++expected;
        EXPECT_EQ(expected, runs()) << what;
        newLaunch();
        verify(properties);
        EXPECT_EQ(expected, runs()) << what << " (then cached again)";
    };

    struct utimbuf later = {1000000000, 1000000000};
    ASSERT_EQ(0, utime((m_home + "/bin/java").c_str(), &later));
    runsAgain("touched executable", kVersion);

    ASSERT_EQ(0, unlink((m_home + "/bin/java").c_str()));
    writeJava("17.0.16");
    runsAgain("replaced executable", kVersion);

    writeFile(m_home + "/lib/modules", "updated image");
    runsAgain("updated runtime image", kVersion);

    writeFile(m_archive, "another verify class");
    runsAgain("changed verify archive", kVersion);

    runsAgain("other property", std::string(kVersion) + "java.vendor=Acme\n");

    setenv("JAVA_TOOL_OPTIONS", "-Dx=y", 1);
    runsAgain("JAVA_TOOL_OPTIONS", kVersion);
}

TEST_F(VerifyCacheTest, RunDependentPropertiesAndTheSwitchAlwaysRun) {
    verify("user.dir=...\n");
    newLaunch();
    verify("user.dir=...\n");
    verify("java.io.tmpdir=...\n");
    verify("java.io.tmpdir=...\n");
    EXPECT_EQ(4, runs());

    setenv("QV_VERIFY_CACHE", "0", 1);
    verify(kVersion);
    newLaunch();
    verify(kVersion);
    EXPECT_EQ(6, runs());
}

TEST_F(VerifyCacheTest, CorruptOrForeignFilesAreIgnoredAndReplaced) {
    std::string dir = m_dir + "/cache/qvlauncher";
    ASSERT_EQ(0, std::system(("mkdir -p '" + dir + "'").c_str()));
    ASSERT_EQ(0, chmod(dir.c_str(), 0700));
    const char* corrupt[] = {"garbage", "qvlauncher verify cache 1\nkey\nexe\n",
                             "qvlauncher verify cache 1\nk%ZZ\n/bin/sh\nanswer\n1\n",
                             "qvlauncher verify cache 1\nk\n/bin/sh\nanswer\nnot-a-number\n"};
    int expected = 0;
    for (const char* content : corrupt) {
        writeFile(dir + "/verify-cache", content);
        chmod((dir + "/verify-cache").c_str(), 0600);
        newLaunch();
        EXPECT_TRUE(verify(kVersion)) << content;
        EXPECT_EQ(++expected, runs()) << content;
        EXPECT_EQ(0u, readFile(dir + "/verify-cache").find("qvlauncher verify cache 1\n"))
            << content;
        // Start the next case from a file that does not hold this answer.
        ASSERT_EQ(0, unlink((dir + "/verify-cache").c_str()));
    }

    // A cache file others may write is not trusted.
    newLaunch();
    EXPECT_TRUE(verify(kVersion));
    ++expected;
    ASSERT_EQ(0, chmod((dir + "/verify-cache").c_str(), 0666));
    newLaunch();
    EXPECT_TRUE(verify(kVersion));
    EXPECT_EQ(++expected, runs());
}

// Launchers that store at the same time each read, merge and write under the lock: every
// answer is there afterwards.
TEST_F(VerifyCacheTest, ConcurrentStoresLoseNoEntry) {
    const int kLaunchers = 30;
    std::vector<pid_t> children;
    for (int i = 0; i < kLaunchers; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            VerifyCache::Key key{"key " + std::to_string(i), m_home + "/bin/java"};
            VerifyCache::instance().reset();
            VerifyCache::instance().store(key, ("answer " + std::to_string(i)).c_str());
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    newLaunch();
    for (int i = 0; i < kLaunchers; ++i) {
        SString answer;
        EXPECT_TRUE(VerifyCache::instance().lookup(
            VerifyCache::Key{"key " + std::to_string(i), m_home + "/bin/java"}, answer))
            << i;
        EXPECT_EQ("answer " + std::to_string(i), std::string(answer.c_str())) << i;
    }
}

// The verify run's JVM options are part of the key: answers from runs with other options are not
// reused; a verify class without an identity is not cached at all.
TEST(VerifyCacheKeyTest, RunOptionsAndTheClassIdentityKeyTheAnswer) {
    StringDeque names;
    names.push_back("java.version");
    VerifyCache::Key interpreted;
    VerifyCache::Key compiled;
    ASSERT_TRUE(VerifyCache::makeKey("/bin/sh", "/nonexistent", "archive=1 class=V", "-Xint", names,
                                     interpreted));
    ASSERT_TRUE(
        VerifyCache::makeKey("/bin/sh", "/nonexistent", "archive=1 class=V", "", names, compiled));
    EXPECT_NE(interpreted.text, compiled.text);
    EXPECT_FALSE(VerifyCache::makeKey("/bin/sh", "/nonexistent", "", "-Xint", names, compiled));
}

TEST(VerifyCacheNamesTest, WhichPropertiesMayBeRemembered) {
    struct Case {
        const char* name;
        bool cacheable;
    } cases[] = {{"java.version", true},     {"java.vendor", true},
                 {"java.vm.name", true},     {"os.arch", true},
                 {"os.name", true},          {"sun.arch.data.model", true},
                 {"jdk.debug", true},        {"java.io.tmpdir", false},
                 {"java.class.path", false}, {"java.library.path", false},
                 {"java.ext.dirs", false},   {"user.dir", false},
                 {"os.version", false},      {"javax.foo", false}};
    for (const Case& c : cases) {
        StringDeque names;
        names.push_back(c.name);
        EXPECT_EQ(c.cacheable, VerifyCache::isCacheable(names)) << c.name;
    }
}

}  // namespace
