#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "launcher/Launcher.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/LauncherTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

// The original launcher is <dir>/app/run.bin; temporary directories go below <dir>/tmp.
class LauncherArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, mkdir((m_dir + "/app").c_str(), 0700));
        ASSERT_EQ(0, mkdir((m_dir + "/app/lib").c_str(), 0700));
        ASSERT_EQ(0, mkdir((m_dir + "/tmp").c_str(), 0700));
        Launcher::resetForTest();
        Launcher::setLauncherFiles((m_dir + "/app/run.bin").c_str(),
                                   (m_dir + "/app/run.bin").c_str());
        PlatformImpl::setSystemTempDir((m_dir + "/tmp/").c_str());
        Log::setLogFileName((m_dir + "/log.txt").c_str());
    }

    void TearDown() override {
        PlatformImpl::resetForTest();
        Launcher::resetForTest();
        ASSERT_TRUE(m_temp.remove());
    }

    TemporaryDirectory m_temp{"qvtest-archive"};
    std::string m_dir = m_temp.path();
};

TEST_F(LauncherArchiveTest, CopiesNamedFileBesideOriginalLauncherOnce) {
    // A missing file gives the empty path; a later call tries again.
    EXPECT_EQ("", str(Launcher::getApplicationArchive("./lib/app.jar")));
    std::string content(10000, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i % 251);
    }
    writeFile(m_dir + "/app/lib/app.jar", content);
    // The running launcher may be a copy elsewhere: the original launcher's directory counts.
    Launcher::setLauncherFiles((m_dir + "/tmp/copy.bin").c_str(),
                               Launcher::getOriginalLauncherFileName());

    std::string path = str(Launcher::getApplicationArchive("./lib/app.jar"));
    EXPECT_EQ(m_dir + "/tmp/qvj", path.substr(0, m_dir.size() + 8));
    EXPECT_EQ("/app.jar", path.substr(path.rfind('/')));
    EXPECT_EQ(content, readFile(path));
    // The first archive is kept for the run, whatever the later calls ask for.
    EXPECT_EQ(path, str(Launcher::getApplicationArchive("other.jar")));
    EXPECT_EQ(path, str(Launcher::getApplicationArchive()));
}

TEST_F(LauncherArchiveTest, RefusesNamesOutsideTheLauncherDirectory) {
    writeFile(m_dir + "/secret.jar", "secret");
    const char* names[] = {"../secret.jar",
                           "lib/../../secret.jar",
                           "lib\\..\\..\\secret.jar",
                           "/etc/passwd",
                           "..",
                           "lib/..",
                           ".",
                           "lib/",
                           ""};
    for (const char* name : names) {
        EXPECT_EQ("", str(Launcher::getApplicationArchive(name))) << name;
        EXPECT_TRUE(Launcher::getApplicationArchive().empty()) << name;
    }
    std::string log = readFile(m_dir + "/log.txt");
    EXPECT_NE(std::string::npos,
              log.find("ERROR: Refusing to copy the application archive \"../secret.jar\": the "
                       "name must be a relative path to a file, without \"..\" components."))
        << log;
}

// The file size limit makes the copy's writes fail; it is set in a child process only.
TEST_F(LauncherArchiveTest, WriteErrorFailsWithoutKeepingThePath) {
    writeFile(m_dir + "/app/big.jar", std::string(100000, 'x'));
    auto copyInChild = [&]() {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {50000, 50000};
        setrlimit(RLIMIT_FSIZE, &limit);
        SString expected = PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE);
        expected += convertToString(EFBIG);
        expected += PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE);
        try {
            Launcher::getApplicationArchive("big.jar");
        } catch (const LauncherException& e) {
            std::fprintf(stderr, "message: %s\n", e.m_message.c_str());
            std::_Exit(e.m_message.compare(expected) == 0 &&
                               Launcher::getApplicationArchive().empty()
                           ? 0
                           : 1);
        }
        std::_Exit(2);
    };
    EXPECT_EXIT(copyInChild(), ::testing::ExitedWithCode(0), "message: ");
}

// Loading an index changes the launcher's state for the rest of the process, so the embedded
// archive is looked at in a child process.
TEST_F(LauncherArchiveTest, EmbeddedArchiveLastOneWins) {
    const std::string launcher = m_dir + "/app/packed.bin";
    qvtest::packTestLauncher(m_dir, launcher,
                             {{FILE_TYPE_APPLICATION, "first.jar", "one"},
                              {FILE_TYPE_APPLICATION, "second.jar", "two"}});

    auto checkInChild = [&]() {
        Launcher::setLauncherFiles(launcher.c_str(), Launcher::getOriginalLauncherFileName());
        Launcher::inputFiles().load(false);
        std::string path = str(Launcher::getApplicationArchive());
        bool ok = path.compare(0, m_dir.size() + 8, m_dir + "/tmp/qvj") == 0 &&
                  path.substr(path.rfind('/')) == "/second.jar" && readFile(path) == "two" &&
                  readFile(path.substr(0, path.rfind('/')) + "/first.jar") == "one" &&
                  str(Launcher::getApplicationArchive("first.jar")) == path;
        std::fprintf(stderr, "archive: %s\n", path.c_str());
        std::_Exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(checkInChild(), ::testing::ExitedWithCode(0), "archive: ");
}

// Regression: asking for the embedded archive made a temporary directory even when the
// launcher carries none.
TEST_F(LauncherArchiveTest, NoEmbeddedArchiveMakesNoDirectory) {
    const std::string launcher = m_dir + "/app/packed.bin";
    qvtest::packTestLauncher(m_dir, launcher, {{FILE_TYPE_CLASSPATH, "lib.jar", "lib"}});

    auto checkInChild = [&]() {
        Launcher::setLauncherFiles(launcher.c_str(), Launcher::getOriginalLauncherFileName());
        Launcher::inputFiles().load(false);
        std::string path = str(Launcher::getApplicationArchive());
        DIR* temp = opendir((m_dir + "/tmp").c_str());
        int entries = 0;
        while (temp != nullptr && readdir(temp) != nullptr) {
            ++entries;
        }
        if (temp != nullptr) {
            closedir(temp);
        }
        std::fprintf(stderr, "archive: \"%s\", entries in tmp: %d\n", path.c_str(), entries);
        // Only "." and "..".
        std::_Exit(path.empty() && entries == 2 ? 0 : 1);
    };
    EXPECT_EXIT(checkInChild(), ::testing::ExitedWithCode(0), "archive: \"\", entries in tmp: 2");
}

}  // namespace
