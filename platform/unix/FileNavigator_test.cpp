#include "platform/unix/FileNavigator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/TextUtil.h"
#include "platform/unix/FindFiles.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/PlatformTestSupport.h"

namespace {

using qvtest::createFile;
using qvtest::str;

// Records the walk; stops at the file named stopAt.
class RecordingNavigator : public FileNavigator {
public:
    RecordingNavigator() : FileNavigator(false) {}

    bool processFile(const SString& path) override {
        files.push_back(str(path));
        return str(path) == stopAt;
    }
    bool skipDirectory(const SString& dir) override {
        directories.push_back(str(dir));
        return false;
    }

    std::vector<std::string> files;
    std::vector<std::string> directories;
    std::string stopAt;
};

class RecordingListener : public FileFindListener {
public:
    explicit RecordingListener(bool stopAtFirst = false) : m_stopAtFirst(stopAtFirst) {}
    bool foundFile(const SString& path) override {
        found.push_back(str(path));
        return m_stopAtFirst;
    }

    std::vector<std::string> found;

private:
    bool m_stopAtFirst;
};

std::vector<std::string> sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

// StringDeque cannot be copied or moved: the list is built in place.
struct Deque {
    explicit Deque(const std::vector<std::string>& items) {
        for (const std::string& item : items) {
            list.push_back(item.c_str());
        }
    }
    StringDeque list;
};

class FileNavigatorTest : public ::testing::Test {
protected:
    // The temporary directory is the default, "/var/tmp/".
    void SetUp() override { PlatformImpl::resetForTest(); }
    void TearDown() override {
        setSearchRootsForTesting(StringDeque());
        PlatformImpl::resetForTest();
    }

    // Searches the test directory alone for names.
    std::vector<std::string> search(const std::vector<std::string>& names) {
        setSearchRootsForTesting(Deque({m_dir.path()}).list);
        RecordingListener listener;
        PlatformImpl::findFiles(Deque(names).list, listener);
        return listener.found;
    }

    qvtest::TemporaryDirectory m_dir{"qvtest-platform"};
};

TEST_F(FileNavigatorTest, NameMatchesWholePathComponents) {
    createFile(m_dir / "x/bin/java");
    createFile(m_dir / "x/xjava");
    std::string java = m_dir / "x/bin/java";
    EXPECT_EQ(std::vector<std::string>({java, java}), search({"bin/java", "java"}));
}

TEST_F(FileNavigatorTest, LinksAreReportedAsFilesAndNeverEntered) {
    createFile(m_dir / "real/java");
    createFile(m_dir / "usr/bin/target");
    ASSERT_EQ(0, symlink((m_dir / "real").c_str(), (m_dir / "dirlink").c_str()));
    ASSERT_EQ(0, symlink((m_dir / "usr/bin/target").c_str(), (m_dir / "usr/java").c_str()));
    EXPECT_EQ(sorted({m_dir / "real/java", m_dir / "usr/java"}), sorted(search({"java"})));

    RecordingNavigator navigator;
    navigator.process(m_dir.path().c_str());
    EXPECT_NE(navigator.files.end(),
              std::find(navigator.files.begin(), navigator.files.end(), m_dir / "dirlink"));
    EXPECT_EQ(sorted({m_dir.path(), m_dir / "real", m_dir / "usr", m_dir / "usr/bin"}),
              sorted(navigator.directories));
}

TEST_F(FileNavigatorTest, UnreadableDirectoryIsSkipped) {
    const std::string root = m_dir.path();
    qvtest::UnprivilegedRun run = qvtest::runUnprivileged(root, [&root]() {
        createFile(root + "/open/java");
        createFile(root + "/closed/java");
        createFile(root + "/zz/java");
        chmod((root + "/closed").c_str(), 0);
        RecordingNavigator navigator;
        navigator.process(root.c_str());
        std::string result;
        for (const std::string& file : sorted(navigator.files)) {
            result += file + "\n";
        }
        return result;
    });
    if (!run.ran) {
        GTEST_SKIP() << "root cannot be denied a read here and could not switch to nobody";
    }
    EXPECT_EQ(root + "/open/java\n" + root + "/zz/java\n", run.output);
}

// The rest of the directory, its subdirectories and the further roots all stay unread.
TEST_F(FileNavigatorTest, ListenerStopsTheSearchAtOnce) {
    for (int i = 0; i < 5; ++i) {
        createFile(m_dir / ("first/d" + std::to_string(i) + "/java"));
        createFile(m_dir / ("first/java" + std::to_string(i)));
    }
    createFile(m_dir / "first/java");
    qvtest::TemporaryDirectory secondRoot{"qvtest-platform"};
    createFile(secondRoot / "java");
    setSearchRootsForTesting(Deque({m_dir / "first", secondRoot.path()}).list);
    RecordingListener listener(true);
    PlatformImpl::findFiles(Deque({"java"}).list, listener);
    EXPECT_EQ(std::vector<std::string>({m_dir / "first/java"}), listener.found);

    RecordingNavigator navigator;
    navigator.stopAt = m_dir / "first/java";
    EXPECT_TRUE(navigator.process((m_dir / "first").c_str()));
    EXPECT_EQ(navigator.stopAt, navigator.files.back());
    EXPECT_EQ(std::vector<std::string>({m_dir / "first"}), navigator.directories);
}

TEST_F(FileNavigatorTest, TemporaryDirectoriesAreNotEntered) {
    createFile(m_dir / "tmp/own/java");
    createFile(m_dir / "found/java");
    PlatformImpl::setSystemTempDir((m_dir / "tmp/own").c_str());
    EXPECT_EQ(std::vector<std::string>({m_dir / "found/java"}), search({"java"}));

    // The default temporary directory is skipped too, though another one is in use.
    Deque names({"java"});
    RecordingListener listener;
    FindFiles finder(names.list, listener);
    EXPECT_TRUE(finder.skipDirectory("/var/tmp"));
    EXPECT_FALSE(finder.skipDirectory("/var/tmpx"));
}

TEST_F(FileNavigatorTest, KernelDirectoriesAreSkippedOnlyInAWalkFromTheRoot) {
    // Below any other root, directories of those names are walked like the rest.
    createFile(m_dir / "proc/bin/java");
    createFile(m_dir / "sys/bin/java");
    createFile(m_dir / "dev/bin/java");
    EXPECT_EQ(sorted({m_dir / "dev/bin/java", m_dir / "proc/bin/java", m_dir / "sys/bin/java"}),
              sorted(search({"bin/java"})));

    Deque names({"java"});
    RecordingListener listener;
    FindFiles finder(names.list, listener);
    struct Case {
        const char* dir;
        bool skippedFromRoot;
    };
    const Case cases[] = {{"/proc", true},    {"/sys", true},    {"/dev", true},
                          {"/usr", false},    {"/procx", false}, {"/proc/self", false},
                          {"/opt/dev", false}};
    // A canceled walk reads nothing; it only starts from the root it is given.
    PlatformImpl::setCanceled(true);
    finder.process("/");
    for (const Case& c : cases) {
        EXPECT_EQ(c.skippedFromRoot, finder.skipDirectory(c.dir)) << c.dir;
    }
    finder.process(m_dir.path().c_str());
    for (const Case& c : cases) {
        EXPECT_FALSE(finder.skipDirectory(c.dir)) << c.dir;
    }
    EXPECT_TRUE(listener.found.empty());
}

TEST_F(FileNavigatorTest, ProgressAdvancesOncePerThousandFiles) {
    for (int i = 0; i < 2500; ++i) {
        createFile(m_dir / ("d" + std::to_string(i % 3) + "/f" + std::to_string(i)));
    }
    qvtest::TemporaryDirectory captureDir{"qvtest-platform"};
    std::string capture = captureDir / "progress.out";
    PlatformImpl::resetUIState();
    std::fflush(stdout);
    int savedStdout = dup(STDOUT_FILENO);
    int captureFd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(captureFd, STDOUT_FILENO);
    close(captureFd);
    RecordingNavigator navigator;
    navigator.process(m_dir.path().c_str());
    std::fflush(stdout);
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    PlatformImpl::resetUIState();

    EXPECT_EQ(2500u, navigator.files.size());
    std::string marks = qvtest::readFile(capture);
    marks.erase(std::remove(marks.begin(), marks.end(), '\n'), marks.end());
    EXPECT_EQ("..", marks);
}

TEST_F(FileNavigatorTest, SearchRootDefaultsToTheWholeFileSystem) {
    StringDeque roots;
    roots.push_back("kept");
    PlatformImpl::getJVMSearchPartitions(roots);
    ASSERT_EQ(2, roots.size());
    EXPECT_EQ("kept", str(roots.at(0)));
    EXPECT_EQ("/", str(roots.at(1)));
}

}  // namespace
