#include "platform/unix/DeleteFullDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/PlatformTestSupport.h"

namespace {

using qvtest::createFile;
using qvtest::exists;

int countOccurrences(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos;
         pos = text.find(needle, pos + 1)) {
        ++count;
    }
    return count;
}

class DeleteFullDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_log = m_logDir / "launcher.log";
        Log::resetForTest();
        Log::setLogFileName(m_log.c_str());
    }
    void TearDown() override { Log::resetForTest(); }

    std::string log() const { return qvtest::readFile(m_log); }

    qvtest::TemporaryDirectory m_dir{"qvtest-platform"};
    qvtest::TemporaryDirectory m_logDir{"qvtest-platform"};
    std::string m_log;
};

TEST_F(DeleteFullDirTest, RemovesTheWholeTreeButNotLinkTargets) {
    qvtest::TemporaryDirectory outside{"qvtest-platform"};
    createFile(outside / "keep/file");
    createFile(m_dir / "tree/a/b/c/file");
    createFile(m_dir / "tree/a/second");
    qvtest::makeDirectories(m_dir / "tree/empty");
    ASSERT_EQ(0, symlink((outside / "keep").c_str(), (m_dir / "tree/a/dirlink").c_str()));
    ASSERT_EQ(0, symlink("/nonexistent", (m_dir / "tree/dangling").c_str()));

    PlatformImpl::deleteFile((m_dir / "tree").c_str());
    EXPECT_FALSE(exists(m_dir / "tree"));
    EXPECT_TRUE(exists(outside / "keep/file"));
    EXPECT_EQ("", log());
}

// Runs body where a removal can be refused; false when that cannot be arranged.
bool deleteUnprivileged(const std::string& root, const std::function<void()>& body) {
    return qvtest::runUnprivileged(root,
                                   [&body]() {
                                       body();
                                       return std::string();
                                   })
        .ran;
}

// One file that cannot be removed keeps it, its directory and every directory above it.
TEST_F(DeleteFullDirTest, UndeletableFileKeepsOnlyItsAncestors) {
    const std::string root = m_dir.path();
    // nobody cannot write the fixture's log directory; the log goes beside the tree.
    const std::string log = root + "/launcher.log";
    bool ran = deleteUnprivileged(root, [&root, &log]() {
        Log::setLogFileName(log.c_str());
        createFile(root + "/tree/x/locked/stuck");
        createFile(root + "/tree/x/other");
        createFile(root + "/tree/x/sub/file");
        createFile(root + "/tree/y/file");
        chmod((root + "/tree/x/locked").c_str(), 0555);
        PlatformImpl::deleteFile((root + "/tree").c_str());
    });
    if (!ran) {
        GTEST_SKIP() << "root removes anything here and could not switch to nobody";
    }
    EXPECT_TRUE(exists(root + "/tree/x/locked/stuck"));
    for (const char* gone : {"/tree/x/other", "/tree/x/sub", "/tree/y"}) {
        EXPECT_FALSE(exists(root + gone)) << gone;
    }
    std::string written = qvtest::readFile(log);
    EXPECT_EQ(2, countOccurrences(written, "Could not delete ")) << written;
    EXPECT_EQ(1, countOccurrences(written, "Could not delete " + root +
                                               "/tree/x/locked/stuck :  Permission denied\n"))
        << written;
    EXPECT_EQ(1, countOccurrences(written, "Could not delete " + root +
                                               "/tree/x/locked :  Directory not empty\n"))
        << written;
}

// A directory whose name is a prefix of a kept sibling's ("a" and "ab") is removed. Several
// pairs, made in both orders, so that the order in which the file system lists them cannot
// hide a plain prefix test.
TEST_F(DeleteFullDirTest, SiblingSharingANamePrefixIsRemoved) {
    const std::string root = m_dir.path();
    const char* const pairs[][2] = {{"a", "ab"}, {"b", "bx"},  {"c", "c2"},
                                    {"d", "d_"}, {"e", "eee"}, {"f", "f0"}};
    bool ran = deleteUnprivileged(root, [&root, &pairs]() {
        bool shortFirst = true;
        for (const auto& pair : pairs) {
            const char* first = shortFirst ? pair[0] : pair[1];
            const char* second = shortFirst ? pair[1] : pair[0];
            qvtest::makeDirectories(root + "/tree/" + first);
            qvtest::makeDirectories(root + "/tree/" + second);
            createFile(root + "/tree/" + pair[0] + "/file");
            createFile(root + "/tree/" + pair[1] + "/stuck");
            chmod((root + "/tree/" + pair[1]).c_str(), 0555);
            shortFirst = !shortFirst;
        }
        PlatformImpl::deleteFile((root + "/tree").c_str());
    });
    if (!ran) {
        GTEST_SKIP() << "root removes anything here and could not switch to nobody";
    }
    for (const auto& pair : pairs) {
        EXPECT_FALSE(exists(root + "/tree/" + pair[0])) << pair[0];
        EXPECT_TRUE(exists(root + "/tree/" + pair[1] + "/stuck")) << pair[1];
    }
}

// A tree deeper than the directories the walk may hold open at once: the upper ones are closed
// on the way down and reopened through ".." on the way up.
TEST_F(DeleteFullDirTest, TreeDeeperThanTheOpenDirectoryLimitIsRemoved) {
    std::string deepest = m_dir / "tree";
    for (int level = 0; level < 40; ++level) {
        deepest += "/d" + std::to_string(level);
        createFile(deepest + "/file");
    }
    createFile(m_dir / "tree/d0/d1/side/file");
    for (int limit : {1, 2, 3, DeleteFullDir::kOpenDirectoryLimit}) {
        std::string root = m_dir / ("tree" + std::to_string(limit));
        ASSERT_EQ(0, system(("cp -R " + (m_dir / "tree") + " " + root).c_str()));
        DeleteFullDir deletion(limit);
        EXPECT_FALSE(deletion.process(root.c_str()));
        EXPECT_FALSE(exists(root)) << "limit " << limit;
    }
    EXPECT_EQ("", log());
}

TEST_F(DeleteFullDirTest, RootThatIsALinkIsRemovedAsALink) {
    qvtest::TemporaryDirectory outside{"qvtest-platform"};
    createFile(outside / "keep/file", "kept");
    ASSERT_EQ(0, symlink((outside / "keep").c_str(), (m_dir / "link").c_str()));

    DeleteFullDir deletion;
    deletion.process((m_dir / "link").c_str());
    EXPECT_FALSE(exists(m_dir / "link"));
    EXPECT_EQ("kept", qvtest::readFile(outside / "keep/file"));
    EXPECT_EQ("", log());
}

// With a "/" after it, a link's name resolves to its target even where links are not
// followed, so the deletion used to empty the target directory.
TEST_F(DeleteFullDirTest, TrailingSlashOnALinkDoesNotEnterItsTarget) {
    qvtest::TemporaryDirectory outside{"qvtest-platform"};
    createFile(outside / "keep/file", "kept");
    ASSERT_EQ(0, symlink((outside / "keep").c_str(), (m_dir / "link").c_str()));

    PlatformImpl::deleteFile((m_dir / "link/").c_str());
    EXPECT_EQ("kept", qvtest::readFile(outside / "keep/file"));
    EXPECT_FALSE(exists(m_dir / "link"));
    EXPECT_EQ("", log());

    // A real directory given so is removed as before.
    createFile(m_dir / "tree/file");
    PlatformImpl::deleteFile((m_dir / "tree//").c_str());
    EXPECT_FALSE(exists(m_dir / "tree"));
    EXPECT_EQ("", log());
}

// The directory made earlier was replaced by another one under the same name: that one is
// someone else's and stays, whatever it holds.
TEST_F(DeleteFullDirTest, ProcessIfUnchangedLeavesAReplacedDirectoryAlone) {
    const std::string created = m_dir / "created";
    createFile(created + "/ours");
    struct stat original;
    ASSERT_EQ(0, lstat(created.c_str(), &original));
    createFile(m_dir / "other/theirs", "theirs");
    ASSERT_EQ(0, system(("rm -r " + created).c_str()));
    ASSERT_EQ(0, rename((m_dir / "other").c_str(), created.c_str()));

    DeleteFullDir deletion;
    deletion.processIfUnchanged(created.c_str(), original.st_dev, original.st_ino);
    EXPECT_EQ("theirs", qvtest::readFile(created + "/theirs"));
    EXPECT_EQ("WARNING: Not deleting " + created + ": it is no longer what the launcher created\n",
              log().substr(log().find('\n') + 1));

    // Still the same directory: it goes.
    ASSERT_EQ(0, lstat(created.c_str(), &original));
    deletion.processIfUnchanged(created.c_str(), original.st_dev, original.st_ino);
    EXPECT_FALSE(exists(created));
}

}  // namespace
