#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "base/LauncherException.h"
#include "platform/unix/FileNavigator.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/WorkingDirectory.h"
#include "tests/support/PlatformTestSupport.h"

namespace {

using qvtest::createFile;
using qvtest::exists;
using qvtest::str;

// Restores an environment variable when the test ends.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const char* name) : m_name(name) {
        const char* value = std::getenv(name);
        m_wasSet = value != nullptr;
        if (m_wasSet) {
            m_value = value;
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        if (m_wasSet) {
            setenv(m_name.c_str(), m_value.c_str(), 1);
        } else {
            unsetenv(m_name.c_str());
        }
    }

private:
    std::string m_name;
    std::string m_value;
    bool m_wasSet;
};

std::string directoryOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}
std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string logLines(const std::string& log) {
    // Past the separator line that starts every run's log.
    return log.substr(log.find('\n') + 1);
}

mode_t permissions(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

class PlatformImplFilesTest : public ::testing::Test {
protected:
    PlatformImplFilesTest() : m_tmpdir("TMPDIR") {}

    void SetUp() override {
        unsetenv("TMPDIR");
        useTestTemporaryDirectory();
        m_log = m_logDir / "launcher.log";
        Log::resetForTest();
        Log::setLogFileName(m_log.c_str());
    }
    void TearDown() override {
        PlatformImpl::resetForTest();
        Log::resetForTest();
    }

    // A run's start, with the test's directory as the configured temporary directory.
    void useTestTemporaryDirectory() {
        PlatformImpl::resetForTest();
        PlatformImpl::setSystemTempDir((m_dir / "").c_str());
    }

    std::string log() const { return qvtest::readFile(m_log); }

    ScopedEnvironment m_tmpdir;
    qvtest::TemporaryDirectory m_dir{"qvtest-platform"};
    qvtest::TemporaryDirectory m_logDir{"qvtest-platform"};
    std::string m_log;
};

TEST_F(PlatformImplFilesTest, TemporaryEntriesGoToTmpdirWhenUsableElseTheConfiguredDirectory) {
    qvtest::TemporaryDirectory fromEnvironment{"qvtest-platform"};
    createFile(m_dir / "regular");
    struct Case {
        bool set;
        std::string tmpdir;
        std::string expectedDirectory;
    } cases[] = {{false, "", m_dir.path()},
                 {true, fromEnvironment.path(), fromEnvironment.path()},
                 {true, fromEnvironment.path() + "/", fromEnvironment.path()},
                 {true, m_dir / "regular", m_dir.path()},
                 {true, "", m_dir.path()}};
    std::set<std::string> names;
    for (const Case& c : cases) {
        std::string shown = c.set ? c.tmpdir : "(unset)";
        if (c.set) {
            setenv("TMPDIR", c.tmpdir.c_str(), 1);
        }
        std::string file = str(PlatformImpl::createTempFile());
        std::string dir = str(PlatformImpl::createTempSubDirectory());
        for (const std::string& path : {file, dir}) {
            EXPECT_EQ(c.expectedDirectory, directoryOf(path)) << "TMPDIR=" << shown;
            EXPECT_EQ(0u, baseName(path).find("qvj")) << path;
            names.insert(path);
        }
        EXPECT_TRUE(exists(file) && qvtest::readFile(file).empty()) << file;
        EXPECT_TRUE(FileNavigator::isDirectory(dir.c_str())) << dir;
        EXPECT_EQ(file, str(PlatformImpl::getCleanupFiles().back()));
        EXPECT_EQ(dir, str(PlatformImpl::getCleanupDirectories().back()));
    }
    EXPECT_EQ(10u, names.size());
    EXPECT_EQ(5, PlatformImpl::getCleanupFiles().size());
    EXPECT_EQ(5, PlatformImpl::getCleanupDirectories().size());
}

// A directory that group or others may write to and that has no sticky bit is passed over
// for the next choice (TMPDIR, the configured directory, "/var/tmp/"), with one warning per
// directory however many entries are made; with the sticky bit it is used. A relative TMPDIR
// is made absolute from the working directory.
TEST_F(PlatformImplFilesTest, SharedTemporaryDirectoriesWithoutTheStickyBitAreRefused) {
    ASSERT_EQ(01777, permissions("/var/tmp")) << "the fallback of the last case";
    SString savedDirectory = currentDirectory();
    ASSERT_EQ(0, chdir(m_dir.path().c_str()));
    struct Case {
        const char* tmpdir;  // made below m_dir with tmpdirMode; null leaves TMPDIR unset
        mode_t tmpdirMode;
        mode_t configuredMode;
        std::string expectedDirectory;
        std::string refused;
    } cases[] = {
        {"open", 0777, 0700, m_dir.path(), m_dir / "open"},
        {"group", 0770, 0700, m_dir.path(), m_dir / "group"},
        {"sticky", 01777, 0700, m_dir / "sticky", ""},
        {"relative", 0755, 0700, m_dir / "relative", ""},
        {nullptr, 0, 0777, "/var/tmp", m_dir / ""},
    };
    std::string expectedLog;
    for (const Case& c : cases) {
        std::string shown = c.tmpdir == nullptr ? "(unset)" : c.tmpdir;
        unsetenv("TMPDIR");
        if (c.tmpdir != nullptr) {
            ASSERT_EQ(0, mkdir(c.tmpdir, 0700));
            ASSERT_EQ(0, chmod(c.tmpdir, c.tmpdirMode));
            setenv("TMPDIR", c.tmpdir, 1);
        }
        ASSERT_EQ(0, chmod(m_dir.path().c_str(), c.configuredMode));
        std::string file = str(PlatformImpl::createTempFile());
        std::string dir = str(PlatformImpl::createTempSubDirectory());
        EXPECT_EQ(c.expectedDirectory, directoryOf(file)) << "TMPDIR=" << shown;
        EXPECT_EQ(c.expectedDirectory, directoryOf(dir)) << "TMPDIR=" << shown;
        if (!c.refused.empty()) {
            expectedLog += "WARNING: Not using " + c.refused +
                           " as the temporary directory: it is writable by group or others "
                           "and has no sticky bit\n";
        }
        PlatformImpl::cleanup();
        EXPECT_FALSE(exists(file) || exists(dir)) << "TMPDIR=" << shown;
        useTestTemporaryDirectory();
    }
    ASSERT_EQ(0, chmod(m_dir.path().c_str(), 0700));
    ASSERT_EQ(0, chdir(savedDirectory.c_str()));
    EXPECT_EQ(expectedLog, logLines(log()));
}

TEST_F(PlatformImplFilesTest, CreationFailuresAreReported) {
    std::string gone = m_dir / "gone";
    qvtest::makeDirectories(gone);
    PlatformImpl::setSystemTempDir(gone.c_str());
    rmdir(gone.c_str());
    try {
        PlatformImpl::createTempSubDirectory();
        ADD_FAILURE() << "no exception for the directory";
    } catch (const LauncherException& e) {
        EXPECT_EQ(std::strerror(ENOENT), str(e.m_message));
    }
    try {
        PlatformImpl::createTempFile();
        ADD_FAILURE() << "no exception for the file";
    } catch (const LauncherException& e) {
        // The message names the path tried: the prefix and six characters of its own.
        std::string expectedStart = "Error creating tmp file " + gone + "/qvj";
        EXPECT_EQ(expectedStart, str(e.m_message).substr(0, expectedStart.size()));
        EXPECT_EQ(expectedStart.size() + 6, e.m_message.size()) << str(e.m_message);
    }
    EXPECT_EQ(0, PlatformImpl::getCleanupDirectories().size());
    EXPECT_EQ(0, PlatformImpl::getCleanupFiles().size());
}

// A listed file inside a listed directory shows the order: were the directory removed first,
// the file's removal would fail and be logged.
TEST_F(PlatformImplFilesTest, CleanupRemovesFilesThenDirectories) {
    std::string dir = str(PlatformImpl::createTempSubDirectory());
    std::string kept = str(PlatformImpl::createTempSubDirectory());
    createFile(dir + "/inner/listed");
    createFile(kept + "/content");
    PlatformImpl::addFileToCleanupList((dir + "/inner/listed").c_str());
    std::string file = str(PlatformImpl::createTempFile());
    PlatformImpl::removeDirFromCleanupList(kept.c_str());

    PlatformImpl::cleanup();
    EXPECT_FALSE(exists(dir));
    EXPECT_FALSE(exists(file));
    EXPECT_TRUE(exists(kept + "/content"));
    EXPECT_EQ("", log());
}

// Someone who may write to the temporary directory replaced a file and a directory we made
// with links to their things, and another file and directory with their own (renamed over
// ours, so they are other inodes): cleanup removes none of them and follows no link, and says
// so in the log.
TEST_F(PlatformImplFilesTest, CleanupLeavesReplacedEntriesAlone) {
    qvtest::TemporaryDirectory outside{"qvtest-platform"};
    createFile(outside / "victim", "precious");
    createFile(outside / "victimdir/file", "precious too");
    std::string linkedFile = str(PlatformImpl::createTempFile());
    std::string otherFile = str(PlatformImpl::createTempFile());
    std::string linkedDir = str(PlatformImpl::createTempSubDirectory());
    std::string otherDir = str(PlatformImpl::createTempSubDirectory());
    std::string kept = str(PlatformImpl::createTempFile());
    ASSERT_EQ(0, unlink(linkedFile.c_str()));
    ASSERT_EQ(0, symlink((outside / "victim").c_str(), linkedFile.c_str()));
    createFile(m_dir / "their-file", "theirs");
    ASSERT_EQ(0, rename((m_dir / "their-file").c_str(), otherFile.c_str()));
    ASSERT_EQ(0, rmdir(linkedDir.c_str()));
    ASSERT_EQ(0, symlink((outside / "victimdir").c_str(), linkedDir.c_str()));
    createFile(m_dir / "their-dir/theirs", "theirs");
    ASSERT_EQ(0, rename((m_dir / "their-dir").c_str(), otherDir.c_str()));

    PlatformImpl::cleanup();
    EXPECT_EQ("precious", qvtest::readFile(outside / "victim"));
    EXPECT_EQ("precious too", qvtest::readFile(outside / "victimdir/file"));
    EXPECT_EQ("theirs", qvtest::readFile(otherFile));
    EXPECT_EQ("theirs", qvtest::readFile(otherDir + "/theirs"));
    for (const std::string& path : {linkedFile, otherFile, linkedDir, otherDir}) {
        EXPECT_TRUE(exists(path)) << path;
    }
    EXPECT_FALSE(exists(kept));
    std::string expected;
    for (const std::string& path : {linkedFile, otherFile, linkedDir, otherDir}) {
        expected +=
            "WARNING: Not deleting " + path + ": it is no longer what the launcher created\n";
    }
    EXPECT_EQ(expected, logLines(log()));
}

// A file system gives a freed inode number to the next file made, so a file of someone else's
// can carry the number of ours; its owner tells them apart. Handing ours to nobody stands for
// that here, which needs root.
TEST_F(PlatformImplFilesTest, CleanupLeavesAnotherUsersFileWithOurInodeNumberAlone) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file away";
    }
    std::string file = str(PlatformImpl::createTempFile());
    std::string dir = str(PlatformImpl::createTempSubDirectory());
    ASSERT_EQ(0, chown(file.c_str(), qvtest::kNobody, qvtest::kNobody));
    ASSERT_EQ(0, chown(dir.c_str(), qvtest::kNobody, qvtest::kNobody));

    PlatformImpl::cleanup();
    EXPECT_TRUE(exists(file));
    EXPECT_TRUE(exists(dir));
    EXPECT_EQ("WARNING: Not deleting " + file +
                  ": it is no longer what the launcher created\nWARNING: Not deleting " + dir +
                  ": it is no longer what the launcher created\n",
              logLines(log()));
}

// Paths that other code puts on the list were not made here and have no identity to check:
// they are removed as found, a link as a link.
TEST_F(PlatformImplFilesTest, CleanupRemovesListedLinksAsLinks) {
    qvtest::TemporaryDirectory outside{"qvtest-platform"};
    createFile(outside / "target", "kept");
    createFile(outside / "tree/file", "kept too");
    std::string fileLink = m_dir / "file-link";
    std::string dirLink = m_dir / "dir-link";
    ASSERT_EQ(0, symlink((outside / "target").c_str(), fileLink.c_str()));
    ASSERT_EQ(0, symlink((outside / "tree").c_str(), dirLink.c_str()));
    createFile(m_dir / "added/inside");
    PlatformImpl::addFileToCleanupList(fileLink.c_str());
    PlatformImpl::addFileToCleanupList(dirLink.c_str());
    PlatformImpl::addFileToCleanupList((m_dir / "added").c_str());

    PlatformImpl::cleanup();
    EXPECT_FALSE(exists(fileLink));
    EXPECT_FALSE(exists(dirLink));
    EXPECT_FALSE(exists(m_dir / "added"));
    EXPECT_EQ("kept", qvtest::readFile(outside / "target"));
    EXPECT_EQ("kept too", qvtest::readFile(outside / "tree/file"));
    EXPECT_EQ("", log());
}

// A name we made that is gone by cleanup time is reported as before.
TEST_F(PlatformImplFilesTest, CleanupReportsAVanishedEntry) {
    std::string file = str(PlatformImpl::createTempFile());
    ASSERT_EQ(0, unlink(file.c_str()));
    PlatformImpl::cleanup();
    EXPECT_EQ("WARNING: Could not delete " + file + " :  " + std::strerror(ENOENT) + "\n",
              logLines(log()));
}

TEST_F(PlatformImplFilesTest, CleanupDeletesTheLauncherAfterOrig) {
    struct Case {
        bool deleteLauncher;
        bool otherFileBeside;
        bool launcherLeft;
        bool directoryLeft;
    } cases[] = {
        {true, false, false, false}, {true, true, false, true}, {false, false, true, true}};
    int n = 0;
    for (const Case& c : cases) {
        std::string launcherDir = m_dir / ("run" + std::to_string(n++));
        createFile(launcherDir + "/qvlauncher", "stub");
        if (c.otherFileBeside) {
            createFile(launcherDir + "/other");
        }
        PlatformImpl::setLauncherToDelete(c.deleteLauncher ? (launcherDir + "/qvlauncher").c_str()
                                                           : SString());
        PlatformImpl::cleanup();
        EXPECT_EQ(c.launcherLeft, exists(launcherDir + "/qvlauncher")) << launcherDir;
        EXPECT_EQ(c.directoryLeft, exists(launcherDir)) << launcherDir;
    }
    EXPECT_EQ("", log());
}

// The test hook forgets everything a run set, the files it made stay where they are.
TEST_F(PlatformImplFilesTest, ResetForTestReturnsToTheStartOfARun) {
    const std::string launcher = m_dir / "qvlauncher";
    createFile(launcher, "stub");
    const std::string file = str(PlatformImpl::createTempFile());
    const std::string dir = str(PlatformImpl::createTempSubDirectory());
    PlatformImpl::setLauncherToDelete(launcher.c_str());
    PlatformImpl::setSilent(true);
    PlatformImpl::setCanceled(true);
    PlatformImpl::noteTerminatingSignal(SIGTERM);

    PlatformImpl::resetForTest();
    EXPECT_FALSE(PlatformImpl::isSilent());
    EXPECT_FALSE(PlatformImpl::isCanceled());
    EXPECT_EQ(0, PlatformImpl::terminatingSignal());
    EXPECT_EQ("/var/tmp/", str(PlatformImpl::getSystemTempDirectory()));
    EXPECT_EQ(0, PlatformImpl::getCleanupFiles().size());
    EXPECT_EQ(0, PlatformImpl::getCleanupDirectories().size());
    PlatformImpl::cleanup();
    for (const std::string& path : {launcher, file, dir}) {
        EXPECT_TRUE(exists(path)) << path;
    }
}

TEST_F(PlatformImplFilesTest, SetFileExecutableAddsOnlyExecuteBits) {
    struct Case {
        mode_t before;
        mode_t after;
    } cases[] = {{0644, 0755}, {0600, 0711}, {04640, 04751}, {0755, 0755}};
    for (const Case& c : cases) {
        std::string path = m_dir / ("mode" + std::to_string(c.before));
        createFile(path);
        chmod(path.c_str(), c.before);
        PlatformImpl::setFileExecutable(path.c_str());
        EXPECT_EQ(c.after, permissions(path)) << std::oct << c.before;
    }
    PlatformImpl::setFileExecutable((m_dir / "missing").c_str());
    EXPECT_FALSE(exists(m_dir / "missing"));
}

// A relative or empty path is measured at the working directory, even when that directory's
// path is longer than a fixed buffer would hold.
TEST_F(PlatformImplFilesTest, CheckFreeSpace) {
    EXPECT_TRUE(PlatformImpl::checkFreeSpace(m_dir.path().c_str(), 0));
    EXPECT_TRUE(PlatformImpl::checkFreeSpace(m_dir.path().c_str(), 1));
    EXPECT_FALSE(PlatformImpl::checkFreeSpace(m_dir.path().c_str(), LONG_MAX));
    try {
        PlatformImpl::checkFreeSpace((m_dir / "missing/file").c_str(), 1);
        ADD_FAILURE() << "no exception for a missing path";
    } catch (const LauncherException& e) {
        EXPECT_EQ(std::strerror(ENOENT), str(e.m_message));
    }

    SString savedDirectory = currentDirectory();
    std::string deep = m_dir.path();
    for (int i = 0; i < 30; ++i) {
        deep += "/" + std::string(60, 'd');
    }
    qvtest::makeDirectories(deep);
    ASSERT_EQ(0, chdir(deep.c_str()));
    EXPECT_TRUE(PlatformImpl::checkFreeSpace("", 1));
    EXPECT_TRUE(PlatformImpl::checkFreeSpace("relative/path", 1));
    EXPECT_FALSE(PlatformImpl::checkFreeSpace("", LONG_MAX));
    ASSERT_EQ(0, chdir(savedDirectory.c_str()));
}

}  // namespace
