#include "jvm/TrustedPath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class TrustedPathTest : public ::testing::Test {
protected:
    void TearDown() override { ASSERT_TRUE(m_temp.remove()); }

    std::string makeDir(const std::string& name, mode_t mode) {
        std::string path = m_dir + "/" + name;
        EXPECT_EQ(0, mkdir(path.c_str(), 0700));
        EXPECT_EQ(0, chmod(path.c_str(), mode));
        return path;
    }
    std::string makeProgram(const std::string& dir, mode_t mode) {
        std::string path = dir + "/java";
        std::ofstream(path) << "#!/bin/sh\n";
        EXPECT_EQ(0, chmod(path.c_str(), mode));
        return path;
    }
    static std::string why(const std::string& path, bool expected) {
        SString reason;
        bool trusted = isTrustedExecutablePath(path.c_str(), reason);
        EXPECT_EQ(expected, trusted) << path << ": " << reason.c_str();
        return reason.c_str();
    }

    TemporaryDirectory m_temp{"qvtest-trust"};
    std::string m_dir = m_temp.path();
};

TEST_F(TrustedPathTest, PermissionsOfTheFileAndItsDirectories) {
    std::string safe = makeProgram(makeDir("safe", 0755), 0755);
    why(safe, true);

    std::string writableFile = makeProgram(makeDir("wf", 0755), 0775);
    EXPECT_EQ(writableFile + " is writable by group or others", why(writableFile, false));

    std::string open = makeDir("open", 0777);
    std::string planted = makeProgram(open, 0755);
    EXPECT_EQ(open + " is writable by group or others", why(planted, false));

    // A shared directory with the sticky bit is fine for entries of this user or root.
    std::string sticky = makeDir("sticky", 01777);
    std::string ours = makeProgram(sticky, 0755);
    why(ours, true);

    why("relative/java", false);
    why(m_dir + "/missing/java", false);
}

TEST_F(TrustedPathTest, StickyDirectoryEntryOfAnotherUser) {
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    std::string sticky = makeDir("sticky", 01777);
    std::string theirs = makeDir("sticky/theirs", 0755);
    std::string program = makeProgram(theirs, 0755);
    ASSERT_EQ(0, chown(theirs.c_str(), 65534, 65534));
    std::string reason = why(program, false);
    EXPECT_EQ(sticky + " is shared and " + theirs + " belongs to another user (uid 65534)", reason);
}

// Whoever owns the program or a directory above it can change it, whatever the permission
// bits: only root and the user running the launcher may.
TEST_F(TrustedPathTest, ProgramAndDirectoriesOfAnotherUserAreNotTrusted) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    for (int level = 0; level < 3; ++level) {
        std::string top = makeDir("top" + std::to_string(level), 0755);
        std::string dir = makeDir("top" + std::to_string(level) + "/bin", 0755);
        std::string program = makeProgram(dir, 0755);
        // The program itself, the directory that holds it, the one above that.
        std::string given = level == 0 ? program : level == 1 ? dir : top;
        ASSERT_EQ(0, chown(given.c_str(), 65534, 65534));
        EXPECT_EQ(given + " belongs to another user (uid 65534)", why(program, false));
    }
}

TEST_F(TrustedPathTest, LinksAreCheckedAsFoundAndAsResolved) {
    std::string safeDir = makeDir("safe", 0755);
    std::string openDir = makeDir("open", 0777);
    std::string planted = makeProgram(openDir, 0755);

    // A link in a safe place to a program in an open one.
    std::string toPlanted = safeDir + "/java";
    ASSERT_EQ(0, symlink(planted.c_str(), toPlanted.c_str()));
    EXPECT_EQ(openDir + " is writable by group or others", why(toPlanted, false));

    // A link in an open place, even to a safe program, can be replaced by anyone.
    std::string goodDir = makeDir("good", 0755);
    std::string good = makeProgram(goodDir, 0755);
    std::string inOpen = openDir + "/link";
    ASSERT_EQ(0, symlink(good.c_str(), inOpen.c_str()));
    EXPECT_EQ(openDir + " is writable by group or others", why(inOpen, false));

    std::string safeLink = goodDir + "/alias";
    ASSERT_EQ(0, symlink(good.c_str(), safeLink.c_str()));
    why(safeLink, true);
}

}  // namespace
