#include "input/LauncherWriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "input/FileIndexEntry.h"
#include "input/LauncherLayout.h"
#include "launcher/LauncherInputFiles.h"
#include "tests/support/LauncherTestSupport.h"

using qvtest::readFile;
using qvtest::str;
using qvtest::writeFile;

namespace {

const std::string kStub =
    "\x7F"
    "ELF pretend stub\n";

class LauncherWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(path("stub"), kStub);
        mkdir(path("in").c_str(), 0755);
    }

    std::string path(const std::string& name) const { return m_dir / name; }

    // Writes content as in/<name> and returns its path.
    SString input(const std::string& name, const std::string& content) const {
        std::string file = path("in/" + name);
        writeFile(file, content);
        return SString(file.c_str());
    }

    // Writes the launcher; returns the thrown message, or "" when written.
    std::string write(LauncherWriter& writer) {
        try {
            writer.write(path("out").c_str());
        } catch (const LauncherException& e) {
            return str(e.m_message);
        }
        return "";
    }

    qvtest::TemporaryDirectory m_dir{"qvtest-input"};
};

TEST_F(LauncherWriterTest, WritesStubFilesIndexAndTrailer) {
    LauncherWriter writer(path("stub").c_str());
    writer.addFile(FILE_TYPE_JVM, input("a.jvm", "JVM_EXE: java\n"));
    writer.addFile(FILE_TYPE_APPLICATION, input("app.jar", "PK..."), 9);
    ASSERT_EQ(write(writer), "");

    FileIndexEntryPtrDeque expected;
    const long first = static_cast<long>(kStub.size());
    expected.push_back(new FileIndexEntry(FILE_TYPE_JVM, 1, 14, first, "a.jvm"));
    expected.push_back(new FileIndexEntry(FILE_TYPE_APPLICATION, 9, 5, first + 14, "app.jar"));
    EXPECT_EQ(readFile(path("out")),
              kStub + "JVM_EXE: java\n" + "PK..." + str(encodeFileIndex(expected, first + 19)));
    EXPECT_TRUE(qvtest::isExecutable(path("out")));
    EXPECT_EQ(qvtest::listDirectory(m_dir.path()), (std::vector<std::string>{"in", "out", "stub"}));
}

TEST_F(LauncherWriterTest, AssignsIdsInOrderSkippingTakenOnes) {
    const long given[] = {-1, 3, -1, -1, 1, -1};
    const long expected[] = {2, 3, 4, 5, 1, 6};
    LauncherWriter writer(path("stub").c_str());
    for (size_t i = 0; i < 6; ++i) {
        writer.addFile(FILE_TYPE_CLASSPATH, input("f" + std::to_string(i), "x"), given[i]);
    }
    ASSERT_EQ(write(writer), "");
    LauncherInputFiles files;
    files.loadLauncherFile(path("out").c_str(), true);
    ASSERT_EQ(files.getFileCount(), 6);
    for (long i = 0; i < 6; ++i) {
        EXPECT_EQ(files.getFileAt(i)->getId(), expected[i]) << "file " << i;
    }
}

TEST_F(LauncherWriterTest, ReplacesAnExistingOutput) {
    writeFile(path("out"), "old launcher");
    LauncherWriter writer(path("stub").c_str());
    ASSERT_EQ(write(writer), "");
    EXPECT_EQ(readFile(path("out")).substr(0, kStub.size()), kStub);
}

TEST_F(LauncherWriterTest, RefusesInvalidInputAndWritesNothing) {
    struct Case {
        const char* what;
        std::function<void(LauncherWriter&)> setup;
        std::string expected;
        std::string stub = "";  // empty: the plain stub
    };
    const std::string dir = path("in");
    const Case cases[] = {
        {"missing file",
         [&](LauncherWriter& w) { w.addFile(FILE_TYPE_APPLICATION, (dir + "/nope.jar").c_str()); },
         "Cannot read " + dir + "/nope.jar: No such file or directory"},
        {"directory", [&](LauncherWriter& w) { w.addFile(FILE_TYPE_APPLICATION, dir.c_str()); },
         "Not a regular file: " + dir},
        {"syntax error",
         [&](LauncherWriter& w) { w.addFile(FILE_TYPE_JVM, input("bad.jvm", "A: 1\nno colon\n")); },
         "Invalid tag file " + dir + "/bad.jvm: Syntax error in " + dir +
             "/bad.jvm at line 2 ==> Missing colon at the end of the tag name."},
        {"open block",
         [&](LauncherWriter& w) {
             w.addFile(FILE_TYPE_INSTRUCTIONS, input("open.tag", "A:\n  1\n"));
         },
         "Invalid tag file " + dir + "/open.tag: Syntax error in " + dir +
             "/open.tag at line 1 ==> Missing /: tag completer."},
        {"no final line feed",
         [&](LauncherWriter& w) { w.addFile(FILE_TYPE_LAUNCH_SCRIPT, input("ls.tag", "A: 1")); },
         "The tag file " + dir + "/ls.tag must end with a line feed."},
        {"same name twice",
         [&](LauncherWriter& w) {
             mkdir((dir + "/sub").c_str(), 0755);
             w.addFile(FILE_TYPE_CLASSPATH, input("x.jar", "1"));
             w.addFile(FILE_TYPE_CLASSPATH, input("sub/x.jar", "2"));
         },
         "Two files would be embedded as \"x.jar\"; the copies would overwrite each other."},
        {"same id twice",
         [&](LauncherWriter& w) {
             w.addFile(FILE_TYPE_CLASSPATH, input("a.jar", "1"), 4);
             w.addFile(FILE_TYPE_CLASSPATH, input("b.jar", "2"), 4);
         },
         "The id 4 is given to two files."},
        {"line feed in name",
         [&](LauncherWriter& w) { w.addFile(FILE_TYPE_CLASSPATH, input("a\nb.jar", "x")); },
         "Not a plain file name: \"a\nb.jar\" (from " + dir + "/a\nb.jar)"},
        {"path ending in a slash",
         [&](LauncherWriter& w) { w.addFile(FILE_TYPE_CLASSPATH, (dir + "/").c_str()); },
         "Not a regular file: " + dir + "/"},
        {"type 8", [&](LauncherWriter& w) { w.addFile(8, input("t.bin", "x")); },
         "Invalid file type for " + dir + "/t.bin"},
        {"packed stub", [](LauncherWriter&) {},
         "The stub " + path("packedstub") +
             " already carries embedded files; use a plain launcher.",
         "packedstub"},
        {"missing stub", [](LauncherWriter&) {},
         "Cannot read " + path("nostub") + ": No such file or directory", "nostub"},
    };
    FileIndexEntryPtrDeque none;
    writeFile(path("packedstub"), kStub + str(encodeFileIndex(none, 18)));
    for (const Case& c : cases) {
        writeFile(path("out"), "previous");
        LauncherWriter writer(path(c.stub.empty() ? "stub" : c.stub).c_str());
        c.setup(writer);
        EXPECT_EQ(write(writer), c.expected) << c.what;
        EXPECT_EQ(readFile(path("out")), "previous") << c.what;
        std::vector<std::string> names = qvtest::listDirectory(m_dir.path());
        for (const std::string& name : names) {
            EXPECT_EQ(name.find("qvpack"), std::string::npos) << c.what << " left " << name;
        }
    }
}

TEST_F(LauncherWriterTest, RefusesLaunchersOf2GiB) {
    // A sparse file claims the size without taking the space. At the limit the size check
    // passes and the write then fails on the missing output directory, before any copying.
    std::string big = path("in/big.jar");
    // The archive starts on the first page boundary after the stub.
    const long atLimit = 0x7FFFFFFFL - 4096 - 4 - 8 - 15 - 7;
    struct Case {
        long length;
        std::string expected;
    };
    const Case cases[] = {
        {atLimit, "Cannot create a file beside " + path("no/out") + ": No such file or directory"},
        {atLimit + 1, "The launcher file would reach 2 GiB; its positions are 32-bit numbers."},
    };
    for (const Case& c : cases) {
        int fd = open(big.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, c.length), 0);
        close(fd);
        LauncherWriter writer(path("stub").c_str());
        writer.addFile(FILE_TYPE_APPLICATION, big.c_str());
        try {
            writer.write(path("no/out").c_str());
            ADD_FAILURE() << "no exception for " << c.length;
        } catch (const LauncherException& e) {
            EXPECT_EQ(str(e.m_message), c.expected) << c.length;
        }
    }
}

// Regression: a large archive started wherever the one before it ended, so extracting it
// copied partial pages throughout, about half again as slow as whole ones.
TEST_F(LauncherWriterTest, LargeFilesStartOnAPageBoundary) {
    const std::string small(100, 's');
    std::string large(1 << 20, '\0');
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 7 + 1);
    }
    const std::string tagText = "A: " + std::string((1 << 20) - 4, 'x') + "\n";
    LauncherWriter writer(path("stub").c_str());
    writer.addFile(FILE_TYPE_CLASSPATH, input("small.jar", small));
    writer.addFile(FILE_TYPE_APPLICATION, input("large.jar", large));
    writer.addFile(FILE_TYPE_JVM, input("big.jvm", tagText));
    writer.addFile(FILE_TYPE_CLASSPATH, input("after.jar", "z"));
    ASSERT_EQ(write(writer), "");

    // Tag files and files below 1 MiB follow without a gap, whatever their size.
    const long smallAt = static_cast<long>(kStub.size());
    const long largeAt = 4096;
    const long tagAt = largeAt + (1L << 20);
    const long afterAt = tagAt + static_cast<long>(tagText.size());
    FileIndexEntryPtrDeque expected;
    expected.push_back(new FileIndexEntry(FILE_TYPE_CLASSPATH, 1, 100, smallAt, "small.jar"));
    expected.push_back(
        new FileIndexEntry(FILE_TYPE_APPLICATION, 2, 1L << 20, largeAt, "large.jar"));
    expected.push_back(
        new FileIndexEntry(FILE_TYPE_JVM, 3, static_cast<long>(tagText.size()), tagAt, "big.jvm"));
    expected.push_back(new FileIndexEntry(FILE_TYPE_CLASSPATH, 4, 1, afterAt, "after.jar"));
    const std::string padding(static_cast<size_t>(largeAt - smallAt - 100), '\0');
    EXPECT_TRUE(readFile(path("out")) == kStub + small + padding + large + tagText + "z" +
                                             str(encodeFileIndex(expected, afterAt + 1)));
}

TEST_F(LauncherWriterTest, FailsWhenTheOutputDirectoryIsMissing) {
    LauncherWriter writer(path("stub").c_str());
    try {
        writer.write(path("no/out").c_str());
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message),
                  "Cannot create a file beside " + path("no/out") + ": No such file or directory");
    }
}

}  // namespace
